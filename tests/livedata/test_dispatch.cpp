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

using FindPid = void (*)(ObdContext &, const DispatchHooks &, int &, int &);

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
    // A fresh run: no commands, an empty window, nothing listed.
    void reset()
    {
        ecu.commands.clear();
        view = RecordingView();
        ctx.state.PIDcount = 0;
    }
    // Runs one dispatcher on support byte `a` with the run's PIDcount; returns what is left of a.
    int find(FindPid findPid, int a)
    {
        findPid(ctx, hooks, a, ctx.state.PIDcount);
        return a;
    }
    void requestCurrentData()
    {
        request_current_data(ctx, [this](ObdContext &c, const std::array<int, 4> &s) {
            dispatch_support(c, hooks, s);
        });
    }
    QList<int> listPid() const
    {
        return QList<int>(ctx.state.ListPID.begin(),
                          ctx.state.ListPID.begin() + ctx.state.PIDcount);
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
    const QStringList lines = {
        "Calculated Load --------  50%",     "Coolant Temp -----------  70Deg F",
        "Engine RPM -------------  750RPM",  "Air Flow ---------------  5gm/sec",
        "Gas Mileage ------------  189.MPG", "Throttle Position ------  100%",
    };
    const QStringList labels = {"Calculated Load -------- ", "Coolant Temp -----------  ",
                                "Engine RPM ------------- ", "Air Flow --------------- ",
                                "Gas Mileage ------------ ", "Throttle Position ------ "};
    for (int run = 0; run < 2; ++run) { // the second run must not keep the first one's items
        requestCurrentData();
        EXPECT_EQ(view.lines, lines) << "run " << run;
        EXPECT_EQ(listPid(), (QList<int>{4, 5, 12, 16, 18, 17})) << "run " << run;
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
    EXPECT_EQ(find(findPID1, 0xFF), 0);
    EXPECT_EQ(milCalls, 1);
    EXPECT_EQ(codeCalls, 1);
    EXPECT_TRUE(ecu.commands.isEmpty()); // PIDs 03 to 08 are not asked
    EXPECT_TRUE(view.lines.isEmpty());

    noFreezeFrame = false;
    EXPECT_EQ(find(findPID1, 0xFF), 1); // the last PID's bit stays
    EXPECT_EQ(ecu.commands,
              (QStringList{"010307", "010406", "010506", "010606", "010706", "010806"}));
    EXPECT_TRUE(ctx.state.HasSTFTB1 && ctx.state.HasLTFTB1 && ctx.state.HasSTFTB2);
}

TEST_F(DispatchTest, FuelEconomyLineOnlyWhileAirFlows)
{
    // Air flow (0001: 0.01 g/s), items listed, commands (the fuel economy asks air flow again,
    // and speed).
    const std::tuple<const char *, QList<int>, QStringList> rows[] = {
        {"0000", {16}, {"011007"}},
        {"0001", {16, 18}, {"011007", "011007", "010D06"}},
    };
    for (const auto &[airFlow, codes, commands] : rows) {
        reset();
        ecu.data = {{"0110", airFlow}, {"010D", "00"}};
        find(findPID2, 0x01); // PID 10 alone
        EXPECT_EQ(listPid(), codes) << airFlow;
        EXPECT_EQ(ecu.commands, commands) << airFlow;
    }
}

TEST_F(DispatchTest, ChainsThroughAllThreeRangesAndSilentBitsAskNothing)
{
    // First bitmap: byte 4 = 01, only the chain. Second: 21, 2F and the chain. Third: 41 (byte 1
    // bit 7), 42, 4E, then 4F and 50 (byte 2 bits 1 and 0) without action; bytes 3 and 4 are
    // never examined.
    ecu.data = {{"0100", "00000001"}, {"0120", "80020001"}, {"0121", "0064"}, {"012F", "80"},
                {"0140", "C007FFFF"}, {"0142", "3039"},     {"014E", "0010"}};
    ctx.state.UnitsMetric = true;
    requestCurrentData();
    EXPECT_EQ(
        view.lines,
        (QStringList{"Distance with MIL -----  100Km", "Fuel Level ------------  50%",
                     "Control Mod. Voltage---  12.345Volts", "Min. Since TC Clear---  16Min."}));
    EXPECT_EQ(listPid(), (QList<int>{33, 47, 66, 78}));
    EXPECT_EQ(ecu.commands,
              (QStringList{"010009", "012009", "012109", "012F06", "014009", "014209", "014E09"}));
    EXPECT_EQ(view.statusText, QStringLiteral("ECU Connected"));
}

TEST_F(DispatchTest, SecondBitmapFailureKeepsEarlierLines)
{
    ecu.data = {{"010C", "0BB8"}};
    // Reply to "012009" (empty: the ECU's time-out), status text, not-OBD-II text expected.
    for (const auto &[reply, status, notObd] :
         {std::tuple{"", "ECU Timeout", false},
          std::tuple{"R486BD041200000000000", "ECU Connected", true}}) {
        reset();
        ecu.verbatim.clear();
        if (*reply)
            ecu.verbatim["012009"] = reply;
        find(findPID2, 0x10); // PID 0C
        find(findPID4, 0x01); // PID 20
        EXPECT_EQ(view.lines, QStringList{"Engine RPM -------------  750RPM"}) << status;
        EXPECT_EQ(ctx.state.PIDcount, 1) << status;
        EXPECT_EQ(view.statusText, QString::fromLatin1(status));
        EXPECT_EQ(view.report, notObd ? QString::fromUtf16(kNotObdText) : QString()) << status;
    }
}

TEST_F(DispatchTest, ListPidBoundEndsTheListing)
{
    ecu.data = {{"010B", "65"}, {"010C", "0BB8"}};
    ctx.state.PIDcount = SharedState::kListPidSize - 1;
    find(findPID2, 0x30); // PIDs 0B and 0C
    EXPECT_EQ(ctx.state.PIDcount, SharedState::kListPidSize);
    EXPECT_EQ(ctx.state.ListPID.back(), 11);
    EXPECT_EQ(view.lines.size(), 1);
    EXPECT_EQ(ecu.commands, QStringList{"010B06"}); // PID 0C is not asked
}

// Mode-aware decoders ask the run's service with PIDoffset extra bytes; the others ask service
// 01; the fuel economy asks the equivalence ratio of the last wide-range sensor decoded.
TEST_F(DispatchTest, DecodersFollowTheRunsServiceOffsetAndWideRangeSensor)
{
    ecu.data = {{"020C", "000BB8"}, {"010C", "1770"}, {"0110", "01F4"}, {"010D", "32"},
                {"0124", "4000"},   {"0134", "8000"}, {"0205", "007B"}};
    const struct
    {
        const char *name;
        const char *mode;
        const char *wide; // WideO2PID
        QString (*decoder)(ObdContext &);
        const char *text;
        QStringList commands;
    } rows[] = {
        {"RPM from the freeze frame", "02", "0", get_RPM, " 750", {"020C08"}},
        {"air flow stays on service 01", "02", "0", get_air_flow, " 5", {"011007"}},
        {"wide-range O2 on service 01, one byte longer", "02", "0", get_WR_O2S1, " 0", {"01240A"}},
        {"RPM back on service 01", "01", "0", get_RPM, " 1500", {"010C07"}},
        {"wide-range O2 on service 01", "01", "0", get_WR_O2S1, " .499712", {"012409"}},
        {"mpg, voltage type 24", "01", "24", get_mpg, " 46.6", {"011007", "010D06", "012409"}},
        {"mpg, current type 34", "01", "34", get_mpg, " 93.3", {"011007", "010D06", "013409"}},
    };
    for (const auto &r : rows) {
        ecu.commands.clear();
        ctx.state.PIDmode = QString::fromLatin1(r.mode);
        ctx.state.PIDoffset = r.mode == QByteArrayView("02") ? 1 : 0;
        ctx.state.WideO2PID = QString::fromLatin1(r.wide);
        EXPECT_EQ(r.decoder(ctx), QString::fromLatin1(r.text)) << r.name;
        EXPECT_EQ(ecu.commands, r.commands) << r.name;
    }
    ctx.state.PIDmode = QStringLiteral("02");
    ctx.state.PIDoffset = 1;
    EXPECT_EQ(get_coolant_temp(ctx), 181); // 181.4 Deg F cut to "181."
    EXPECT_EQ(ecu.commands.last(), QStringLiteral("020507"));
}

TEST_F(DispatchTest, O2SensorLocationsKeepEntriesOfClearBits)
{
    ecu.data = {{"0113", "11"}};
    ctx.state.O2Sensors[2] = 4; // from an earlier request
    find(findPID3, 0x20);       // PID 13
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
    for (const int code : {0x01, 0x03, 0x13, 0x1F, 0x20, 0x41, 0x4F, 0x50, -1})
        EXPECT_FALSE(has_item(code)) << code;
}
