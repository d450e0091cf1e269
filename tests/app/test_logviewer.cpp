// The log viewer as a user opens it from the main window: a log plotted and read out at the
// cursor, exported for a spreadsheet, followed while the logger writes it, and the files it
// refuses with one message each.
#include "monitor/datalogger.h"
#include "windowfixture.h"
#include "windows/chart/chartview.h"
#include "windows/logview/logviewer.h"

#include <QApplication>
#include <QChart>
#include <QFile>
#include <QLegendMarker>
#include <QLineSeries>
#include <QTemporaryDir>
#include <QValueAxis>

#include <sys/stat.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

class LogViewerTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        load();
    }
    QString write(const char *name, const QByteArray &bytes) const
    {
        const QString path = dir.filePath(QLatin1String(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
    }
    // Opens `path` through Data Log -> Open Log...: the viewer it shows, or nullptr.
    LogViewer *openLog(const QString &path)
    {
        prompts.openFiles = {path};
        action(QStringLiteral("mnuDataLogOpen"))->trigger();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QList<LogViewer *> open = window->findChildren<LogViewer *>();
        return open.isEmpty() ? nullptr : open.last();
    }
    static QString text(LogViewer *viewer, const char *label)
    {
        return viewer->findChild<QLabel *>(QLatin1String(label))->text();
    }
    static QStringList seriesNames(LogViewer *viewer)
    {
        QStringList names;
        for (QAbstractSeries *s : viewer->chart()->series())
            if (viewer->chart()->legend()->markers(s).constFirst()->isVisible())
                names << s->name();
        return names;
    }
    static void press(QWidget *to, Qt::Key key)
    {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(to, &event);
    }

    QTemporaryDir dir;
    const std::array<QString, 4> labels{"Calculated Load -------- ", "Engine RPM ------------- ",
                                        "Coolant Temp -----------  ", "O2 Sensor1 Val --------- "};
};

} // namespace

TEST_F(LogViewerTest, PlotsReadsOutAndExports)
{
    const QString path =
        write("trip.log", log_header(labels) + log_record({25, 750, 80, 0.45}, 1.5) +
                              "25,7#0,80,0.45,1.7\r\n" + log_record({50, 2000, 85, 0.1}, 2.0) +
                              log_record({30, 900, 90, 0.8}, 3.25));
    LogViewer *viewer = openLog(path);
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Quorvex Log Viewer - trip.log"));
    EXPECT_EQ(prompts.fileFilters.last(),
              (QStringList{"OBD-II log files (*.log)", "All files (*)"}));
    // One series an item, named from the header with the units the program shows now.
    EXPECT_EQ(seriesNames(viewer), (QStringList{"Calculated Load (%)", "Engine RPM (RPM)",
                                                "Coolant Temp (Deg F)", "O2 Sensor1 Val (Volts)"}));
    QSet<QRgb> colours;
    for (QAbstractSeries *s : viewer->chart()->series())
        colours.insert(static_cast<QLineSeries *>(s)->pen().color().rgb());
    EXPECT_EQ(colours.size(), 5) << "four items and the cursor, each in its own colour";
    EXPECT_EQ(text(viewer, "lblStatus"), QStringLiteral("3 records; 1 line could not be read"));
    // Seconds from the first record; each item drawn from 0 to 100 % of its own range.
    auto *x = static_cast<QValueAxis *>(viewer->chart()->axes(Qt::Horizontal).constFirst());
    EXPECT_EQ(std::make_pair(x->min(), x->max()), std::make_pair(0.0, 1.75));
    auto *rpm = static_cast<QLineSeries *>(viewer->chart()->series().at(1));
    ASSERT_EQ(rpm->count(), 3);
    EXPECT_EQ(rpm->at(0), QPointF(0, 0));
    EXPECT_EQ(rpm->at(1), QPointF(0.5, 100));
    EXPECT_EQ(rpm->at(2).x(), 1.75);
    EXPECT_NEAR(rpm->at(2).y(), 12, 1e-9);

    // The cursor: arrow keys from record to record, the pointer to the nearest record.
    press(viewer->view(), Qt::Key_Right);
    EXPECT_EQ(text(viewer, "lblCursor"), QStringLiteral("0 s   Calculated Load 25 %   Engine RPM "
                                                        "750 RPM   Coolant Temp 80 Deg F   O2 "
                                                        "Sensor1 Val 0.45 Volts"));
    press(viewer->view(), Qt::Key_Right);
    EXPECT_TRUE(
        text(viewer, "lblCursor").startsWith(QStringLiteral("0.5 s   Calculated Load 50 %")));
    emit viewer->view()->pointed(1.5);
    EXPECT_TRUE(
        text(viewer, "lblCursor").startsWith(QStringLiteral("1.75 s   Calculated Load 30")));
    press(viewer->view(), Qt::Key_Right); // stays on the last record
    EXPECT_TRUE(text(viewer, "lblCursor").startsWith(QStringLiteral("1.75 s")));

    // Zooming keeps the data; Fit All shows them all again.
    viewer->zoomIn();
    EXPECT_LT(x->max() - x->min(), 1.75);
    viewer->fitAll();
    EXPECT_EQ(std::make_pair(x->min(), x->max()), std::make_pair(0.0, 1.75));

    // CSV, offered beside the log under its name.
    const QString csv = dir.filePath(QStringLiteral("trip.csv"));
    prompts.files = {csv};
    viewer->findChild<QAction *>(QStringLiteral("actExportCsv"))->trigger();
    EXPECT_EQ(prompts.fileFolders.last(), csv);
    QFile written(csv);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(),
              QByteArray("time_s,Calculated Load (%),Engine RPM (RPM),Coolant Temp (Deg F),"
                         "O2 Sensor1 Val (Volts)\r\n0,25,750,80,0.45\r\n0.5,50,2000,85,0.1\r\n"
                         "1.75,30,900,90,0.8\r\n"));
    // The image, as the strip chart saves it.
    const QString png = dir.filePath(QStringLiteral("trip.png"));
    prompts.files = {png};
    viewer->findChild<QAction *>(QStringLiteral("actSaveImage"))->trigger();
    EXPECT_GT(QFile(png).size(), 0);
    EXPECT_TRUE(prompts.boxes.isEmpty());
}

TEST_F(LogViewerTest, FilesRefusedWithOneMessage)
{
    const QString fifo = dir.filePath(QStringLiteral("pipe.log"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString huge = write("huge.log", log_header(labels));
    ASSERT_TRUE(QFile::resize(huge, kMaxLogBytes + 1)); // sparse: costs no disk
    const struct
    {
        const char *name;
        QString path;
        const char *says;
    } rows[] = {
        {"no log", write("sheet.csv", "time_s,rpm\r\n0,750\r\n"),
         "is not a log of the data logger"},
        {"a header only in part", write("short.log", "Engine RPM\r\nSpeed\r\n"),
         "is not a log of the data logger"},
        {"a pipe", fifo, "is not a regular file"},
        {"larger than a log may be", huge, "is larger than 128 MB"},
        {"missing", dir.filePath(QStringLiteral("gone.log")), "No such file"},
    };
    for (const auto &r : rows) {
        prompts.boxes.clear();
        EXPECT_EQ(openLog(r.path), nullptr) << r.name;
        ASSERT_EQ(prompts.boxes.size(), 1) << r.name;
        EXPECT_TRUE(prompts.boxes[0].text.contains(QLatin1String(r.says)))
            << r.name << ": " << prompts.boxes[0].text.toStdString();
        EXPECT_EQ(prompts.boxes[0].icon, Prompts::Icon::Warning);
    }
    // Cancelled: nothing happens.
    prompts.boxes.clear();
    EXPECT_EQ(openLog(QString()), nullptr);
    EXPECT_TRUE(prompts.boxes.isEmpty());
}

TEST_F(LogViewerTest, FollowsTheLoggerWritingIt)
{
    startSim(pinned_car());
    connectCom(1);
    button("Mode1")->click();
    const QString path = dir.filePath(QStringLiteral("live.log"));
    action(QStringLiteral("mnuDataLogLog"))->trigger();
    prompts.files = {path};
    LogViewer *viewer = nullptr;
    QList<qsizetype> seen;
    auto records = [path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') - 4 : -4;
    };
    // A second window opens the log after its first record and reads on as it grows.
    when([&] { return records() >= 1; },
         [&] {
             viewer = openLog(path);
             ASSERT_NE(viewer, nullptr);
             seen << viewer->data().records();
             when([&] { return records() >= 3; },
                  [&] {
                      viewer->follow();
                      seen << viewer->data().records();
                      click("DataLog", "Command2");
                  });
         });
    click("DataLog", "Command1");
    ASSERT_NE(viewer, nullptr);
    viewer->follow();
    seen << viewer->data().records();
    EXPECT_EQ(seen.first(), 1);
    EXPECT_EQ(seen.at(1), 3);
    EXPECT_EQ(seen.last(), records());
    EXPECT_EQ(viewer->data().labels[0], QStringLiteral("Calculated Load -------- "));
    EXPECT_EQ(viewer->data().values[0].back(), 25);
    EXPECT_EQ(text(viewer, "lblStatus"), QStringLiteral("%1 records").arg(records()));
    // The logger starts the file again: the viewer reads the new log from its top.
    write("live.log", log_header(labels) + log_record({1, 2, 3, 4}, 0.5));
    viewer->follow();
    EXPECT_EQ(viewer->data().records(), 1);
    EXPECT_EQ(text(viewer, "lblStatus"), QStringLiteral("1 record"));
}
