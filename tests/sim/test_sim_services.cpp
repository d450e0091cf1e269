// The diagnostic services behind the interface: MIL and code count, freeze frame, stored and
// pending codes, clearing, and the faults that bend their replies.
#include "simtestutil.h"

#include <QSet>

#include <gtest/gtest.h>

#include <optional>

using namespace quorvex::sim;
using namespace quorvex::sim::test;

namespace {

Ecu engineEcu()
{
    Ecu ecu;
    ecu.pids = {0x01, 0x02, 0x05, 0x0B, 0x0C, 0x21, 0x30};
    return ecu;
}

FreezeFrame frame(const QString &code, const QList<quint8> &pids)
{
    FreezeFrame f;
    f.code = code;
    f.pids = pids;
    return f;
}

// The reply without its check byte, after checking the frame around it.
QByteArray body(const QByteArray &reply, int length)
{
    EXPECT_EQ(reply.size(), replyTextLength(length)) << reply.constData();
    EXPECT_TRUE(checkByteMatches(reply.mid(1))) << reply.constData();
    return reply.left(reply.size() - 2);
}

} // namespace

TEST(SimServices, MilCountAndMonitorsInPid01)
{
    struct Row
    {
        const char *name;
        bool mil;
        int storedCodes;
        QByteArray monitors;
        QByteArray pinned;
        QByteArray data; // bytes A to D
    };
    const Row rows[] = {
        {"MIL on, one code", true, 1, "076500", "", "81076500"},
        {"MIL off, three codes", false, 3, "076500", "", "03076500"},
        {"nothing stored, monitors unsupported", false, 0, "000000", "", "00000000"},
        {"count saturates at 7F", true, 200, "0765FF", "", "FF0765FF"},
        {"pinned value wins", true, 1, "076500", "00112233", "00112233"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Ecu ecu = engineEcu();
        ecu.mil = row.mil;
        ecu.storedCodes = QStringList(row.storedCodes, QStringLiteral("0301"));
        ecu.monitors = QByteArray::fromHex(row.monitors);
        if (!row.pinned.isEmpty())
            ecu.values.insert(0x01, QByteArray::fromHex(row.pinned));
        Engine engine(scenarioWithEcu(ecu));
        EXPECT_EQ(body(exchange(engine, "010109"), 9), "R486B104101" + row.data);
    }
}

TEST(SimServices, FreezeFrameSupportBitmap)
{
    struct Row
    {
        const char *name;
        std::optional<FreezeFrame> frame;
        std::optional<QByteArray> pinned;
        QByteArray support;
    };
    const Row rows[] = {
        {"frame PIDs with PID 02 added", frame("0133", {0x04, 0x05, 0x0C, 0x0D}), {}, "58180000"},
        {"PID 02 listed as well", frame("0133", {0x02, 0x04}), {}, "50000000"},
        {"no frame: PID 02 alone", {}, {}, "40000000"},
        {"frame PID of the next range sets the chain bit",
         frame("0301", {0x05, 0x1F, 0x21}),
         {},
         "48000003"},
        {"pinned support wins", frame("0133", {0x04}), QByteArray(4, '\0'), "00000000"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Ecu ecu = engineEcu();
        ecu.freezeFrame = row.frame;
        ecu.freezeFrameSupport = row.pinned;
        Engine engine(scenarioWithEcu(ecu));
        // Frame number 00 after the PID, so the four bytes sit at characters 14 to 21.
        EXPECT_EQ(body(exchange(engine, "02000A"), 10), "R486B10420000" + row.support);
    }
}

TEST(SimServices, FreezeFrameValuesSitOneByteLater)
{
    Ecu ecu = engineEcu();
    ecu.freezeFrame = frame("0133", {0x05, 0x0B, 0x0C});
    ecu.freezeFrame->values = {{0x0C, QByteArray::fromHex("1A2C")},
                               {0x05, QByteArray::fromHex("7B")}};
    Ecu withoutFrame = engineEcu();
    struct Row
    {
        const char *name;
        Ecu ecu;
        QByteArray command;
        QByteArray reply; // without the check byte
    };
    const Row rows[] = {
        {"code in PID 02 at characters 14 to 17", ecu, "020208", "R486B104202000133"},
        {"no frame: code 0000", withoutFrame, "020208", "R486B104202000000"},
        {"pinned two-byte value", ecu, "020C08", "R486B10420C001A2C"},
        {"pinned one-byte value", ecu, "020507", "R486B104205007B"},
        {"service 01 PID 02 carries the code without a frame byte", ecu, "010208",
         "R486B104102013300"},
        {"service 01 PID 02 without a frame", withoutFrame, "010208", "R486B104102000000"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Engine engine(scenarioWithEcu(row.ecu));
        const int length = QByteArray::fromHex(row.command.mid(4, 2)).at(0);
        EXPECT_EQ(body(exchange(engine, row.command), length), row.reply);
    }
}

TEST(SimServices, FreezeFrameHoldsStillWhileTheEngineRuns)
{
    Ecu ecu = engineEcu();
    ecu.freezeFrame = frame("0301", {0x0B});
    Engine engine(scenarioWithEcu(ecu));
    const QByteArray stored = exchange(engine, "020B07", 0);
    QSet<QByteArray> current;
    for (qint64 t = 0; t <= 90'000 * kMs; t += 2'500 * kMs) {
        EXPECT_EQ(exchange(engine, "020B07", t), stored);
        current.insert(exchange(engine, "010B06", t));
    }
    EXPECT_GT(current.size(), 3);
}

TEST(SimServices, StoredAndPendingCodeFrames)
{
    struct Row
    {
        const char *name;
        QStringList stored;
        QStringList pending;
        QByteArray command;
        QByteArray reply; // without the check byte
    };
    const QStringList four = {"0301", "0171", "C001", "4123"};
    const Row rows[] = {
        {"one stored code", {"0301"}, {}, "030A0A", "R486B1043030100000000"},
        {"first three of four, C001 as stored", four, {}, "030A0A", "R486B104303010171C001"},
        {"no stored code", {}, {"0171"}, "030A0A", "RFF6B1043000000000000"},
        {"one pending code", {}, {"0171"}, "070A0A", "R486B1047017100000000"},
        {"two pending codes", {}, {"0420", "0135"}, "070A0A", "R486B1047042001350000"},
        {"no pending code", {"0301"}, {}, "070A0A", "RFF6B1047000000000000"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Ecu ecu = engineEcu();
        ecu.storedCodes = row.stored;
        ecu.pendingCodes = row.pending;
        Engine engine(scenarioWithEcu(ecu));
        EXPECT_EQ(body(exchange(engine, row.command), 10), row.reply);
    }
}

TEST(SimServices, ClearErasesTheActiveEcusMemory)
{
    Scenario scenario = defaultScenario();
    scenario.ecus[1].storedCodes = {"0700"};
    Engine engine(scenario);
    EXPECT_EQ(body(exchange(engine, "040404"), 4), "R486B1044");

    const struct
    {
        const char *name;
        QByteArray command;
        int from;
        QByteArray expected;
    } after[] = {
        {"stored codes", "030A0A", 1, "FF"},
        {"pending codes", "070A0A", 1, "FF"},
        {"MIL off, no count", "010109", 11, "00"},
        {"no freeze-frame code", "010208", 11, "0000"},
        {"freeze-frame support: PID 02 alone", "02000A", 13, "40000000"},
    };
    for (const auto &check : after) {
        SCOPED_TRACE(check.name);
        const QByteArray reply = exchange(engine, check.command);
        EXPECT_EQ(reply.mid(check.from, check.expected.size()), check.expected);
    }
    const Ecu &cleared = engine.scenario().ecus.at(0);
    EXPECT_FALSE(cleared.mil);
    EXPECT_TRUE(cleared.storedCodes.isEmpty() && cleared.pendingCodes.isEmpty());
    EXPECT_FALSE(cleared.freezeFrame.has_value());
    EXPECT_EQ(engine.scenario().ecus.at(1).storedCodes, QStringList{"0700"});

    exchange(engine, "800204");
    EXPECT_EQ(exchange(engine, "030A0A").mid(9, 4), "0700");
}

TEST(SimServices, ClearRestartsTheCountersSinceClearing)
{
    Ecu ecu = engineEcu();
    ecu.mil = true;
    ecu.pids += QList<quint8>{0x31, 0x4D, 0x4E};
    Engine engine(scenarioWithEcu(ecu));
    const auto word = [&](const QByteArray &command, qint64 t) {
        return exchange(engine, command, t).mid(11, 4).toInt(nullptr, 16);
    };
    EXPECT_EQ(word("013007", 0) >> 8, 23); // warm-ups, one byte
    EXPECT_GE(word("012107", 0), 57);      // distance with the MIL on
    EXPECT_GE(word("013107", 0), 1234);    // distance since clearing
    EXPECT_GE(word("014D07", 0), 42);      // minutes with the MIL on
    EXPECT_GE(word("014E07", 0), 1870);    // minutes since clearing

    exchange(engine, "040404", 200'000 * kMs);
    EXPECT_EQ(word("013007", 201'000 * kMs) >> 8, 0);
    EXPECT_EQ(word("012107", 201'000 * kMs), 0);
    EXPECT_LE(word("013107", 201'000 * kMs), 1);
    EXPECT_EQ(word("014D07", 201'000 * kMs), 0);
    EXPECT_EQ(word("014E07", 260'000 * kMs), 1); // one minute after clearing
}

TEST(SimServicesFaults, ClearRejectedAnswersNegativelyAndKeepsTheCodes)
{
    struct Row
    {
        const char *name;
        QByteArray command;
        QByteArray reply; // without the check byte
    };
    const Row rows[] = {
        {"program's length: cut after 7F", "040404", "R486B107F"},
        {"longer length: the whole negative response", "040406", "R486B107F0422"},
        {"padded beyond it", "040407", "R486B107F042200"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Scenario scenario = defaultScenario();
        scenario.faults.clearRejected = true;
        Engine engine(scenario);
        const int length = QByteArray::fromHex(row.command.mid(4, 2)).at(0);
        EXPECT_EQ(body(exchange(engine, row.command), length), row.reply);
        EXPECT_EQ(exchange(engine, "030A0A").mid(9, 4), "0301");
        EXPECT_TRUE(engine.scenario().ecus.at(0).mil);
    }
}

TEST(SimServicesFaults, CodesLatencyDelaysOnlyStoredCodes)
{
    struct Row
    {
        const char *name;
        QByteArray command;
        qint64 dueUs;
    };
    const Row rows[] = {
        {"stored codes", "030A0A", 60 * kMs},
        {"pending codes", "070A0A", 10 * kMs},
        {"MIL and count", "010109", 10 * kMs},
        {"firmware", "900101", 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Scenario scenario = defaultScenario();
        scenario.latencyMs = 10;
        scenario.faults.codesLatencyMs = 50;
        Engine engine(scenario);
        engine.take(0);
        engine.receive(row.command, 0);
        if (row.dueUs > 0) {
            EXPECT_EQ(engine.take(row.dueUs - 1), "");
        }
        EXPECT_FALSE(engine.take(row.dueUs).isEmpty());
    }
}

TEST(SimServicesFaults, BlankAt10CountsDownOverCodeReplies)
{
    Scenario scenario = defaultScenario();
    scenario.faults.blankAt10 = 2;
    Engine engine(scenario);
    Engine clean(defaultScenario());
    const QByteArray stored = exchange(clean, "030A0A");
    const QByteArray pending = exchange(clean, "070A0A");
    const auto blanked = [](QByteArray reply) { return reply.insert(9, ' '); };

    EXPECT_EQ(exchange(engine, "030A0A"), blanked(stored));
    EXPECT_EQ(exchange(engine, "010109").size(), 21); // not a code reply: does not count
    EXPECT_EQ(exchange(engine, "070A0A"), blanked(pending));
    EXPECT_EQ(exchange(engine, "030A0A"), stored);
    EXPECT_EQ(engine.faults().blankAt10, 0);
    EXPECT_EQ(blanked(stored).size(), 24);
    EXPECT_EQ(blanked(stored).at(9), ' ');
}
