// The modelled car: every PID 01 to 4E with data of its defined size, in plausible ranges,
// moving the way an engine does that idles after a cool start and then drives.
#include "simtestutil.h"
#include "simvehicle.h"

#include <QSet>

#include <gtest/gtest.h>

#include <functional>

using namespace quorvex::sim;
using namespace quorvex::sim::test;

namespace {

constexpr qint64 kSecond = 1'000'000;

Ecu everyPidEcu()
{
    Ecu ecu;
    ecu.pids = pidRange(0x01, 0x4E);
    return ecu;
}

int byteA(const QByteArray &data)
{
    return static_cast<quint8>(data.at(0));
}

int wordAB(const QByteArray &data)
{
    return byteA(data) * 256 + static_cast<quint8>(data.at(1));
}

// The model's value of `pid` at `seconds` into the run, decoded.
double valueAt(quint8 pid, double seconds, const std::function<double(const QByteArray &)> &decode)
{
    const Moment moment{static_cast<qint64>(seconds * kSecond), -1};
    return decode(modelPidData(everyPidEcu(), pid, moment));
}

double rpm(const QByteArray &d)
{
    return wordAB(d) / 4.0;
}
double speed(const QByteArray &d)
{
    return byteA(d);
}
double celsius(const QByteArray &d)
{
    return byteA(d) - 40.0;
}
double percent(const QByteArray &d)
{
    return byteA(d) * 100.0 / 255.0;
}
double trim(const QByteArray &d)
{
    return (byteA(d) - 128) * 100.0 / 128.0;
}
double o2Volts(const QByteArray &d)
{
    return byteA(d) * 0.005;
}
double lambda(const QByteArray &d)
{
    return wordAB(d) * 2.0 / 65536.0;
}

} // namespace

TEST(SimVehicle, DataLengthsFollowThePidDefinitions)
{
    struct Row
    {
        const char *name;
        QList<quint8> pids;
        int size;
    };
    const Row rows[] = {
        {"monitor status", {0x01, 0x41}, 4},
        {"freeze-frame code, fuel system", {0x02, 0x03}, 2},
        {"one-byte values of the first range",
         {0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0D, 0x0E, 0x0F, 0x11, 0x12, 0x13, 0x1C,
          0x1D, 0x1E},
         1},
        {"engine speed, air flow, run time", {0x0C, 0x10, 0x1F}, 2},
        {"narrow O2 sensors: voltage and trim", pidRange(0x14, 0x1B), 2},
        {"distances and pressures", {0x21, 0x22, 0x23, 0x31, 0x32}, 2},
        {"wide-range O2 sensors", pidRange(0x24, 0x2B) + pidRange(0x34, 0x3B), 4},
        {"one-byte values of the second range", {0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x33}, 1},
        {"catalyst temperatures", pidRange(0x3C, 0x3F), 2},
        {"voltage, absolute load, equivalence ratio", {0x42, 0x43, 0x44}, 2},
        {"positions and ambient temperature", pidRange(0x45, 0x4C), 1},
        {"minutes", {0x4D, 0x4E}, 2},
        {"support PIDs and beyond 4E: nothing", {0x00, 0x20, 0x40, 0x4F, 0x60}, 0},
    };
    int covered = 0;
    for (const Row &row : rows) {
        for (const quint8 pid : row.pids) {
            SCOPED_TRACE(row.name + std::string(" ") + QByteArray::number(pid, 16).toStdString());
            EXPECT_EQ(modelPidData(everyPidEcu(), pid, Moment{}).size(), row.size);
            covered += (pid >= 0x01 && pid <= 0x4E) ? 1 : 0;
        }
    }
    EXPECT_EQ(covered, 0x4E); // every PID 01 to 4E, the support PIDs 20 and 40 among them
}

TEST(SimVehicle, ValuesStayInPlausibleRanges)
{
    struct Row
    {
        const char *name;
        quint8 pid;
        std::function<double(const QByteArray &)> decode;
        double low;
        double high;
    };
    const Row rows[] = {
        {"engine speed", 0x0C, rpm, 650.0, 3500.0},
        {"vehicle speed", 0x0D, speed, 0.0, 80.0},
        {"coolant", 0x05, celsius, 30.0, 95.0},
        {"intake air", 0x0F, celsius, 10.0, 40.0},
        {"calculated load", 0x04, percent, 5.0, 100.0},
        {"short-term trim", 0x06, trim, -8.0, 8.0},
        {"long-term trim bank 2", 0x09, trim, -5.0, 5.0},
        {"upstream O2", 0x14, o2Volts, 0.0, 1.0},
        {"wide-range O2 lambda", 0x24, lambda, 0.85, 2.0},
        {"commanded lambda", 0x44, lambda, 0.85, 1.01},
        {"air flow, g/s", 0x10, [](const QByteArray &d) { return wordAB(d) / 100.0; }, 1.0, 60.0},
        {"manifold pressure, kPa", 0x0B, speed, 15.0, 102.0},
        {"catalyst, degrees C", 0x3C, [](const QByteArray &d) { return wordAB(d) / 10.0 - 40; },
         15.0, 900.0},
        {"module voltage", 0x42, [](const QByteArray &d) { return wordAB(d) / 1000.0; }, 13.5,
         14.8},
        {"throttle", 0x11, percent, 10.0, 60.0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        for (double t = 0.0; t <= 600.0; t += 0.25) {
            const double value = valueAt(row.pid, t, row.decode);
            ASSERT_GE(value, row.low) << "at " << t << " s";
            ASSERT_LE(value, row.high) << "at " << t << " s";
        }
    }
}

TEST(SimVehicle, IdlesThenDrivesACycle)
{
    double topSpeed = 0.0;
    for (double t = 0.0; t < 20.0; t += 0.5) {
        EXPECT_EQ(valueAt(0x0D, t, speed), 0.0) << t;
        EXPECT_LE(valueAt(0x0C, t, rpm), 1100.0) << t;
    }
    for (double t = 20.0; t < 100.0; t += 0.5)
        topSpeed = std::max(topSpeed, valueAt(0x0D, t, speed));
    EXPECT_GE(topSpeed, 70.0);
    EXPECT_EQ(valueAt(0x0D, 95.0, speed), 0.0);  // standing at the end of the first cycle
    EXPECT_GT(valueAt(0x0C, 60.0, rpm), 1500.0); // cruising
}

TEST(SimVehicle, TemperaturesWarmUp)
{
    double previous = -40.0;
    for (double t = 0.0; t <= 900.0; t += 5.0) {
        const double coolant = valueAt(0x05, t, celsius);
        EXPECT_GE(coolant, previous) << t;
        previous = coolant;
    }
    EXPECT_LE(valueAt(0x05, 0.0, celsius), 40.0);
    EXPECT_GE(valueAt(0x05, 900.0, celsius), 88.0);
    EXPECT_LT(valueAt(0x3C, 5.0, [](const QByteArray &d) { return wordAB(d) / 10.0 - 40; }),
              valueAt(0x3C, 300.0, [](const QByteArray &d) { return wordAB(d) / 10.0 - 40; }));
}

TEST(SimVehicle, MixtureControlMovesTheSensorsAndTrims)
{
    // 82 to 100 s: standing at idle after the first cycle, warm enough for closed loop.
    QSet<int> shortTrims;
    double upstreamLow = 1.0;
    double upstreamHigh = 0.0;
    for (double t = 82.0; t < 100.0; t += 0.1) {
        upstreamLow = std::min(upstreamLow, valueAt(0x14, t, o2Volts));
        upstreamHigh = std::max(upstreamHigh, valueAt(0x14, t, o2Volts));
        shortTrims.insert(static_cast<int>(valueAt(0x06, t, trim)));
        const double downstream = valueAt(0x15, t, o2Volts);
        EXPECT_GE(downstream, 0.55) << t;
        EXPECT_LE(downstream, 0.75) << t;
        const double wideRange = valueAt(0x24, t, lambda);
        EXPECT_NEAR(wideRange, 1.0, 0.03) << t;
    }
    EXPECT_LT(upstreamLow, 0.2);
    EXPECT_GT(upstreamHigh, 0.7);
    EXPECT_GE(shortTrims.size(), 5);

    double longLow = 100.0;
    double longHigh = -100.0;
    for (double t = 0.0; t < 60.0; t += 1.0) {
        longLow = std::min(longLow, valueAt(0x07, t, trim));
        longHigh = std::max(longHigh, valueAt(0x07, t, trim));
    }
    EXPECT_GT(longHigh - longLow, 2.0);

    EXPECT_LT(valueAt(0x24, 20.5, lambda), 0.95); // pulling away: rich
    EXPECT_GT(valueAt(0x24, 75.0, lambda), 1.9);  // coasting with the injectors off: air
}

TEST(SimVehicle, CountersFollowTheMilAndTheDistanceDriven)
{
    const auto word = [](const Ecu &ecu, quint8 pid, double seconds) {
        return wordAB(modelPidData(ecu, pid, Moment{static_cast<qint64>(seconds * kSecond), -1}));
    };
    Ecu lit = everyPidEcu();
    lit.mil = true;
    const Ecu dark = everyPidEcu();
    // A cycle covers about a kilometre (average near 45 km/h over 80 s).
    EXPECT_EQ(word(dark, 0x31, 20.0), 1234);
    EXPECT_EQ(word(dark, 0x31, 260.0), 1237);
    EXPECT_EQ(word(lit, 0x21, 260.0), 57 + 3);
    EXPECT_EQ(word(dark, 0x21, 260.0), 0);
    EXPECT_EQ(word(lit, 0x4D, 600.0), 42 + 10);
    EXPECT_EQ(word(dark, 0x4D, 600.0), 0);
    EXPECT_EQ(word(dark, 0x1F, 600.0), 600); // seconds since the start
}
