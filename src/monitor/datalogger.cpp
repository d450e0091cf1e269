#include "monitor/datalogger.h"

#include "link/obdcontext.h"
#include "livedata/items.h"
#include "livedata/numberforms.h"

#include <QIODevice>

#include <charconv>
#include <cmath>
#include <optional>

namespace quorvex {

namespace {
const QByteArray kCrLf = QByteArrayLiteral("\r\n");

QByteArray fixed_text(double x, int decimals)
{
    char buffer[400];
    const auto result =
        decimals < 0
            ? std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed)
            : std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, decimals);
    if (result.ec != std::errc())
        return QByteArrayLiteral("0");
    return QByteArray(buffer, result.ptr - buffer);
}
} // namespace

QByteArray record_number(double x)
{
    if (!std::isfinite(x))
        return QByteArrayLiteral("0");
    if (x == 0)
        return QByteArrayLiteral("0"); // also for -0
    return fixed_text(x, -1);
}

QByteArray log_header(const std::array<QString, 4> &labels)
{
    QByteArray header;
    for (const QString &label : labels)
        header += label.toUtf8() + kCrLf;
    return header;
}

QByteArray log_record(const std::array<double, 4> &numbers, double seconds)
{
    QByteArray record;
    for (const double x : numbers)
        record += record_number(x) + ',';
    return record + fixed_text(std::max(seconds, 0.0), 3) + kCrLf;
}

LogEnd run_logger(ObdContext &ctx, LiveDataState &live, const std::array<int, 4> &codes,
                  QIODevice &file, LoggerView &view,
                  const std::function<void(ExchangeStatus)> &onFailure)
{
    LogEnd end;
    Timing &timer = ctx.CodeTimer();
    timer.Start();
    std::optional<qint64> lastPassMs;
    while (!view.stopRequested()) {
        // With an interval, a pass starts that many seconds after the previous one did; the
        // wait happens in the event loop, where "Stop Log" is seen at once.
        const double interval = view.intervalSeconds();
        if (interval > 0 && lastPassMs) {
            const qint64 due = *lastPassMs + std::llround(interval * 1000);
            while (!view.stopRequested() && !ctx.closing() && ctx.nowMs() < due)
                ctx.yield(static_cast<int>(due - ctx.nowMs()));
            if (view.stopRequested() || ctx.closing())
                break;
        }
        lastPassMs = ctx.nowMs();
        std::array<double, 4> numbers{};
        std::array<QString, 4> shown;
        ExchangeStatus failure = ExchangeStatus::Ok;
        {
            // The four items are one pass: an adapter that can asks for them together.
            QStringList commands;
            for (const int code : codes)
                commands << item_commands(live, code, ItemData::Live);
            const PassAnnouncement pass(ctx, commands);
            for (size_t slot = 0; slot < codes.size(); ++slot) {
                const Reading reading = read_item(ctx, live, codes[slot], ItemData::Live);
                if (!reading.ok()) {
                    failure = reading.status;
                    break;
                }
                numbers[slot] = Val(reading.item.valueText);
                shown[slot] = reading.item.valueText + u' ' + reading.item.units;
            }
        }
        if (failure != ExchangeStatus::Ok) {
            if (report_failure(onFailure, failure)) {
                end.status = failure;
                break;
            }
            continue;
        }
        view.showValues(shown);
        const QByteArray record = log_record(numbers, timer.CurrentTime());
        if (file.write(record) != record.size()) {
            end.writeError = file.errorString();
            break;
        }
        ++end.records;
    }
    timer.Finish();
    return end;
}

} // namespace quorvex
