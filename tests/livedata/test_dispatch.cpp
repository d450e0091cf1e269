// The support dispatchers and the items' exchanges against a scripted ECU: which PIDs are
// asked, in which order and service, and which lines and report texts a run finds.
#include "currentdata.h"
#include "dispatch.h"
#include "items.h"
#include "livestate.h"
#include "obdcontext.h"
#include "pidtable.h"
#include "scriptedecu.h"
#include "sweep.h"
#include "sweeplines.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

class DispatchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ctx.attachSerial(&ecu);
        ctx.state.UseSerial = true;
        ctx.bounds.silentMs = 300;
        hooks.getMIL = [this](SweepRun &) { ++milCalls; };
        hooks.getTroubleCodes = [this](SweepRun &r) {
            ++codeCalls;
            r.live.NoFreezeFrame = noFreezeFrame;
        };
    }
    // A fresh run: no commands, nothing found.
    SweepRun run(bool freezeFrame = false)
    {
        ecu.commands.clear();
        sweep = Sweep();
        return SweepRun{ctx, live, sweep, hooks, freezeFrame};
    }
    QStringList lines() const { return line_texts(sweep); }
    QList<int> codes() const
    {
        QList<int> out;
        for (const DataLine &line : sweep.lines())
            out << line.code;
        return out;
    }

    ScriptedEcu ecu;
    ObdContext ctx;
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
    ecu.data = {{"0100", "BC118000"}, {"0103", "0200"}, {"0104", "80"},
                {"0105", "3D"},       {"0106", "7F"},   {"010C", "0BB8"},
                {"0110", "01F4"},     {"010D", "64"},   {"0111", "FF"}};
    run();
    request_current_data(ctx, live, sweep, hooks);
    EXPECT_EQ(lines(),
              (QStringList{"Calculated Load --------  50%", "Coolant Temp -----------  70Deg F",
                           "Engine RPM -------------  750RPM", "Air Flow ---------------  5gm/sec",
                           "Gas Mileage ------------  189.MPG", "Throttle Position ------  100%"}));
    EXPECT_EQ(codes(), (QList<int>{4, 5, 12, 16, 18, 17}));
    EXPECT_EQ(milCalls, 1);
    EXPECT_EQ(codeCalls, 0);
    EXPECT_EQ(sweep.report(), QStringLiteral("\r\nFuel Sys1-Closed Loop Mode\r\n\r\n"
                                             "Short Term Fuel Trim---- -1%\r\n"));
    EXPECT_TRUE(live.HasSTFTB1);
    EXPECT_FALSE(live.HasLTFTB1);
    EXPECT_EQ(ecu.commands, (QStringList{"010009", "010307", "010406", "010506", "010606", "010C07",
                                         "011007", "011007", "010D06", "011106"}));
    EXPECT_EQ(sweep.outcome(), ExchangeStatus::Ok);
}

TEST_F(DispatchTest, FailedItemsAreNotListedAndTheRunGoesOn)
{
    // 05 and 06 are announced but never answered; 0C answers.
    ecu.data = {{"0104", "80"}, {"010C", "0BB8"}};
    SweepRun r = run();
    dispatch_byte(r, 0x01, 0x1C); // 04 05 06
    dispatch_byte(r, 0x09, 0x10); // 0C
    EXPECT_EQ(lines(),
              (QStringList{"Calculated Load --------  50%", "Engine RPM -------------  750RPM"}));
    EXPECT_EQ(sweep.report(), QString()); // no trim line from a failed exchange
    EXPECT_TRUE(live.HasSTFTB1);          // supported all the same
    EXPECT_EQ(sweep.outcome(), ExchangeStatus::EcuTimeout);
}

TEST_F(DispatchTest, NoFreezeFrameEndsTheFirstRangeOnlyInAFreezeFrameRun)
{
    noFreezeFrame = true;
    SweepRun frame = run(true);
    dispatch_first_range(frame, {0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(milCalls, 1);
    EXPECT_EQ(codeCalls, 1);
    EXPECT_TRUE(ecu.commands.isEmpty()); // neither PIDs 03 to 08 nor the other bytes

    SweepRun current = run(false);
    dispatch_byte(current, 0x01, 0xFF);
    EXPECT_EQ(ecu.commands,
              (QStringList{"010307", "010406", "010506", "010606", "010706", "010806"}));
    EXPECT_TRUE(live.HasSTFTB1 && live.HasLTFTB1 && live.HasSTFTB2);
}

TEST_F(DispatchTest, FuelEconomyLineOnlyWhileAirFlows)
{
    // Air flow (0001: 0.01 g/s), items listed, commands (the fuel economy asks air flow again,
    // and speed).
    const std::tuple<const char *, QList<int>, QStringList> rows[] = {
        {"0000", {16}, {"011007"}},
        {"0001", {16, 18}, {"011007", "011007", "010D06"}},
    };
    for (const auto &[airFlow, listed, commands] : rows) {
        ecu.data = {{"0110", airFlow}, {"010D", "00"}};
        SweepRun r = run();
        dispatch_byte(r, 0x09, 0x01); // PID 10 alone
        EXPECT_EQ(codes(), listed) << airFlow;
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
    live.UnitsMetric = true;
    run();
    request_current_data(ctx, live, sweep, hooks);
    EXPECT_EQ(
        lines(),
        (QStringList{"Distance with MIL -----  100Km", "Fuel Level ------------  50%",
                     "Control Mod. Voltage---  12.345Volts", "Min. Since TC Clear---  16Min."}));
    EXPECT_EQ(codes(), (QList<int>{33, 47, 66, 78}));
    EXPECT_EQ(ecu.commands,
              (QStringList{"010009", "012009", "012109", "012F06", "014009", "014209", "014E09"}));
}

TEST_F(DispatchTest, SecondBitmapFailureKeepsEarlierLines)
{
    ecu.data = {{"010C", "0BB8"}};
    // Reply to "012009" (empty: the ECU's time-out), outcome, not-OBD-II text expected.
    for (const auto &[reply, outcome, notObd] :
         {std::tuple{"", ExchangeStatus::EcuTimeout, false},
          std::tuple{"R486BD041200000000000", ExchangeStatus::Ok, true}}) {
        ecu.verbatim.clear();
        if (*reply)
            ecu.verbatim["012009"] = reply;
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
    ecu.data = {{"010B", "65"}, {"010C", "0BB8"}};
    SweepRun r = run();
    for (int i = 0; i < Sweep::kMaxLines - 1; ++i)
        sweep.addLine({4, PidItem{}});
    dispatch_byte(r, 0x09, 0x30); // PIDs 0B and 0C
    EXPECT_EQ(sweep.lines().size(), Sweep::kMaxLines);
    EXPECT_EQ(sweep.lines().last().code, 11);
    EXPECT_EQ(ecu.commands, QStringList{"010B06"}); // PID 0C is not asked
}

// Mode-aware items ask the run's service with PIDoffset extra bytes; the others ask service 01
// and read where service 01 puts the bytes; the fuel economy asks the equivalence ratio of the
// last wide-range sensor decoded.
TEST_F(DispatchTest, ItemsFollowTheRunsServiceOffsetAndWideRangeSensor)
{
    ecu.data = {{"020C", "000BB8"}, {"010C", "1770"}, {"0110", "01F4"}, {"010D", "32"},
                {"0124", "4000"},   {"0134", "8000"}, {"0205", "007B"}};
    const struct
    {
        const char *name;
        const char *mode;
        const char *wide; // WideO2PID
        int code;
        const char *text;
        QStringList commands;
    } rows[] = {
        {"RPM from the freeze frame", "02", "0", 0x0C, " 750", {"020C08"}},
        {"air flow stays on service 01", "02", "0", 0x10, " 5", {"011007"}},
        {"wide-range O2 on service 01 in a freeze-frame run",
         "02",
         "0",
         0x24,
         " .499712",
         {"012409"}},
        {"coolant listed whole (181.4 Deg F)", "02", "0", 0x05, "181", {"020507"}},
        {"RPM back on service 01", "01", "0", 0x0C, " 1500", {"010C07"}},
        {"mpg, voltage type 24",
         "01",
         "24",
         kFuelEconomyItem,
         " 46.6",
         {"011007", "010D06", "012409"}},
        {"mpg, current type 34",
         "01",
         "34",
         kFuelEconomyItem,
         " 93.3",
         {"011007", "010D06", "013409"}},
    };
    for (const auto &r : rows) {
        ecu.commands.clear();
        live.PIDmode = QString::fromLatin1(r.mode);
        live.PIDoffset = r.mode == QByteArrayView("02") ? 1 : 0;
        live.WideO2PID = QString::fromLatin1(r.wide);
        const Reading reading = read_item(ctx, live, r.code);
        EXPECT_EQ(reading.item.valueText, QString::fromLatin1(r.text)) << r.name;
        EXPECT_EQ(ecu.commands, r.commands) << r.name;
    }
    for (const int code : {0x01, 0x03, 0x13, 0x1F, 0x20, 0x41, 0x4F, 0x50, -1})
        EXPECT_FALSE(has_item(code)) << code;
}

TEST_F(DispatchTest, O2SensorLocationsKeepEntriesOfClearBits)
{
    ecu.data = {{"0113", "11"}};
    live.O2Sensors[2] = 4; // from an earlier request
    SweepRun r = run();
    dispatch_byte(r, 0x11, 0x20); // PID 13
    EXPECT_EQ(live.O2Sensors, (std::array<int, 8>{1, 0, 4, 0, 16, 0, 0, 0}));
    EXPECT_EQ(sweep.report(), QStringLiteral("# of O2 Sensors --------  2\r\n"));
    EXPECT_EQ(ecu.commands, QStringList{"011306"});
    EXPECT_TRUE(sweep.lines().isEmpty());
}
