#pragma once

#include "link/protocol.h"
#include "livedata/decoders.h"
#include "livedata/pidtable.h"

#include <QString>

#include <functional>
#include <optional>

namespace quorvex {

class ObdContext;
struct LiveDataState;

// What one pass shows: the Y range and titles, the caption and value box, and the value to
// plot (none when the value text is not a number).
struct RealTimeSample
{
    double yMin = 0;
    double yMax = 0;
    QString yTitle;
    QString caption;
    QString valueText;
    std::optional<double> y;
};

// The sample of item `code` (shown as `display` says) as its decoder found it. The Y axis is
// titled with the units, except for code 16 (bank 1 sensor 3), titled with the label.
RealTimeSample realtime_sample(const ItemDisplay &display, int code, const PidItem &item);

// The number a value text starts with, or none when it does not start with one.
std::optional<double> number_in(const QString &text);

// Where a running display shows its passes and learns that it is to stop.
class RealTimeView
{
public:
    virtual ~RealTimeView() = default;
    // Read at the head of every pass: true ends the display.
    virtual bool stopRequested() const = 0;
    virtual void showSample(const RealTimeSample &sample) = 0;
};

// The real-time display of one item: reads its live value (ItemData::Live) again and again
// through its decoder and shows each pass until the view asks to stop. A pass whose exchange
// fails shows nothing (the view keeps its last value) and reports the failure; a failure that
// ends the run (no vehicle contact, a silent interface, a lost link) ends the display. Returns
// that failure, else Ok.
ExchangeStatus run_realtime(ObdContext &ctx, LiveDataState &live, int code, RealTimeView &view,
                            const std::function<void(ExchangeStatus)> &onFailure);

} // namespace quorvex
