#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPointF>
#include <QString>

#include <array>
#include <span>
#include <vector>

namespace quorvex {

// The limits a log file is read within: the three kinds the definitions file has, sized for a
// day of logging at twelve records a second. A line longer than kMaxLogLineLength is a damaged
// record; a file past either of the other two is refused (or, while followed, no longer read).
inline constexpr qint64 kMaxLogBytes = 128 * 1024 * 1024;
inline constexpr qsizetype kMaxLogLines = 2'000'000;
inline constexpr qsizetype kMaxLogLineLength = 512;

// What has been read of a log: its four header lines, then one time and four values a record.
// Records keep the file's order; a record whose time runs backwards is damaged, so the times
// never decrease.
struct LogData
{
    std::array<QString, 4> labels; // the header lines as written, without the line end
    std::vector<double> seconds;
    std::array<std::vector<double>, 4> values;
    qsizetype damaged = 0; // lines after the header that are no record
    qsizetype lines = 0;   // whole lines read, header included
    qint64 consumed = 0;   // bytes read up to the end of the last whole line

    qsizetype records() const { return static_cast<qsizetype>(seconds.size()); }
};

enum class LogFeed {
    Ok,
    NotALog, // the header is no four item labels, or no line after it is a record
    TooLong, // more than kMaxLogLines lines
};

// Reads the whole lines of `bytes`, the file's contents from data.consumed on, into `data`;
// an unfinished last line is left for the next call (the logger writes a record with one
// write, so a reader catches up with it once it is whole). A log needs its four header lines
// before anything else counts: until then a file that has fewer is not judged.
LogFeed feed_log(LogData &data, QByteArrayView bytes);

// The item name in a header line: the label without its dashes and blanks at the end
// ("Engine RPM ------------- " is "Engine RPM").
QString log_item_name(const QString &label);

// The units of the item a header line names, as the program shows them in the unit system
// `metric`; empty for a label the program does not know.
QString log_item_units(const QString &label, bool metric);

// The records as RFC 4180 CSV: a header row "time_s,<item> (<unit>),..." (the item alone when
// it has no units), then one row a record, fields quoted where they need it, the period as
// decimal point, lines ending CR LF.
QByteArray log_csv(const LogData &data, const std::array<QString, 4> &units);

// The index of the record nearest to time `x`; -1 when there is none.
qsizetype nearest_record(std::span<const double> seconds, double x);

// What is drawn of one series between x0 and x1 on `columns` pixels: where more than a few
// samples fall into a pixel column, its first, lowest, highest and last, in time order, so the
// line looks the same as with every sample. The sample just outside either end is kept so the
// line runs to the edge. `y` is scaled by `scale` after `offset` is subtracted.
QList<QPointF> decimate(std::span<const double> x, std::span<const double> y, double x0, double x1,
                        int columns, double offset = 0, double scale = 1);

} // namespace quorvex
