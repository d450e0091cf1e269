#include "monitor/logreader.h"

#include "livedata/decoders.h"
#include "livedata/pidtable.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

namespace quorvex {

namespace {

std::optional<double> field_number(QByteArrayView field)
{
    if (field.isEmpty())
        return std::nullopt;
    double x = 0;
    const char *end = field.data() + field.size();
    const auto result = std::from_chars(field.data(), end, x, std::chars_format::fixed);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(x))
        return std::nullopt;
    return x;
}

// A header line is an item label: text, no field separator, no control character.
std::optional<QString> header_label(QByteArrayView line)
{
    if (line.size() > kMaxLogLineLength)
        return std::nullopt;
    QString label = QString::fromUtf8(line);
    if (label.trimmed().isEmpty() || label.toUtf8() != line)
        return std::nullopt; // not UTF-8
    for (const QChar c : label)
        if (c == u',' || c.category() == QChar::Other_Control)
            return std::nullopt;
    return label;
}

bool read_record(LogData &data, QByteArrayView line)
{
    if (line.size() > kMaxLogLineLength)
        return false;
    std::array<double, 5> fields{};
    qsizetype start = 0;
    for (size_t k = 0; k < fields.size(); ++k) {
        qsizetype stop = line.indexOf(',', start);
        if ((stop < 0) != (k == fields.size() - 1))
            return false; // too few or too many fields
        if (stop < 0)
            stop = line.size();
        const std::optional<double> x = field_number(line.sliced(start, stop - start));
        if (!x)
            return false;
        fields[k] = *x;
        start = stop + 1;
    }
    const double t = fields[4];
    if (t < 0 || (!data.seconds.empty() && t < data.seconds.back()))
        return false;
    data.seconds.push_back(t);
    for (size_t k = 0; k < 4; ++k)
        data.values[k].push_back(fields[k]);
    return true;
}

QByteArray csv_field(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r'))
        return '"' + bytes.replace("\"", "\"\"") + '"';
    return bytes;
}

QByteArray csv_number(double x)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, x);
    return QByteArray(buffer, result.ptr - buffer);
}

} // namespace

LogFeed feed_log(LogData &data, QByteArrayView bytes)
{
    qsizetype at = 0;
    for (;;) {
        const qsizetype end = bytes.indexOf('\n', at);
        if (end < 0)
            break;
        if (data.lines >= kMaxLogLines)
            return LogFeed::TooLong;
        QByteArrayView line = bytes.sliced(at, end - at);
        if (line.endsWith('\r'))
            line.chop(1);
        data.consumed += end + 1 - at;
        at = end + 1;
        if (data.lines < 4) {
            const std::optional<QString> label = header_label(line);
            if (!label)
                return LogFeed::NotALog;
            data.labels[static_cast<size_t>(data.lines)] = *label;
        } else if (!read_record(data, line)) {
            ++data.damaged;
        }
        ++data.lines;
    }
    if (data.records() == 0 && data.damaged > 0)
        return LogFeed::NotALog;
    return LogFeed::Ok;
}

QString log_item_name(const QString &label)
{
    qsizetype end = label.size();
    while (end > 0 && (label.at(end - 1) == u'-' || label.at(end - 1).isSpace()))
        --end;
    return end == 0 ? label.trimmed() : label.left(end);
}

QString log_item_units(const QString &label, bool metric)
{
    for (const PidRow &row : pid_rows())
        if (QStringView(row.label) == label)
            return QString::fromUtf16(metric ? row.unitsMetric : row.unitsEnglish).trimmed();
    // The computed fuel economy is the one item whose label changes with the units.
    const PidItem economy = compute_mpg(0, 0, metric, std::nullopt);
    if (economy.label == label)
        return economy.units;
    return QString();
}

QByteArray log_csv(const LogData &data, const std::array<QString, 4> &units)
{
    QByteArray csv = "time_s";
    for (size_t k = 0; k < 4; ++k) {
        const QString name = log_item_name(data.labels[k]);
        csv += ',' +
               csv_field(units[k].isEmpty() ? name : name + QStringLiteral(" (") + units[k] + u')');
    }
    csv += "\r\n";
    const double first = data.seconds.empty() ? 0 : data.seconds.front();
    for (size_t i = 0; i < data.seconds.size(); ++i) {
        csv += csv_number(data.seconds[i] - first);
        for (size_t k = 0; k < 4; ++k)
            csv += ',' + csv_number(data.values[k][i]);
        csv += "\r\n";
    }
    return csv;
}

qsizetype nearest_record(std::span<const double> seconds, double x)
{
    if (seconds.empty())
        return -1;
    const auto after = std::lower_bound(seconds.begin(), seconds.end(), x);
    if (after == seconds.end())
        return static_cast<qsizetype>(seconds.size()) - 1;
    if (after == seconds.begin())
        return 0;
    const auto before = after - 1;
    return (x - *before <= *after - x ? before : after) - seconds.begin();
}

QList<QPointF> decimate(std::span<const double> x, std::span<const double> y, double x0, double x1,
                        int columns, double offset, double scale)
{
    QList<QPointF> points;
    const size_t n = std::min(x.size(), y.size());
    if (n == 0 || !(x1 > x0))
        return points;
    size_t lo = static_cast<size_t>(std::lower_bound(x.begin(), x.begin() + n, x0) - x.begin());
    size_t hi = static_cast<size_t>(std::upper_bound(x.begin(), x.begin() + n, x1) - x.begin());
    lo = lo > 0 ? lo - 1 : 0;
    hi = std::min(hi + 1, n);
    auto point = [&](size_t i) { return QPointF(x[i], (y[i] - offset) * scale); };
    columns = std::max(columns, 1);
    if (hi - lo <= static_cast<size_t>(columns) * 4) {
        points.reserve(static_cast<qsizetype>(hi - lo));
        for (size_t i = lo; i < hi; ++i)
            points.append(point(i));
        return points;
    }
    points.reserve(columns * 4 + 4);
    const double perColumn = columns / (x1 - x0);
    size_t i = lo;
    while (i < hi) {
        const size_t first = i;
        const double column = std::floor((x[i] - x0) * perColumn);
        size_t low = i;
        size_t high = i;
        for (++i; i < hi && std::floor((x[i] - x0) * perColumn) == column; ++i) {
            if (y[i] < y[low])
                low = i;
            if (y[i] > y[high])
                high = i;
        }
        const size_t last = i - 1;
        std::array<size_t, 4> picks{first, std::min(low, high), std::max(low, high), last};
        for (size_t k = 0; k < picks.size(); ++k)
            if (k == 0 || picks[k] != picks[k - 1])
                points.append(point(picks[k]));
    }
    return points;
}

} // namespace quorvex
