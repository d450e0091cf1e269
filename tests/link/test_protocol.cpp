// The ready check and the one exchange every service uses, against a scripted line: exact byte
// sequences, each arriving at a chosen moment of virtual time.
#include "link/obdcontext.h"
#include "link/protocol.h"
#include "support/scriptedline.h"
#include "support/virtualclock.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

// A context on a scripted line, recording what the link announced.
class ScriptedLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ctx.attachSerial(&line);
        ctx.state.UseSerial = true;
        QObject::connect(&ctx, &ObdContext::readinessChanged,
                         [this](Readiness r) { readiness << r; });
        QObject::connect(&ctx, &ObdContext::linkLost, [this] { ++lost; });
    }
    ExchangeRequest request(const char *command, int threshold)
    {
        ExchangeRequest r;
        r.command = QLatin1String(command);
        r.threshold = threshold;
        return r;
    }

    VirtualClock clock;
    ObdContext ctx{clock};
    ScriptedLine line{clock};
    QList<Readiness> readiness;
    int lost = 0;
};

// The exchange's tests have the line answer each command at once (replies) and show an idle
// interface's mark after every read (idleMark).
using ExchangeTest = ScriptedLinkTest;

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
    };
    const Row rows[] = {
        {"P amid other characters in one read", "QQPQQ", "", ReadyResult::NoContact, true},
        {"P and S in one read count as S", "PS", "", ReadyResult::Contact, false},
        {"Q dropped, S in a later read", "Q", "S", ReadyResult::Contact, false},
        {"S is case-sensitive", "s", "P", ReadyResult::NoContact, true},
        {"nothing useful within the bound", "QQQ", "", ReadyResult::Silent, true},
    };
    for (const Row &r : rows) {
        readiness.clear();
        line.readAll();
        line.feed("stale S"); // flushed by the check before it starts collecting
        line.feedAfter(5, r.now);
        if (!r.later.isEmpty())
            line.feedAfter(35, r.later);
        const qint64 start = clock.nowMs();
        EXPECT_EQ(wait_for_ECU(ctx), r.result) << r.name;
        EXPECT_EQ(ctx.state.StopFlag, r.stop) << r.name;
        const Readiness announced = r.result == ReadyResult::Contact     ? Readiness::Contact
                                    : r.result == ReadyResult::NoContact ? Readiness::NoContact
                                                                         : Readiness::Silent;
        EXPECT_EQ(readiness, QList<Readiness>{announced}) << r.name;
        // The check ends at the first mark that tells, else exactly at the silent bound.
        EXPECT_EQ(clock.nowMs() - start, r.result == ReadyResult::Silent ? ctx.bounds.silentMs
                                         : r.later.isEmpty()             ? 5
                                                                         : 35)
            << r.name;
        clock.run(50); // the row's deliveries are all in before the next row
    }
}

TEST_F(ScriptedLinkTest, ClosedOrLostLineEndsTheCheckAndEveryExchangeAtOnce)
{
    line.open = false;
    const qint64 start = clock.nowMs();
    EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::Lost);
    EXPECT_EQ(clock.nowMs(), start);
    EXPECT_TRUE(readiness.isEmpty());

    // Lost while a reply is awaited: the wait ends, later exchanges send nothing until a new
    // connection, and the loss is announced once.
    line.open = true;
    line.feedAfter(1, "S");
    clock.callAfter(30, [this] { emit line.lost(QStringLiteral("unplugged")); });
    EXPECT_EQ(exchange(ctx, request("010009", 18)).status, ExchangeStatus::LinkLost);
    line.written.clear();
    line.feedAfter(1, "S");
    EXPECT_EQ(exchange(ctx, request("010009", 18)).status, ExchangeStatus::LinkLost);
    EXPECT_TRUE(line.written.isEmpty());
    EXPECT_EQ(lost, 1);
    ctx.linkOpened();
    line.feedAfter(1, "S");
    line.feedAfter(20, "R" + QByteArray(20, '0'));
    EXPECT_EQ(exchange(ctx, request("010009", 18)).status, ExchangeStatus::Ok);

    // Lost while the check waits on a silent line: it ends then, not at the silent bound.
    clock.callAfter(100, [this] { emit line.lost(QStringLiteral("unplugged")); });
    const qint64 checked = clock.nowMs();
    EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::Lost);
    EXPECT_EQ(clock.nowMs() - checked, 100);
    EXPECT_EQ(lost, 2);
}

TEST_F(ScriptedLinkTest, ReplyIsCompleteOnlyPastItsThresholdWithoutStrayMarks)
{
    // 14 characters are not enough for a threshold of 14, nor 14 after a stray mark.
    for (const QByteArray &first : {QByteArray(14, '0'), "S" + QByteArray(14, '0')}) {
        line.readAll();
        line.feedAfter(1, "S");
        line.feedAfter(10, first);
        line.feedAfter(80, "1");
        const qint64 start = clock.nowMs();
        const Exchange ex = exchange(ctx, request("010C07", 14));
        EXPECT_EQ(clock.nowMs() - start, 80) << first.constData();
        EXPECT_EQ(ex.status, ExchangeStatus::Ok);
        EXPECT_EQ(ex.reply, QString(14, u'0') + u'1');
        EXPECT_EQ(ex.received, QStringList{QString::fromLatin1(first + "1")});
    }
}

TEST_F(ScriptedLinkTest, WaitsEndedElsewhereOrOutOfTime)
{
    const struct
    {
        const char *name;
        double limitSeconds;
        void (*meanwhile)(ObdContext &); // 30 ms into the wait, from another handler
        ExchangeStatus status;
    } rows[] = {
        {"the silent bound", -1, nullptr, ExchangeStatus::NoReply},
        {"the exchange's own limit", 0.1, nullptr, ExchangeStatus::OverLimit},
        {"StopFlag raised", -1, [](ObdContext &c) { c.state.StopFlag = true; },
         ExchangeStatus::Stopped},
        {"another exchange begun", -1, [](ObdContext &c) { c.beginExchange(); },
         ExchangeStatus::Stopped},
    };
    for (const auto &row : rows) {
        line.readAll();
        line.feedAfter(1, "S");
        line.feedAfter(10, "R48");
        ExchangeRequest r = request("010009", 18);
        r.limitSeconds = row.limitSeconds;
        if (row.meanwhile)
            clock.callAfter(30, [this, &row] { row.meanwhile(ctx); });
        const Exchange ex = exchange(ctx, r);
        EXPECT_EQ(ex.status, row.status) << row.name;
        EXPECT_EQ(ex.received, QStringList{QStringLiteral("R48")}) << row.name;
    }
}

TEST_F(ExchangeTest, MarkersStrayMarksAndRepeats)
{
    line.idleMark = "S";
    const QByteArray ok = "R486B10410C0BB8D3";
    const QByteArray zeros(15, '0');
    struct Row
    {
        const char *name;
        QByteArray reply;
        ExchangeStatus status;
        int sends;
    };
    const Row rows[] = {
        {"a reply", ok, ExchangeStatus::Ok, 1},
        {"stray marks ahead of it", "SS" + ok, ExchangeStatus::Ok, 1},
        {"ECU time-out", "RS0" + zeros, ExchangeStatus::EcuTimeout, 1},
        {"ECU time-out after a stray mark", "SRS0" + zeros, ExchangeStatus::EcuTimeout, 1},
        {"not usable: asked again ten times", "R0S" + zeros, ExchangeStatus::NotUsable, 11},
    };
    for (const Row &r : rows) {
        line.written.clear();
        line.replies = {{"010C07", r.reply}};
        readiness.clear();
        const Exchange ex = exchange(ctx, request("010C07", 14));
        EXPECT_EQ(ex.status, r.status) << r.name;
        EXPECT_EQ(line.written.size(), r.sends) << r.name;
        if (ex.ok()) {
            EXPECT_EQ(ex.reply, QString::fromLatin1(ok)) << r.name;
        }
        // The indicator turns red while a request is repeated.
        EXPECT_EQ(readiness.count(Readiness::Retrying), r.sends - 1) << r.name;
    }
}

TEST_F(ExchangeTest, NoContactSendsOnlyWhatMayGoOutRegardless)
{
    line.idleMark = "P";
    line.replies = {{"040404", "R486B1044A7"}, {"800204", "OK2"}};
    EXPECT_EQ(exchange(ctx, request("040404", 9)).status, ExchangeStatus::NoContact);
    EXPECT_TRUE(line.written.isEmpty());
    ExchangeRequest change = request("800204", 2);
    change.vehicleReply = false;
    change.sendWithoutContact = true;
    EXPECT_EQ(exchange(ctx, change).status, ExchangeStatus::NoContact);
    EXPECT_EQ(line.written, QList<QByteArray>{"800204"});
}

TEST_F(ExchangeTest, InterfaceAnswersAndTheFixedWait)
{
    line.idleMark = "S";
    ExchangeRequest firmware = request("900101", 4);
    firmware.vehicleReply = false;
    for (const QByteArray &answer : {QByteArray("V3.40"), QByteArray("SV3.40")}) {
        line.replies = {{"900101", answer}};
        EXPECT_EQ(exchange(ctx, firmware).reply, QStringLiteral("V3.40")) << answer.constData();
    }
    // An interface whose firmware id starts with S keeps it.
    line.replies = {{"900101", "S3.40"}};
    EXPECT_EQ(exchange(ctx, firmware).reply, QStringLiteral("S3.40"));

    ExchangeRequest vin = request("090208", 0);
    vin.fixedWaitSeconds = 0.1;
    line.replies = {{"090208", "R1XV0A12345R0"}}; // cut short: taken as it is
    EXPECT_EQ(exchange(ctx, vin).reply, QStringLiteral("R1XV0A12345R0"));
    line.replies = {};
    EXPECT_EQ(exchange(ctx, vin).status, ExchangeStatus::NoReply);
}
