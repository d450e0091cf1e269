// The MIL and readiness-monitor report: the decoding of PID 01's four bytes as a table, and the
// exchange with the simulated car.
#include "connection.h"
#include "dispatch.h"
#include "livestate.h"
#include "mil.h"
#include "simfixture.h"
#include "sweep.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

QString milReply(const char *abcd)
{
    return QStringLiteral("R486B104101") + QLatin1String(abcd);
}

} // namespace

TEST(MilReport, LinesPerByte)
{
    const struct
    {
        const char *name;
        const char *abcd;
        QStringList lines;
    } rows[] = {
        {"MIL on hides the count", "83000000", {"MIL is ON, Stored Trouble Codes Present"}},
        {"MIL off with three codes", "03000000", {"MIL is OFF, 3 stored Trouble Code(s)"}},
        {"nothing supported", "00000000", {"MIL is OFF, 0 stored Trouble Code(s)"}},
        {"B=15: misfire incomplete, component complete, no fuel line",
         "00150000",
         {"MIL is OFF, 0 stored Trouble Code(s)", "Misfire Monitoring Incomplete",
          "Component Monitoring Complete"}},
        {"B=77: every continuous monitor incomplete",
         "00770000",
         {"MIL is OFF, 0 stored Trouble Code(s)", "Misfire Monitoring Incomplete",
          "Fuel Sys. Monitoring Incomplete", "Component Monitoring Incomplete"}},
        {"catalyst keeps its spelling",
         "00000101",
         {"MIL is OFF, 0 stored Trouble Code(s)", "Catalyst Monitoring Inomplete"}},
        {"C=FF, D=AA: every other monitor incomplete, bit 01 first",
         "0000FFAA",
         {"MIL is OFF, 0 stored Trouble Code(s)", "Catalyst Monitoring Complete",
          "Heated Catalyst Monitoring Incomplete", "Evaporative System Monitoring Complete",
          "Sec. Air System Monitoring Incomplete", "A/C Refrigerant Monitoring Complete",
          "O2 Sensor Monitoring Incomplete", "O2 Sensor Heater Monitoring Complete",
          "EGR Monitoring Incomplete"}},
        {"incomplete bits of unsupported monitors say nothing",
         "7F70005F",
         {"MIL is OFF, 127 stored Trouble Code(s)"}},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(decode_mil(milReply(r.abcd)).text,
                  r.lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"))
            << r.name;
    }
}

TEST(MilReport, O2MonitorFlagOnlyWhenSupported)
{
    const struct
    {
        const char *name;
        QString reply;
        std::optional<bool> complete;
    } rows[] = {
        {"C=20 D=20 incomplete", milReply("00002020"), false},
        {"C=20 D=00 complete", milReply("00002000"), true},
        {"C=00 unsupported", milReply("000000FF"), std::nullopt},
        {"empty reply", QString(), std::nullopt},
    };
    for (const auto &r : rows)
        EXPECT_EQ(decode_mil(r.reply).o2MonitorComplete, r.complete) << r.name;
    EXPECT_EQ(decode_mil(QString()).text,
              QStringLiteral("MIL is OFF, 0 stored Trouble Code(s)\r\n"));
}

namespace {

class MilTest : public SimLinkTest
{
protected:
    void getMil(const QString &reportBefore)
    {
        sweep = Sweep(reportBefore);
        SweepRun run{ctx, live, sweep, DispatchHooks{}};
        get_MIL(run);
    }
    LiveDataState live;
    Sweep sweep;
};

} // namespace

TEST_F(MilTest, ReportIsAppendedAndTheO2FlagKeptWhenUnsupported)
{
    // The built-in car: MIL on, P0301 stored; monitors 07 65 00 (O2 monitor complete).
    startSim();
    getMil(QStringLiteral("\r\n"));
    EXPECT_EQ(server->commands(), QStringList{"010109"});
    EXPECT_EQ(sweep.report(), QStringLiteral("\r\nMIL is ON, Stored Trouble Codes Present\r\n"
                                             "Misfire Monitoring Complete\r\n"
                                             "Fuel Sys. Monitoring Complete\r\n"
                                             "Component Monitoring Complete\r\n"
                                             "Catalyst Monitoring Complete\r\n"
                                             "Evaporative System Monitoring Complete\r\n"
                                             "O2 Sensor Monitoring Complete\r\n"
                                             "O2 Sensor Heater Monitoring Complete\r\n"));
    EXPECT_TRUE(live.O2MonitorComplete);

    // The second ECU supports no monitor: the flag keeps what the first one reported.
    server->setFaults({});
    exchange_change_ecu(ctx);
    getMil(QString());
    EXPECT_EQ(sweep.report(), QStringLiteral("MIL is OFF, 0 stored Trouble Code(s)\r\n"));
    EXPECT_TRUE(live.O2MonitorComplete);

    // No answer: no line at all (least of all a false all-clear), the flag untouched.
    server->setFaults({.ecuTimeout = true});
    getMil(QStringLiteral("\r\n"));
    EXPECT_EQ(sweep.report(), QStringLiteral("\r\n"));
    EXPECT_EQ(sweep.outcome(), ExchangeStatus::EcuTimeout);
    EXPECT_TRUE(live.O2MonitorComplete);
}
