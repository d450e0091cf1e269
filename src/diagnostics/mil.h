#pragma once

#include <QString>

#include <optional>

namespace quorvex {

struct SweepRun;

// The report of service 01 PID 01 (monitor status since codes were cleared).
struct MilReport
{
    QString text; // the MIL line, then one line per supported monitor, each ending in CR LF
    // Supported O2 sensor monitor: true when complete, false when incomplete; empty when the
    // vehicle does not support that monitor.
    std::optional<bool> o2MonitorComplete;
};

// Decodes bytes A to D at characters 12-19 of a service 01 PID 01 reply: A > 127 is the MIL
// on (no count shown), else A is the number of stored codes; B holds the continuous monitors
// (supported bits 01, 02, 04 with their incomplete bits 10, 20, 40), C and D the
// non-continuous ones (supported / incomplete, bit 01 first).
MilReport decode_mil(const QString &reply);

// PID 01 of a current-data or freeze-frame run: asks "010109" and appends the report to the
// run's report; records whether the O2 sensor monitor is complete when the vehicle supports it.
// A failed exchange writes nothing.
void get_MIL(SweepRun &run);

} // namespace quorvex
