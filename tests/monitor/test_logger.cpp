// The data logger's file: its exact bytes, its numbers whatever the locale, the records it
// writes and when, and a logger killed in the middle of a log.
#include "link/obdcontext.h"
#include "livedata/livestate.h"
#include "monitor/datalogger.h"
#include "support/scriptedline.h"
#include "support/virtualclock.h"

#include <QBuffer>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <locale>

using namespace quorvex;
using namespace quorvex::test;

namespace {

// A locale whose decimal separator is a comma, for the C++ streams.
struct CommaDecimals : std::numpunct<char>
{
    char do_decimal_point() const override { return ','; }
};

class Recorder : public LoggerView
{
public:
    int stopAfter = 2; // passes shown before the view asks to stop
    double interval = 0;
    bool stopRequested() const override { return shown.size() >= stopAfter; }
    double intervalSeconds() const override { return interval; }
    void showValues(const std::array<QString, 4> &values) override { shown.append(values); }
    QList<std::array<QString, 4>> shown;
};

} // namespace

TEST(LogFile, HeaderAndRecordsByteForByteInAnyLocale)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const std::locale cppBefore =
        std::locale::global(std::locale(std::locale(), new CommaDecimals));
    EXPECT_EQ(log_header({"Calculated Load -------- ", "Engine RPM ------------- ",
                          "Coolant Temp -----------  ", "O2 Sensor1 Val --------- "}),
              QByteArray("Calculated Load -------- \r\nEngine RPM ------------- \r\n"
                         "Coolant Temp -----------  \r\nO2 Sensor1 Val --------- \r\n"));
    const struct
    {
        std::array<double, 4> numbers;
        double seconds;
        const char *record;
    } rows[] = {
        {{25, 750, -3, 0.45}, 0.2345, "25,750,-3,0.45,0.234\r\n"},
        {{0.1, 0.0001, -0.0, 1e-7}, 12.0, "0.1,0.0001,0,0.0000001,12.000\r\n"},
        {{0.1 + 0.2, 189.9, 65535, 3.05e-5},
         3600.5,
         "0.30000000000000004,189.9,65535,0.0000305,3600.500\r\n"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(log_record(r.numbers, r.seconds), QByteArray(r.record)) << r.record;
    std::locale::global(cppBefore);
    QLocale::setDefault(before);
}

// An ECU that answers each request 10 ms after it is sent, so a pass takes 40 ms. Each record
// carries the seconds since the log started, taken once its pass is complete.
TEST(LogRecords, OneRecordPerPassInSlotOrderSpacedByTheInterval)
{
    const struct
    {
        const char *name;
        double interval;
        QList<QByteArray> seconds;
    } rows[] = {
        {"no interval: one pass after the other", 0, {"0.040", "0.080"}},
        {"passes start the interval apart", 0.3, {"0.040", "0.340", "0.640"}},
        {"an interval shorter than a pass", 0.02, {"0.040", "0.080"}},
    };
    for (const auto &r : rows) {
        VirtualClock clock;
        ObdContext ctx(clock);
        ScriptedLine line(clock);
        line.idleMark = "S";
        line.replyDelayMs = 10;
        line.answer = ecu_table({{"0104", "40"}, {"010C", "0BB8"}, {"0105", "3D"}, {"0114", "5A"}});
        ctx.attachSerial(&line);
        ctx.state.UseSerial = true;
        QBuffer file;
        file.open(QIODevice::WriteOnly);
        LiveDataState live;
        Recorder view;
        view.interval = r.interval;
        view.stopAfter = static_cast<int>(r.seconds.size());
        const LogEnd end = run_logger(ctx, live, {0x04, 0x0C, 0x05, 0x14}, file, view, {});
        EXPECT_EQ(end.records, r.seconds.size()) << r.name;
        EXPECT_EQ(end.status, ExchangeStatus::Ok) << r.name;
        QByteArray expected;
        for (const QByteArray &seconds : r.seconds)
            expected += "25,750,70,0.45," + seconds + "\r\n";
        EXPECT_EQ(file.data(), expected) << r.name;
        EXPECT_EQ(view.shown[0],
                  (std::array<QString, 4>{" 25 %", " 750 RPM", "70 Deg F", " .45  Volts"}))
            << r.name;
    }
}

// The logger in a process of its own, killed while it writes as fast as the car answers: the
// file holds whole records only. The bounds are for a real process on a busy machine.
TEST(LogFileKilled, EndToEndOnlyWholeRecords)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("killed.log"));
    QProcess child;
    child.start(QStringLiteral(QUORVEX_LOGCHILD), {path});
    ASSERT_TRUE(child.waitForStarted(30000));
    ASSERT_TRUE(child.waitForReadyRead(60000)) << "no records";
    child.kill();
    ASSERT_TRUE(child.waitForFinished(30000));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray contents = file.readAll();
    ASSERT_TRUE(contents.endsWith("\r\n")) << "a torn last record";
    const QList<QByteArray> lines = contents.split('\n');
    ASSERT_GE(lines.size(), 20);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_EQ(lines[i].count(','), 4) << lines[i].constData();
        EXPECT_TRUE(lines[i].endsWith('\r')) << lines[i].constData();
    }
}
