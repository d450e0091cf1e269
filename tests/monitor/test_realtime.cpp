// The real-time display: how each kind of item is shown, and its loop against the simulated
// car (stopping, failures that show nothing).
#include "livestate.h"
#include "realtime.h"
#include "simfixture.h"

#include <QTimer>

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

PidItem item(const char *valueText, const char *units, const char *label = "Label -- ")
{
    return PidItem{0, QLatin1String(valueText), QLatin1String(units), QLatin1String(label)};
}

// Records every pass and asks to stop after `passes` of them.
class Recorder : public RealTimeView
{
public:
    explicit Recorder(int passes) : m_passes(passes) {}
    bool stopRequested() const override { return samples.size() >= m_passes; }
    void showSample(const RealTimeSample &sample) override { samples << sample; }
    QList<RealTimeSample> samples;

private:
    int m_passes;
};

} // namespace

TEST(RealTimeRows, EveryKindOfValueText)
{
    const struct
    {
        const char *name;
        int code;
        PidItem item;
        const char *text;
        double yMin, yMax;
        const char *yTitle;
        std::optional<double> y;
    } rows[] = {
        {"load: percent, no units", 0x04, item(" 25", "%"), "25.0%", 10, 50, "%", 25},
        {"throttle: percent with a blank", 0x11, item(" 50.1", "%"), "50.1% ", 0, 100, "%", 50.1},
        {"coolant: formatted, units", 0x05, item("70", "Deg F"), "70 Deg F", 150, 180, "Deg F", 70},
        {"manifold pressure: two decimals", 0x0B, item(" 29.9", "inHg"), "29.90 inHg", 18, 40,
         "inHg", 29.9},
        {"engine speed", 0x0C, item(" 750", "RPM"), "750 RPM", 500, 2000, "RPM", 750},
        {"fuel pressure: raw, units", 0x0A, item(" 300", "KPa"), " 300KPa", 20, 70, "KPa", 300},
        {"fuel economy: raw", 0x12, item(" 189.", "MPG"), " 189.MPG", 0, 50, "MPG", 189},
        {"O2 bank 1 sensor 1: the units title the axis", 0x14,
         item(" .45", " Volts", "O2 Sensor1 Val --------- "), "0.450  Volts", 0, 1.25, " Volts",
         0.45},
        {"O2 bank 1 sensor 3: the label titles the axis", 0x16,
         item(" .45", " Volts", "O2 Sensor3 Val --------- "), "0.450  Volts", 0, 1.25,
         "O2 Sensor3 Val --------- ", 0.45},
        {"EVAP pressure below zero", 0x32, item("-.25", "Pa"), "-0.250 Pa", -8200, 8200, "Pa",
         -0.25},
        {"a value that is not a number plots nothing", 0x0C, item("", "RPM"), " RPM", 500, 2000,
         "RPM", std::nullopt},
    };
    for (const auto &r : rows) {
        const RealTimeRow *row = realtime_row(r.code);
        ASSERT_NE(row, nullptr) << r.name;
        const RealTimeSample s = realtime_sample(*row, r.code, r.item);
        EXPECT_EQ(s.valueText, QLatin1String(r.text)) << r.name;
        EXPECT_EQ(s.yMin, r.yMin) << r.name;
        EXPECT_EQ(s.yMax, r.yMax) << r.name;
        EXPECT_EQ(s.yTitle, QLatin1String(r.yTitle)) << r.name;
        EXPECT_EQ(s.caption, r.item.label) << r.name;
        EXPECT_EQ(s.y, r.y) << r.name;
    }
    // The wide-range sensors, both kinds.
    for (const int code : {0x24, 0x2B, 0x34, 0x3B}) {
        const RealTimeSample s =
            realtime_sample(*realtime_row(code), code, item(" .999424", " Lambda"));
        EXPECT_EQ(s.caption, QStringLiteral("Wide Range O2 Sensor Lambda")) << code;
        EXPECT_EQ(s.valueText, QStringLiteral("0.999  Lambda")) << code;
        EXPECT_EQ(s.yMax, 1.999) << code;
    }
    for (const int code : {0x01, 0x06, 0x13, 0x1F, 0x20, 0x41, 0x4F})
        EXPECT_EQ(realtime_row(code), nullptr) << code;
}

namespace {

class RealTimeLoopTest : public SimLinkTest
{
protected:
    void SetUp() override
    {
        sim::Scenario car;
        car.markIntervalMs = 2;
        sim::Ecu ecu;
        ecu.pids = {0x04, 0x0C};
        ecu.silentPids = {0x04};
        ecu.values = {{0x0C, QByteArray::fromHex("0BB8")}};
        car.ecus = {ecu};
        startSim(car);
    }
    LiveDataState live;
    QList<ExchangeStatus> failures;
    std::function<void(ExchangeStatus)> note = [this](ExchangeStatus s) { failures << s; };
};

} // namespace

TEST_F(RealTimeLoopTest, PassesUntilTheViewStops)
{
    Recorder view(3);
    EXPECT_EQ(run_realtime(ctx, live, 0x0C, view, note), ExchangeStatus::Ok);
    ASSERT_EQ(view.samples.size(), 3);
    EXPECT_EQ(view.samples.last().valueText, QStringLiteral("750 RPM"));
    EXPECT_EQ(server->commands(), QStringList(3, QStringLiteral("010C07")));
    EXPECT_TRUE(failures.isEmpty());
}

TEST_F(RealTimeLoopTest, FailedPassesShowNothingAndLinkFailuresEndTheDisplay)
{
    // The ECU never answers the load: every pass fails and shows nothing, until the interface
    // loses vehicle contact, which ends the display.
    Recorder view(1);
    QTimer::singleShot(100, [this] { server->setFaults({.noContact = true}); });
    EXPECT_EQ(run_realtime(ctx, live, 0x04, view, note), ExchangeStatus::NoContact);
    EXPECT_TRUE(view.samples.isEmpty());
    ASSERT_GE(failures.size(), 2);
    EXPECT_EQ(failures.first(), ExchangeStatus::EcuTimeout);
    EXPECT_EQ(failures.last(), ExchangeStatus::NoContact);
}
