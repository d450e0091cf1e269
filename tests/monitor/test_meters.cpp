// The fuel trim monitor and the air/fuel ratio meter: their texts, the monitor's sleep with
// nothing to read, and EXIT ending the meter at once.
#include "livedata/livestate.h"
#include "monitor/meters.h"
#include "support/simfixture.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

// Bank 1's trims at 86 and 7F and the meter at 14.61 A/F and 750 RPM are the window test's;
// here bank 2's prefixes, the formula's ends, leading zeros and rounding.
TEST(MeterTexts, PrefixesTruncationLeadingZerosAndRounding)
{
    const std::tuple<int, int, const char *> rows[] = {
        {0, 128, "Short Term Fuel Trim B1----  0%"},
        {2, 0, "Short Term Fuel Trim B2---- -100%"},
        {3, 255, "Long  Term Fuel Trim B2 ----  99%"}};
    for (const auto &[row, a, text] : rows)
        EXPECT_EQ(fuel_trim_caption(row, a), QLatin1String(text)) << a;
    EXPECT_EQ(air_fuel_text(0.5), QStringLiteral("07.31 A/F"));
    EXPECT_EQ(engine_speed_text(QStringLiteral(" 75")), QStringLiteral("075  RPM "));
    EXPECT_EQ(engine_speed_text(QStringLiteral(" 6502.75")), QStringLiteral("6503  RPM "));
}

namespace {

class Trims : public FuelTrimView
{
public:
    bool stop = false;
    // A loop that looks at its flag without end is stopped all the same.
    bool stopRequested() const override { return stop || ++looks > 1000; }
    void showTrim(int, const QString &) override {}
    mutable int looks = 0;
};

class Meter : public AirFuelView
{
public:
    bool stop = false;
    // A meter that EXIT never reached is stopped all the same.
    bool stopRequested() const override { return stop || ratios.size() > 100; }
    void showRatio(const QString &text) override { ratios << text; }
    void showSpeed(const QString &) override {}
    QStringList ratios;
};

using MetersTest = SimLinkTest;

} // namespace

// With no trim supported the monitor sleeps in the event loop until the stop arrives: a loop
// that spun instead would look at its flag without end while no time passed.
TEST(FuelTrimMonitor, WithNothingToReadSleepsUntilTheStop)
{
    VirtualClock clock;
    ObdContext ctx(clock);
    Trims view;
    clock.callAfter(3000, [&view] { view.stop = true; });
    EXPECT_EQ(run_fuel_trim_monitor(ctx, LiveDataState{}, view, {}), ExchangeStatus::Ok);
    EXPECT_EQ(clock.nowMs() - VirtualClock::kStartMs, 3000);
    EXPECT_LE(view.looks, 1000);
}

TEST_F(MetersTest, ExitDuringEitherExchangeStopsTheMeterAtOnce)
{
    // "EXIT" lands while the second pass awaits the lambda or the speed, which the built-in car
    // with a wide-range sensor answers 20 ms after each request.
    sim::Scenario car;
    car.latencyMs = 20;
    car.ecus[0].pids << 0x24;
    LiveDataState live;
    live.WideO2PID = QStringLiteral("24");
    for (const char *command : {"012409", "010C07"}) {
        startSim(car);
        Meter view;
        qint64 exitAt = 0;
        clock.when([&] { return server->commands().count(QLatin1String(command)) == 2; },
                   [&] {
                       view.stop = true;          // what "EXIT" does: the meter's flag and
                       ctx.state.StopFlag = true; // the link's, which ends the waiting exchange
                       exitAt = clock.nowMs();
                   });
        run_air_fuel_meter(ctx, live, view, {});
        EXPECT_EQ(clock.nowMs(), exitAt) << command;
        EXPECT_EQ(view.ratios.size(), command == QByteArrayView("012409") ? 1 : 2) << command;
        const qsizetype sent = server->commands().size();
        clock.run(1000);
        EXPECT_EQ(server->commands().size(), sent) << command << ": nothing asked after EXIT";
    }
}
