// The real-time display: how each kind of item is shown, and its loop against the simulated
// car (stopping, failures that show nothing); and every live display reading live data after a
// freeze-frame run.
#include "datalogger.h"
#include "livestate.h"
#include "meters.h"
#include "realtime.h"
#include "simfixture.h"

#include <QBuffer>

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
        const char *yTitle;
        std::optional<double> y;
    } rows[] = {
        {"load: percent, no units", 0x04, item(" 25", "%"), "25.0%", "%", 25},
        {"throttle: percent with a blank", 0x11, item(" 50.1", "%"), "50.1% ", "%", 50.1},
        {"coolant: formatted, units", 0x05, item("70", "Deg F"), "70 Deg F", "Deg F", 70},
        {"manifold pressure: two decimals", 0x0B, item(" 29.9", "inHg"), "29.90 inHg", "inHg",
         29.9},
        {"fuel pressure: raw, units", 0x0A, item(" 300", "KPa"), " 300KPa", "KPa", 300},
        {"fuel economy: raw", 0x12, item(" 189.", "MPG"), " 189.MPG", "MPG", 189},
        {"O2 bank 1 sensor 1: the units title the axis", 0x14,
         item(" .45", " Volts", "O2 Sensor1 Val --------- "), "0.450  Volts", " Volts", 0.45},
        {"O2 bank 1 sensor 3: the label titles the axis", 0x16,
         item(" .45", " Volts", "O2 Sensor3 Val --------- "), "0.450  Volts",
         "O2 Sensor3 Val --------- ", 0.45},
        {"EVAP pressure below zero", 0x32, item("-.25", "Pa"), "-0.250 Pa", "Pa", -0.25},
        {"a value that is not a number plots nothing", 0x0C, item("", "RPM"), " RPM", "RPM",
         std::nullopt},
    };
    for (const auto &r : rows) {
        const RealTimeRow *row = realtime_row(r.code);
        ASSERT_NE(row, nullptr) << r.name;
        const RealTimeSample s = realtime_sample(*row, r.code, r.item);
        EXPECT_EQ(s.valueText, QLatin1String(r.text)) << r.name;
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
    clock.callAfter(100, [this] { server->setFaults({.noContact = true}); });
    EXPECT_EQ(run_realtime(ctx, live, 0x04, view, note), ExchangeStatus::NoContact);
    EXPECT_TRUE(view.samples.isEmpty());
    ASSERT_GE(failures.size(), 2);
    EXPECT_EQ(failures.first(), ExchangeStatus::EcuTimeout);
    EXPECT_EQ(failures.last(), ExchangeStatus::NoContact);
}

namespace {

// The view of any of the three live displays: what it shows of the engine speed, one pass.
class LiveView : public RealTimeView, public AirFuelView, public LoggerView
{
public:
    bool stopRequested() const override { return !shown.isEmpty(); }
    void showSample(const RealTimeSample &sample) override { shown << sample.valueText; }
    void showRatio(const QString &) override {}
    void showSpeed(const QString &text) override { shown << text; }
    double intervalSeconds() const override { return 0; }
    void showValues(const std::array<QString, 4> &values) override { shown << values[0]; }
    QStringList shown;
};

using LiveDisplayTest = SimLinkTest;

} // namespace

// A freeze-frame run leaves the decoders on the frame (service 02, one byte longer) until the
// next current-data request. A live display reads the vehicle's live data all the same.
TEST_F(LiveDisplayTest, ReadsLiveDataAfterAFreezeFrameRun)
{
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    LiveDataState live;
    const struct
    {
        const char *name;
        std::function<void(LiveView &)> run;
        QStringList commands;
        QString shown;
    } rows[] = {
        {"real-time display",
         [&](LiveView &v) { run_realtime(ctx, live, 0x0C, v, {}); },
         {"010C07"},
         "750 RPM"},
        {"air/fuel ratio meter",
         [&](LiveView &v) { run_air_fuel_meter(ctx, live, v, {}); },
         {"012409", "010C07"},
         "750  RPM "},
        {"data logger",
         [&](LiveView &v) {
             run_logger(ctx, live, {0x0C, 0x0D, 0x0C, 0x0C}, file, v, {});
         },
         {"010C07", "010D06", "010C07", "010C07"},
         " 750 RPM"},
    };
    for (const auto &r : rows) {
        sim::Scenario car; // 750 RPM now, 1675 RPM in the frame
        car.ecus[0].pids << 0x24;
        startSim(car);
        live.PIDmode = QStringLiteral("02");
        live.PIDoffset = 1;
        live.WideO2PID = QStringLiteral("24");
        LiveView view;
        r.run(view);
        EXPECT_EQ(server->commands(), r.commands) << r.name;
        EXPECT_EQ(view.shown, QStringList{r.shown}) << r.name;
    }
}
