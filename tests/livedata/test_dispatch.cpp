// The current-data request, the support dispatchers and the items' exchanges against an ECU
// reduced to a table: which PIDs are asked, in which order and service, and which lines and
// report texts a run finds.
#include "link/obdcontext.h"
#include "livedata/currentdata.h"
#include "livedata/dispatch.h"
#include "livedata/items.h"
#include "livedata/livestate.h"
#include "livedata/pidtable.h"
#include "livedata/sweep.h"
#include "support/scriptedline.h"
#include "support/sweeplines.h"
#include "support/virtualclock.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

// The scan interface's line, keeping what each announcement told (which the line ignores).
class AnnouncedLine : public ScriptedLine
{
public:
    using ScriptedLine::ScriptedLine;
    void expect(const QList<QByteArray> &commands) override
    {
        if (!commands.isEmpty())
            told << QString::fromLatin1(commands.join(' '));
    }
    QStringList told; // the announcements but those ending a pass, commands separated by blanks
};

class DispatchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ecu.idleMark = "S";
        ecu.answer = [this](const QByteArray &command) { return ecu_table(data)(command); };
        ctx.attachSerial(&ecu);
        ctx.state.UseSerial = true;
        hooks.getMIL = [this](SweepRun &) { ++milCalls; };
        hooks.getTroubleCodes = [this](SweepRun &r) {
            ++codeCalls;
            r.live.NoFreezeFrame = noFreezeFrame;
        };
    }
    // A fresh run: no commands, nothing found.
    SweepRun run(bool freezeFrame = false)
    {
        ecu.written.clear();
        sweep = Sweep();
        return SweepRun{ctx, live, sweep, hooks, freezeFrame};
    }
    QStringList lines() const { return line_texts(sweep); }
    // The commands sent, separated by blanks.
    QString asked() const { return ecu.commands().join(u' '); }
    QList<int> codes() const
    {
        QList<int> out;
        for (const DataLine &line : sweep.lines())
            out << line.code;
        return out;
    }

    VirtualClock clock;
    AnnouncedLine ecu{clock};
    ObdContext ctx{clock};
    QMap<QByteArray, QByteArray> data; // the ECU's table (ecu_table)
    LiveDataState live;
    Sweep sweep;
    DispatchHooks hooks;
    int milCalls = 0;
    int codeCalls = 0;
    bool noFreezeFrame = false;
};

} // namespace

TEST_F(DispatchTest, CurrentDataListsItemsInPidOrder)
{
    // Supported: 01 03 04 05 06 | 0C 10 | 11. Speed (0D) is not listed but the fuel economy
    // asks it.
    data = {{"0100", "BC118000"}, {"0103", "0200"}, {"0104", "80"}, {"0105", "3D"}, {"0106", "7F"},
            {"010C", "0BB8"},     {"0110", "01F4"}, {"010D", "64"}, {"0111", "FF"}};
    // A freeze frame's facts from the run before, all cleared.
    live.PIDmode = QStringLiteral("02");
    live.PIDoffset = 1;
    live.HasLTFTB1 = live.NoFreezeFrame = true;
    run();
    request_current_data(ctx, live, sweep, hooks);
    // The lines' texts are the window test's (test_livedata_window.cpp).
    EXPECT_EQ(codes(), (QList<int>{4, 5, 12, 16, 18, 17}));
    EXPECT_EQ(milCalls, 1);
    EXPECT_EQ(codeCalls, 0);
    EXPECT_EQ(sweep.report(), QStringLiteral("\r\nFuel Sys1-Closed Loop Mode\r\n\r\n"
                                             "Short Term Fuel Trim---- -1%\r\n"));
    EXPECT_EQ(live.PIDmode, QStringLiteral("01"));
    EXPECT_EQ(live.PIDoffset, 0);
    EXPECT_TRUE(live.HasSTFTB1);
    EXPECT_FALSE(live.HasLTFTB1 || live.NoFreezeFrame);
    EXPECT_EQ(asked(), "010009 010307 010406 010506 010606 010C07 011007 011007 010D06 011106");
    EXPECT_EQ(sweep.outcome(), ExchangeStatus::Ok);
}

TEST_F(DispatchTest, CurrentDataSupportRequestOutcomes)
{
    using enum ExchangeStatus;
    data = {{"0100", "10100000"}, {"0104", "80"}, {"010C", "0BB8"}}; // PIDs 04 and 0C
    const QStringList listed{"Calculated Load --------  50%", "Engine RPM -------------  750RPM"};
    const QByteArray timeout = "RS" + QByteArray(16, '0');
    const QByteArray fromD0 = "R486BD041000000000000";
    const QString notObd = QString::fromUtf16(kNotObdText);
    const struct
    {
        const char *name;
        QByteArray mark;
        QByteArray support; // the reply to "010009"; empty: the table's
        ExchangeStatus status;
        const char *ecu;
        QStringList lines;
        QString report;
    } rows[] = {
        {"answering ECU", "S", {}, Ok, "ECU #=10\r\n", listed, "\r\n"},
        {"ECU does not answer", "S", timeout, EcuTimeout, "", {}, "\r\n"},
        {"no vehicle contact", "P", {}, NoContact, "", {}, "\r\n"},
        {"ECU without OBD-II data", "S", fromD0, Ok, "ECU #=D0\r\n", {}, notObd},
    };
    for (const auto &r : rows) {
        ecu.idleMark = r.mark;
        ecu.replies.clear();
        if (!r.support.isEmpty())
            ecu.replies["010009"] = r.support;
        run();
        sweep = Sweep(QStringLiteral("old report"));
        const CurrentDataResult result = request_current_data(ctx, live, sweep, hooks);
        EXPECT_EQ(result.support, r.status) << r.name;
        EXPECT_EQ(result.ecuNumber, QLatin1String(r.ecu)) << r.name;
        EXPECT_EQ(lines(), r.lines) << r.name;
        EXPECT_EQ(sweep.report(), r.report) << r.name;
        EXPECT_EQ(sweep.outcome(), Ok) << r.name;
        EXPECT_EQ(asked().isEmpty(), r.status == NoContact) << r.name;
    }
}

TEST_F(DispatchTest, DebugModeEchoesEveryReplyOfTheSupportRequest)
{
    // Not usable twice, the first time behind a stray mark, then the answer.
    int sends = 0;
    ecu.answer = [&sends](const QByteArray &) -> QByteArray {
        const QByteArray notUsable = "R0S" + QByteArray(16, '0');
        return ++sends == 1 ? "S" + notUsable : sends == 2 ? notUsable : "R486B104100000000002D";
    };
    ctx.state.DebugMode = true;
    run();
    request_current_data(ctx, live, sweep, hooks);
    EXPECT_EQ(sweep.report(), "\r\n\r\nMode 1, PID 0 = SR0S" + QString(16, u'0') +
                                  "\r\nMode 1, PID 0 = R0S" + QString(16, u'0') +
                                  "\r\nMode 1, PID 0 = R486B104100000000002D");
}

TEST_F(DispatchTest, SinglePidExchangeWaitsForMoreThanTwiceTheLength)
{
    ecu.idleMark.clear();
    ecu.answer = nullptr;
    ecu.feedAfter(5, "S");                                     // ready mark
    ecu.feedAfter(20, QByteArray("R486B10410C0BB8").left(14)); // 14 characters: not enough
    ecu.feedAfter(90, "8");
    const qint64 start = clock.nowMs();
    const Exchange ex =
        get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0C"), QStringLiteral("07"));
    EXPECT_EQ(clock.nowMs() - start, 90);
    EXPECT_EQ(ex.reply, QStringLiteral("R486B10410C0BB8"));
    EXPECT_EQ(asked(), "010C07");
}

TEST_F(DispatchTest, NoFreezeFrameEndsTheFirstRangeOnlyInAFreezeFrameRun)
{
    noFreezeFrame = true;
    SweepRun frame = run(true);
    dispatch_first_range(frame, {0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(milCalls, 1);
    EXPECT_EQ(codeCalls, 1);
    EXPECT_EQ(asked(), ""); // neither PIDs 03 to 08 nor the other bytes

    SweepRun current = run(false);
    dispatch_byte(current, 0x01, 0xFF);
    EXPECT_EQ(asked(), "010307 010406 010506 010606 010706 010806");
    EXPECT_TRUE(live.HasSTFTB1 && live.HasLTFTB1 && live.HasSTFTB2);
}

TEST_F(DispatchTest, FuelEconomyLineOnlyWhileAirFlows)
{
    // Air flow (0001: 0.01 g/s), items listed, commands (the fuel economy asks air flow again,
    // and speed).
    const std::tuple<const char *, QList<int>, const char *> rows[] = {
        {"0000", {16}, "011007"},
        {"0001", {16, 18}, "011007 011007 010D06"},
    };
    for (const auto &[airFlow, listed, commands] : rows) {
        data = {{"0110", airFlow}, {"010D", "00"}};
        SweepRun r = run();
        dispatch_byte(r, 0x09, 0x01); // PID 10 alone
        EXPECT_EQ(codes(), listed) << airFlow;
        EXPECT_EQ(asked(), QLatin1String(commands)) << airFlow;
    }
}

TEST_F(DispatchTest, ChainsThroughAllRangesAndSilentBitsAskNothing)
{
    // First bitmap: byte 4 = 01, only the chain. Second: 21, 2F and the chain. Third: 41 (byte 1
    // bit 7, no action), 42, 4E, 51 and the chain; the fourth and fifth only chain, the sixth
    // has A6. A fuel type of 0 (not available) is asked but not listed.
    data = {{"0100", "00000001"}, {"0120", "80020001"}, {"0121", "0064"},     {"012F", "80"},
            {"0140", "C0048001"}, {"0142", "3039"},     {"014E", "0010"},     {"0151", "00"},
            {"0160", "00000001"}, {"0180", "00000001"}, {"01A0", "04000000"}, {"01A6", "00003039"}};
    live.UnitsMetric = true;
    run();
    request_current_data(ctx, live, sweep, hooks);
    EXPECT_EQ(lines(),
              (QStringList{"Distance with MIL -----  100Km", "Fuel Level ------------  50%",
                           "Control Mod. Voltage---  12.345Volts", "Min. Since TC Clear---  16Min.",
                           "Odometer --------------  1234.5Km"}));
    EXPECT_EQ(codes(), (QList<int>{33, 47, 66, 78, 0xA6}));
    EXPECT_EQ(asked(), "010009 012009 012109 012F06 014009 014209 014E09 015106 016009 018009 "
                       "01A009 01A609");
}

TEST_F(DispatchTest, SecondBitmapFailureKeepsEarlierLines)
{
    data = {{"010C", "0BB8"}};
    // Reply to "012009" (empty: the ECU's time-out), outcome, not-OBD-II text expected.
    for (const auto &[reply, outcome, notObd] :
         {std::tuple{"", ExchangeStatus::EcuTimeout, false},
          std::tuple{"R486BD041200000000000", ExchangeStatus::Ok, true}}) {
        ecu.replies.clear();
        if (*reply)
            ecu.replies["012009"] = reply;
        SweepRun r = run();
        dispatch_byte(r, 0x09, 0x10); // PID 0C
        dispatch_byte(r, 0x19, 0x01); // PID 20
        EXPECT_EQ(lines(), QStringList{"Engine RPM -------------  750RPM"}) << notObd;
        EXPECT_EQ(sweep.outcome(), outcome) << notObd;
        EXPECT_EQ(sweep.report(), notObd ? QString::fromUtf16(kNotObdText) : QString()) << notObd;
    }
}

TEST_F(DispatchTest, LineBoundEndsTheListing)
{
    data = {{"010B", "65"}, {"010C", "0BB8"}};
    SweepRun r = run();
    for (int i = 0; i < Sweep::kMaxLines - 1; ++i)
        sweep.addLine({4, PidItem{}});
    dispatch_byte(r, 0x09, 0x30); // PIDs 0B and 0C
    EXPECT_EQ(sweep.lines().size(), Sweep::kMaxLines);
    EXPECT_EQ(sweep.lines().last().code, 11);
    EXPECT_EQ(asked(), "010B06"); // PID 0C is not asked
}

// Mode-aware items ask the run's service with PIDoffset extra bytes; the others ask service 01
// and read where service 01 puts the bytes; the fuel economy asks the equivalence ratio of the
// last wide-range sensor decoded.
TEST_F(DispatchTest, ItemsFollowTheRunsServiceOffsetAndWideRangeSensor)
{
    data = {{"020C", "000BB8"}, {"010C", "1770"}, {"0110", "01F4"}, {"010D", "32"},
            {"0124", "4000"},   {"0134", "8000"}, {"0205", "007B"}};
    const struct
    {
        const char *name;
        bool frame;       // a freeze-frame run
        const char *wide; // WideO2PID
        int code;
        const char *text;
        const char *commands;
    } rows[] = {
        {"RPM from the freeze frame", true, "0", 0x0C, " 750", "020C08"},
        {"air flow stays on service 01", true, "0", 0x10, " 5", "011007"},
        {"wide-range O2 stays on service 01", true, "0", 0x24, " .499712", "012409"},
        {"coolant listed whole (181.4 Deg F)", true, "0", 0x05, "181", "020507"},
        {"RPM back on service 01", false, "0", 0x0C, " 1500", "010C07"},
        {"mpg, voltage type", false, "24", kFuelEconomyItem, " 46.6", "011007 010D06 012409"},
        {"mpg, current type", false, "34", kFuelEconomyItem, " 93.3", "011007 010D06 013409"},
    };
    for (const auto &r : rows) {
        ecu.written.clear();
        live.PIDmode = r.frame ? QStringLiteral("02") : QStringLiteral("01");
        live.PIDoffset = r.frame ? 1 : 0;
        live.WideO2PID = QString::fromLatin1(r.wide);
        const Reading reading = read_item(ctx, live, r.code);
        EXPECT_EQ(reading.item.valueText, QString::fromLatin1(r.text)) << r.name;
        EXPECT_EQ(asked(), QLatin1String(r.commands)) << r.name;
    }
    for (const int code : {0x01, 0x03, 0x13, 0x1F, 0x20, 0x41, 0x60, 0x80, 0xA0, -1})
        EXPECT_FALSE(has_item(code)) << code;
}

TEST_F(DispatchTest, O2SensorLocationsKeepEntriesOfClearBits)
{
    data = {{"0113", "11"}};
    live.O2Sensors[2] = 4; // from an earlier request
    SweepRun r = run();
    dispatch_byte(r, 0x11, 0x20); // PID 13
    EXPECT_EQ(live.O2Sensors, (std::array<int, 8>{1, 0, 4, 0, 16, 0, 0, 0}));
    EXPECT_EQ(sweep.report(), QStringLiteral("# of O2 Sensors --------  2\r\n"));
    EXPECT_EQ(asked(), "011306");
    EXPECT_TRUE(sweep.lines().isEmpty());
}

// The current-data request announces its support request and every command the last run's
// support bytes expect; each range then its own commands and those expected of the ranges it
// chains to. A car whose support changed since is read as it is now. A freeze-frame run neither
// expects anything nor changes what the next current-data run expects.
TEST_F(DispatchTest, CurrentDataAnnouncesWhatTheLastRunRead)
{
    // 04 and the chain | 21 and the chain | 42.
    data = {{"0100", "10000001"}, {"0104", "80"},   {"0120", "80000001"}, {"0121", "0064"},
            {"0140", "40000000"}, {"0142", "3039"}, {"0205", "007B"}};
    const auto announced = [this] {
        ecu.told.clear();
        run();
        request_current_data(ctx, live, sweep, hooks);
        return ecu.told;
    };
    EXPECT_EQ(announced(), (QStringList{"010009", "010406 012009", "012109 014009", "014209"}));
    EXPECT_EQ(announced(), (QStringList{"010009 010406 012009 012109 014009 014209",
                                        "010406 012009 012109 014009 014209",
                                        "012109 014009 014209", "014209"}));

    // Now 05 too, and PIDs 21-40 no longer chain.
    data["0100"] = "18000001";
    data["0105"] = "3D";
    data["0120"] = "80000000";
    EXPECT_EQ(announced(), (QStringList{"010009 010406 012009 012109 014009 014209",
                                        "010406 010506 012009 012109 014009 014209", "012109"}));
    EXPECT_EQ(codes(), (QList<int>{4, 5, 0x21}));
    EXPECT_EQ(asked(), "010009 010406 010506 012009 012109");

    const SupportRanges expected = live.SupportRead;
    live.PIDmode = QStringLiteral("02");
    live.PIDoffset = 1;
    ecu.told.clear();
    SweepRun frame = run(true);
    dispatch_first_range(frame, {0x08, 0x00, 0x00, 0x01}); // 05 and the chain
    EXPECT_EQ(ecu.told, (QStringList{"020507 012009", "02210A"}));
    EXPECT_EQ(live.SupportRead, expected);
    EXPECT_EQ(announced().value(0), QStringLiteral("010009 010406 010506 012009 012109"));
}
