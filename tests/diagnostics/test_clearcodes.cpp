// Clearing the trouble codes: against the simulated car (which forgets its codes) and against
// scripted replies for the service byte and the ended waits.
#include "clearcodes.h"
#include "definitions.h"
#include "scriptedinterface.h"
#include "simfixture.h"
#include "troublecodes.h"

#include <QTimer>

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

const QString kCleared = QStringLiteral("Trouble Codes Cleared");
const QString kFailed = QStringLiteral("Operation Failed");
const QString kCrLf = QStringLiteral("\r\n");

class ClearCodesTest : public SimLinkTest
{
};

} // namespace

TEST_F(ClearCodesTest, OutcomesAgainstTheCar)
{
    struct Row
    {
        const char *name;
        sim::Faults faults;
        QString report;
        QString status;
        StatusColor color;
    };
    sim::Faults rejected;
    rejected.clearRejected = true;
    sim::Faults timeout;
    timeout.ecuTimeout = true;
    const Row rows[] = {
        {"cleared", {}, kCleared, "ECU Connected", StatusColor::Green},
        {"negative response 7F", rejected, kFailed, "ECU Connected", StatusColor::Green},
        {"ECU does not answer", timeout, kCrLf, "ECU Timeout", StatusColor::Red},
    };
    for (const Row &r : rows) {
        sim::Scenario s = sim::defaultScenario();
        s.ecus[0].mil = true;
        s.ecus[0].storedCodes = {"0301"};
        s.faults = r.faults;
        startSim(s);
        view.report = QStringLiteral("an earlier report");
        clear_trouble_codes(ctx);
        EXPECT_EQ(view.report, r.report) << r.name;
        EXPECT_EQ(view.statusText, r.status) << r.name;
        EXPECT_EQ(view.statusColor, r.color) << r.name;
        EXPECT_EQ(server->commands(), QStringList{"040404"}) << r.name; // sent at once
        EXPECT_TRUE(prompts.questions.isEmpty()) << r.name;
        TearDown();
    }
}

TEST_F(ClearCodesTest, ClearedCarReportsNoCodes)
{
    sim::Scenario s = sim::defaultScenario();
    s.ecus[0].mil = true;
    s.ecus[0].storedCodes = {"0301", "0420"};
    s.ecus[0].pendingCodes = {"0171"};
    startSim(s);
    clear_trouble_codes(ctx);
    ASSERT_EQ(view.report, kCleared);
    prompts.answers = {true};
    request_trouble_codes(ctx, TroubleCodeDefinitions());
    EXPECT_EQ(view.report, QStringLiteral("\r\nECU #=10\r\nMIL is OFF\r\nVehicle Reports  0 "
                                          "Stored Trouble Code(s)\r\nNo pending codes reported"));
    EXPECT_EQ(prompts.questions.size(), 1);
}

TEST(ClearCodesScripted, ServiceByteAndEndedWaits)
{
    struct Row
    {
        const char *name;
        QByteArray reply;    // empty: nothing ever comes
        bool stopFlagAt50ms; // raised by another handler while the clearing waits
        QString report;
        QString status;
    };
    const Row rows[] = {
        {"44 at 8-9", "R486B104400", false, kCleared, "ECU Connected"},
        {"a ready mark ahead of the reply", "SR486B104400", false, kCleared, "ECU Connected"},
        {"7F at 8-9", "R486B107F04", false, kFailed, "ECU Connected"},
        {"not hex, though it would count as 68", "R486B103K00", false, kFailed,
         "ECU Connected"},
        {"S at 2", "RS000000000", false, kCrLf, "ECU Timeout"},
        {"no reply within the link's bound", "", false, kCrLf, "ECU Timeout"},
        {"wait ended by StopFlag", "", true, kCrLf, "ECU Timeout"},
    };
    for (const Row &r : rows) {
        RecordingView view;
        RecordingPrompts prompts;
        ObdContext ctx{view, prompts};
        ScriptedInterface interface;
        ctx.link.attachSerial(&interface);
        ctx.state.UseSerial = true;
        ctx.bounds.silentMs = r.stopFlagAt50ms ? 5000 : 150;
        if (!r.reply.isEmpty())
            interface.replies["040404"] = r.reply;
        if (r.stopFlagAt50ms)
            QTimer::singleShot(50, [&ctx] { ctx.state.StopFlag = true; });
        clear_trouble_codes(ctx);
        EXPECT_EQ(view.report, r.report) << r.name;
        EXPECT_EQ(view.statusText, r.status) << r.name;
        EXPECT_EQ(view.statusColor, r.status == u"ECU Timeout" ? StatusColor::Red
                                                               : StatusColor::Green)
            << r.name;
        EXPECT_EQ(interface.written, QList<QByteArray>{"040404"}) << r.name;
    }
}
