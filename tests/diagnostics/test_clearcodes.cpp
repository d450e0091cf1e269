// Clearing the trouble codes: against the simulated car (which forgets its codes) and against
// scripted replies the simulator never sends, and waits that end without one.
#include "clearcodes.h"
#include "scriptedinterface.h"
#include "simfixture.h"

#include <QTimer>

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

const QString kCleared = QStringLiteral("Trouble Codes Cleared");
const QString kFailed = QStringLiteral("Operation Failed");
const QString kCrLf = QStringLiteral("\r\n");

using ClearCodesTest = SimLinkTest;

} // namespace

// Service 04 is sent at once, without a question; only 44 at positions 8-9 reports the codes
// cleared.
TEST_F(ClearCodesTest, OutcomesAgainstTheCar)
{
    const struct
    {
        const char *name;
        sim::Faults faults;
        QString report;
        ExchangeStatus status;
    } rows[] = {
        {"cleared (44)", {}, kCleared, ExchangeStatus::Ok},
        {"negative response 7F", {.clearRejected = true}, kFailed, ExchangeStatus::Ok},
        {"ECU does not answer (S at character 2)",
         {.ecuTimeout = true},
         kCrLf,
         ExchangeStatus::EcuTimeout},
    };
    for (const auto &r : rows) {
        sim::Scenario s = sim::defaultScenario();
        s.ecus[0].mil = true;
        s.ecus[0].storedCodes = {"0301"};
        s.faults = r.faults;
        startSim(s);
        const ClearResult result = clear_trouble_codes(ctx);
        EXPECT_EQ(result.report, r.report) << r.name;
        EXPECT_EQ(result.status, r.status) << r.name;
        EXPECT_EQ(server->commands(), QStringList{"040404"}) << r.name;
        TearDown();
    }
}

TEST(ClearCodesScripted, ServiceByteAndEndedWaits)
{
    const struct
    {
        const char *name;
        QByteArray reply;    // empty: nothing ever comes
        bool stopFlagAt50ms; // raised by another handler while the clearing waits
        QString report;
        ExchangeStatus status;
    } rows[] = {
        {"a ready mark ahead of the reply", "SR486B104400", false, kCleared, ExchangeStatus::Ok},
        {"not hex, though it would count as 68", "R486B103K00", false, kFailed, ExchangeStatus::Ok},
        {"no reply within the link's bound", "", false, kCrLf, ExchangeStatus::NoReply},
        {"wait ended by StopFlag", "", true, kCrLf, ExchangeStatus::Stopped},
    };
    for (const auto &r : rows) {
        ObdContext ctx;
        ScriptedInterface interface;
        ctx.attachSerial(&interface);
        ctx.state.UseSerial = true;
        ctx.bounds.silentMs = r.stopFlagAt50ms ? 5000 : 150;
        interface.replies["040404"] = r.reply;
        if (r.stopFlagAt50ms)
            QTimer::singleShot(50, [&ctx] { ctx.state.StopFlag = true; });
        const ClearResult result = clear_trouble_codes(ctx);
        EXPECT_EQ(result.report, r.report) << r.name;
        EXPECT_EQ(result.status, r.status) << r.name;
        EXPECT_EQ(interface.written, QList<QByteArray>{"040404"}) << r.name;
    }
}
