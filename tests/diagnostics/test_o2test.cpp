// The O2 sensor test: the sensor list, each test's texts, and the run against the simulated car
// on service 05 or 06.
#include "diagnostics/o2test.h"
#include "support/simfixture.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

TEST(O2Test, SensorListFromTheSensorsPresent)
{
    QStringList lines;
    QList<int> bits;
    for (const O2SensorChoice &c : o2_sensor_choices({1, 2, 0, 0, 16, 0, 0, 128})) {
        lines << c.line;
        bits << c.bit;
    }
    EXPECT_EQ(lines, (QStringList{"Bank1, Sensor1", "Bank1, Sensor2", "Bank2, Sensor1",
                                  "Bank2, Sensor4"}));
    EXPECT_EQ(bits, (QList<int>{1, 2, 16, 128}));
}

// Values just beyond their limits, below and above, and one within them.
TEST(O2Test, TestTextsAndLimits)
{
    const struct
    {
        int tid;
        const char *reply;
        const char *value, *minimum, *maximum;
        bool outside;
    } rows[] = {
        {5, "R486B104505330A32", " .204 S", " .04 S", " .2 S", true},
        {7, "R486B104507000A14", " 0 V", " .05 V", " .1 V", true},
        {9, "R486B104509320A64", " 2 S", " .4 S", " 4 S", false},
    };
    for (const auto &r : rows) {
        const O2TidResult result = o2_tid_result(r.tid, QLatin1String(r.reply));
        EXPECT_EQ(result.value, QLatin1String(r.value)) << r.reply;
        EXPECT_EQ(result.minimum, QLatin1String(r.minimum)) << r.reply;
        EXPECT_EQ(result.maximum, QLatin1String(r.maximum)) << r.reply;
        EXPECT_EQ(result.outside, r.outside) << r.reply;
    }
}

namespace {

class O2RunTest : public SimLinkTest
{
protected:
    void run(sim::Ecu ecu, int sensor)
    {
        ecu.pids = {0x13};
        ecu.values = {{0x13, QByteArray::fromHex("13")}};
        sim::Scenario car;
        car.ecus = {ecu};
        startSim(car);
        result = RunO2Test(ctx, sensor);
    }
    O2TestRun result;
};

} // namespace

TEST_F(O2RunTest, ServiceFiveWhenTheSupportReplySays4600)
{
    run(sim::Ecu{}, 16);
    EXPECT_EQ(result.outcome, O2TestRun::Outcome::Done);
    EXPECT_EQ(result.service, QStringLiteral("05"));
    // The request ends in the sensor's bit value; TID 02 always on service 06.
    EXPECT_EQ(server->commands(), (QStringList{"050010", "050110", "060210", "050310", "050410",
                                               "050510", "050610", "050710", "050810", "050910"}));
    EXPECT_EQ(result.results.size(), 9);
    EXPECT_EQ(result.supportEcho.size(), 1);
}

TEST_F(O2RunTest, AnyOtherSupportReplySwitchesToServiceSixForTheRestOfTheTest)
{
    sim::Ecu ecu;
    ecu.o2Service05 = false;
    ecu.o2Tests = {{0x01, QByteArray::fromHex("5A")}}; // support B1 = 80: TID 01 only
    run(ecu, 1);
    EXPECT_EQ(result.service, QStringLiteral("06"));
    EXPECT_EQ(server->commands(), (QStringList{"050001", "060001", "060101"}));
    ASSERT_EQ(result.results.size(), 1);
    EXPECT_EQ(result.results[0].value, QStringLiteral(" .45 V"));
}

TEST_F(O2RunTest, OutcomesWithoutResults)
{
    // A sensor the car lacks: the ECU does not answer ("ECU Timeout").
    run(sim::Ecu{}, 4);
    EXPECT_EQ(result.outcome, O2TestRun::Outcome::EcuTimeout);
    EXPECT_TRUE(result.results.isEmpty());
    // No test at all: "4600" with nothing supported is still supported, but empty.
    sim::Ecu none;
    none.o2Tests = {};
    run(none, 1);
    EXPECT_EQ(result.outcome, O2TestRun::Outcome::Done);
    EXPECT_TRUE(result.results.isEmpty());
    // A silent interface ends the wait at the link's bound, not never.
    sim::Scenario quiet;
    quiet.faults.silent = true;
    startSim(quiet);
    const qint64 start = clock.nowMs();
    result = RunO2Test(ctx, 1);
    EXPECT_EQ(clock.nowMs() - start, ctx.bounds.silentMs);
    EXPECT_EQ(result.outcome, O2TestRun::Outcome::Failed);
    EXPECT_EQ(result.status.outcome(), ExchangeStatus::Silent);
}
