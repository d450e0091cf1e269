// The diagnostic services behind the interface: MIL and code count, freeze frame, stored and
// pending codes, clearing, the pass-through block, and the faults that bend their replies. The
// O2 sensor test's replies are read by the program's own O2 run tests (O2RunTest) and windows.
#include "simtestutil.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace quorvex::sim;
using namespace quorvex::sim::test;

namespace {

// One engine ECU at address 10 with `ecu`'s diagnostic memory and the PIDs read here.
Scenario car(Ecu ecu)
{
    ecu.pids = {0x01, 0x02, 0x05, 0x0B, 0x0C};
    return {.ecus = {ecu}};
}

FreezeFrame frame(const QString &code, const QList<quint8> &pids)
{
    return {.code = code, .pids = pids};
}

QByteArray blanked(QByteArray reply)
{
    return reply.insert(9, ' '); // at character 10
}

} // namespace

TEST(SimServices, RepliesCarryTheDiagnosticMemory)
{
    Ecu pinnedFrame{.freezeFrame = frame("0133", {0x05, 0x0B, 0x0C})};
    pinnedFrame.freezeFrame->values = {{0x0C, QByteArray::fromHex("1A2C")},
                                       {0x05, QByteArray::fromHex("7B")}};
    runScripts({
        // PID 01: byte A is the MIL (bit 7) and the stored-code count, B to D the monitors.
        // Code replies: three slots in one frame, 0000 where fewer, first header byte FF for none.
        {"MIL on, one stored code, no pending code",
         car({.mil = true, .storedCodes = {"0301"}}),
         {{"010109", framed("486B10410181076500")},
          {"030A0A", framed("486B1043030100000000")},
          {"070A0A", framed("FF6B1047000000000000")}}},
        {"MIL off, the first three of four codes, C001 and 4123 as they are",
         car({.storedCodes = {"0301", "C001", "4123", "0171"}}),
         {{"010109", framed("486B10410104076500")}, {"030A0A", framed("486B10430301C0014123")}}},
        {"pending codes only",
         car({.pendingCodes = {"0420", "0135"}}),
         {{"030A0A", framed("FF6B1043000000000000")}, {"070A0A", framed("486B1047042001350000")}}},
        {"count saturates at 7F",
         car({.storedCodes = QStringList(200, "0301")}),
         {{"010109", framed("486B1041017F076500")}}},
        // Service 02 puts the frame number 00 after the PID, so its data sit one byte later.
        {"no frame: PID 02 alone, code 0000",
         car({}),
         {{"02000A", framed("486B1042000040000000")},
          {"020208", framed("486B104202000000")},
          {"010208", framed("486B104102000000")}}},
        {"frame code and pinned values",
         car(pinnedFrame),
         {{"020208", framed("486B104202000133")},
          {"020C08", framed("486B10420C001A2C")},
          {"020507", framed("486B104205007B")},
          {"010208", framed("486B104102013300")}}}, // service 01 PID 02: no frame byte
        {"frame PIDs with PID 02 added",
         car({.freezeFrame = frame("0133", {0x04, 0x05, 0x0C, 0x0D})}),
         {{"02000A", framed("486B1042000058180000")}}},
        {"frame PID of the next range sets the chain bit",
         car({.freezeFrame = frame("0301", {0x05, 0x1F, 0x21})}),
         {{"02000A", framed("486B1042000048000003")}}},
        {"pinned support wins",
         car({.freezeFrame = frame("0133", {0x04}), .freezeFrameSupport = QByteArray(4, '\0')}),
         {{"02000A", framed("486B1042000000000000")}}},
        // Character 10 blank: the next two code replies; other replies do not count.
        {"blank at 10 fault",
         {.faults = {.blankAt10 = 2}},
         {{"030A0A", blanked(framed("486B1043030100000000"))},
          {"010109", framed("486B10410181076500")},
          {"070A0A", blanked(framed("486B1047017100000000"))},
          {"030A0A", framed("486B1043030100000000")}}},
    });
}

TEST(SimServices, FreezeFrameHoldsStillWhileTheEngineRuns)
{
    Engine engine(car({.freezeFrame = frame("0301", {0x0B})}));
    const QByteArray stored = exchange(engine, "020B07", 0);
    QSet<QByteArray> current;
    for (qint64 t = 0; t <= 90'000 * kMs; t += 2'500 * kMs) {
        EXPECT_EQ(exchange(engine, "020B07", t), stored);
        current.insert(exchange(engine, "010B06", t));
    }
    EXPECT_GT(current.size(), 3);
}

TEST(SimServices, ClearEndsTheActiveEcusMemoryOrIsRefused)
{
    Scenario secondHasCodes;
    secondHasCodes.ecus[1].storedCodes = {"0700"};
    const QByteArray stored = framed("486B1043030100000000");
    const QByteArray milOnOneCode = framed("486B10410181076500");
    runScripts({
        {"cleared: codes, MIL, count and freeze frame gone; the other ECU keeps its codes",
         secondHasCodes,
         {{"030A0A", stored},
          {"040404", framed("486B1044")},
          {"030A0A", framed("FF6B1043000000000000")},
          {"070A0A", framed("FF6B1047000000000000")},
          {"010109", framed("486B10410100076500")},
          {"010208", framed("486B104102000000")},
          {"800204", "OK2"},
          {"030A0A", framed("486B1843070000000000")}}},
        {"refused: cut after 7F at the program's length, nothing cleared",
         {.faults = {.clearRejected = true}},
         {{"040404", framed("486B107F")}, {"030A0A", stored}, {"010109", milOnOneCode}}},
        {"refused: the whole negative response, padded beyond it",
         {.faults = {.clearRejected = true}},
         {{"040406", framed("486B107F0422")}, {"040407", framed("486B107F042200")}}},
    });
}

TEST(SimServices, PassThroughTakesARawBlockAndAnswersRawBytes)
{
    // A block: 1, its length, three header bytes, service 06, test ID, component ID, zeros.
    const auto block = [](const char *tidCid) {
        return QByteArray::fromHex("0106686AF106" + QByteArray(tidCid)).leftJustified(14, '\0');
    };
    const auto raw = [](const char *hex) {
        return QByteArray::fromHex(hex).leftJustified(13, '\0');
    };
    runScripts({
        {"acknowledged with the protocol code, then a test over its maximum",
         {.passThrough = 8},
         {{"F00504", "RA8"}, {block("0101"), raw("486B104601 01F4 01C2")}}},
        {"a minimum limit: bit 7 of the limit type",
         {},
         {{"F00504", "RA1"}, {block("1A01"), raw("486B104681 01F4 01C2")}}},
        {"support from 00: tests 01, 02, 1A, and bit 0 for the range beyond",
         {},
         {{"F00504", "RA1"}, {block("0000"), raw("486B10460000 C0000041")}}},
        {"support from 20: test 21",
         {},
         {{"F00504", "RA1"}, {block("2000"), raw("486B10462000 80000000")}}},
        {"a test the car lacks", {}, {{"F00504", "RA1"}, {block("0501"), raw("486B107F0612")}}},
        {"not acknowledged: the next command is a command again",
         {.passThrough = -1},
         {{"F00504", "RN0"}, {"900101", "V3.40"}}},
    });
}
