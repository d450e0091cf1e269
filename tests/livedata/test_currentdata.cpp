// The single-PID exchange and the current-data request against the simulated interface.
#include "currentdata.h"
#include "faketransport.h"
#include "protocol.h"
#include "simfixture.h"

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

class CurrentDataTest : public SimLinkTest
{
};

} // namespace

TEST_F(CurrentDataTest, SinglePidExchangeSendsModePidLength)
{
    startSim();
    const QString reply =
        get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0C"), QStringLiteral("07"));
    EXPECT_EQ(server->commands().last(), QStringLiteral("010C07"));
    EXPECT_EQ(reply.size(), 17); // leading character, 7 bytes, check byte
    EXPECT_EQ(reply.mid(7, 4), QStringLiteral("410C"));
    EXPECT_EQ(view.statusColor, StatusColor::Green);
}

TEST_F(CurrentDataTest, SinglePidExchangeRetriesStripsAndGivesUp)
{
    struct Row
    {
        const char *name;
        sim::Faults faults;
        int commandsSent;
        bool empty;
    };
    sim::Faults retryTwice;
    retryTwice.retryReplies = 2;
    sim::Faults stray;
    stray.strayLeadingS = 1;
    sim::Faults retryForever;
    retryForever.retryReplies = 1000;
    const Row rows[] = {
        {"two unusable replies, then a good one", retryTwice, 3, false},
        {"a mark ahead of the reply", stray, 1, false},
        {"unusable replies give up after ten", retryForever, 10, true},
    };
    for (const Row &r : rows) {
        startSim(withFaults(r.faults));
        const QString reply =
            get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0D"), QStringLiteral("06"));
        EXPECT_EQ(server->commands().size(), r.commandsSent) << r.name;
        if (r.empty) {
            EXPECT_TRUE(reply.isEmpty()) << r.name;
            EXPECT_EQ(view.statusText, QStringLiteral("ECU Timeout")) << r.name;
            EXPECT_EQ(view.statusColor, StatusColor::Red) << r.name;
        } else {
            EXPECT_EQ(reply.mid(7, 4), QStringLiteral("410D")) << r.name;
            EXPECT_EQ(view.statusColor, StatusColor::Green) << r.name;
        }
        TearDown();
    }
}

TEST_F(CurrentDataTest, SinglePidExchangeWithoutContactSendsNothing)
{
    sim::Scenario s = sim::defaultScenario();
    s.noContact = true;
    startSim(s);
    EXPECT_EQ(get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0C"), QStringLiteral("07")),
              QString(22, u'0'));
    EXPECT_TRUE(server->commands().isEmpty());
}

TEST_F(CurrentDataTest, RequestOutcomes)
{
    struct Row
    {
        const char *name;
        sim::Scenario scenario;
        bool debug;
        QString status;
        StatusColor color;
        QString ecu;
        bool timedOut;
        bool notObd;
    };
    sim::Scenario d0 = sim::defaultScenario();
    d0.ecus[0].address = 0xD0;
    sim::Faults timeout;
    timeout.ecuTimeout = true;
    sim::Faults stray;
    stray.strayLeadingS = 1;
    const Row rows[] = {
        {"answering ECU", sim::defaultScenario(), false, "ECU Connected", StatusColor::Green,
         "ECU #=10\r\n", false, false},
        {"leading mark stripped", withFaults(stray), true, "ECU Connected", StatusColor::Green,
         "ECU #=10\r\n", false, false},
        {"ECU does not answer", withFaults(timeout), false, "ECU Timeout", StatusColor::Red,
         "ECU #=00\r\n", true, false},
        {"ECU without OBD-II data", d0, false, "ECU Connected", StatusColor::Green, "ECU #=D0\r\n",
         false, true},
    };
    for (const Row &r : rows) {
        startSim(r.scenario);
        ctx.state.DebugMode = r.debug;
        int dispatched = 0;
        std::array<int, 4> support{};
        const CurrentDataResult res =
            request_current_data(ctx, [&](ObdContext &, const std::array<int, 4> &bytes) {
                ++dispatched;
                support = bytes;
            });
        EXPECT_EQ(view.statusText, r.status) << r.name;
        EXPECT_EQ(view.statusColor, r.color) << r.name;
        EXPECT_EQ(view.ecuNumber, r.ecu) << r.name;
        EXPECT_EQ(res.timedOut, r.timedOut) << r.name;
        EXPECT_EQ(res.notObd, r.notObd) << r.name;
        EXPECT_EQ(dispatched, (r.timedOut || r.notObd) ? 0 : 1) << r.name;
        if (r.notObd) {
            EXPECT_EQ(view.report,
                      QStringLiteral("The ECU communicating does not support OBD-II data, you "
                                     "can read/clear it's trouble codes or Click 'Change ECU' "));
        }
        if (dispatched) { // the default car supports PIDs 01 and 0C (bit 7 of byte 1, 4 of 2)
            EXPECT_TRUE((support[0] & 0x80) && (support[1] & 0x10)) << r.name;
        }
        if (r.debug) {
            EXPECT_TRUE(view.report.startsWith(QStringLiteral("\r\n\r\nMode 1, PID 0 = S")))
                << r.name << " " << view.report.toStdString();
        }
        TearDown();
    }
}

TEST_F(CurrentDataTest, RequestClearsTheWindowsAndTheRunsFacts)
{
    startSim();
    view.lines << QStringLiteral("old line");
    view.report = QStringLiteral("old report");
    view.listRed = true;
    ctx.state.PIDmode = QStringLiteral("02");
    ctx.state.PIDoffset = 1;
    ctx.state.PIDcount = 7;
    ctx.state.HasSTFTB1 = ctx.state.NoFreezeFrame = true;
    request_current_data(ctx, SupportDispatch());
    EXPECT_TRUE(view.lines.isEmpty());
    EXPECT_EQ(view.report, QStringLiteral("\r\n"));
    EXPECT_FALSE(view.listRed);
    EXPECT_EQ(ctx.state.PIDmode, QStringLiteral("01"));
    EXPECT_EQ(ctx.state.PIDoffset, 0);
    EXPECT_EQ(ctx.state.PIDcount, 0);
    EXPECT_FALSE(ctx.state.HasSTFTB1 || ctx.state.NoFreezeFrame);
}

TEST_F(CurrentDataTest, RequestRetriesWithDebugEchoPerAttempt)
{
    sim::Faults retry;
    retry.retryReplies = 2;
    startSim(withFaults(retry));
    ctx.state.DebugMode = true;
    request_current_data(ctx, SupportDispatch());
    EXPECT_EQ(view.report.count(QStringLiteral("Mode 1, PID 0 = ")), 3);
    EXPECT_EQ(server->commands(), QStringList(3, QStringLiteral("010009")));
    EXPECT_EQ(view.statusText, QStringLiteral("ECU Connected"));
}

TEST_F(CurrentDataTest, RequestWithoutContactDoesNothing)
{
    sim::Scenario s = sim::defaultScenario();
    s.noContact = true;
    startSim(s);
    const CurrentDataResult res = request_current_data(ctx, SupportDispatch());
    EXPECT_FALSE(res.contact);
    EXPECT_TRUE(server->commands().isEmpty());
    EXPECT_EQ(view.statusColor, StatusColor::Yellow);
}

TEST(SinglePidThreshold, WaitsForMoreThanTwiceTheLength)
{
    RecordingView view;
    RecordingPrompts prompts;
    ObdContext ctx(view, prompts);
    FakeTransport line;
    ctx.link.attachSerial(&line);
    ctx.state.UseSerial = true;
    line.feedLater(5, "S");                                     // ready mark
    line.feedLater(20, QByteArray("R486B10410C0BB8").left(14)); // 14 characters: not enough
    line.feedLater(90, "8");
    QElapsedTimer t;
    t.start();
    const QString reply =
        get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0C"), QStringLiteral("07"));
    EXPECT_GE(t.elapsed(), 85);
    EXPECT_EQ(reply, QStringLiteral("R486B10410C0BB8"));
    EXPECT_EQ(line.written, QByteArray("010C07"));
}
