#include "monitor/realtime.h"

#include "link/obdcontext.h"
#include "livedata/items.h"
#include "livedata/livestate.h"
#include "livedata/numberforms.h"

#include <array>

namespace quorvex {

namespace {

using F = ValueForm;

// Y ranges are fixed per item and do not follow the unit setting.
constexpr std::array kRows{
    RealTimeRow{0x04, 0x04, 10, 50, F::Percent, u"##.0%"},
    RealTimeRow{0x05, 0x05, 150, 180, F::Formatted, u"### "},
    RealTimeRow{0x0A, 0x0A, 20, 70, F::Raw, u""},
    RealTimeRow{0x0B, 0x0B, 18, 40, F::Formatted, u"#0.00 "},
    RealTimeRow{0x0C, 0x0C, 500, 2000, F::Formatted, u"#### "},
    RealTimeRow{0x0D, 0x0D, 0, 20, F::Formatted, u"### "},
    RealTimeRow{0x0E, 0x0E, -30, 30, F::Raw, u""},
    RealTimeRow{0x0F, 0x0F, 20, 80, F::Formatted, u"### "},
    RealTimeRow{0x10, 0x10, 30, 70, F::Formatted, u"###.00 "},
    RealTimeRow{0x11, 0x11, 0, 100, F::Percent, u"00.0% "},
    RealTimeRow{0x12, 0x12, 0, 50, F::Raw, u""}, // the fuel economy's item code, 18
    RealTimeRow{0x14, 0x1B, 0, 1.25, F::Formatted, u"0.000 "},
    RealTimeRow{0x21, 0x21, 0, 50000, F::Formatted, u"0.000 "},
    RealTimeRow{0x22, 0x22, 0, 100, F::Formatted, u"0.000 "},
    RealTimeRow{0x23, 0x23, 0, 6600, F::Formatted, u"0.000 "},
    RealTimeRow{0x24, 0x2B, 0, 1.999, F::WideRange, u"0.000 "},
    RealTimeRow{0x2C, 0x2F, 0, 100, F::Formatted, u"0.000 "},
    RealTimeRow{0x30, 0x30, 0, 255, F::Formatted, u"0.000 "},
    RealTimeRow{0x31, 0x31, 0, 66000, F::Formatted, u"0.000 "},
    RealTimeRow{0x32, 0x32, -8200, 8200, F::Formatted, u"0.000 "},
    RealTimeRow{0x33, 0x33, 0, 35, F::Formatted, u"0.000 "},
    RealTimeRow{0x34, 0x3B, 0, 1.999, F::WideRange, u"0.000 "},
    RealTimeRow{0x3C, 0x3F, -40, 2000, F::Formatted, u"0.000 "},
    RealTimeRow{0x42, 0x42, 5, 20, F::Formatted, u"###.00 "},
    RealTimeRow{0x43, 0x43, 0, 100, F::Formatted, u"### "},
    RealTimeRow{0x44, 0x44, 0, 2, F::Formatted, u"###.000 "},
    RealTimeRow{0x45, 0x45, 0, 100, F::Formatted, u"### "},
    RealTimeRow{0x46, 0x46, -40, 220, F::Formatted, u"###.0 "},
    RealTimeRow{0x47, 0x4C, 0, 100, F::Formatted, u"##0.0 "},
    RealTimeRow{0x4D, 0x4D, 0, 100, F::Formatted, u"####0 "},
    RealTimeRow{0x4E, 0x4E, 0, 2000, F::Formatted, u"####0 "},
};

constexpr int kO2Bank1Sensor3 = 0x16;

} // namespace

const RealTimeRow *realtime_row(int code)
{
    for (const RealTimeRow &row : kRows)
        if (code >= row.first && code <= row.last)
            return &row;
    return nullptr;
}

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

RealTimeSample realtime_sample(const RealTimeRow &row, int code, const PidItem &item)
{
    RealTimeSample s;
    s.yMin = row.yMin;
    s.yMax = row.yMax;
    s.yTitle = code == kO2Bank1Sensor3 ? item.label : item.units;
    s.caption = item.label;
    const QString picture = QString::fromUtf16(row.picture);
    switch (row.form) {
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
    const RealTimeRow *row = realtime_row(code);
    if (!row)
        return ExchangeStatus::Ok;
    while (!view.stopRequested()) {
        const Reading reading = read_item(ctx, live, code, ItemData::Live);
        if (!reading.ok()) {
            if (report_failure(onFailure, reading.status))
                return reading.status;
            continue; // the next exchange's ready check waits for the interface's next mark
        }
        view.showSample(realtime_sample(*row, code, reading.item));
    }
    return ExchangeStatus::Ok;
}

} // namespace quorvex
