// The trouble-code report end to end: against the simulated interface for the car's codes,
// its delays and its blank at character 10, and against a scripted interface for replies the
// simulator never sends.
#include "diagnostics/definitions.h"
#include "diagnostics/troublecodes.h"
#include "support/scriptedline.h"
#include "support/simfixture.h"

#include <gtest/gtest.h>

#include <optional>

using namespace quorvex;
using namespace quorvex::test;

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kNoPending = QStringLiteral("No pending codes reported");
const QString kP0171 = QStringLiteral("P0171 System Too Lean (Bank 1)");
const QString kP0300 = QStringLiteral("P0300 Random/Multiple Cylinder Misfire Detected");
const QString kP0301 = QStringLiteral("P0301 Cylinder 1 Misfire Detected");
const QString kP0420 = QStringLiteral("P0420 Catalyst System Efficiency Below Threshold (Bank 1)");
const QString kU0001 = QStringLiteral("U0001 High Speed CAN Communication Bus");

// The car's first ECU with the given diagnostic memory; pid01 pins PID 01's four data bytes
// (MIL and count in byte A) independently of the codes the services 03 and 07 carry.
sim::Scenario car(const QStringList &stored, const QStringList &pending,
                  std::optional<QByteArray> pid01 = std::nullopt)
{
    sim::Scenario s = sim::defaultScenario();
    sim::Ecu &ecu = s.ecus[0];
    ecu.mil = !stored.isEmpty();
    ecu.storedCodes = stored;
    ecu.pendingCodes = pending;
    ecu.freezeFrame.reset();
    if (pid01)
        ecu.values[0x01] = QByteArray::fromHex(*pid01);
    return s;
}

QString statusLines(const char *mil, int count)
{
    return kCrLf + QStringLiteral("ECU #=10\r\nMIL is ") + QLatin1String(mil) + kCrLf +
           QStringLiteral("Vehicle Reports  %1 Stored Trouble Code(s)\r\n").arg(count);
}

// A stored-code line; `code` defaults to the definition's first five characters.
QString stored(int n, const QString &definition, const QString &code = {})
{
    return QStringLiteral("TC%1 -").arg(n) + (code.isEmpty() ? definition.left(5) : code) + kCrLf +
           definition + kCrLf;
}

// A pending-code entry with its definition (which starts with the code).
QString pending(int n, const QString &definition)
{
    return QStringLiteral("Pending Code %1 -").arg(n) + definition.left(5) + "--" + definition;
}

// The pending section: slot 1 always, slots 2 and 3 empty when absent, then the note.
QString pendingSection(const QString &slot1, const QString &slot2 = {}, const QString &slot3 = {})
{
    return slot1 + kCrLf + slot2 + kCrLf + slot3 + kCrLf + "A code of 0000 means no code";
}

class TroubleCodesTest : public SimLinkTest
{
protected:
    // Answers the question with `answer` and notes what it was shown.
    TroubleCodeRun run()
    {
        asked.clear();
        return request_trouble_codes(ctx, definitions, [this](const QString &soFar) {
            asked << soFar;
            return answer;
        });
    }

    bool answer = false;
    QStringList asked; // the report so far, each time the question was asked

    TroubleCodeDefinitions definitions{
        QStringList{"Definitions used by the tests", kP0171, kP0300, kP0301, kP0420, kU0001}};
};

// A service 07 frame: first header byte, three slots, check byte.
QByteArray pendingFrame(const char *header, const char *codeSlots)
{
    return QByteArray("R") + header + "6B1047" + codeSlots + "00";
}

} // namespace

// The first two bits choose the letter, the next two the first digit (0301, C001 and 4123 run
// end to end below). A blank (or any character below "0") at position 10 shifts the slots one
// place left.
TEST(TroubleCodeText, LetterRuleAndBlankAtTen)
{
    const std::pair<const char *, const char *> codes[] = {
        {"0301", "P0301"}, {"3FFF", "P3FFF"}, {"4123", "C0123"}, {"7001", "C3001"},
        {"8123", "B0123"}, {"B000", "B3000"}, {"C123", "U0123"}, {"D123", "U1123"},
        {"F0F0", "U30F0"}, {"0000", "P0000"}, {"0K00", "P0K00"},
    };
    for (const auto &[slot, code] : codes)
        EXPECT_EQ(trouble_code_text(QLatin1String(slot)), QLatin1String(code)) << slot;
    // Positions 10-21 take 11-22; position 22 and what follows keep their characters.
    const char *shifted = "R486B10430301042001711AA";
    for (const auto &[reply, expected] :
         {std::pair{"R486B1043 030104200171AA", shifted}, // blank at 10
          {"R486B1043/030104200171AA", shifted},          // any character below 0
          {"R486B1043", "R486B1043"}})                    // too short for position 10
        EXPECT_EQ(shift_blank_at_10(QLatin1String(reply)), QLatin1String(expected)) << reply;
}

// The count in PID 01 byte A decides how many of the frame's three slots are shown (the first
// always); a count of 0 asks first, and No skips the stored codes. Slots become P and U codes
// with their definitions.
TEST_F(TroubleCodesTest, MilAndCountDecideWhatIsShown)
{
    const QStringList lines{stored(1, kP0301), stored(2, kU0001),
                            stored(3, "Trouble code definition not found", "C0123")};
    const struct
    {
        const char *name;
        const char *pid01;
        std::optional<bool> answer; // none: no question
        const char *mil;
        int count;
        int shown;
    } rows[] = {
        {"MIL off, count 0, No: only the pending section", "00076500", false, "OFF", 0, 0},
        {"MIL off, count 0, Yes: slot 1 whatever the count", "00076500", true, "OFF", 0, 1},
        {"count 1 of three", "81076500", std::nullopt, "ON", 1, 1},
        {"count 2 of three", "82076500", std::nullopt, "ON", 2, 2},
        {"count 5: three slots at most", "05076500", std::nullopt, "OFF", 5, 3},
    };
    for (const auto &r : rows) {
        startSim(car({"0301", "C001", "4123"}, {"C001"}, QByteArray(r.pid01)));
        answer = r.answer.value_or(false);
        const TroubleCodeRun result = run();
        // Asked with the status lines already in the report.
        EXPECT_EQ(asked, r.answer ? QStringList{statusLines(r.mil, r.count)} : QStringList())
            << r.name;
        EXPECT_EQ(result.report, statusLines(r.mil, r.count) +
                                     lines.first(r.shown).join(QString()) +
                                     pendingSection(pending(1, kU0001)))
            << r.name;
        QStringList commands{"010109", "030A0A", "070A0A"};
        if (r.answer == false) // No: the stored codes are not asked
            commands.removeAll(QStringLiteral("030A0A"));
        EXPECT_EQ(server->commands(), commands) << r.name;
        EXPECT_EQ(result.status, ExchangeStatus::Ok) << r.name;
    }
}

TEST_F(TroubleCodesTest, BlankAtTenReadsAsIfAbsentAndStrayMarksAreDropped)
{
    // A blank in the service 03 and the service 07 reply; a mark ahead of each of the three.
    for (const auto &[name, faults] : {std::pair{"blank at 10", sim::Faults{.blankAt10 = 2}},
                                       {"stray marks", sim::Faults{.strayLeadingS = 3}}}) {
        sim::Scenario s = car({"0301", "0420"}, {"0171", "0300"});
        s.faults = faults;
        startSim(s);
        EXPECT_EQ(run().report, statusLines("ON", 2) + stored(1, kP0301) + stored(2, kP0420) +
                                    pendingSection(pending(1, kP0171), pending(2, kP0300)))
            << name;
    }
}

TEST_F(TroubleCodesTest, EcuNotAnsweringSkipsStoredCodes)
{
    sim::Scenario s = car({"0301"}, {});
    s.faults.ecuTimeout = true;
    startSim(s);
    const TroubleCodeRun result = run();
    EXPECT_EQ(result.status, ExchangeStatus::EcuTimeout);
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(server->commands(), QStringList({"010109", "070A0A"}));
    // The pending request is not answered either: no report, rather than "no pending codes".
    EXPECT_EQ(result.report, kCrLf);
}

// The stored-code wait keeps its own 10-second limit: the link's far shorter bound for waits
// without a limit does not cut it, and a time-out is shown once, not carried into the next run.
TEST_F(TroubleCodesTest, StoredCodesWaitKeepsItsOwnLimit)
{
    const QString inTime =
        statusLines("ON", 1) + stored(1, kP0301) + pendingSection(pending(1, kP0171));
    sim::Scenario s = car({"0301"}, {"0171"});
    s.faults.codesLatencyMs = 9000; // well past the link's bound
    startSim(s);
    TroubleCodeRun result = run();
    EXPECT_FALSE(result.CodesTimedOut);
    EXPECT_EQ(result.report, inTime);
    EXPECT_EQ(result.status, ExchangeStatus::Ok);

    s.faults.codesLatencyMs = 10500;
    server->setFaults(s.faults);
    const qint64 start = clock.nowMs();
    result = run();
    // Ended by the limit: not by the link's bound, nor by the reply at 10.5 s.
    EXPECT_GE(clock.nowMs() - start, 10000);
    EXPECT_LT(clock.nowMs() - start, 10500);
    EXPECT_TRUE(result.CodesTimedOut);
    EXPECT_EQ(result.report,
              statusLines("ON", 1) + QStringLiteral("==== Timeout waiting for Trouble Codes\r\n"));
    EXPECT_EQ(server->commands().last(), QStringLiteral("030A0A")); // no pending request

    // The late reply is over by the next run's ready check.
    server->setFaults(sim::Faults{});
    result = run();
    EXPECT_FALSE(result.CodesTimedOut);
    EXPECT_EQ(result.report, inTime);
    EXPECT_EQ(server->commands().last(), QStringLiteral("070A0A"));
}

// Replies given character for character. By default PID 01 reports MIL on and one code, the
// service 03 frame holds no code and the service 07 frame one.
TEST_F(TroubleCodesTest, RepliesTheSimulatorNeverSends)
{
    const QString status = statusLines("ON", 1);
    const QString section = pendingSection(pending(1, kP0171));
    const QByteArray unanswered = "RS000000000000000000000"; // zero-filled slots: no codes
    const struct
    {
        const char *name;
        const char *command;
        QByteArray reply;    // empty: nothing ever comes
        bool stopFlagAt50ms; // raised by another handler while the report waits
        QString report;
        ExchangeStatus status; // what the indicator shows at the end
    } rows[] = {
        {"pending header FE", "070A0A", pendingFrame("FE", "017100000000"), false,
         status + kNoPending, ExchangeStatus::Ok},
        {"pending slot 1 0000 has no definition", "070A0A", pendingFrame("48", "000000000000"),
         false, status + pendingSection("Pending Code 1 -P0000--"), ExchangeStatus::Ok},
        {"a pending slot whose first byte is 00 is not shown", "070A0A",
         pendingFrame("48", "01710012C001"), false,
         status + pendingSection(pending(1, kP0171), {}, pending(3, kU0001)), ExchangeStatus::Ok},
        // An interface that stops answering ends the run; an ECU that does not answer costs
        // only its own part.
        {"status request unanswered by the interface", "010109", "", false, kCrLf,
         ExchangeStatus::NoReply},
        {"stored codes ended by StopFlag", "030A0A", "", true, status + section,
         ExchangeStatus::Stopped},
        {"stored codes unanswered by the ECU", "030A0A", unanswered, false, status + section,
         ExchangeStatus::EcuTimeout},
        {"pending codes unanswered by the interface", "070A0A", "", false, status,
         ExchangeStatus::NoReply},
        {"pending codes unanswered by the ECU", "070A0A", unanswered, false, status,
         ExchangeStatus::EcuTimeout},
    };
    ScriptedLine scripted(clock);
    scripted.idleMark = "S";
    ctx.attachSerial(&scripted);
    ctx.state.UseSerial = true;
    for (const auto &r : rows) {
        scripted.replies = {{"010109", "R486B104101810765000000"},
                            {"030A0A", "RFF6B1043000000000000FF"},
                            {"070A0A", pendingFrame("48", "017100000000")}};
        scripted.replies[r.command] = r.reply;
        if (r.stopFlagAt50ms)
            clock.callAfter(50, [this] { ctx.state.StopFlag = true; });
        const TroubleCodeRun result = run();
        EXPECT_FALSE(result.CodesTimedOut) << r.name;
        EXPECT_EQ(result.report, r.report) << r.name;
        EXPECT_EQ(result.status, r.status) << r.name;
    }
}
