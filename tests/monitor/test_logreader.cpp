// Reading a log back: what the logger writes reads as it was written, whatever arrives in
// pieces; damaged records are counted and skipped, a file that is no log is told apart, the
// limits hold; the CSV export and what the plot draws of a long log.
#include "monitor/datalogger.h"
#include "monitor/logreader.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cmath>

using namespace quorvex;

namespace {

const std::array<QString, 4> kLabels{"Calculated Load -------- ", "Engine RPM ------------- ",
                                     "Coolant Temp -----------  ", "O2 Sensor1 Val --------- "};

QByteArray logger_file(int records)
{
    QByteArray file = log_header(kLabels);
    for (int i = 0; i < records; ++i)
        file += log_record({25.0 + i, 750, -3, 0.45}, 0.125 + i);
    return file;
}

} // namespace

TEST(LogRead, WhatTheLoggerWritesInAnyPieces)
{
    const QByteArray file = logger_file(3);
    for (const qsizetype piece : {file.size(), qsizetype(1), qsizetype(7)}) {
        // Each call is given the file from where the last reading stopped to where it ends now.
        LogData data;
        for (qsizetype end = piece;; end += piece) {
            end = std::min(end, file.size());
            ASSERT_EQ(
                feed_log(data, QByteArrayView(file).sliced(data.consumed, end - data.consumed)),
                LogFeed::Ok);
            if (end == file.size())
                break;
        }
        EXPECT_EQ(data.consumed, file.size()) << piece;
        EXPECT_EQ(data.labels, kLabels);
        EXPECT_EQ(data.seconds, (std::vector<double>{0.125, 1.125, 2.125})) << piece;
        EXPECT_EQ(data.values[0], (std::vector<double>{25, 26, 27}));
        EXPECT_EQ(data.values[3], (std::vector<double>{0.45, 0.45, 0.45}));
        EXPECT_EQ(data.damaged, 0);
    }
    // An unfinished record is not read, and not counted as damaged, until its line ends.
    LogData data;
    EXPECT_EQ(feed_log(data, logger_file(1) + "26,750,-3,0.4"), LogFeed::Ok);
    EXPECT_EQ(data.records(), 1);
    EXPECT_EQ(data.damaged, 0);
    EXPECT_EQ(data.consumed, logger_file(1).size());
}

TEST(LogRead, DamagedRecordsAreCountedAndSkipped)
{
    const struct
    {
        const char *name;
        QByteArray line;
    } rows[] = {
        {"too few fields", "1,2,3,4\r\n"},
        {"too many fields", "1,2,3,4,5,6\r\n"},
        {"a field empty", "1,,3,4,5\r\n"},
        {"a word", "1,2,three,4,5\r\n"},
        {"blanks", "1, 2,3,4,5\r\n"},
        {"not a number", "1,2,3,nan,5\r\n"},
        {"beyond double", "1,2,3,4" + QByteArray(400, '9') + ",5\r\n"},
        {"time before the last", "1,2,3,4,0.5\r\n"},
        {"negative time", "1,2,3,4,-1\r\n"},
        {"an empty line", "\r\n"},
        {"longer than a line may be", "1,2,3,4,5" + QByteArray(kMaxLogLineLength, '0') + "\n"},
        {"binary", QByteArray("1,2\0,3,4,5\n", 11)},
    };
    for (const auto &r : rows) {
        LogData data;
        const QByteArray file = log_header(kLabels) + "1,2,3,4,1\r\n" + r.line + "5,6,7,8,2\r\n";
        EXPECT_EQ(feed_log(data, file), LogFeed::Ok) << r.name;
        EXPECT_EQ(data.damaged, 1) << r.name;
        EXPECT_EQ(data.seconds, (std::vector<double>{1, 2})) << r.name;
        EXPECT_EQ(data.consumed, file.size()) << r.name;
    }
}

TEST(LogRead, FilesThatAreNoLog)
{
    const struct
    {
        const char *name;
        QByteArray file;
    } rows[] = {
        {"a spreadsheet's CSV", "time_s,rpm\r\n0,750\r\n1,800\r\n2,900\r\n3,950\r\n4,1000\r\n"},
        {"numbers only", "1,2,3,4,5\n1,2,3,4,6\n1,2,3,4,7\n1,2,3,4,8\n"},
        {"binary", QByteArray("\x7f"
                              "ELF\x02\x01\x01\0\n\n\n\n",
                              12)},
        {"not UTF-8", "Engine RPM\n\xff\xfe\nSpeed\nLoad\n1,2,3,4,5\n"},
        {"a blank header line", "Engine RPM\n \nSpeed\nLoad\n1,2,3,4,5\n"},
        {"text after a header", log_header(kLabels) + "Dear reader,\nthis is a letter.\n"},
    };
    for (const auto &r : rows) {
        LogData data;
        EXPECT_EQ(feed_log(data, r.file), LogFeed::NotALog) << r.name;
    }
    // A log whose logger has not written a record yet is a log.
    LogData fresh;
    EXPECT_EQ(feed_log(fresh, log_header(kLabels)), LogFeed::Ok);
    EXPECT_EQ(fresh.lines, 4);
}

TEST(LogRead, LineLimit)
{
    LogData data;
    QByteArray file = log_header(kLabels);
    file += QByteArray(kMaxLogLines - 4, '\n');
    EXPECT_EQ(feed_log(data, file + "1,2,3,4,5\n"), LogFeed::TooLong);
    EXPECT_EQ(data.lines, kMaxLogLines);
}

TEST(LogCsv, HeaderRowUnitsQuotingAndPeriodsInAnyLocale)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    LogData data;
    const std::array<QString, 4> labels{"Engine RPM ------------- ", "Gas Mileage ------------ ",
                                        "Fuel Consumption ------- ", "Say \"cheese\" -- "};
    ASSERT_EQ(feed_log(data, log_header(labels) + "750,25.5,0.45,-3,10.250\r\n"
                                                  "800,25,0.5,-2.5,10.75\r\n"),
              LogFeed::Ok);
    std::array<QString, 4> units;
    for (size_t k = 0; k < 4; ++k)
        units[k] = log_item_units(labels[k], true);
    EXPECT_EQ(units, (std::array<QString, 4>{"RPM", "", "Km/L", ""}));
    EXPECT_EQ(log_csv(data, units), QByteArray("time_s,Engine RPM (RPM),Gas Mileage,"
                                               "Fuel Consumption (Km/L),\"Say \"\"cheese\"\"\"\r\n"
                                               "0,750,25.5,0.45,-3\r\n"
                                               "0.5,800,25,0.5,-2.5\r\n"));
    QLocale::setDefault(before);
    // The units follow the program's unit system where the item has two.
    EXPECT_EQ(log_item_units("Coolant Temp -----------  ", false), QStringLiteral("Deg F"));
    EXPECT_EQ(log_item_units("Coolant Temp -----------  ", true), QStringLiteral("Deg C"));
    EXPECT_EQ(log_item_units("Gas Mileage ------------ ", false), QStringLiteral("MPG"));
}

TEST(LogPlot, NearestRecord)
{
    const std::vector<double> t{0, 1, 2, 4};
    EXPECT_EQ(nearest_record({}, 1), -1);
    EXPECT_EQ(nearest_record(t, -5), 0);
    EXPECT_EQ(nearest_record(t, 1.4), 1);
    EXPECT_EQ(nearest_record(t, 3.1), 3);
    EXPECT_EQ(nearest_record(t, 99), 3);
}

TEST(LogPlot, DecimatedToThePixelsKeepingEachColumnsExtremes)
{
    // A few samples: all of them, with one on either side of the range to reach the edges.
    const std::vector<double> x{0, 1, 2, 3, 4, 5};
    const std::vector<double> y{0, 10, 20, 30, 40, 50};
    const QList<QPointF> some = decimate(x, y, 2, 3, 100, 10, 0.5);
    EXPECT_EQ(some, (QList<QPointF>{{1, 0}, {2, 5}, {3, 10}, {4, 15}}));

    // A million samples on 500 columns: at most four points a column, and every column's
    // lowest and highest among them (a spike of a single sample stays visible).
    const size_t n = 1'000'000;
    std::vector<double> t(n), v(n);
    for (size_t i = 0; i < n; ++i) {
        t[i] = i * 0.1;
        v[i] = std::sin(i * 0.001);
    }
    v[777'777] = 5;
    v[123'456] = -5;
    const QList<QPointF> drawn = decimate(t, v, 0, t.back(), 500);
    EXPECT_LE(drawn.size(), 4 * 501);
    EXPECT_GT(drawn.size(), 500);
    auto has = [&drawn](double px, double py) { return drawn.contains(QPointF(px, py)); };
    EXPECT_TRUE(has(t[777'777], 5));
    EXPECT_TRUE(has(t[123'456], -5));
    EXPECT_TRUE(has(t.front(), v.front()));
    EXPECT_TRUE(has(t.back(), v.back()));
    EXPECT_TRUE(std::is_sorted(drawn.begin(), drawn.end(),
                               [](const QPointF &a, const QPointF &b) { return a.x() < b.x(); }));
}
