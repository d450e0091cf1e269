#pragma once

#include <QByteArray>

namespace quorvex::sim {

// The modelled car's service 01 data: an engine idling warm at standstill, with the values
// that breathe (speed, load, air flow, manifold pressure) varying slowly with time.
//
// Returns the data bytes of `pid` at time nowUs (any monotonic clock in microseconds), or an
// empty array when the model has no entry for the PID, in which case the reply is zero-filled.
QByteArray modelPidData(quint8 pid, qint64 nowUs);

bool modelHasPid(quint8 pid);

} // namespace quorvex::sim
