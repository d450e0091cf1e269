// The freeze frame end to end through the simulated interface: the frame's code and values,
// no frame, no support, no answer, an ECU at D0, repeated runs, and the decoders' switch to
// service 02 and back; and the frame's code as the current-data request shows it.
#include "currentdata.h"
#include "dispatch.h"
#include "freezeframe.h"
#include "pidentries.h"
#include "simfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

// A scenario of sim/scenarios, or the scenario given as JSON text.
sim::Scenario scenario(const char *nameOrJson)
{
    QByteArray json = nameOrJson;
    if (!json.startsWith('{')) {
        QFile file(QFileInfo(QStringLiteral(__FILE__))
                       .dir()
                       .filePath(QStringLiteral("../../sim/scenarios/%1.json").arg(json)));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << nameOrJson;
        json = file.readAll();
    }
    sim::Scenario s;
    QString error;
    EXPECT_TRUE(sim::parseScenario(json, &s, &error)) << nameOrJson << ": " << error.toStdString();
    return s;
}

using FreezeFrameTest = SimLinkTest;

} // namespace

// firstbitmap.json's frame: code 0133, PIDs 04 05 0C 0D pinned to 33 5C 0FA0 28, so the frame's
// support bytes are 58 18 00 00 (PID 02 always among them).
TEST_F(FreezeFrameTest, CodeAndValuesInRedInBothUnitSystemsThenBackToServiceOne)
{
    const QStringList frameCommands = {"02000A", "020208", "020407", "020507", "020C08", "020D07"};
    // The second run lists its own lines and items only.
    const std::pair<bool, QStringList> runs[] = {
        {false,
         {"Calculated Load --------  20%", "Coolant Temp -----------  125Deg F",
          "Engine RPM -------------  1000RPM", "Speed ------------------  24MPH"}},
        {true,
         {"Calculated Load --------  20%", "Coolant Temp -----------  52Deg C",
          "Engine RPM -------------  1000RPM", "Speed ------------------  40KPH"}},
    };
    startSim(scenario("firstbitmap"));
    for (const auto &[metric, lines] : runs) {
        ctx.state.UnitsMetric = metric;
        ReadFreezeFrame(ctx);
        EXPECT_EQ(server->commands().mid(metric ? 6 : 0), frameCommands) << metric;
        EXPECT_EQ(view.report, QStringLiteral("\r\nECU #=10\r\n\r\nFreeze Frame T.C. -P0133\r\n"));
        EXPECT_EQ(view.lines, lines) << metric;
        EXPECT_TRUE(view.listRed) << metric;
        EXPECT_EQ(ctx.state.PIDcount, 4) << metric;
        EXPECT_EQ(ctx.state.LoggerItems.size(), 4) << metric;
    }

    // The decoders stay on the frame (service 02, one byte longer) until the next current-data
    // request.
    EXPECT_EQ(get_RPM(ctx), QStringLiteral(" 1000"));
    EXPECT_EQ(server->commands().last(), QStringLiteral("020C08"));
    request_current_data(ctx, SupportDispatch());
    get_RPM(ctx);
    EXPECT_EQ(server->commands().last(), QStringLiteral("010C07"));
}

TEST_F(FreezeFrameTest, OutcomesWithoutAFrame)
{
    const char *noFrame =
        R"({"ecus":[{"address":"10","pids":["04","0C"],"freezeFrameSupport":"58180000"}]})";
    const char *noSupport =
        R"({"ecus":[{"address":"10","pids":["04"],"freezeFrameSupport":"00000000"}]})";
    const char *unanswered = "ECU Timeout, Freeze Frame not Supported";
    const struct
    {
        const char *name;
        const char *scenario; // a one-ECU car, or a scenario file's name
        const char *fault;    // "timeout", "no contact" or none: nobody answers "02000A"
        QString report;
        const char *status;
        const char *commands;
    } rows[] = {
        {"code 0000 ends the listing", noFrame, "", "\r\n\r\n No Freeze Frame Data Stored\r\n",
         "ECU Connected", "02000A 020208"},
        {"all-zero support bitmap", noSupport, "", "\r\n\r\nNot Supported by this ECU\r\n",
         "ECU Connected", "02000A"},
        {"ECU at D0", "d0", "", QString::fromUtf16(kNotObdText), "ECU Connected", "02000A"},
        {"ECU does not answer", "firstbitmap", "timeout", {}, unanswered, "02000A"},
        {"no vehicle contact: nothing asked", "firstbitmap", "no contact", {}, unanswered, ""},
    };
    for (const auto &r : rows) {
        sim::Scenario s = scenario(r.scenario);
        s.faults.ecuTimeout = r.fault == QByteArrayView("timeout");
        s.noContact = r.fault == QByteArrayView("no contact");
        startSim(s);
        view = RecordingView();
        view.report = QStringLiteral("old report");
        view.lines = QStringList{"old line"};
        ReadFreezeFrame(ctx);
        EXPECT_TRUE(view.lines.isEmpty()) << r.name;
        EXPECT_EQ(view.report, *r.fault ? QStringLiteral("old report") : r.report) << r.name;
        EXPECT_EQ(view.statusText, QLatin1String(r.status)) << r.name;
        EXPECT_EQ(view.statusColor, *r.fault ? StatusColor::Red : StatusColor::Green) << r.name;
        EXPECT_EQ(server->commands().join(u' '), QLatin1String(r.commands)) << r.name;
        EXPECT_FALSE(ctx.state.NoFreezeFrame) << r.name;
        TearDown();
    }
}

TEST_F(FreezeFrameTest, TheFramesCodeFromServiceOneAndTwoReplies)
{
    const auto dispatch = [](ObdContext &c, const std::array<int, 4> &support) {
        dispatch_support(c, diagnostic_hooks(), support);
    };

    // A service 01 PID 02 reply carries the code as bytes A and B, without a frame number.
    startSim(scenario("firstbitmap"));
    request_current_data(ctx, dispatch);
    EXPECT_TRUE(server->commands().contains(QStringLiteral("010207")));
    EXPECT_TRUE(view.report.contains(QStringLiteral("\r\nFreeze Frame T.C. -P0133\r\n")))
        << view.report.toStdString();
    EXPECT_TRUE(server->commands().contains(QStringLiteral("010307")));
    TearDown();

    // Code 0000: the report is replaced and PIDs 03 to 08 are skipped, the other bytes not.
    startSim(scenario("nocodes"));
    request_current_data(ctx, dispatch);
    EXPECT_TRUE(view.report.startsWith(QStringLiteral("\r\n\r\n No Freeze Frame Data Stored\r\n")))
        << view.report.toStdString();
    EXPECT_EQ(server->commands().filter(QRegularExpression(QStringLiteral("^010[3-7]"))),
              QStringList());
    EXPECT_TRUE(server->commands().contains(QStringLiteral("010C07")));
    EXPECT_TRUE(ctx.state.NoFreezeFrame); // cleared by the next request, not by this one
    EXPECT_FALSE(ctx.state.HasSTFTB1);
    TearDown();

    // An unanswered code request appends the no-frame text and leaves the list black.
    sim::Scenario s = scenario("firstbitmap");
    s.faults.ecuTimeout = true;
    startSim(s);
    view = RecordingView();
    view.report = QStringLiteral("\r\nECU #=10\r\n");
    ctx.state.PIDmode = QStringLiteral("02");
    ctx.state.PIDoffset = 1;
    get_trouble_codes(ctx);
    EXPECT_EQ(view.report, QStringLiteral("\r\nECU #=10\r\n\r\n No Freeze Frame Data Stored"));
    EXPECT_FALSE(ctx.state.NoFreezeFrame);
    EXPECT_FALSE(view.listRed);
}
