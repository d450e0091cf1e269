// The trouble-code report end to end: against the simulated interface for the car's codes,
// its delays and its blank at character 10, and against a scripted interface for replies the
// simulator never sends.
#include "definitions.h"
#include "scriptedinterface.h"
#include "simfixture.h"
#include "troublecodes.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

using namespace quorvex;
using namespace quorvex::test;

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kNoPending = QStringLiteral("No pending codes reported");
const QString kTimeoutLine = QStringLiteral("==== Timeout waiting for Trouble Codes\r\n");

TroubleCodeDefinitions testDefinitions()
{
    return TroubleCodeDefinitions(QStringList{
        QStringLiteral("Definitions used by the tests"),
        QStringLiteral("P0171 System Too Lean (Bank 1)"),
        QStringLiteral("P0300 Random/Multiple Cylinder Misfire Detected"),
        QStringLiteral("P0301 Cylinder 1 Misfire Detected"),
        QStringLiteral("P0420 Catalyst System Efficiency Below Threshold (Bank 1)"),
        QStringLiteral("U0001 High Speed CAN Communication Bus"),
    });
}

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

QString storedLine(int n, const QString &code, const QString &definition)
{
    return QStringLiteral("TC%1 -").arg(n) + code + kCrLf + definition + kCrLf;
}

const QString kP0301 = QStringLiteral("P0301 Cylinder 1 Misfire Detected");
const QString kP0420 = QStringLiteral("P0420 Catalyst System Efficiency Below Threshold (Bank 1)");
const QString kP0171 = QStringLiteral("P0171 System Too Lean (Bank 1)");

class TroubleCodesTest : public SimLinkTest
{
protected:
    TroubleCodeRun run() { return request_trouble_codes(ctx, definitions); }
    void useFastClock()
    {
        // Fifty seconds on the shared timer per real second: the 10-second limit takes 0.2 s.
        ctx.setCodeTimer(std::make_unique<Timing>([] { return Timing::monotonicMs() * 50; }));
    }

    TroubleCodeDefinitions definitions = testDefinitions();
};

// The same report against replies given character for character.
class ScriptedCodesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ctx.link.attachSerial(&interface);
        ctx.state.UseSerial = true;
        ctx.bounds.silentMs = 150;
        // MIL on, one code; no stored code in the service 03 frame.
        interface.replies["010109"] = "R486B104101810765000000";
        interface.replies["030A0A"] = "RFF6B1043000000000000FF";
    }
    // A service 07 frame: first header byte, three slots, check byte.
    static QByteArray pendingFrame(const char *header, const char *codeSlots)
    {
        return QByteArray("R") + header + "6B1047" + codeSlots + "00";
    }
    TroubleCodeRun run() { return request_trouble_codes(ctx, definitions); }

    RecordingView view;
    RecordingPrompts prompts;
    ObdContext ctx{view, prompts};
    ScriptedInterface interface;
    TroubleCodeDefinitions definitions = testDefinitions();
};

} // namespace

TEST(TroubleCodeText, PrefixRule)
{
    const std::pair<const char *, const char *> table[] = {
        {"0301", "P0301"}, {"C001", "U0001"}, {"4123", "P4123"}, {"C123", "U0123"},
        {"D123", "PD123"}, {"8000", "P8000"}, {"2096", "P2096"}, {"0000", "P0000"},
    };
    for (const auto &[slot, code] : table)
        EXPECT_EQ(trouble_code_text(QLatin1String(slot)), QLatin1String(code)) << slot;
}

TEST(TroubleCodeText, BlankAtTenShiftsTheSlotsOnly)
{
    struct Row
    {
        const char *name;
        QString reply;
        QString expected;
    };
    // Positions 10-21 take 11-22; position 22 and what follows keep their characters.
    const Row rows[] = {
        {"blank at 10", "R486B1043 030104200171AA", "R486B10430301042001711AA"},
        {"any character below 0", "R486B1043/030104200171AA", "R486B10430301042001711AA"},
        {"a digit stays", "R486B1043030104200171AA", "R486B1043030104200171AA"},
        {"too short to hold position 10", "R486B1043", "R486B1043"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(shift_blank_at_10(r.reply), r.expected) << r.name;
}

TEST_F(TroubleCodesTest, MilOffAsksBeforeReadingCodes)
{
    struct Row
    {
        const char *name;
        bool yes;
        QStringList stored;
        QString stores;   // what follows the status lines before the pending section
        QStringList commands;
    };
    const QStringList all{"010109", "030A0A", "070A0A"};
    const Row rows[] = {
        {"No: only the pending section", false, {"0301", "0420"}, {}, {"010109", "070A0A"}},
        {"Yes: slot 1 whatever the frame holds", true, {"0301", "0420"},
         storedLine(1, "P0301", kP0301), all},
        {"Yes, and the frame reports no code", true, {}, {}, all},
    };
    for (const Row &r : rows) {
        startSim(car(r.stored, {}, "00076500"));
        prompts.answers = {r.yes};
        run();
        ASSERT_EQ(prompts.questions.size(), 1) << r.name;
        EXPECT_EQ(prompts.questions[0].text, QStringLiteral("The MIL is off, read codes anyway?"));
        EXPECT_EQ(prompts.questions[0].title, QStringLiteral("Read Codes?"));
        EXPECT_EQ(view.report, statusLines("OFF", 0) + r.stores + kNoPending) << r.name;
        EXPECT_EQ(server->commands(), r.commands) << r.name;
        EXPECT_EQ(view.statusText, QStringLiteral("ECU Connected")) << r.name;
        EXPECT_EQ(view.statusColor, StatusColor::Green) << r.name;
        prompts.questions.clear();
        TearDown();
    }
}

TEST_F(TroubleCodesTest, CountDecidesHowManySlotsAreShown)
{
    struct Row
    {
        const char *pid01;
        const char *mil;
        int count;
        int shown;
    };
    const QString lines[] = {storedLine(1, "P0301", kP0301), storedLine(2, "P0420", kP0420),
                             storedLine(3, "P0171", kP0171)};
    for (const Row r : {Row{"81076500", "ON", 1, 1}, Row{"82076500", "ON", 2, 2},
                        Row{"83076500", "ON", 3, 3}, Row{"05076500", "OFF", 5, 3}}) {
        startSim(car({"0301", "0420", "0171"}, {}, QByteArray(r.pid01)));
        run();
        QString expected = statusLines(r.mil, r.count);
        for (int i = 0; i < r.shown; ++i)
            expected += lines[i];
        EXPECT_EQ(view.report, expected + kNoPending) << r.pid01;
        EXPECT_TRUE(prompts.questions.isEmpty()) << r.pid01;
        TearDown();
    }
}

TEST_F(TroubleCodesTest, SlotsBecomeCodesWithDefinitions)
{
    startSim(car({"0301", "C001", "4123"}, {"C001"}));
    run();
    EXPECT_EQ(view.report,
              statusLines("ON", 3) + storedLine(1, "P0301", kP0301) +
                  storedLine(2, "U0001", "U0001 High Speed CAN Communication Bus") +
                  storedLine(3, "P4123", "Trouble code definition not found") +
                  "Pending Code 1 -U0001--U0001 High Speed CAN Communication Bus\r\n\r\n\r\n"
                  "A code of 0000 means no code");
}

TEST_F(TroubleCodesTest, BlankAtTenReadsAsIfAbsentAndStrayMarksAreDropped)
{
    const QString expected = statusLines("ON", 2) + storedLine(1, "P0301", kP0301) +
                             storedLine(2, "P0420", kP0420) +
                             "Pending Code 1 -P0171--" + kP0171 + kCrLf +
                             "Pending Code 2 -P0300--P0300 Random/Multiple Cylinder Misfire "
                             "Detected\r\n\r\nA code of 0000 means no code";
    sim::Faults blank;
    blank.blankAt10 = 2; // the service 03 and the service 07 reply
    sim::Faults stray;
    stray.strayLeadingS = 3;
    for (const auto &[name, faults] : {std::pair{"plain", sim::Faults{}},
                                       std::pair{"blank at 10", blank},
                                       std::pair{"a mark ahead of every reply", stray}}) {
        sim::Scenario s = car({"0301", "0420"}, {"0171", "0300"});
        s.faults = faults;
        startSim(s);
        run();
        EXPECT_EQ(view.report, expected) << name;
        TearDown();
    }
}

TEST_F(TroubleCodesTest, EcuNotAnsweringSkipsStoredCodes)
{
    sim::Scenario s = car({"0301"}, {});
    s.faults.ecuTimeout = true;
    startSim(s);
    run();
    // Red when the ECU fails to answer; the pending request's ready check turns it green.
    EXPECT_EQ(view.statusText, QStringLiteral("ECU Timeout"));
    EXPECT_TRUE(view.colorHistory.contains(StatusColor::Red));
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_EQ(server->commands(), QStringList({"010109", "070A0A"}));
    // The pending request is not answered either: no report, rather than "no pending codes".
    EXPECT_EQ(view.report, kCrLf);
}

TEST_F(ScriptedCodesTest, UnansweredCodeRequestsListNoCodes)
{
    // "S" at character 2 of the service 03 and 07 replies: the ECU did not answer. Its
    // zero-filled slots must not show up as P0000, nor as "No pending codes reported".
    interface.replies["030A0A"] = "RS000000000000000000000";
    interface.replies["070A0A"] = "RS000000000000000000000";
    run();
    EXPECT_EQ(view.report, kCrLf + QStringLiteral("ECU #=10\r\nMIL is ON\r\nVehicle Reports  "
                                                  "1 Stored Trouble Code(s)\r\n"));
    EXPECT_EQ(view.statusText, QStringLiteral("ECU Timeout"));
    EXPECT_FALSE(view.report.contains(QStringLiteral("P0000")));
}

TEST_F(TroubleCodesTest, StoredCodesTimeOutOnceWithoutCarryingOver)
{
    useFastClock();
    sim::Scenario s = car({"0301"}, {"0171"});
    s.faults.codesLatencyMs = 800;
    startSim(s);
    const TroubleCodeRun late = run();
    EXPECT_TRUE(late.CodesTimedOut);
    EXPECT_EQ(view.report, statusLines("ON", 1) + kTimeoutLine);
    EXPECT_EQ(server->commands(), QStringList({"010109", "030A0A"})); // no pending request

    server->setFaults(sim::Faults{});
    const TroubleCodeRun inTime = run();
    EXPECT_FALSE(inTime.CodesTimedOut);
    EXPECT_EQ(view.report, statusLines("ON", 1) + storedLine(1, "P0301", kP0301) +
                               "Pending Code 1 -P0171--" + kP0171 +
                               "\r\n\r\n\r\nA code of 0000 means no code");
    EXPECT_EQ(server->commands().last(), QStringLiteral("070A0A"));
}

TEST_F(TroubleCodesTest, StoredCodesWaitIsNotCutShortByTheLinkBound)
{
    // The link's bound for waits without a limit of their own is far shorter than the reply.
    sim::Scenario s = car({"0301"}, {});
    s.faults.codesLatencyMs = 600;
    startSim(s);
    ctx.bounds.silentMs = 200;
    const TroubleCodeRun r = run();
    EXPECT_FALSE(r.CodesTimedOut);
    EXPECT_EQ(view.report, statusLines("ON", 1) + storedLine(1, "P0301", kP0301) + kNoPending);
    EXPECT_EQ(view.statusText, QStringLiteral("ECU Connected"));
}

TEST_F(ScriptedCodesTest, PendingSection)
{
    struct Row
    {
        const char *name;
        QByteArray frame;
        QString section;
    };
    const QString tail = QStringLiteral("\r\nA code of 0000 means no code");
    const Row rows[] = {
        {"header FE", pendingFrame("FE", "017100000000"), kNoPending},
        {"header FF", pendingFrame("FF", "017100000000"), kNoPending},
        {"slot 1 0000 has no definition", pendingFrame("48", "000000000000"),
         "Pending Code 1 -P0000--\r\n\r\n" + tail},
        {"slots 1 and 3", pendingFrame("48", "017100000300"),
         "Pending Code 1 -P0171--" + kP0171 + kCrLf +
             "\r\nPending Code 3 -P0300--P0300 Random/Multiple Cylinder Misfire Detected" + tail},
        {"a slot whose first byte is 00 is not shown", pendingFrame("48", "01710012C001"),
         "Pending Code 1 -P0171--" + kP0171 + kCrLf +
             "\r\nPending Code 3 -U0001--U0001 High Speed CAN Communication Bus" + tail},
        {"blank at 10", pendingFrame("48", " 01710000000"),
         "Pending Code 1 -P0171--" + kP0171 + kCrLf + kCrLf + tail},
    };
    for (const Row &r : rows) {
        interface.replies["070A0A"] = r.frame;
        run();
        EXPECT_EQ(view.report, statusLines("ON", 1) + r.section) << r.name;
    }
}

TEST_F(ScriptedCodesTest, EndedWaitsDecodeNothingAndShowTimeout)
{
    const QString pending = "Pending Code 1 -P0171--" + kP0171 +
                            "\r\n\r\n\r\nA code of 0000 means no code";
    const QString status = statusLines("ON", 1);
    struct Row
    {
        const char *name;
        const char *silent;  // the command whose reply never comes
        bool stopFlagAt50ms; // raised by another handler while the report waits
        QString report;
    };
    const Row rows[] = {
        {"status request bounded", "010109", false, kCrLf + pending},
        {"stored codes ended by StopFlag", "030A0A", true, status + pending},
        {"pending codes bounded", "070A0A", false, status},
    };
    for (const Row &r : rows) {
        SetUp();
        interface.replies["070A0A"] = pendingFrame("48", "017100000000");
        interface.replies.remove(r.silent);
        if (r.stopFlagAt50ms)
            QTimer::singleShot(50, [this] { ctx.state.StopFlag = true; });
        const TroubleCodeRun result = run();
        EXPECT_FALSE(result.CodesTimedOut) << r.name;
        EXPECT_EQ(view.report, r.report) << r.name;
        // The ready check of a later exchange may turn the colour green again; the text stays.
        EXPECT_EQ(view.statusText, QStringLiteral("ECU Timeout")) << r.name;
        EXPECT_TRUE(view.colorHistory.contains(StatusColor::Red)) << r.name;
    }
}
