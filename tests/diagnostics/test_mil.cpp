// The MIL and readiness-monitor report: the decoding of PID 01's four bytes as a table, and the
// exchange with the simulated car.
#include "diagnostics/mil.h"
#include "link/connection.h"
#include "livedata/dispatch.h"
#include "livedata/livestate.h"
#include "livedata/sweep.h"
#include "support/simfixture.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

// Each row also tells the O2 monitor flag: set only when byte C says the monitor is supported.
// The window test reads a report with three codes and the catalyst's spelling; the exchange's
// test below has the O2 monitor alone.
TEST(MilReport, LinesPerByte)
{
    const struct
    {
        const char *name;
        const char *abcd;
        QStringList lines;
        std::optional<bool> o2Complete;
    } rows[] = {
        {"MIL on hides the count", "83000000", {"MIL is ON, Stored Trouble Codes Present"}, {}},
        {"B=57: misfire and component incomplete, fuel system complete",
         "00570000",
         {"MIL is OFF, 0 stored Trouble Code(s)", "Misfire Monitoring Incomplete",
          "Fuel Sys. Monitoring Complete", "Component Monitoring Incomplete"},
         {}},
        {"C=FF, D=AA: every other monitor incomplete, bit 01 first",
         "0000FFAA",
         {"MIL is OFF, 0 stored Trouble Code(s)", "Catalyst Monitoring Complete",
          "Heated Catalyst Monitoring Incomplete", "Evaporative System Monitoring Complete",
          "Sec. Air System Monitoring Incomplete", "A/C Refrigerant Monitoring Complete",
          "O2 Sensor Monitoring Incomplete", "O2 Sensor Heater Monitoring Complete",
          "EGR Monitoring Incomplete"},
         false},
        {"incomplete bits of unsupported monitors say nothing",
         "7F7000FF",
         {"MIL is OFF, 127 stored Trouble Code(s)"},
         {}},
    };
    for (const auto &r : rows) {
        const MilReport report = decode_mil(QStringLiteral("R486B104101") + QLatin1String(r.abcd));
        EXPECT_EQ(report.text, r.lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"))
            << r.name;
        EXPECT_EQ(report.o2MonitorComplete, r.o2Complete) << r.name;
    }
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
    // The built-in car with PID 01 pinned: the O2 monitor alone, complete.
    sim::Scenario car;
    car.ecus[0].values[0x01] = QByteArray::fromHex("00002000");
    startSim(car);
    getMil(QStringLiteral("\r\n"));
    EXPECT_EQ(server->commands(), QStringList{"010109"});
    EXPECT_EQ(sweep.report(), QStringLiteral("\r\nMIL is OFF, 0 stored Trouble Code(s)\r\n"
                                             "O2 Sensor Monitoring Complete\r\n"));
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
