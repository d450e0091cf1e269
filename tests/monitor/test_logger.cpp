// The data logger's file: its exact bytes, its numbers whatever the locale, the passes it
// writes against the simulated car, and a logger killed in the middle of a log.
#include "datalogger.h"
#include "livestate.h"
#include "simfixture.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

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
    void showValues(const std::array<QString, 4> &values) override
    {
        shown.append(values);
        if (onShown)
            onShown();
    }
    QList<std::array<QString, 4>> shown;
    std::function<void()> onShown;
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

namespace {

class LoggerTest : public SimLinkTest
{
protected:
    void SetUp() override
    {
        sim::Scenario car;
        car.markIntervalMs = 2;
        sim::Ecu ecu;
        ecu.pids = {0x04, 0x05, 0x0C, 0x14};
        ecu.values = {{0x04, QByteArray::fromHex("40")},
                      {0x05, QByteArray::fromHex("3D")},
                      {0x0C, QByteArray::fromHex("0BB8")},
                      {0x14, QByteArray::fromHex("5A")}};
        car.ecus = {ecu};
        startSim(car);
        buffer.open(QIODevice::WriteOnly);
    }
    LogEnd log(Recorder &view)
    {
        return run_logger(ctx, live, {0x04, 0x0C, 0x05, 0x14}, buffer, view, note);
    }
    QList<QByteArray> records() const
    {
        QList<QByteArray> lines = buffer.data().split('\n');
        lines.removeLast(); // after the last line break
        return lines;
    }

    LiveDataState live;
    QBuffer buffer;
    QList<ExchangeStatus> failures;
    std::function<void(ExchangeStatus)> note = [this](ExchangeStatus s) { failures << s; };
};

} // namespace

TEST_F(LoggerTest, OneRecordPerPassInSlotOrder)
{
    Recorder view;
    const LogEnd end = log(view);
    EXPECT_EQ(end.records, 2);
    EXPECT_EQ(end.status, ExchangeStatus::Ok);
    const QList<QByteArray> lines = records();
    ASSERT_EQ(lines.size(), 2);
    for (const QByteArray &line : lines)
        EXPECT_TRUE(line.startsWith("25,750,70,0.45,")) << line.constData();
    // Seconds since the start, growing, with milliseconds.
    const double first = lines[0].split(',')[4].trimmed().toDouble();
    const double second = lines[1].split(',')[4].trimmed().toDouble();
    EXPECT_GT(first, 0);
    EXPECT_GT(second, first);
    EXPECT_EQ(view.shown[0],
              (std::array<QString, 4>{" 25 %", " 750 RPM", "70 Deg F", " .45  Volts"}));
    EXPECT_EQ(server->commands().mid(0, 4), (QStringList{"010406", "010C07", "010506", "011406"}));
}

TEST_F(LoggerTest, IntervalsSpaceThePasses)
{
    Recorder view;
    view.interval = 0.3;
    view.stopAfter = 3;
    log(view);
    const QList<QByteArray> lines = records();
    ASSERT_EQ(lines.size(), 3);
    const double t1 = lines[1].split(',')[4].trimmed().toDouble();
    const double t2 = lines[2].split(',')[4].trimmed().toDouble();
    EXPECT_NEAR(t2 - t1, 0.3, 0.1);
}

TEST_F(LoggerTest, FailedPassesWriteNothingAndLinkFailuresEndTheLog)
{
    // After the first record the ECU stops answering, then the vehicle goes.
    Recorder view;
    view.stopAfter = 100;
    view.onShown = [this, &view] {
        if (view.shown.size() != 1)
            return;
        server->setFaults({.ecuTimeout = true});
        QTimer::singleShot(150, [this] { server->setFaults({.noContact = true}); });
    };
    const LogEnd end = log(view);
    EXPECT_EQ(end.status, ExchangeStatus::NoContact);
    EXPECT_EQ(end.records, 1);
    ASSERT_EQ(records().size(), 1);
    EXPECT_TRUE(records()[0].startsWith("25,750,70,0.45,"));
    EXPECT_TRUE(failures.contains(ExchangeStatus::EcuTimeout));
    EXPECT_EQ(failures.last(), ExchangeStatus::NoContact);
}

TEST(LogFileKilled, OnlyWholeRecords)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("killed.log"));
    QProcess child;
    child.start(QStringLiteral(QUORVEX_LOGCHILD), {path});
    ASSERT_TRUE(child.waitForStarted(5000));
    // Kill it at an awkward moment: while it writes as fast as the car answers.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 15000) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.readAll().count('\n') >= 4 + 20)
            break;
        child.waitForFinished(20);
    }
    child.kill();
    ASSERT_TRUE(child.waitForFinished(5000));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray contents = file.readAll();
    ASSERT_TRUE(contents.endsWith("\r\n")) << "a torn last record";
    const QList<QByteArray> lines = contents.split('\n').mid(4, -1);
    ASSERT_GE(lines.size(), 20);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_EQ(lines[i].count(','), 4) << lines[i].constData();
        EXPECT_TRUE(lines[i].endsWith('\r')) << lines[i].constData();
    }
}
