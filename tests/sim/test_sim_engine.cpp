#include "simtestutil.h"

#include <gtest/gtest.h>

using namespace quorvex::sim;
using namespace quorvex::sim::test;

namespace {

const QList<quint8> kEveryPid = pidRange(0x01, 0x4E);
const QList<quint8> kFirstRange = pidRange(0x01, 0x1F);

// The built-in engine ECU's answer to "010009".
const QByteArray kSupportReply = "R486B104100FE3FB8130C";

} // namespace

TEST(SimEngineReply, LayoutLengthAndCheckByte)
{
    struct Row
    {
        const char *name;
        QByteArray command;
        QByteArray expected;
    };
    const Row rows[] = {
        {"support bitmap", "010009", kSupportReply},
        {"pinned engine speed", "010C07", "R486B10410C0BB8D3"},
        {"zero-padded to L", "010C0A", "R486B10410C0BB8000000D3"},
        {"cut to L", "010C05", "R486B10410C10"},
        {"L of zero", "010C00", "R00"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Engine engine(defaultScenario());
        const QByteArray reply = exchange(engine, row.command);
        EXPECT_EQ(reply, row.expected);
        const int length = QByteArray::fromHex(row.command.mid(4, 2)).at(0);
        EXPECT_EQ(reply.size(), replyTextLength(length));
        EXPECT_TRUE(checkByteMatches(reply.mid(1)));
        EXPECT_FALSE(reply.contains('S') || reply.contains('P'));
        if (length >= 3) {
            EXPECT_EQ(reply.mid(5, 2), "10"); // ECU address at characters 6-7
        }
    }
}

TEST(SimEngineReply, SupportBitmapsAndChainBits)
{
    struct Row
    {
        const char *name;
        QList<quint8> pids;
        QByteArray command;
        QByteArray supportHex;
    };
    const Row rows[] = {
        {"built-in engine ECU", defaultScenario().ecus.at(0).pids, "010009", "FE3FB813"},
        {"every PID, first range", kEveryPid, "010009", "FFFFFFFF"},
        {"every PID, second range", kEveryPid, "012009", "FFFFFFFF"},
        {"every PID, third range up to 4E", kEveryPid, "014009", "FFFC0000"},
        {"first range only, no chain", kFirstRange, "010009", "FFFFFFFE"},
        {"chain from the first range", {0x01, 0x21, 0x4E}, "010009", "80000001"},
        {"chain from the second range", {0x01, 0x21, 0x4E}, "012009", "80000001"},
        {"third range", {0x01, 0x21, 0x4E}, "014009", "00040000"},
        {"PID 20 listed, nothing above it", {0x20}, "012009", "00000000"},
        {"PID 1F and PID 40 from below", {0x1F, 0x40}, "010009", "00000003"},
        {"PID 40 as last bit of its range", {0x1F, 0x40}, "012009", "00000001"},
        {"no PIDs", {}, "010009", "00000000"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Engine engine(scenarioWithPids(row.pids));
        const QByteArray reply = exchange(engine, row.command);
        ASSERT_EQ(reply.size(), 21);
        EXPECT_EQ(reply.mid(9, 2), row.command.mid(2, 2)); // PID echoed at characters 10-11
        EXPECT_EQ(reply.mid(11, 8), row.supportHex);
        EXPECT_TRUE(checkByteMatches(reply.mid(1)));
    }
}

TEST(SimEngineInterface, FirmwareIdentification)
{
    Engine builtIn(defaultScenario());
    EXPECT_EQ(exchange(builtIn, "900101"), "V3.40");
    Scenario oldFirmware;
    oldFirmware.firmware = "V3.09";
    Engine old(oldFirmware);
    EXPECT_EQ(exchange(old, "900101"), "V3.09");
}

TEST(SimEngineInterface, EcuSwitchToggles)
{
    struct Row
    {
        const char *name;
        Scenario scenario;
        QList<QByteArray> answers;   // to three "800204" in a row
        QList<QByteArray> addresses; // in the support reply after each
    };
    const Row rows[] = {
        {"two ECUs", defaultScenario(), {"OK2", "OK1", "OK2"}, {"18", "10", "18"}},
        {"one ECU", scenarioWithPids({0x01}), {"OK1", "OK1", "OK1"}, {"10", "10", "10"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Engine engine(row.scenario);
        for (int i = 0; i < 3; ++i) {
            const QByteArray answer = exchange(engine, "800204");
            EXPECT_EQ(answer, row.answers.at(i));
            EXPECT_FALSE(answer.contains('S') || answer.contains('P'));
            EXPECT_EQ(exchange(engine, "010009").mid(5, 2), row.addresses.at(i));
        }
    }
}

TEST(SimEngineInterface, OtherInterfaceCommandsGetNoAnswer)
{
    for (const QByteArray command : {"900202", "8001FF", "F00504", "9F0000"}) {
        SCOPED_TRACE(command.constData());
        Engine engine(defaultScenario());
        engine.take(0);
        engine.receive(command, 5 * kMs);
        // The mark due at 20 ms is held back: marks resume one interval after the command.
        EXPECT_EQ(engine.take(24 * kMs), "");
        EXPECT_EQ(engine.take(25 * kMs), "S");
    }
}

TEST(SimEngineVehicle, EcuTimeoutWhenTheEcuStaysSilent)
{
    Scenario noVin;
    noVin.vinForm = VinForm::None;
    struct Row
    {
        const char *name;
        Scenario scenario;
        QByteArray command;
    };
    const Row rows[] = {
        {"PID the ECU does not support", defaultScenario(), "010A07"},
        {"support PID beyond the third range", defaultScenario(), "016009"},
        {"freeze-frame PID the frame does not hold", defaultScenario(), "021008"},
        {"O2 sensor test", defaultScenario(), "050109"},
        {"vehicle without a VIN", noVin, "090208"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Engine engine(row.scenario);
        const int length = QByteArray::fromHex(row.command.mid(4, 2)).at(0);
        EXPECT_TRUE(isTimeoutReply(exchange(engine, row.command), length));
    }
}

TEST(SimEngineVin, ShortForm)
{
    Engine engine(defaultScenario());
    EXPECT_EQ(exchange(engine, "090208"), "R1XV0A12345R000001");
}

TEST(SimEngineVin, LongFormDecodesAtTheProgramsPositions)
{
    Scenario scenario;
    scenario.vin = "2QV0B98765T123456";
    scenario.vinForm = VinForm::Long;
    Engine engine(scenario);
    const QByteArray reply = exchange(engine, "090208");
    ASSERT_EQ(reply.size(), 111);
    EXPECT_EQ(reply.at(0), 'R');

    // 1-based positions the program reads: one character from message 1, four from each other.
    QByteArray vin = QByteArray::fromHex(reply.mid(19, 2));
    for (const int position : {36, 58, 80, 102})
        vin += QByteArray::fromHex(reply.mid(position - 1, 8));
    EXPECT_EQ(vin, scenario.vin.toLatin1());

    for (int message = 0; message < 5; ++message) {
        SCOPED_TRACE(message + 1);
        const QByteArray text = reply.mid(1 + 22 * message, 22);
        EXPECT_EQ(text.left(12),
                  "486B104902" + QByteArray::number(message + 1).rightJustified(2, '0'));
        EXPECT_TRUE(checkByteMatches(text));
    }
}

TEST(SimEngineFaults, NoContact)
{
    Scenario throughScenario;
    throughScenario.noContact = true;
    Scenario throughFault;
    throughFault.faults.noContact = true;
    for (const auto &[name, scenario] :
         {std::pair{"scenario", throughScenario}, std::pair{"fault", throughFault}}) {
        SCOPED_TRACE(name);
        Engine engine(scenario);
        EXPECT_EQ(engine.take(0), "");
        EXPECT_EQ(engine.take(20 * kMs), "P");
        EXPECT_TRUE(isTimeoutReply(exchange(engine, "010009", 21 * kMs), 9));
        EXPECT_EQ(exchange(engine, "900101", 22 * kMs), "V3.40");
        EXPECT_EQ(exchange(engine, "800204", 23 * kMs), "OK2");
    }
}

TEST(SimEngineFaults, EcuTimeoutLeavesInterfaceCommandsAlone)
{
    Scenario scenario;
    scenario.faults.ecuTimeout = true;
    Engine engine(scenario);
    EXPECT_TRUE(isTimeoutReply(exchange(engine, "010009"), 9));
    EXPECT_TRUE(isTimeoutReply(exchange(engine, "090208"), 8));
    EXPECT_EQ(exchange(engine, "900101"), "V3.40");
}

TEST(SimEngineFaults, RetryRepliesCountDownOverVehicleReplies)
{
    Scenario scenario;
    scenario.faults.retryReplies = 2;
    Engine engine(scenario);
    const QByteArray retry = "R0S" + QByteArray(18, '0');
    EXPECT_EQ(exchange(engine, "010009"), retry);
    EXPECT_EQ(exchange(engine, "900101"), "V3.40"); // not a vehicle reply: does not count
    EXPECT_EQ(exchange(engine, "010009"), retry);
    EXPECT_EQ(exchange(engine, "010009"), kSupportReply);
    EXPECT_EQ(engine.faults().retryReplies, 0);
}

TEST(SimEngineFaults, StrayLeadingSPrecedesTheNextReplies)
{
    Scenario scenario;
    scenario.faults.strayLeadingS = 2;
    Engine engine(scenario);
    EXPECT_EQ(exchange(engine, "900101"), "SV3.40");
    EXPECT_EQ(exchange(engine, "010009"), "S" + kSupportReply);
    EXPECT_EQ(exchange(engine, "010009"), kSupportReply);
}

TEST(SimEngineFaults, SilentSendsNothingUntilLifted)
{
    Scenario scenario;
    scenario.faults.silent = true;
    Engine engine(scenario);
    EXPECT_EQ(exchange(engine, "900101"), "");
    EXPECT_EQ(engine.take(1000 * kMs), "");
    EXPECT_EQ(engine.nextEventUs(), -1);
    EXPECT_EQ(engine.commands(), QStringList{"900101"});

    engine.setFaults({});
    EXPECT_EQ(engine.take(1500 * kMs), ""); // marks restart from here, no burst of missed ones
    EXPECT_EQ(engine.take(1520 * kMs), "S");
}

TEST(SimEngineFaults, GarbageBetweenMarksNeverHoldsAMarker)
{
    Scenario scenario;
    scenario.faults.garbage = true;
    Engine engine(scenario);
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
    Scenario scenario;
    scenario.faults.disconnectAfter = 2;
    Engine engine(scenario, Options{9600});
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

TEST(SimEngineFaults, LatencyDelaysOnlyVehicleReplies)
{
    struct Row
    {
        const char *name;
        int scenarioMs;
        int faultMs;
    };
    for (const Row &row : {Row{"car", 30, 0}, Row{"fault", 0, 30}, Row{"both add", 10, 20}}) {
        SCOPED_TRACE(row.name);
        Scenario scenario;
        scenario.latencyMs = row.scenarioMs;
        scenario.faults.latencyMs = row.faultMs;
        Engine engine(scenario);
        EXPECT_EQ(exchange(engine, "900101"), "V3.40");
        engine.receive("010009", kMs);
        EXPECT_EQ(engine.take(31 * kMs - 1), "");
        EXPECT_EQ(engine.take(31 * kMs).size(), 21);
    }
}

TEST(SimEngineMarks, PauseDuringAReplyAndResumeOneIntervalAfter)
{
    Scenario scenario;
    scenario.latencyMs = 30;
    Engine engine(scenario);
    EXPECT_EQ(engine.take(0), "");
    EXPECT_EQ(engine.take(20 * kMs - 1), "");
    EXPECT_EQ(engine.take(20 * kMs), "S");
    EXPECT_EQ(engine.nextEventUs(), 40 * kMs);

    engine.receive("010009", 25 * kMs);
    EXPECT_EQ(engine.take(55 * kMs - 1), ""); // no mark at 40 ms while the car answers
    EXPECT_EQ(engine.take(55 * kMs).size(), 21);
    EXPECT_EQ(engine.nextEventUs(), 75 * kMs);
    EXPECT_EQ(engine.take(75 * kMs - 1), "");
    EXPECT_EQ(engine.take(75 * kMs), "S");
}

TEST(SimEnginePacing, CharactersTakeTenBitsOfLineTime)
{
    struct Row
    {
        const char *name;
        int paceBaud;
        int lineBaud;
        qint64 lastCharUs; // of the 21-character reply to "010009"
    };
    const Row rows[] = {
        {"fixed 9600", 9600, 0, 21875},           {"fixed 19200", 19200, 0, 10937},
        {"line at 9600", kPaceLine, 9600, 21875}, {"line at 19200", kPaceLine, 19200, 10937},
        {"line speed unknown", kPaceLine, 0, 0},  {"unpaced", 0, 9600, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Engine engine(defaultScenario(), Options{row.paceBaud});
        engine.setLineBaud(row.lineBaud);
        engine.receive("010009", 0);
        if (row.lastCharUs > 0) {
            EXPECT_EQ(engine.take(row.lastCharUs - 1).size(), 20);
        }
        EXPECT_EQ(engine.take(row.lastCharUs).size(), row.lastCharUs > 0 ? 1 : 21);
    }
}

TEST(SimEngineInput, CommandsAreFramedFromTheLine)
{
    struct Row
    {
        const char *name;
        QList<QByteArray> writes;
        QStringList commands;
        QByteArray output;
    };
    const QByteArray support = kSupportReply;
    const Row rows[] = {
        {"split across writes", {"01", "00", "09"}, {"010009"}, support},
        {"line ends and blanks", {"01 00\r\n09\r"}, {"010009"}, support},
        {"lower case is not a command character", {"0a10009"}, {"010009"}, support},
        {"incomplete command", {"01000"}, {}, ""},
        {"two in one write, back to back",
         {"900101010009"},
         {"900101", "010009"},
         "V3.40" + support},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Engine engine(defaultScenario());
        QByteArray output;
        qint64 t = 0;
        for (const QByteArray &write : row.writes) {
            engine.receive(write, t);
            output += engine.take(t);
            t += kMs;
        }
        EXPECT_EQ(engine.commands(), row.commands);
        EXPECT_EQ(output, row.output);
    }
}
