// The real-time display's texts, and the three live displays (real-time display, air/fuel
// ratio meter, data logger) against the simulated car: live data after a freeze-frame run,
// failed passes that show nothing, and failures that end the display.
#include "livedata/livestate.h"
#include "monitor/datalogger.h"
#include "monitor/meters.h"
#include "monitor/realtime.h"
#include "support/simfixture.h"

#include <QBuffer>

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {
PidItem item(const char *valueText, const char *units, const char *label = "Label -- ")
{
    return PidItem{0, QLatin1String(valueText), QLatin1String(units), QLatin1String(label)};
}
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
        {"fuel pressure: raw, units", 0x0A, item(" 300", "KPa"), " 300KPa", "KPa", 300},
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
        const ItemDisplay *row = item_display(r.code);
        ASSERT_NE(row, nullptr) << r.name;
        const RealTimeSample s = realtime_sample(*row, r.code, r.item);
        EXPECT_EQ(s.valueText, QLatin1String(r.text)) << r.name;
        EXPECT_EQ(s.yTitle, QLatin1String(r.yTitle)) << r.name;
        EXPECT_EQ(s.y, r.y) << r.name;
    }
    // The wide-range sensors, both kinds.
    for (const int code : {0x24, 0x2B, 0x34, 0x3B}) {
        const RealTimeSample s =
            realtime_sample(*item_display(code), code, item(" .999424", " Lambda"));
        EXPECT_EQ(s.caption, QStringLiteral("Wide Range O2 Sensor Lambda")) << code;
        EXPECT_EQ(s.valueText, QStringLiteral("0.999  Lambda")) << code;
    }
    for (const int code : {0x01, 0x06, 0x13, 0x1F, 0x20, 0x41, 0x60, 0xA0})
        EXPECT_EQ(item_display(code), nullptr) << code;
}

namespace {

// The view of any live display: what it shows, one pass.
class LiveView : public RealTimeView, public AirFuelView, public LoggerView
{
public:
    bool stopRequested() const override { return passes > 0; }
    void showSample(const RealTimeSample &sample) override { pass(sample.valueText); }
    void showRatio(const QString &text) override { shown << text; }
    void showSpeed(const QString &text) override { pass(text); }
    double intervalSeconds() const override { return 0; }
    void showValues(const std::array<QString, 4> &values) override { pass(values[0]); }
    void pass(const QString &text)
    {
        shown << text;
        ++passes;
    }
    QStringList shown;
    int passes = 0;
};

// Each display of the engine speed: the car at 750 RPM, its freeze frame at 1675 RPM.
class LiveDisplayTest : public SimLinkTest
{
protected:
    void startCar(sim::Faults faults = {})
    {
        sim::Scenario car;
        car.ecus[0].pids << 0x24;
        car.ecus[0].values[0x24] = QByteArray::fromHex("8000");
        car.faults = faults;
        startSim(car);
        live.WideO2PID = QStringLiteral("24");
        file.close();
        file.buffer().clear();
        file.open(QIODevice::WriteOnly);
        failures.clear();
    }
    using Run = std::function<ExchangeStatus(LiveView &)>;
    const std::function<void(ExchangeStatus)> note = [this](ExchangeStatus s) { failures << s; };
    const std::pair<const char *, Run> displays[3] = {
        {"real-time display",
         [this](LiveView &v) { return run_realtime(ctx, live, 0x0C, v, note); }},
        {"air/fuel ratio meter",
         [this](LiveView &v) { return run_air_fuel_meter(ctx, live, v, note); }},
        {"data logger",
         [this](LiveView &v) {
             return run_logger(ctx, live, {0x0C, 0x0D, 0x0C, 0x0C}, file, v, note).status;
         }},
    };
    LiveDataState live;
    QBuffer file;
    QList<ExchangeStatus> failures;
};

} // namespace

// A freeze-frame run leaves the decoders on the frame (service 02, one byte longer) until the
// next current-data request. A live display reads the vehicle's live data all the same.
TEST_F(LiveDisplayTest, ReadsLiveDataAfterAFreezeFrameRun)
{
    const QStringList commands[] = {
        {"010C07"}, {"012409", "010C07"}, {"010C07", "010D06", "010C07", "010C07"}};
    const QStringList shown[] = {{"750 RPM"}, {"14.61 A/F", "750  RPM "}, {" 750 RPM"}};
    for (size_t i = 0; i < std::size(displays); ++i) {
        const auto &[name, run] = displays[i];
        startCar();
        live.PIDmode = QStringLiteral("02");
        live.PIDoffset = 1;
        LiveView view;
        EXPECT_EQ(run(view), ExchangeStatus::Ok) << name;
        EXPECT_EQ(server->commands(), commands[i]) << name;
        EXPECT_EQ(view.shown, shown[i]) << name;
    }
}

// The ECU does not answer: every pass fails, shows and writes nothing, until the interface
// loses vehicle contact, which ends the display.
TEST_F(LiveDisplayTest, FailedPassesShowNothingAndLinkFailuresEndTheDisplay)
{
    for (const auto &[name, run] : displays) {
        startCar({.ecuTimeout = true});
        clock.callAfter(100, [this] { server->setFaults({.noContact = true}); });
        LiveView view;
        EXPECT_EQ(run(view), ExchangeStatus::NoContact) << name;
        EXPECT_TRUE(view.shown.isEmpty()) << name;
        EXPECT_TRUE(file.data().isEmpty()) << name;
        ASSERT_GE(failures.size(), 2) << name;
        EXPECT_EQ(failures.first(), ExchangeStatus::EcuTimeout) << name;
        EXPECT_EQ(failures.last(), ExchangeStatus::NoContact) << name;
    }
}
