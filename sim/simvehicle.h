#pragma once

#include "sim/simscenario.h"

#include <QByteArray>

namespace quorvex::sim {

// Where the car stands in its run: the engine started at the simulator's clock origin, and
// service 04 may have cleared the ECU's diagnostic memory since.
struct Moment
{
    qint64 runUs = 0;        // time since the engine started
    qint64 clearedAtUs = -1; // run time of the last clearing; -1 when not cleared in this run

    bool operator==(const Moment &) const = default;
};

// The run time at which the model's values were stored in a freeze frame: warm, cruising.
inline constexpr qint64 kFreezeFrameRunUs = 620'000'000;

// The modelled car's service 01 data for PIDs 01 to A6: an engine that starts cool, idles for
// a while and then drives a repeating cycle of pulling away, cruising, braking and standing,
// with the temperatures warming up, the fuel trims wandering, the narrow O2 sensors upstream
// switching and a wide-range O2 sensor following the mixture. PIDs 01 and 02 come from the
// ECU's diagnostic memory (MIL, code count, monitors; the freeze frame's code), and the
// distance and time counters follow its MIL and its last clearing.
//
// Returns the data bytes of `pid`, or an empty array for a PID the model has no entry for (the
// support PIDs, PIDs above A6), in which case the reply is zero-filled.
QByteArray modelPidData(const Ecu &ecu, quint8 pid, const Moment &moment);

// Service 01 data bytes as the ECU answers them: the pinned value when there is one, else the
// model's.
QByteArray currentPidData(const Ecu &ecu, quint8 pid, const Moment &moment);

// Service 02 (frame 0) data bytes of `pid`: PID 02 carries the frame's code (0000 without a
// frame), the frame's other PIDs their pinned values or the model's at kFreezeFrameRunUs.
// Empty when the frame does not hold the PID.
QByteArray freezeFramePidData(const Ecu &ecu, quint8 pid);

// The PIDs the freeze frame holds, PID 02 always among them.
QList<quint8> freezeFramePids(const Ecu &ecu);

} // namespace quorvex::sim
