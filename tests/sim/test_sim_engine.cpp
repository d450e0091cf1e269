#include "simtestutil.h"

#include <gtest/gtest.h>

using namespace quorvex::sim;
using namespace quorvex::sim::test;

TEST(SimEngineReply, LayoutPaddingMarkersAndToggles)
{
    const Scenario car;
    const QByteArray support = "R486B104100FE3FB8130C";   // the built-in car's reply to "010009"
    const QByteArray retry = "R0S" + QByteArray(18, '0'); // "S" at character 3
    runScripts({
        {"pinned engine speed", car, {{"010C07", "R486B10410C0BB8D3"}}},
        {"zero-padded to L", car, {{"010C0A", "R486B10410C0BB8000000D3"}}},
        {"cut to L", car, {{"010C05", "R486B10410C10"}}},
        {"L of zero", car, {{"010C00", "R00"}}},
        {"VIN, short form", car, {{"090208", "R1XV0A12345R000001"}}},
        {"PID the ECU does not support", car, {{"010A07", timeoutText(7)}}},
        {"support PID beyond the last range", car, {{"01C009", timeoutText(9)}}},
        {"freeze-frame PID the frame does not hold", car, {{"021008", timeoutText(8)}}},
        {"vehicle without a VIN", {.vinForm = VinForm::None}, {{"090208", timeoutText(8)}}},
        // Commands are six upper-case hex characters, whatever else the line carries, in
        // pieces or several in one write (the command fuzz target holds this for any input).
        {"pieces; blanks, line ends and lower case skipped; two in one write",
         car,
         {{"01", ""}, {"0a0", ""}, {"09 90\r\n0101", support + "V3.40"}}},
        {"other interface commands get no answer",
         car,
         {{"900202", ""}, {"8001FF", ""}, {"F00505", ""}, {"9F0000", ""}}},
        {"no vehicle contact: the car times out, the interface answers",
         {.faults = {.noContact = true}},
         {{"010009", timeoutText(9)}, {"900101", "V3.40"}, {"800204", "OK2"}}},
        {"ECU time-out fault spares the interface",
         {.faults = {.ecuTimeout = true}},
         {{"010009", timeoutText(9)}, {"090208", timeoutText(8)}, {"900101", "V3.40"}}},
        {"two ECUs toggle",
         car,
         {{"800204", "OK2"},
          {"010009", "R486B184100880800009C"}, // PIDs 01, 05 and 0D
          {"800204", "OK1"},
          {"010009", support}}},
        {"one ECU stays", {.ecus = {{.pids = {0x01}}}}, {{"800204", "OK1"}, {"800204", "OK1"}}},
        {"retry marker on the next two vehicle replies only",
         {.faults = {.retryReplies = 2}},
         {{"010009", retry}, {"900101", "V3.40"}, {"010009", retry}, {"010009", support}}},
        {"stray S before the next two replies of any kind",
         {.faults = {.strayLeadingS = 2}},
         {{"900101", "SV3.40"}, {"010009", "S" + support}, {"010009", support}}},
        {"stray S before every reply to the named commands",
         {.faults = {.strayMarkBefore = {"010009"}}},
         {{"010009", "S" + support}, {"900101", "V3.40"}, {"010009", "S" + support}}},
        {"announced but silent PID",
         {.ecus = {{.pids = {0x01, 0x0C}, .silentPids = {0x0C}}}},
         {{"010009", framed("486B10410080100000")}, {"010C07", timeoutText(7)}}},
    });
}

TEST(SimEngineReply, SupportBitmapsAndChainBits)
{
    const QList<quint8> sparse = {0x01, 0x21, 0x4E};
    // Bit 7 of the first byte is the support PID + 1, bit 0 of the last + 20, which is also set
    // when any PID of the next range is supported. Every PID, and the first range alone, are the
    // shipped files allpids.json and firstbitmap.json (SimScenario).
    const std::tuple<const char *, QList<quint8>, QByteArray, QByteArray> rows[] = {
        {"chain from the first range", sparse, "00", "80000001"},
        {"third range", sparse, "40", "00040000"},
        {"PID 20 listed, nothing above it", {0x20}, "20", "00000000"},
        {"PID 1F and PID 40 from below", {0x1F, 0x40}, "00", "00000003"},
        {"PID 40 as last bit of its range", {0x1F, 0x40}, "20", "00000001"},
        {"no PIDs", {}, "00", "00000000"},
    };
    for (const auto &[name, pids, pid, support] : rows) {
        Engine engine({.ecus = {{.pids = pids}}});
        EXPECT_EQ(exchange(engine, "01" + pid + "09"), framed("486B1041" + pid + support)) << name;
    }
}

TEST(SimEngineVin, LongFormDecodesAtTheProgramsPositions)
{
    const Scenario scenario{.vin = "2QV0B98765T123456", .vinForm = VinForm::Long};
    Engine engine(scenario);
    const QByteArray reply = exchange(engine, "090208");
    ASSERT_EQ(reply.size(), 111);
    ASSERT_EQ(reply.at(0), 'R');
    // Five messages of 22 characters: header, 49 02, message number, four bytes, check byte.
    for (int message = 1; message <= 5; ++message) {
        const QByteArray text = reply.mid(22 * message - 21, 22);
        EXPECT_EQ("R" + text,
                  framed("486B1049020" + QByteArray::number(message) + text.mid(12, 8)));
    }

    // 1-based positions the program reads: one character from message 1, four from each other.
    QByteArray vin = QByteArray::fromHex(reply.mid(19, 2));
    for (const int position : {36, 58, 80, 102})
        vin += QByteArray::fromHex(reply.mid(position - 1, 8));
    EXPECT_EQ(vin, scenario.vin.toLatin1());
}

TEST(SimEngineFaults, SilentSendsNothingUntilLifted)
{
    Engine engine({.faults = {.silent = true}});
    EXPECT_EQ(exchange(engine, "900101"), "");
    EXPECT_EQ(engine.take(1000 * kMs), "");
    EXPECT_EQ(engine.nextEventUs(), -1);
    EXPECT_EQ(engine.commands(), QStringList{"900101"});

    engine.setFaults({.retryReplies = 1, .strayLeadingS = 3});
    EXPECT_EQ(engine.take(1500 * kMs), ""); // marks restart from here, no burst of missed ones
    EXPECT_EQ(dueAt(engine, 1520 * kMs), "S");
    exchange(engine, "010009", 1600 * kMs);
    // Read back with the counters as far as they have counted down.
    EXPECT_EQ(engine.faults(), (Faults{.strayLeadingS = 2}));
}

TEST(SimEngineFaults, GarbageBetweenMarksNeverHoldsAMarker)
{
    Engine engine({.faults = {.garbage = true}});
    QByteArray line;
    for (qint64 t = 0; t <= 1000 * kMs; t += kMs)
        line += engine.take(t);
    // Exactly one "S" per interval: any "S" in the garbage would show up as an extra one.
    EXPECT_EQ(line.count('S'), 50);
    EXPECT_FALSE(line.contains('P'));
    EXPECT_GE(line.size() - line.count('S'), 45);
}

TEST(SimEngineFaults, DisconnectAfterTheNthReply)
{
    Engine engine({.faults = {.disconnectAfter = 2}}, Options{9600});
    engine.receive("010009", 0);
    EXPECT_EQ(engine.take(22 * kMs).size(), 21);
    EXPECT_FALSE(engine.hungUp());

    engine.receive("010009", 30 * kMs);
    const qint64 lastCharUs = 30 * kMs + 21875; // 21 characters of 10 bits at 9600
    EXPECT_EQ(engine.take(lastCharUs - 1).size(), 20);
    EXPECT_FALSE(engine.hungUp());
    EXPECT_EQ(engine.nextEventUs(), lastCharUs);
    EXPECT_EQ(engine.take(lastCharUs).size(), 1);
    EXPECT_TRUE(engine.hungUp());

    engine.receive("900101", lastCharUs + kMs);
    EXPECT_EQ(engine.take(lastCharUs + 100 * kMs), "");
    EXPECT_EQ(engine.nextEventUs(), -1);
}

TEST(SimEngineMarks, PauseForALateReplyResumeOneIntervalAfterAndArePWithoutContact)
{
    // The car's latency and the fault's add up.
    Engine engine({.latencyMs = 10, .faults = {.latencyMs = 20}});
    EXPECT_EQ(engine.take(0), "");
    EXPECT_EQ(dueAt(engine, 20 * kMs), "S");
    EXPECT_EQ(engine.nextEventUs(), 40 * kMs);

    engine.receive("010009", 25 * kMs);
    EXPECT_EQ(dueAt(engine, 55 * kMs).size(), 21); // no mark at 40 ms while the car answers
    EXPECT_EQ(engine.nextEventUs(), 75 * kMs);
    EXPECT_EQ(dueAt(engine, 75 * kMs), "S");
    EXPECT_EQ(exchange(engine, "900101", 80 * kMs), "V3.40"); // the interface has no latency
    engine.receive("900202", 90 * kMs); // unanswered: the marks still pause for an interval
    EXPECT_EQ(dueAt(engine, 110 * kMs), "S");
    // No marks while the pass-through mode waits for its block (a second at most).
    EXPECT_EQ(exchange(engine, "F00504", 120 * kMs), "RA1");
    EXPECT_EQ(dueAt(engine, 1140 * kMs), "S");

    Engine noContact({.noContact = true});
    EXPECT_EQ(noContact.take(0), "");
    EXPECT_EQ(noContact.take(20 * kMs), "P");
}

TEST(SimEnginePacing, CharactersTakeTenBitsOfLineTime)
{
    // Pacing option, line speed, and when the last of the 21 characters of the reply is due.
    const std::tuple<int, int, qint64> rows[] = {
        {9600, 0, 21875},          {19200, 0, 10937}, {kPaceLine, 9600, 21875},
        {kPaceLine, 19200, 10937}, {kPaceLine, 0, 0}, {0, 9600, 0},
    };
    for (const auto &[paceBaud, lineBaud, lastCharUs] : rows) {
        SCOPED_TRACE(testing::Message() << paceBaud << " " << lineBaud);
        Engine engine(defaultScenario(), Options{paceBaud});
        engine.setLineBaud(lineBaud);
        engine.receive("010009", 0);
        if (lastCharUs > 0) {
            EXPECT_EQ(engine.take(lastCharUs - 1).size(), 20);
        }
        EXPECT_EQ(engine.take(lastCharUs).size(), lastCharUs > 0 ? 1 : 21);
    }
}

TEST(SimEngineHistory, KeepsTheLatestCommandsOnly)
{
    Engine engine({});
    for (int i = 0; i < 2500; ++i)
        exchange(engine, i % 2 ? "900102" : "900101", i * 10 * kMs);
    const QStringList commands = engine.commands();
    ASSERT_EQ(commands.size(), Engine::kKeptCommands);
    EXPECT_EQ(commands.first(), QStringLiteral("900101")); // the 1501st
    EXPECT_EQ(commands.last(), QStringLiteral("900102"));  // the 2500th
}

TEST(SimEngineUsb, ReadinessInsteadOfMarks)
{
    Engine engine({.latencyMs = 100}, Options{.readyMarks = false});
    EXPECT_EQ(engine.take(500 * kMs), ""); // nothing while idle
    EXPECT_EQ(engine.readyMark(500 * kMs), 'S');
    engine.receive("010C02", 500 * kMs);
    EXPECT_EQ(engine.readyMark(550 * kMs), 0); // the car's answer is on its way
    engine.take(2000 * kMs);
    engine.receive("900101", 2000 * kMs);
    EXPECT_EQ(engine.take(2000 * kMs), "V3.40");
    EXPECT_EQ(engine.readyMark(2000 * kMs), 'S');
    engine.setFaults({.noContact = true});
    EXPECT_EQ(engine.readyMark(2100 * kMs), 'P');
    EXPECT_EQ(engine.nextEventUs(), -1);
}
