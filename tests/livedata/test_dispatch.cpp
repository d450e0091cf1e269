// The support dispatchers and the decoders' exchanges against a scripted ECU: which PIDs are
// asked, in which order and service, and what lands in the vehicle data window, ListPID and
// the logger's item list.
#include "currentdata.h"
#include "dispatch.h"
#include "obdcontext.h"
#include "pidentries.h"
#include "pidtable.h"
#include "recording.h"
#include "scriptedecu.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

class DispatchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ctx.link.attachSerial(&ecu);
        ctx.state.UseSerial = true;
        ctx.bounds.silentMs = 300;
        hooks.getMIL = [this](ObdContext &) { ++milCalls; };
        hooks.getTroubleCodes = [this](ObdContext &c) {
            ++codeCalls;
            c.state.NoFreezeFrame = noFreezeFrame;
        };
    }

    CurrentDataResult requestCurrentData()
    {
        return request_current_data(ctx, [this](ObdContext &c, const std::array<int, 4> &s) {
            dispatch_support(c, hooks, s);
        });
    }

    QList<int> listPid() const
    {
        QList<int> codes;
        for (int i = 0; i < ctx.state.PIDcount; ++i)
            codes << ctx.state.ListPID[static_cast<size_t>(i)];
        return codes;
    }

    ScriptedEcu ecu;
    RecordingView view;
    RecordingPrompts prompts;
    ObdContext ctx{view, prompts};
    DispatchHooks hooks;
    int milCalls = 0;
    int codeCalls = 0;
    bool noFreezeFrame = false;
};

} // namespace

TEST_F(DispatchTest, CurrentDataListsItemsInPidOrderAndRebuildsTheLoggerItems)
{
    // Supported: 01 03 04 05 06 | 0C 10 | 11. Speed (0D) is not listed but the fuel economy
    // asks it.
    ecu.data = {{"0100", "BC118000"}, {"0103", "0200"}, {"0104", "80"},
                {"0105", "3D"},       {"0106", "7F"},   {"010C", "0BB8"},
                {"0110", "01F4"},     {"010D", "64"},   {"0111", "FF"}};
    const QStringList expected = {
        "Calculated Load --------  50%",     "Coolant Temp -----------  70Deg F",
        "Engine RPM -------------  750RPM",  "Air Flow ---------------  5gm/sec",
        "Gas Mileage ------------  189.MPG", "Throttle Position ------  100%",
    };
    for (int run = 0; run < 2; ++run) {
        requestCurrentData();
        EXPECT_EQ(view.lines, expected) << "run " << run;
        EXPECT_EQ(listPid(), (QList<int>{4, 5, 12, 16, 18, 17})) << "run " << run;
        QStringList labels;
        for (const QString &line : expected)
            labels << line.left(line.indexOf(QStringLiteral("- ")) + 2);
        labels[1] += u' '; // the coolant label ends in two blanks
        EXPECT_EQ(ctx.state.LoggerItems, labels) << "run " << run;
    }
    EXPECT_EQ(milCalls, 2);
    EXPECT_EQ(codeCalls, 0);
    EXPECT_EQ(view.report, QStringLiteral("\r\nFuel Sys1-Closed Loop Mode\r\n\r\n"
                                          "Short Term Fuel Trim---- -1%\r\n"));
    EXPECT_TRUE(ctx.state.HasSTFTB1);
    EXPECT_FALSE(ctx.state.HasLTFTB1);
    const QStringList oneRun = {"010009", "010307", "010406", "010506", "010606",
                                "010C07", "011007", "011007", "010D06", "011106"};
    EXPECT_EQ(ecu.commands, oneRun + oneRun);
}

TEST_F(DispatchTest, NoFreezeFrameSkipsTheRestOfTheFirstByte)
{
    noFreezeFrame = true;
    int a = 0xFF;
    findPID1(ctx, hooks, a, ctx.state.PIDcount);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(milCalls, 1);
    EXPECT_EQ(codeCalls, 1);
    EXPECT_TRUE(ecu.commands.isEmpty()); // PIDs 03 to 08 are not asked
    EXPECT_TRUE(view.lines.isEmpty());

    noFreezeFrame = false;
    a = 0xFF;
    findPID1(ctx, hooks, a, ctx.state.PIDcount);
    EXPECT_EQ(a, 1); // the last PID's bit stays
    EXPECT_EQ(ecu.commands,
              (QStringList{"010307", "010406", "010506", "010606", "010706", "010806"}));
    EXPECT_TRUE(ctx.state.HasSTFTB1 && ctx.state.HasLTFTB1 && ctx.state.HasSTFTB2);
}

TEST_F(DispatchTest, FuelEconomyLineOnlyWhileAirFlows)
{
    const struct
    {
        const char *name;
        const char *airFlow;
        QList<int> codes;
    } rows[] = {
        {"zero air flow", "0000", {16}},
        {"0.01 g/s", "0001", {16, 18}},
    };
    for (const auto &r : rows) {
        ecu.commands.clear();
        view.lines.clear();
        ctx.state.PIDcount = 0;
        ecu.data = {{"0110", r.airFlow}, {"010D", "00"}};
        int a = 0x01; // PID 10 alone
        findPID2(ctx, hooks, a, ctx.state.PIDcount);
        EXPECT_EQ(listPid(), r.codes) << r.name;
        EXPECT_EQ(view.lines.size(), r.codes.size()) << r.name;
        EXPECT_EQ(ecu.asked("010D"), r.codes.size() - 1) << r.name;
    }
}

TEST_F(DispatchTest, LastBitOfTheFourthByteOnlyChains)
{
    ecu.data = {{"0120", "00000000"}};
    int a = 0x01;
    findPID4(ctx, hooks, a, ctx.state.PIDcount);
    EXPECT_EQ(ecu.commands, QStringList{"012009"});
    EXPECT_EQ(ctx.state.PIDcount, 0);
    EXPECT_TRUE(view.lines.isEmpty());
    EXPECT_EQ(view.statusText, QStringLiteral("ECU Connected"));
}

TEST_F(DispatchTest, ThirdBitmapSilentBitsChangeNothing)
{
    // 41 (byte 1 bit 7), 4F and 50 (byte 2 bits 1 and 0); bytes 3 and 4 are never examined.
    ecu.data = {{"0140", "8003FFFF"}};
    ctx.state.PIDcount = 3;
    get_PIDs_41_60(ctx, hooks);
    EXPECT_EQ(ecu.commands, QStringList{"014009"});
    EXPECT_EQ(ctx.state.PIDcount, 3);
    EXPECT_TRUE(view.lines.isEmpty());
}

TEST_F(DispatchTest, SecondBitmapChainsThroughAllThreeRanges)
{
    // 20 -> 21, 2F, 40 -> 42, 4E.
    ecu.data = {{"0100", "00000001"}, {"0120", "80020001"}, {"0121", "0064"}, {"012F", "80"},
                {"0140", "40040000"}, {"0142", "3039"},     {"014E", "0010"}};
    ctx.state.UnitsMetric = true;
    requestCurrentData();
    EXPECT_EQ(
        view.lines,
        (QStringList{"Distance with MIL -----  100Km", "Fuel Level ------------  50%",
                     "Control Mod. Voltage---  12.345Volts", "Min. Since TC Clear---  16Min."}));
    EXPECT_EQ(listPid(), (QList<int>{33, 47, 66, 78}));
    EXPECT_EQ(ecu.commands,
              (QStringList{"010009", "012009", "012109", "012F06", "014009", "014209", "014E09"}));
}

TEST_F(DispatchTest, SecondBitmapFailureKeepsEarlierLines)
{
    const struct
    {
        const char *name;
        QByteArray bitmapReply; // empty: the ECU's time-out
        const char *status;
        bool notObd;
    } rows[] = {
        {"ECU time-out", {}, "ECU Timeout", false},
        {"ECU at D0", "R486BD041200000000000", "ECU Connected", true},
    };
    for (const auto &r : rows) {
        view = RecordingView();
        ctx.state.PIDcount = 0;
        ecu.data = {{"010C", "0BB8"}};
        ecu.verbatim.clear();
        if (!r.bitmapReply.isEmpty())
            ecu.verbatim["012009"] = r.bitmapReply;
        int a = 0x10; // PID 0C
        findPID2(ctx, hooks, a, ctx.state.PIDcount);
        a = 0x01; // PID 20
        findPID4(ctx, hooks, a, ctx.state.PIDcount);
        EXPECT_EQ(view.lines, QStringList{"Engine RPM -------------  750RPM"}) << r.name;
        EXPECT_EQ(ctx.state.PIDcount, 1) << r.name;
        EXPECT_EQ(view.statusText, QString::fromLatin1(r.status)) << r.name;
        if (r.notObd) {
            EXPECT_EQ(view.report, QString::fromUtf16(kNotObdText)) << r.name;
        }
    }
}

TEST_F(DispatchTest, ListPidBoundEndsTheListing)
{
    ecu.data = {{"010B", "65"}, {"010C", "0BB8"}};
    ctx.state.PIDcount = SharedState::kListPidSize - 1;
    int a = 0x30; // PIDs 0B and 0C
    findPID2(ctx, hooks, a, ctx.state.PIDcount);
    EXPECT_EQ(ctx.state.PIDcount, SharedState::kListPidSize);
    EXPECT_EQ(ctx.state.ListPID.back(), 11);
    EXPECT_EQ(view.lines.size(), 1);
    EXPECT_EQ(ecu.asked("010C"), 0);
}

TEST_F(DispatchTest, DecodersFollowTheRunsServiceAndOffset)
{
    ecu.data = {
        {"020C", "000BB8"}, {"010C", "1770"}, {"0110", "01F4"}, {"0124", "8000"}, {"0205", "007B"}};
    const struct
    {
        const char *name;
        const char *mode;
        int offset;
        QString (*decoder)(ObdContext &);
        const char *command;
        const char *text;
    } rows[] = {
        {"RPM from the freeze frame", "02", 1, get_RPM, "020C08", " 750"},
        {"air flow stays on service 01", "02", 1, get_air_flow, "011007", " 5"},
        {"wide-range O2 on service 01, one byte longer", "02", 1, get_WR_O2S1, "01240A", " 0"},
        {"RPM back on service 01", "01", 0, get_RPM, "010C07", " 1500"},
        {"wide-range O2 on service 01", "01", 0, get_WR_O2S1, "012409", " .999424"},
    };
    for (const auto &r : rows) {
        ecu.commands.clear();
        ctx.state.PIDmode = QString::fromLatin1(r.mode);
        ctx.state.PIDoffset = r.offset;
        EXPECT_EQ(r.decoder(ctx), QString::fromLatin1(r.text)) << r.name;
        EXPECT_EQ(ecu.commands, QStringList{QString::fromLatin1(r.command)}) << r.name;
    }
    ctx.state.PIDmode = QStringLiteral("02");
    ctx.state.PIDoffset = 1;
    EXPECT_EQ(get_coolant_temp(ctx), 181); // 181.4 Deg F cut to "181."
    EXPECT_EQ(ecu.commands.last(), QStringLiteral("020507"));
}

TEST_F(DispatchTest, FuelEconomyAsksTheLastWideRangeSensor)
{
    ecu.data = {{"0110", "01F4"}, {"010D", "32"}, {"0124", "4000"}, {"0134", "8000"}};
    const struct
    {
        const char *name;
        const char *wide;
        const char *lambdaCommand;
        const char *text;
    } rows[] = {
        {"no wide-range sensor", "0", nullptr, " 93.4"},
        {"voltage type 24", "24", "012409", " 46.6"},
        {"current type 34", "34", "013409", " 93.3"},
    };
    for (const auto &r : rows) {
        ecu.commands.clear();
        ctx.state.WideO2PID = QString::fromLatin1(r.wide);
        EXPECT_EQ(get_mpg(ctx), QString::fromLatin1(r.text)) << r.name;
        QStringList expected = {"011007", "010D06"};
        if (r.lambdaCommand)
            expected << QString::fromLatin1(r.lambdaCommand);
        EXPECT_EQ(ecu.commands, expected) << r.name;
    }
    get_WR_O2S1_current(ctx);
    EXPECT_EQ(ctx.state.WideO2PID, QStringLiteral("34"));
    EXPECT_EQ(ctx.PIDitem.units, QStringLiteral(" Lambda"));
}

TEST_F(DispatchTest, O2SensorLocationsKeepEntriesOfClearBits)
{
    ecu.data = {{"0113", "11"}};
    ctx.state.O2Sensors[2] = 4; // from an earlier request
    int a = 0x20;               // PID 13
    findPID3(ctx, hooks, a, ctx.state.PIDcount);
    EXPECT_EQ(ctx.state.O2Sensors, (std::array<int, 8>{1, 0, 4, 0, 16, 0, 0, 0}));
    EXPECT_EQ(view.report, QStringLiteral("# of O2 Sensors --------  2\r\n"));
    EXPECT_EQ(ecu.commands, QStringList{"011306"});
    EXPECT_TRUE(view.lines.isEmpty());
}

TEST_F(DispatchTest, LookupByItemCodeGivesTheListedText)
{
    ecu.data = {{"0105", "3D"}, {"0110", "0000"}, {"010D", "00"}};
    EXPECT_EQ(read_item(ctx, 5), QStringLiteral("70"));
    EXPECT_EQ(ctx.PIDitem.valueText, QStringLiteral("70"));
    EXPECT_EQ(read_item(ctx, kFuelEconomyItem), QStringLiteral(" 0"));
    EXPECT_EQ(ctx.PIDitem.label, QStringLiteral("Gas Mileage ------------ "));
    for (const int code : {0x01, 0x03, 0x1F, 0x20, 0x41, 0x50, -1})
        EXPECT_FALSE(has_item(code)) << code;
}
