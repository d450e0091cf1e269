#pragma once

#include "link/protocol.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <functional>

class QIODevice;

namespace quorvex {

class ObdContext;
struct LiveDataState;

// A number of a log record: the shortest text that reads back as the same double, in fixed
// notation with a period as decimal point and a leading zero ("0.45", "-3", "750"), whatever
// the locale.
QByteArray record_number(double x);

// The log file's four header lines: the chosen items' labels, as they are, each ending CR LF.
QByteArray log_header(const std::array<QString, 4> &labels);

// One record: the four numbers, then the seconds since logging started with millisecond
// resolution, comma-separated, no blanks, ending CR LF.
QByteArray log_record(const std::array<double, 4> &numbers, double seconds);

// Where a running log shows its passes and learns when to stop and how often to pass.
class LoggerView
{
public:
    virtual ~LoggerView() = default;
    // Read before every pass (and while waiting for the next one): true ends the log.
    virtual bool stopRequested() const = 0;
    // Seconds from the start of one pass to the start of the next; 0 for no pause.
    virtual double intervalSeconds() const = 0;
    // Each slot's value text, a blank and its units, after a complete pass.
    virtual void showValues(const std::array<QString, 4> &shown) = 0;
};

struct LogEnd
{
    ExchangeStatus status = ExchangeStatus::Ok; // the failure that ended the log, else Ok
    QString writeError;                         // the file could not be written
    int records = 0;
};

// The logging loop: a pass reads the four items (value item codes) in slot order, live data
// whatever the last run read (ItemData::Live); a complete pass is shown and written as one
// record with one write call, the time stamp taken on the shared timer (started here). A pass
// with a failed exchange writes no record and reports the failure; a failure that ends the run
// (no vehicle contact, a silent interface, a lost link) ends the log, as does a failed write.
// The pass in progress when the view asks to stop is completed and written.
LogEnd run_logger(ObdContext &ctx, LiveDataState &live, const std::array<int, 4> &codes,
                  QIODevice &file, LoggerView &view,
                  const std::function<void(ExchangeStatus)> &onFailure);

} // namespace quorvex
