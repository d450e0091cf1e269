// The link operations, the ready check and the bounded reply wait, against a scripted
// transport (exact byte sequences) and the simulated interface over a real pseudo-terminal.
#include "eventwait.h"
#include "faketransport.h"
#include "protocol.h"
#include "recording.h"
#include "simfixture.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

class ScriptedLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ctx.link.attachSerial(&line);
        ctx.state.UseSerial = true;
        ctx.bounds.silentMs = 400;
    }
    RecordingView view;
    RecordingPrompts prompts;
    ObdContext ctx{view, prompts};
    FakeTransport line;
};

} // namespace

TEST_F(ScriptedLinkTest, ReadyCheckOutcomes)
{
    struct Row
    {
        const char *name;
        QByteArray now;   // arrives after the check's initial flush
        QByteArray later; // arrives 30 ms later
        ReadyResult result;
        bool stop;
        StatusColor color;
    };
    const Row rows[] = {
        {"P amid other characters in one read", "QQPQQ", "", ReadyResult::NoContact, true,
         StatusColor::Yellow},
        {"P and S in one read count as S", "PS", "", ReadyResult::Contact, false,
         StatusColor::Green},
        {"Q dropped, S in a later read", "Q", "S", ReadyResult::Contact, false, StatusColor::Green},
        {"S is case-sensitive", "s", "P", ReadyResult::NoContact, true, StatusColor::Yellow},
    };
    for (const Row &r : rows) {
        line.readAll();
        line.feed("stale S"); // flushed by the check before it starts collecting
        line.feedLater(5, r.now);
        if (!r.later.isEmpty())
            line.feedLater(35, r.later);
        EXPECT_EQ(wait_for_ECU(ctx), r.result) << r.name;
        EXPECT_EQ(ctx.state.StopFlag, r.stop) << r.name;
        EXPECT_EQ(view.statusColor, r.color) << r.name;
        wait_for_events(50); // let the row's timers fire before the next row
    }
}

TEST_F(ScriptedLinkTest, SilentInterfaceEndsTheReadyCheckRed)
{
    line.feedLater(5, "QQQ"); // nothing useful
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::Silent);
    EXPECT_GE(t.elapsed(), ctx.bounds.silentMs - 5);
    EXPECT_LT(t.elapsed(), ctx.bounds.silentMs + 1000);
    EXPECT_TRUE(ctx.state.StopFlag);
    EXPECT_EQ(view.statusText, QStringLiteral("ECU Off-Line"));
    EXPECT_EQ(view.statusColor, StatusColor::Red);
}

TEST_F(ScriptedLinkTest, ClosedLineEndsTheReadyCheckAtOnce)
{
    line.open = false;
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::Silent);
    EXPECT_LT(t.elapsed(), 100);
    EXPECT_EQ(view.statusText, QStringLiteral("ECU Off-Line"));
}

TEST_F(ScriptedLinkTest, ReplyWaitNeedsMoreThanTheThreshold)
{
    line.feed(QByteArray(14, '0'));
    line.feedLater(60, "1");
    QElapsedTimer t;
    t.start();
    const ReplyWait w = await_reply(ctx, 14);
    EXPECT_GE(t.elapsed(), 55); // 14 characters are not enough
    EXPECT_EQ(w.reply.size(), 15);
    EXPECT_FALSE(w.timedOut);
}

TEST_F(ScriptedLinkTest, ReplyWaitWithoutALimitOfItsOwnIsBounded)
{
    line.feed("R48");
    const ReplyWait w = await_reply(ctx, 18);
    EXPECT_TRUE(w.timedOut);
    EXPECT_TRUE(w.reply.isEmpty());
    EXPECT_TRUE(ctx.state.StopFlag);
    EXPECT_EQ(view.statusText, QStringLiteral("ECU Timeout"));
    EXPECT_EQ(view.statusColor, StatusColor::Red);
    EXPECT_EQ(line.bytesAvailable(), 3); // what arrived stays for the next flush
}

TEST_F(ScriptedLinkTest, ReplyWaitWithItsOwnLimitLeavesTheExpiryToTheCaller)
{
    const ReplyWait w = await_reply(ctx, 21, 0.1);
    EXPECT_TRUE(w.timedOut);
    EXPECT_FALSE(ctx.state.StopFlag);
    EXPECT_EQ(view.statusText, QStringLiteral("ECU Not Ready"));
}

TEST_F(ScriptedLinkTest, StopFlagRaisedElsewhereEndsTheWait)
{
    QTimer::singleShot(30, [this] { ctx.state.StopFlag = true; });
    const ReplyWait w = await_reply(ctx, 18);
    EXPECT_FALSE(w.timedOut);
    EXPECT_TRUE(w.reply.isEmpty());
}

TEST_F(ScriptedLinkTest, LinkOperationsOnTheSerialPath)
{
    EXPECT_EQ(ctx.link.OBDinbuffercount(), 0);
    EXPECT_EQ(ctx.link.OBDinput(), QString());
    line.feed("R486B104100BE3EB81100");
    EXPECT_EQ(ctx.link.OBDinbuffercount(), 21);
    EXPECT_EQ(ctx.link.OBDinput().size(), 21);
    EXPECT_EQ(ctx.link.OBDinbuffercount(), 0);
    ctx.link.OBDoutput(QStringLiteral("010009"));
    EXPECT_EQ(line.written, QByteArray("010009"));
    // The USB path has no device attached: nothing goes out, nothing comes in.
    ctx.state.UseSerial = false;
    line.feed("SSS");
    EXPECT_EQ(ctx.link.OBDinbuffercount(), 0);
    ctx.link.OBDoutput(QStringLiteral("900101"));
    EXPECT_EQ(line.written, QByteArray("010009"));
}

class SimProtocolTest : public SimLinkTest
{
};

TEST_F(SimProtocolTest, CommandGoesOutAsSixBytesAndTheReplyArrivesWhole)
{
    sim::Scenario scenario = sim::defaultScenario();
    scenario.markIntervalMs = 500; // keep marks away from the counts below
    startSim(scenario);
    ASSERT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    discard_input(ctx);
    ctx.link.OBDoutput(QStringLiteral("010009"));
    ASSERT_TRUE(waitUntil([&] { return ctx.link.OBDinbuffercount() >= 21; }));
    EXPECT_EQ(server->received(), QByteArray("010009"));
    EXPECT_EQ(ctx.link.OBDinbuffercount(), 21);
    const QString reply = ctx.link.OBDinput();
    EXPECT_EQ(reply.size(), 21);
    EXPECT_EQ(reply.mid(5, 2), QStringLiteral("10"));
    EXPECT_EQ(ctx.link.OBDinbuffercount(), 0);
}

TEST_F(SimProtocolTest, NoContactRaisesStopFlagYellow)
{
    sim::Scenario scenario = sim::defaultScenario();
    scenario.noContact = true;
    startSim(scenario);
    EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::NoContact);
    EXPECT_TRUE(ctx.state.StopFlag);
    EXPECT_EQ(view.statusColor, StatusColor::Yellow);
}

TEST_F(SimProtocolTest, GarbageBetweenMarksIsDiscarded)
{
    sim::Scenario scenario = sim::defaultScenario();
    scenario.faults.garbage = true;
    startSim(scenario);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
}

TEST_F(SimProtocolTest, UnpluggedDeviceEndsTheWaitAndClosesThePort)
{
    sim::Scenario scenario = sim::defaultScenario();
    scenario.faults.silent = true;
    startSim(scenario);
    ctx.bounds.silentMs = 5000;
    bool lost = false;
    QObject::connect(&serial, &Transport::lost, [&] { lost = true; });
    QTimer::singleShot(100, [this] { server->hangUp(); });
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::Silent);
    EXPECT_LT(t.elapsed(), 2000);
    EXPECT_TRUE(lost);
    EXPECT_FALSE(serial.isOpen());
}
