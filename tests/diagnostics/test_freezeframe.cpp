// The freeze frame through the simulated interface: the requests of a frame, no frame, no
// support, no answer, an ECU at D0. The frame's lines in red, its code in the report and the
// current-data request's switch back to service 01 are the window test's
// (test_livedata_window.cpp).
#include "diagnostics/freezeframe.h"
#include "livedata/dispatch.h"
#include "livedata/livestate.h"
#include "livedata/sweep.h"
#include "support/simfixture.h"

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

    LiveDataState live;
    Sweep sweep;
};

} // namespace

// firstbitmap.json's frame: code 0133, PIDs 04 05 0C 0D, so the frame's support bytes are
// 58 18 00 00 (PID 02 always among them).
TEST_F(FreezeFrameTest, RequestsAndOutcomes)
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
        int lines;
    } rows[] = {
        {"a frame: its code, then its items", "firstbitmap", "",
         "\r\nECU #=10\r\n\r\nFreeze Frame T.C. -P0133\r\n", ExchangeStatus::Ok,
         "02000A 020208 020407 020507 020C08 020D07", 4},
        {"code 0000 ends the listing", noFrame, "", "\r\n\r\n No Freeze Frame Data Stored\r\n",
         ExchangeStatus::Ok, "02000A 020208", 0},
        {"all-zero support bitmap", noSupport, "", "\r\n\r\nNot Supported by this ECU\r\n",
         ExchangeStatus::Ok, "02000A", 0},
        {"ECU at D0", "d0", "", QString::fromUtf16(kNotObdText), ExchangeStatus::Ok, "02000A", 0},
        {"ECU does not answer", "firstbitmap", "timeout", "old report", ExchangeStatus::EcuTimeout,
         "02000A", 0},
        {"no vehicle contact: nothing asked", "firstbitmap", "no contact", "old report",
         ExchangeStatus::NoContact, "", 0},
    };
    for (const auto &r : rows) {
        sim::Scenario s = scenario(r.scenario);
        s.faults.ecuTimeout = r.fault == QByteArrayView("timeout");
        s.noContact = r.fault == QByteArrayView("no contact");
        startSim(s);
        EXPECT_EQ(freezeFrame().support, r.support) << r.name;
        EXPECT_EQ(sweep.lines().size(), r.lines) << r.name;
        EXPECT_EQ(sweep.listRed, r.lines > 0) << r.name;
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
