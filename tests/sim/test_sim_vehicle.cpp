// The modelled car idles after a cool start and then drives, with values in plausible ranges
// and, at idle, an upstream O2 sensor that switches in closed loop with the fuel trim following
// it, which is what the program's O2 and fuel-trim monitors show.
#include "sim/simvehicle.h"
#include "simtestutil.h"

#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>

using namespace quorvex::sim;
using namespace quorvex::sim::test;

namespace {

// How the program decodes a PID: byte A or the word AB, times a scale, plus an offset.
struct Decoder
{
    quint8 pid;
    bool word;
    double scale;
    double offset = 0.0;
};

const Decoder kRpm{0x0C, true, 0.25}, kSpeed{0x0D, false, 1.0}, kCoolant{0x05, false, 1.0, -40.0},
    kTrim{0x06, false, 100.0 / 128.0, -100.0}, kO2Upstream{0x14, false, 0.005},
    kLambda{0x24, true, 2.0 / 65536.0}, kCatalyst{0x3C, true, 0.1, -40.0},
    kModuleVolts{0x42, true, 0.001};

double valueAt(const Decoder &d, double seconds)
{
    const Ecu everyPid{.pids = pidRange(0x01, 0x4E)};
    const QByteArray data = modelPidData(everyPid, d.pid, Moment{qint64(seconds * 1e6), -1});
    const int raw = d.word ? quint8(data.at(0)) * 256 + quint8(data.at(1)) : quint8(data.at(0));
    return raw * d.scale + d.offset;
}

} // namespace

TEST(SimVehicle, PlausibleRangesAndClosedLoopAtIdle)
{
    const std::tuple<Decoder, double, double> ranges[] = {
        {kRpm, 650.0, 3500.0},    {kSpeed, 0.0, 80.0},        {kCoolant, 30.0, 95.0},
        {kTrim, -8.0, 8.0},       {kO2Upstream, 0.0, 1.0},    {kLambda, 0.85, 2.0},
        {kCatalyst, 15.0, 900.0}, {kModuleVolts, 13.5, 14.8},
    };
    for (const auto &[decoder, low, high] : ranges) {
        for (double t = 0.0; t <= 600.0; t += 0.25) {
            const double value = valueAt(decoder, t);
            ASSERT_TRUE(value >= low && value <= high) << int(decoder.pid) << " at " << t << " s";
        }
    }

    // Closed loop at idle, 82 to 100 s: the upstream O2 sensor switches, the trim follows it.
    double lowest = 1.0, highest = 0.0;
    QSet<int> shortTrims;
    for (double t = 82.0; t < 100.0; t += 0.1) {
        lowest = std::min(lowest, valueAt(kO2Upstream, t));
        highest = std::max(highest, valueAt(kO2Upstream, t));
        shortTrims.insert(static_cast<int>(valueAt(kTrim, t)));
    }
    EXPECT_LT(lowest, 0.2);
    EXPECT_GT(highest, 0.7);
    EXPECT_GE(shortTrims.size(), 5);
}
