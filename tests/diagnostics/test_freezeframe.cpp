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

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

const QString kNotObd = QString::fromUtf16(kNotObdText);

sim::Scenario scenarioFile(const char *name)
{
    QFile file(
        QFileInfo(QStringLiteral(__FILE__))
            .dir()
            .filePath(QStringLiteral("../../sim/scenarios/%1.json").arg(QLatin1String(name))));
    sim::Scenario s;
    QString error;
    const bool opened = file.open(QIODevice::ReadOnly);
    EXPECT_TRUE(opened) << name;
    EXPECT_TRUE(opened && sim::parseScenario(file.readAll(), &s, &error))
        << name << ": " << error.toStdString();
    return s;
}

// firstbitmap.json's frame: code 0133, PIDs 04 05 0C 0D pinned to 33 5C 0FA0 28, so the
// frame's support bytes are 58 18 00 00 (PID 02 always among them).
const QStringList kFrameCommands = {"02000A", "020208", "020407", "020507", "020C08", "020D07"};

class FreezeFrameTest : public SimLinkTest
{
};

} // namespace

TEST_F(FreezeFrameTest, CodeAndValuesInRedInBothUnitSystems)
{
    const struct
    {
        const char *name;
        bool metric;
        QStringList lines;
    } rows[] = {
        {"English",
         false,
         {"Calculated Load --------  20%", "Coolant Temp -----------  125Deg F",
          "Engine RPM -------------  1000RPM", "Speed ------------------  24MPH"}},
        {"metric",
         true,
         {"Calculated Load --------  20%", "Coolant Temp -----------  52Deg C",
          "Engine RPM -------------  1000RPM", "Speed ------------------  40KPH"}},
    };
    for (const auto &r : rows) {
        startSim(scenarioFile("firstbitmap"));
        ctx.state.UnitsMetric = r.metric;
        ReadFreezeFrame(ctx);
        EXPECT_EQ(server->commands(), kFrameCommands) << r.name;
        EXPECT_EQ(view.report, QStringLiteral("\r\nECU #=10\r\n\r\nFreeze Frame T.C. -P0133\r\n"))
            << r.name;
        EXPECT_EQ(view.lines, r.lines) << r.name;
        EXPECT_TRUE(view.listRed) << r.name;
        EXPECT_EQ(view.statusText, QStringLiteral("ECU Connected")) << r.name;
        EXPECT_EQ(view.statusColor, StatusColor::Green) << r.name;
        EXPECT_EQ(ctx.state.PIDcount, 4) << r.name;
        EXPECT_EQ(ctx.state.LoggerItems.size(), 4) << r.name;
        EXPECT_FALSE(ctx.state.NoFreezeFrame) << r.name;
        TearDown();
        view = RecordingView();
    }
}

TEST_F(FreezeFrameTest, OutcomesWithoutAFrame)
{
    const struct
    {
        const char *name;
        const char *json; // a one-ECU car, or a scenario file's name
        bool timeout;
        QString report;
        QString status;
        QStringList commands;
    } rows[] = {
        {"code 0000 ends the listing",
         R"({"ecus":[{"address":"10","pids":["04","0C"],"freezeFrameSupport":"58180000"}]})",
         false,
         "\r\n\r\n No Freeze Frame Data Stored\r\n",
         "ECU Connected",
         {"02000A", "020208"}},
        {"all-zero support bitmap",
         R"({"ecus":[{"address":"10","pids":["04"],"freezeFrameSupport":"00000000"}]})",
         false,
         "\r\n\r\nNot Supported by this ECU\r\n",
         "ECU Connected",
         {"02000A"}},
        {"ECU does not answer",
         "firstbitmap",
         true,
         QString(),
         "ECU Timeout, Freeze Frame not Supported",
         {"02000A"}},
        {"ECU at D0", "d0", false, kNotObd, "ECU Connected", {"02000A"}},
    };
    for (const auto &r : rows) {
        sim::Scenario s;
        if (r.json[0] == '{') {
            QString error;
            ASSERT_TRUE(sim::parseScenario(r.json, &s, &error)) << r.name << error.toStdString();
        } else {
            s = scenarioFile(r.json);
        }
        s.faults.ecuTimeout = r.timeout;
        startSim(s);
        view.report = QStringLiteral("old report");
        view.lines = QStringList{"old line"};
        ReadFreezeFrame(ctx);
        EXPECT_TRUE(view.lines.isEmpty()) << r.name;
        EXPECT_EQ(view.report, r.timeout ? QStringLiteral("old report") : r.report) << r.name;
        EXPECT_EQ(view.statusText, r.status) << r.name;
        EXPECT_EQ(view.statusColor, r.timeout ? StatusColor::Red : StatusColor::Green) << r.name;
        EXPECT_EQ(server->commands(), r.commands) << r.name;
        EXPECT_FALSE(ctx.state.NoFreezeFrame) << r.name;
        TearDown();
        view = RecordingView();
    }
}

TEST_F(FreezeFrameTest, WithoutVehicleContactNothingIsAsked)
{
    sim::Scenario s = scenarioFile("firstbitmap");
    s.noContact = true;
    startSim(s);
    ReadFreezeFrame(ctx);
    EXPECT_TRUE(server->commands().isEmpty());
    EXPECT_EQ(view.statusText, QStringLiteral("ECU Timeout, Freeze Frame not Supported"));
    EXPECT_TRUE(view.lines.isEmpty());
}

TEST_F(FreezeFrameTest, SecondRunStartsEmptyAndCurrentDataSwitchesBack)
{
    startSim(scenarioFile("firstbitmap"));
    ReadFreezeFrame(ctx);
    const QStringList first = view.lines;
    ReadFreezeFrame(ctx);
    EXPECT_EQ(view.lines, first);
    EXPECT_EQ(ctx.state.PIDcount, 4);
    EXPECT_EQ(ctx.state.LoggerItems.size(), 4);

    // The decoders stay on the frame until the next current-data request.
    EXPECT_EQ(ctx.state.PIDmode, QStringLiteral("02"));
    EXPECT_EQ(ctx.state.PIDoffset, 1);
    EXPECT_EQ(get_RPM(ctx), QStringLiteral(" 1000"));
    EXPECT_EQ(server->commands().last(), QStringLiteral("020C08"));

    request_current_data(ctx, SupportDispatch());
    EXPECT_EQ(ctx.state.PIDmode, QStringLiteral("01"));
    EXPECT_EQ(ctx.state.PIDoffset, 0);
    EXPECT_FALSE(view.listRed);
    get_RPM(ctx);
    EXPECT_EQ(server->commands().last(), QStringLiteral("010C07"));
}

TEST_F(FreezeFrameTest, CurrentDataShowsTheFramesCodeFromItsServiceOneReply)
{
    const DispatchHooks hooks = diagnostic_hooks();
    const auto dispatch = [&hooks](ObdContext &c, const std::array<int, 4> &support) {
        dispatch_support(c, hooks, support);
    };

    // A service 01 PID 02 reply carries the code as bytes A and B, without a frame number.
    startSim(scenarioFile("firstbitmap"));
    request_current_data(ctx, dispatch);
    EXPECT_TRUE(server->commands().contains(QStringLiteral("010207")));
    EXPECT_TRUE(view.report.contains(QStringLiteral("\r\nFreeze Frame T.C. -P0133\r\n")))
        << view.report.toStdString();
    EXPECT_TRUE(server->commands().contains(QStringLiteral("010307")));
    TearDown();

    // Code 0000: the report is replaced and PIDs 03 to 08 are skipped, the other bytes not.
    startSim(scenarioFile("nocodes"));
    request_current_data(ctx, dispatch);
    EXPECT_TRUE(view.report.startsWith(QStringLiteral("\r\n\r\n No Freeze Frame Data Stored\r\n")))
        << view.report.toStdString();
    for (const QString &command : server->commands()) {
        for (const char *skipped : {"0103", "0104", "0105", "0106", "0107"})
            EXPECT_FALSE(command.startsWith(QLatin1String(skipped))) << skipped;
    }
    EXPECT_TRUE(server->commands().contains(QStringLiteral("010C07")));
    EXPECT_TRUE(ctx.state.NoFreezeFrame); // cleared by the next request, not by this one
    EXPECT_FALSE(ctx.state.HasSTFTB1);
}

TEST_F(FreezeFrameTest, UnansweredCodeRequestAppendsTheNoFrameText)
{
    sim::Scenario s = scenarioFile("firstbitmap");
    s.faults.ecuTimeout = true;
    startSim(s);
    view.report = QStringLiteral("\r\nECU #=10\r\n");
    ctx.state.PIDmode = QStringLiteral("02");
    ctx.state.PIDoffset = 1;
    get_trouble_codes(ctx);
    EXPECT_EQ(view.report, QStringLiteral("\r\nECU #=10\r\n\r\n No Freeze Frame Data Stored"));
    EXPECT_FALSE(ctx.state.NoFreezeFrame);
    EXPECT_FALSE(view.listRed);
}
