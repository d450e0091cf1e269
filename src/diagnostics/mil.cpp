#include "diagnostics/mil.h"

#include "livedata/decoders.h"
#include "livedata/dispatch.h"
#include "livedata/items.h"
#include "livedata/livestate.h"
#include "livedata/sweep.h"

namespace quorvex {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

struct Monitor
{
    int supported = 0;  // bit of the "supported" byte
    int incomplete = 0; // bit of the "incomplete" byte
    const char16_t *incompleteText = u"";
    const char16_t *completeText = u"";
};

// Byte B: supported and incomplete bits in one byte.
constexpr Monitor kContinuous[] = {
    {0x01, 0x10, u"Misfire Monitoring Incomplete", u"Misfire Monitoring Complete"},
    {0x02, 0x20, u"Fuel Sys. Monitoring Incomplete", u"Fuel Sys. Monitoring Complete"},
    {0x04, 0x40, u"Component Monitoring Incomplete", u"Component Monitoring Complete"},
};

constexpr int kO2SensorBit = 0x20;

// Bytes C (supported) and D (incomplete), the same bit in both. The catalyst's "Inomplete" is
// the report's established wording, kept so saved and printed reports read the same.
constexpr Monitor kNonContinuous[] = {
    {0x01, 0x01, u"Catalyst Monitoring Inomplete", u"Catalyst Monitoring Complete"},
    {0x02, 0x02, u"Heated Catalyst Monitoring Incomplete", u"Heated Catalyst Monitoring Complete"},
    {0x04, 0x04, u"Evaporative System Monitoring Incomplete",
     u"Evaporative System Monitoring Complete"},
    {0x08, 0x08, u"Sec. Air System Monitoring Incomplete", u"Sec. Air System Monitoring Complete"},
    {0x10, 0x10, u"A/C Refrigerant Monitoring Incomplete", u"A/C Refrigerant Monitoring Complete"},
    {kO2SensorBit, kO2SensorBit, u"O2 Sensor Monitoring Incomplete",
     u"O2 Sensor Monitoring Complete"},
    {0x40, 0x40, u"O2 Sensor Heater Monitoring Incomplete",
     u"O2 Sensor Heater Monitoring Complete"},
    {0x80, 0x80, u"EGR Monitoring Incomplete", u"EGR Monitoring Complete"},
};

} // namespace

MilReport decode_mil(const QString &reply)
{
    const int a = data_byte(reply, 0, 0);
    const int b = data_byte(reply, 1, 0);
    const int c = data_byte(reply, 2, 0);
    const int d = data_byte(reply, 3, 0);

    MilReport report;
    if (a > 127)
        report.text = QStringLiteral("MIL is ON, Stored Trouble Codes Present");
    else
        report.text = QStringLiteral("MIL is OFF, ") + QString::number(a) +
                      QStringLiteral(" stored Trouble Code(s)");
    report.text += kCrLf;

    const auto add = [&report](const Monitor &m, bool incomplete) {
        report.text += QString::fromUtf16(incomplete ? m.incompleteText : m.completeText) + kCrLf;
    };
    for (const Monitor &m : kContinuous) {
        if (b & m.supported)
            add(m, (b & m.incomplete) != 0);
    }
    for (const Monitor &m : kNonContinuous) {
        if (!(c & m.supported))
            continue;
        const bool incomplete = (d & m.incomplete) != 0;
        add(m, incomplete);
        if (m.supported == kO2SensorBit)
            report.o2MonitorComplete = !incomplete;
    }
    return report;
}

void get_MIL(SweepRun &run)
{
    const Exchange ex = get_ecu_PID(run.ctx, *pass_request(run.live, 0x01));
    if (!run.sweep.accept(ex.status))
        return;
    const MilReport report = decode_mil(ex.reply);
    run.sweep.appendReport(report.text);
    if (report.o2MonitorComplete)
        run.live.O2MonitorComplete = *report.o2MonitorComplete;
}

} // namespace quorvex
