// The fuel trim monitor and the air/fuel ratio meter: their texts, and their loops against the
// simulated car.
#include "eventwait.h"
#include "livestate.h"
#include "meters.h"
#include "simfixture.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <ctime>

using namespace quorvex;
using namespace quorvex::test;

TEST(FuelTrimText, PrefixesAndTheTruncatedFormula)
{
    const std::tuple<int, int, const char *> rows[] = {
        {0, 128, "Short Term Fuel Trim B1----  0%"},  {1, 127, "Long  Term Fuel Trim B1---- -1%"},
        {2, 0, "Short Term Fuel Trim B2---- -100%"},  {3, 255, "Long  Term Fuel Trim B2 ----  99%"},
        {0, 0x86, "Short Term Fuel Trim B1----  4%"},
    };
    for (const auto &[row, a, text] : rows)
        EXPECT_EQ(fuel_trim_caption(row, a), QLatin1String(text)) << a;
}

TEST(AirFuelText, RatioAndEngineSpeed)
{
    EXPECT_EQ(air_fuel_text(32768 * 0.0000305), QStringLiteral("14.61 A/F"));
    EXPECT_EQ(air_fuel_text(0.5), QStringLiteral("07.31 A/F"));
    EXPECT_EQ(engine_speed_text(QStringLiteral(" 750")), QStringLiteral("750  RPM "));
    EXPECT_EQ(engine_speed_text(QStringLiteral(" 75")), QStringLiteral("075  RPM "));
    EXPECT_EQ(engine_speed_text(QStringLiteral(" 6502.75")), QStringLiteral("6503  RPM "));
}

namespace {

class Trims : public FuelTrimView
{
public:
    int stopAfter = 2; // passes (rounds of captions) before the view asks to stop
    bool stopRequested() const override { return shown >= stopAfter * perPass; }
    void showTrim(int row, const QString &caption) override
    {
        captions[row] = caption;
        ++shown;
    }
    int perPass = 4;
    int shown = 0;
    std::array<QString, 4> captions;
};

class Meter : public AirFuelView
{
public:
    bool stop = false;
    bool stopRequested() const override { return stop; }
    void showRatio(const QString &text) override { ratios << text; }
    void showSpeed(const QString &text) override { speeds << text; }
    QStringList ratios;
    QStringList speeds;
};

class MetersTest : public SimLinkTest
{
protected:
    void SetUp() override
    {
        sim::Scenario car;
        car.markIntervalMs = 2;
        car.latencyMs = 20;
        sim::Ecu ecu;
        ecu.pids = {0x06, 0x07, 0x08, 0x09, 0x0C, 0x24};
        ecu.values = {{0x06, QByteArray::fromHex("80")},   {0x07, QByteArray::fromHex("7F")},
                      {0x08, QByteArray::fromHex("00")},   {0x09, QByteArray::fromHex("FF")},
                      {0x0C, QByteArray::fromHex("0BB8")}, {0x24, QByteArray::fromHex("8000")}};
        car.ecus = {ecu};
        startSim(car);
        live.WideO2PID = QStringLiteral("24");
    }
    LiveDataState live;
};

} // namespace

TEST_F(MetersTest, FuelTrimsOfTheSupportedBanksOnly)
{
    live.HasSTFTB1 = live.HasLTFTB1 = true;
    Trims view;
    view.perPass = 2;
    EXPECT_EQ(run_fuel_trim_monitor(ctx, live, view, {}), ExchangeStatus::Ok);
    EXPECT_EQ(view.captions, (std::array<QString, 4>{"Short Term Fuel Trim B1----  0%",
                                                     "Long  Term Fuel Trim B1---- -1%", "", ""}));
    EXPECT_EQ(server->commands(), (QStringList{"010606", "010706", "010606", "010706"}));
}

TEST_F(MetersTest, FuelTrimMonitorWithNothingToReadSleeps)
{
    Trims view; // no trim supported: it waits for the stop without using the processor
    view.stopAfter = 0;
    view.perPass = 1;
    view.shown = -1;
    QTimer::singleShot(1000, [&view] { view.shown = 0; });
    const std::clock_t cpu = std::clock();
    QElapsedTimer t;
    t.start();
    run_fuel_trim_monitor(ctx, live, view, {});
    EXPECT_GE(t.elapsed(), 950);
    EXPECT_LT(double(std::clock() - cpu) / CLOCKS_PER_SEC, 0.2); // a spinning loop: about 1 s
    EXPECT_TRUE(server->commands().isEmpty());
}

TEST_F(MetersTest, AirFuelMeterShowsRatioAndSpeedAndEndsOnNoContact)
{
    Meter view;
    QTimer::singleShot(200, [this] { server->setFaults({.noContact = true}); });
    EXPECT_EQ(run_air_fuel_meter(ctx, live, view, {}), ExchangeStatus::NoContact);
    ASSERT_FALSE(view.ratios.isEmpty());
    EXPECT_EQ(view.ratios.first(), QStringLiteral("14.61 A/F"));
    EXPECT_EQ(view.speeds.first(), QStringLiteral("750  RPM "));
    EXPECT_EQ(server->commands().mid(0, 2), (QStringList{"012409", "010C07"}));
}

TEST_F(MetersTest, ExitDuringEitherExchangeStopsTheMeter)
{
    // The car answers after 20 ms: "EXIT" lands while the lambda or the speed is awaited.
    for (const char *command : {"012409", "010C07"}) {
        Meter view;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&, c = QLatin1String(command)] {
            if (server->commands().count(c) >= 2) { // the second pass is waiting for it
                view.stop = true;                   // what "EXIT" does: the meter's flag and
                ctx.state.StopFlag = true;          // the link's, which ends the waiting exchange
                watch.stop();
            }
        });
        watch.start(1);
        QElapsedTimer t;
        t.start();
        run_air_fuel_meter(ctx, live, view, {});
        EXPECT_LT(t.elapsed(), 2000) << command;
        EXPECT_LE(view.ratios.size(), 2) << command;
        const int sent = static_cast<int>(server->commands().size());
        settle(100);
        EXPECT_EQ(server->commands().size(), sent) << command << ": nothing asked after EXIT";
        TearDown();
        SetUp();
    }
}
