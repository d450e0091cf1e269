// A drive recorded through the window's own menus and replayed through the simulator's third
// personality into a new window: the same texts, byte for byte, whichever adapter it was made
// with; and what a recording holds besides the exchanges.
#include "sim/simreplay.h"
#include "windowfixture.h"

#include <QFile>
#include <QTemporaryDir>

using namespace quorvex;
using namespace quorvex::test;

namespace {

class ReplayWindow : public WindowTest, public ::testing::WithParamInterface<Route>
{
protected:
    // What a user sees of a drive: the connection, the current data, the stored codes, the
    // freeze frame and the current data again in metric units.
    QStringList drive()
    {
        QStringList texts{status(), report(), control<QLineEdit>(QStringLiteral("Text2"))->text()};
        for (const char *service : {"Mode1", "Mode3", "Mode2"}) {
            button(service)->click();
            texts << status() << report() << lines();
        }
        action(QStringLiteral("mnuUnitsMetric"))->trigger();
        button("Mode1")->click();
        return texts << report() << lines();
    }
};

class RecordingMenu : public WindowTest
{
};

INSTANTIATE_TEST_SUITE_P(Routes, ReplayWindow,
                         ::testing::Values(Route::Serial, Route::ElmCan, Route::ElmIso),
                         [](const auto &param) { return route_name(param.param); });

} // namespace

TEST_P(ReplayWindow, ARecordedDriveReplaysIntoTheSameTexts)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("drive.rec"));
    // Through the menu: the save dialog, then the item stops the recording.
    prompts.files = {path};
    action(QStringLiteral("mnuRecordExchanges"))->trigger();
    EXPECT_EQ(prompts.fileFilters.last(),
              (QStringList{"Exchange recordings (*.rec)", "All files (*)"}));
    connectThrough(GetParam(), pinned_car());
    ASSERT_EQ(status(), QStringLiteral("ECU Connected"));
    const QStringList recorded = drive();
    ASSERT_TRUE(recorded.join(u'\n').contains(QStringLiteral("Engine RPM -------------  750RPM")));
    const QString port = server->devicePath();
    action(QStringLiteral("mnuRecordExchanges"))->trigger();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    button("Mode1")->click(); // after the recording: not in it
    EXPECT_EQ(QFile(path).size(), text.size());

    // Its header: the program's version, the adapter kind and the port, nothing else.
    const bool elm = GetParam() != Route::Serial;
    QList<QByteArray> comments;
    for (const QByteArray &line : text.split('\n'))
        if (line.startsWith('#'))
            comments << line;
    EXPECT_EQ(comments, (QList<QByteArray>{"# Quorvex exchange recording",
                                           "# program: Quorvex " QUORVEX_VERSION,
                                           elm ? "# adapter: elm327" : "# adapter: interface",
                                           "# port: " + port.toUtf8()}));
    // The adapter's own conversation below the driver, or the interface's commands and marks.
    EXPECT_TRUE(text.contains(elm ? " > ATZ\\r\n" : " > 010009\n")) << text.left(400).constData();

    // Replayed into a new window.
    window.reset();
    makeWindow();
    QString error;
    auto replay = std::make_shared<sim::ReplayOptions>();
    replay->recording = sim::readRecordingFile(path, &error);
    ASSERT_TRUE(replay->recording) << error.toStdString();
    QList<QByteArray> unanswered;
    replay->unanswered = [&unanswered](const QByteArray &c) { unanswered << c; };
    sim::Options options;
    options.personality = sim::Personality::Replay;
    options.replay = replay;
    startSim(sim::Scenario{}, options);
    window->setAdapterKind(elm ? AdapterKind::Elm327 : AdapterKind::ScanInterface);
    connectCom(1);
    EXPECT_EQ(drive(), recorded);
    EXPECT_FALSE(server->commands().isEmpty()) << "the replay answered";
    EXPECT_TRUE(unanswered.isEmpty()) << unanswered.value(0).constData();
}

TEST_F(RecordingMenu, RecordingThatCannotStart)
{
    load();
    prompts.files = {QStringLiteral("/nonexistent/folder/drive.rec")};
    action(QStringLiteral("mnuRecordExchanges"))->trigger();
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_TRUE(prompts.boxes[0].text.startsWith(
        QStringLiteral("The recording /nonexistent/folder/drive.rec could not be written: ")));
    // Cancelled: nothing at all.
    action(QStringLiteral("mnuRecordExchanges"))->trigger();
    EXPECT_EQ(prompts.boxes.size(), 1);
}

TEST_F(RecordingMenu, OverUsbTheCommandsRepliesAndReadyQueries)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("usb.rec"));
    QString error;
    ASSERT_TRUE(window->startRecording(path, &error)) << error.toStdString();
    connectThrough(Route::Usb, pinned_car());
    button("Mode1")->click();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("# adapter: interface\n# port: USB 1209:0b0d\n"))
        << text.left(300).constData();
    EXPECT_TRUE(text.contains(" = 1\n"));
    EXPECT_TRUE(text.contains(" > 010009\n"));
    EXPECT_TRUE(text.contains(" < ")) << "the replies";
    // Read back, the ready queries are left out; the rest is the exchanges.
    const Recording back = read_recording(text);
    EXPECT_TRUE(back.error.isEmpty()) << back.error.toStdString();
    EXPECT_FALSE(back.exchanges.isEmpty());
}
