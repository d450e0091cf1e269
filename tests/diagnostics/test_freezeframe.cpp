// The freeze frame through the simulated interface: the frame's code and values, no frame, no
// support, no answer, an ECU at D0, the decoders' switch to service 02 and back, and the
// frame's code as the current-data request shows it.
#include "currentdata.h"
#include "dispatch.h"
#include "freezeframe.h"
#include "items.h"
#include "livestate.h"
#include "simfixture.h"
#include "sweep.h"
#include "sweeplines.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

// A scenario of sim/scenarios, or the scenario given as JSON text.
sim::Scenario scenario(const char *nameOrJson)
{
    sim::Scenario s;
    QString error;
    if (nameOrJson[0] == '{')
        EXPECT_TRUE(sim::parseScenario(nameOrJson, &s, &error)) << error.toStdString();
    else
        EXPECT_TRUE(sim::readScenarioFile(
            QStringLiteral(QUORVEX_SCENARIOS "/%1.json").arg(nameOrJson), &s, &error))
            << error.toStdString();
    return s;
}

class FreezeFrameTest : public SimLinkTest
{
protected:
    FreezeFrameResult freezeFrame()
    {
        sweep = Sweep(QStringLiteral("old report"));
        return ReadFreezeFrame(ctx, live, sweep);
    }
    void currentData()
    {
        sweep = Sweep();
        request_current_data(ctx, live, sweep, diagnostic_hooks());
    }
    QStringList lines() const { return line_texts(sweep); }

    LiveDataState live;
    Sweep sweep;
};

} // namespace

// firstbitmap.json's frame: code 0133, PIDs 04 05 0C 0D pinned to 33 5C 0FA0 28, so the frame's
// support bytes are 58 18 00 00 (PID 02 always among them).
TEST_F(FreezeFrameTest, CodeAndValuesInRedThenBackToServiceOne)
{
    startSim(scenario("firstbitmap"));
    EXPECT_EQ(freezeFrame().support, ExchangeStatus::Ok);
    EXPECT_EQ(server->commands(),
              (QStringList{"02000A", "020208", "020407", "020507", "020C08", "020D07"}));
    EXPECT_EQ(sweep.report(), QStringLiteral("\r\nECU #=10\r\n\r\nFreeze Frame T.C. -P0133\r\n"));
    EXPECT_EQ(
        lines(),
        (QStringList{"Calculated Load --------  20%", "Coolant Temp -----------  125Deg F",
                     "Engine RPM -------------  1000RPM", "Speed ------------------  24MPH"}));
    EXPECT_TRUE(sweep.listRed);
    EXPECT_EQ(sweep.outcome(), ExchangeStatus::Ok);

    // The decoders stay on the frame (service 02, one byte longer) until the next current-data
    // request, whose service 01 PID 02 reply carries the frame's code as bytes A and B.
    EXPECT_EQ(read_item(ctx, live, 0x0C).item.valueText, QStringLiteral(" 1000"));
    EXPECT_EQ(server->commands().last(), QStringLiteral("020C08"));
    currentData();
    EXPECT_TRUE(server->commands().contains(QStringLiteral("010207")));
    EXPECT_TRUE(sweep.report().contains(QStringLiteral("\r\nFreeze Frame T.C. -P0133\r\n")));
    read_item(ctx, live, 0x0C);
    EXPECT_EQ(server->commands().last(), QStringLiteral("010C07"));
}

TEST_F(FreezeFrameTest, OutcomesWithoutAFrame)
{
    const char *noFrame =
        R"({"ecus":[{"address":"10","pids":["04","0C"],"freezeFrameSupport":"58180000"}]})";
    const char *noSupport =
        R"({"ecus":[{"address":"10","pids":["04"],"freezeFrameSupport":"00000000"}]})";
    const struct
    {
        const char *name;
        const char *scenario; // a one-ECU car, or a scenario file's name
        const char *fault;    // "timeout", "no contact" or none: nobody answers "02000A"
        QString report;
        ExchangeStatus support;
        const char *commands;
    } rows[] = {
        {"code 0000 ends the listing", noFrame, "", "\r\n\r\n No Freeze Frame Data Stored\r\n",
         ExchangeStatus::Ok, "02000A 020208"},
        {"all-zero support bitmap", noSupport, "", "\r\n\r\nNot Supported by this ECU\r\n",
         ExchangeStatus::Ok, "02000A"},
        {"ECU at D0", "d0", "", QString::fromUtf16(kNotObdText), ExchangeStatus::Ok, "02000A"},
        {"ECU does not answer", "firstbitmap", "timeout", "old report", ExchangeStatus::EcuTimeout,
         "02000A"},
        {"no vehicle contact: nothing asked", "firstbitmap", "no contact", "old report",
         ExchangeStatus::NoContact, ""},
    };
    for (const auto &r : rows) {
        sim::Scenario s = scenario(r.scenario);
        s.faults.ecuTimeout = r.fault == QByteArrayView("timeout");
        s.noContact = r.fault == QByteArrayView("no contact");
        startSim(s);
        EXPECT_EQ(freezeFrame().support, r.support) << r.name;
        EXPECT_TRUE(sweep.lines().isEmpty()) << r.name;
        EXPECT_EQ(sweep.report(), r.report) << r.name;
        EXPECT_EQ(server->commands().join(u' '), QLatin1String(r.commands)) << r.name;
        EXPECT_FALSE(live.NoFreezeFrame) << r.name;
    }
}

TEST_F(FreezeFrameTest, AnUnansweredCodeRequestWritesNothing)
{
    // Nothing in the report, the list left black, the no-frame flag untouched.
    sim::Scenario s = scenario("firstbitmap");
    s.faults.ecuTimeout = true;
    startSim(s);
    live.PIDmode = QStringLiteral("02");
    live.PIDoffset = 1;
    sweep = Sweep(QStringLiteral("\r\nECU #=10\r\n"));
    SweepRun run{ctx, live, sweep, DispatchHooks{}, true};
    get_trouble_codes(run);
    EXPECT_EQ(sweep.report(), QStringLiteral("\r\nECU #=10\r\n"));
    EXPECT_EQ(sweep.outcome(), ExchangeStatus::EcuTimeout);
    EXPECT_FALSE(live.NoFreezeFrame);
    EXPECT_FALSE(sweep.listRed);
}
