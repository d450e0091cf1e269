#include "monitor/realtime.h"

#include "link/obdcontext.h"
#include "livedata/items.h"
#include "livedata/livestate.h"
#include "livedata/numberforms.h"
#include "livedata/pidtable.h"

namespace quorvex {

namespace {

constexpr int kO2Bank1Sensor3 = 0x16;

} // namespace

std::optional<double> number_in(const QString &text)
{
    // A number starts (after blanks) with a digit, or a sign or point followed by one.
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+'))
        ++i;
    if (i < text.size() && text.at(i) == u'.')
        ++i;
    if (i >= text.size() || !(text.at(i) >= u'0' && text.at(i) <= u'9'))
        return std::nullopt;
    return Val(text);
}

RealTimeSample realtime_sample(const ItemDisplay &display, int code, const PidItem &item)
{
    RealTimeSample s;
    s.yMin = display.yMin;
    s.yMax = display.yMax;
    s.yTitle = code == kO2Bank1Sensor3 ? item.label : item.units;
    s.caption = item.label;
    const QString picture = QString::fromUtf16(display.picture);
    switch (display.form) {
    case ValueForm::Percent:
        s.valueText = Format(Val(item.valueText) / 100, picture);
        break;
    case ValueForm::Formatted:
        s.valueText = Format(item.valueText, picture) + item.units;
        break;
    case ValueForm::Raw:
        s.valueText = item.valueText + item.units;
        break;
    case ValueForm::WideRange:
        s.caption = QStringLiteral("Wide Range O2 Sensor Lambda");
        s.valueText = Format(item.valueText, picture) + item.units;
        break;
    }
    s.y = number_in(item.valueText);
    return s;
}

ExchangeStatus run_realtime(ObdContext &ctx, LiveDataState &live, int code, RealTimeView &view,
                            const std::function<void(ExchangeStatus)> &onFailure)
{
    const ItemDisplay *display = item_display(code);
    if (!display)
        return ExchangeStatus::Ok;
    while (!view.stopRequested()) {
        const Reading reading = read_item(ctx, live, code, ItemData::Live);
        if (!reading.ok()) {
            if (report_failure(onFailure, reading.status))
                return reading.status;
            continue; // the next exchange's ready check waits for the interface's next mark
        }
        view.showSample(realtime_sample(*display, code, reading.item));
    }
    return ExchangeStatus::Ok;
}

} // namespace quorvex
