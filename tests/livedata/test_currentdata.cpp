// The single-PID exchange and the current-data request against the simulated interface.
#include "currentdata.h"
#include "dispatch.h"
#include "faketransport.h"
#include "items.h"
#include "livestate.h"
#include "simfixture.h"
#include "sweep.h"
#include "sweeplines.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

sim::Scenario withFaults(sim::Faults faults)
{
    sim::Scenario s = sim::defaultScenario();
    s.faults = faults;
    return s;
}

// The built-in car reduced to pinned values, so its lines are known to the character.
sim::Scenario pinnedCar()
{
    sim::Scenario s;
    sim::Ecu ecu;
    ecu.pids = {0x04, 0x0C};
    ecu.values = {{0x04, QByteArray::fromHex("80")}, {0x0C, QByteArray::fromHex("0BB8")}};
    s.ecus = {ecu};
    return s;
}

class CurrentDataTest : public SimLinkTest
{
protected:
    CurrentDataResult request()
    {
        sweep = Sweep(QStringLiteral("old report"));
        return request_current_data(ctx, live, sweep, DispatchHooks{});
    }
    QStringList lines() const { return line_texts(sweep); }

    LiveDataState live;
    Sweep sweep;
};

} // namespace

TEST_F(CurrentDataTest, RequestOutcomes)
{
    struct Row
    {
        const char *name;
        sim::Scenario scenario;
        ExchangeStatus support;
        QString ecu;
        QStringList lines;
        QString report;
    };
    sim::Scenario d0 = pinnedCar();
    d0.ecus[0].address = 0xD0;
    sim::Scenario noContact = pinnedCar();
    noContact.noContact = true;
    const QStringList pinnedLines{"Calculated Load --------  50%",
                                  "Engine RPM -------------  750RPM"};
    const Row rows[] = {
        {"answering ECU", pinnedCar(), ExchangeStatus::Ok, "ECU #=10\r\n", pinnedLines, "\r\n"},
        {"ECU does not answer",
         withFaults({.ecuTimeout = true}),
         ExchangeStatus::EcuTimeout,
         "",
         {},
         "\r\n"},
        {"no vehicle contact", noContact, ExchangeStatus::NoContact, "", {}, "\r\n"},
        {"ECU without OBD-II data",
         d0,
         ExchangeStatus::Ok,
         "ECU #=D0\r\n",
         {},
         "The ECU communicating does not support OBD-II data, you can read/clear it's trouble "
         "codes or Click 'Change ECU' "},
    };
    for (const Row &r : rows) {
        startSim(r.scenario);
        const CurrentDataResult result = request();
        EXPECT_EQ(result.support, r.support) << r.name;
        EXPECT_EQ(result.ecuNumber, r.ecu) << r.name;
        EXPECT_EQ(lines(), r.lines) << r.name;
        EXPECT_EQ(sweep.report(), r.report) << r.name;
        EXPECT_EQ(sweep.outcome(), ExchangeStatus::Ok) << r.name;
        if (r.support == ExchangeStatus::NoContact) {
            EXPECT_TRUE(server->commands().isEmpty());
        }
        TearDown();
    }
}

TEST_F(CurrentDataTest, RequestSwitchesToServiceOneAndClearsTheRunsFacts)
{
    startSim(pinnedCar());
    live.PIDmode = QStringLiteral("02");
    live.PIDoffset = 1;
    live.HasSTFTB1 = live.NoFreezeFrame = true;
    request();
    EXPECT_EQ(live.PIDmode, QStringLiteral("01"));
    EXPECT_EQ(live.PIDoffset, 0);
    EXPECT_FALSE(live.HasSTFTB1 || live.NoFreezeFrame);
    EXPECT_EQ(server->commands(), (QStringList{"010009", "010406", "010C07"}));
}

TEST_F(CurrentDataTest, DebugModeEchoesEveryReplyOfTheSupportRequest)
{
    startSim(withFaults({.retryReplies = 2, .strayLeadingS = 1}));
    ctx.state.DebugMode = true;
    request();
    // Three sends; each reply as it came, the stray mark included.
    EXPECT_TRUE(sweep.report().startsWith(QStringLiteral("\r\n\r\nMode 1, PID 0 = SR0S")))
        << sweep.report().toStdString();
    EXPECT_EQ(sweep.report().count(QStringLiteral("Mode 1, PID 0 = ")), 3);
}

TEST(SinglePidExchange, SendsModePidLengthAndWaitsForMoreThanTwiceTheLength)
{
    ObdContext ctx;
    FakeTransport line;
    ctx.attachSerial(&line);
    ctx.state.UseSerial = true;
    line.feedLater(5, "S");                                     // ready mark
    line.feedLater(20, QByteArray("R486B10410C0BB8").left(14)); // 14 characters: not enough
    line.feedLater(90, "8");
    QElapsedTimer t;
    t.start();
    const Exchange ex =
        get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0C"), QStringLiteral("07"));
    EXPECT_GE(t.elapsed(), 85);
    EXPECT_EQ(ex.reply, QStringLiteral("R486B10410C0BB8"));
    EXPECT_EQ(line.written, QByteArray("010C07"));
}
