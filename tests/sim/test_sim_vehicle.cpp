// The modelled car: every PID 01 to 4E with data of its defined size, in plausible ranges,
// moving the way an engine does that idles after a cool start and then drives.
#include "simtestutil.h"
#include "simvehicle.h"

#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>

using namespace quorvex::sim;
using namespace quorvex::sim::test;

namespace {

const Ecu kEveryPid{.pids = pidRange(0x01, 0x4E)};

// How the program decodes a PID: byte A or the word AB, times a scale, plus an offset.
struct Decoder
{
    quint8 pid;
    bool word;
    double scale;
    double offset = 0.0;
};

const Decoder kRpm{0x0C, true, 0.25};
const Decoder kSpeed{0x0D, false, 1.0};
const Decoder kCoolant{0x05, false, 1.0, -40.0};
const Decoder kTrim{0x06, false, 100.0 / 128.0, -100.0};
const Decoder kO2Upstream{0x14, false, 0.005};
const Decoder kLambda{0x24, true, 2.0 / 65536.0};
const Decoder kCatalyst{0x3C, true, 0.1, -40.0};
const Decoder kModuleVolts{0x42, true, 0.001};

double valueAt(const Decoder &d, double seconds)
{
    const QByteArray data = modelPidData(kEveryPid, d.pid, Moment{qint64(seconds * 1e6), -1});
    const int raw = d.word ? quint8(data.at(0)) * 256 + quint8(data.at(1)) : quint8(data.at(0));
    return raw * d.scale + d.offset;
}

} // namespace

TEST(SimVehicle, DataLengthsFollowThePidDefinitions)
{
    // Data bytes per PID from 00, one digit each, sixteen a line (none for 00, 20, 40 and 4F).
    const QByteArray lengths = "0422111111112111"
                               "2111222222221112"
                               "0222444444441111"
                               "1221444444442222"
                               "0422211111111220";
    for (int pid = 0x00; pid <= 0x4F; ++pid)
        EXPECT_EQ(modelPidData(kEveryPid, quint8(pid), Moment{}).size(), lengths.at(pid) - '0')
            << pid;
}

TEST(SimVehicle, IdlesThenDrivesWithinPlausibleRanges)
{
    const std::tuple<Decoder, double, double> ranges[] = {
        {kRpm, 650.0, 3500.0},    {kSpeed, 0.0, 80.0},        {kCoolant, 30.0, 95.0},
        {kTrim, -8.0, 8.0},       {kO2Upstream, 0.0, 1.0},    {kLambda, 0.85, 2.0},
        {kCatalyst, 15.0, 900.0}, {kModuleVolts, 13.5, 14.8},
    };
    for (const auto &[decoder, low, high] : ranges) {
        for (double t = 0.0; t <= 600.0; t += 0.25) {
            const double value = valueAt(decoder, t);
            ASSERT_GE(value, low) << int(decoder.pid) << " at " << t << " s";
            ASSERT_LE(value, high) << int(decoder.pid) << " at " << t << " s";
        }
    }

    // A cold start idling for 20 s, then a cycle of pulling away, cruising, coasting with the
    // injectors off and standing; warm by 900 s.
    double topSpeed = 0.0;
    for (double t = 20.0; t < 100.0; t += 0.5)
        topSpeed = std::max(topSpeed, valueAt(kSpeed, t));
    EXPECT_GE(topSpeed, 70.0);
    EXPECT_EQ(valueAt(kSpeed, 19.5), 0.0);
    EXPECT_LT(valueAt(kLambda, 20.5), 0.95); // pulling away: rich
    EXPECT_GT(valueAt(kRpm, 60.0), 1500.0);
    EXPECT_GT(valueAt(kLambda, 75.0), 1.9); // coasting: air
    EXPECT_EQ(valueAt(kSpeed, 95.0), 0.0);
    EXPECT_LE(valueAt(kCoolant, 0.0), 40.0);
    EXPECT_GE(valueAt(kCoolant, 900.0), 88.0);

    // Closed loop at idle, 82 to 100 s: the upstream O2 sensor switches, the trim follows it.
    QList<double> upstream;
    QSet<int> shortTrims;
    for (double t = 82.0; t < 100.0; t += 0.1) {
        upstream.append(valueAt(kO2Upstream, t));
        shortTrims.insert(static_cast<int>(valueAt(kTrim, t)));
    }
    EXPECT_LT(*std::min_element(upstream.cbegin(), upstream.cend()), 0.2);
    EXPECT_GT(*std::max_element(upstream.cbegin(), upstream.cend()), 0.7);
    EXPECT_GE(shortTrims.size(), 5);
}
