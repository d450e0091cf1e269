#pragma once

#include "simscenario.h"
#include "simvehicle.h"

#include <QByteArray>

namespace quorvex::sim {

// The ECU's side of the OBD services: each returns the vehicle's message (three header bytes,
// the service response and what follows, without the check byte) for the interface to frame,
// or an empty array when the ECU stays silent.

// Services 01 (current data), 02 (freeze frame, frame 0), 03 (stored codes) and 07 (pending
// codes). Service 01 answers the support PIDs 00, 20 and 40 and the PIDs listed in ecu.pids
// but not in ecu.silentPids;
// service 02 the support PIDs and the freeze frame's PIDs, with the frame number 00 after the
// PID. Services 03 and 07 answer one frame with three two-byte code slots, 0000 where there
// are fewer codes and the first header byte FF when there is none.
QByteArray serviceMessage(const Ecu &ecu, quint8 service, quint8 pid, const Moment &moment);

// Service 04: the positive response 44, or the negative response 7F 04 22 (conditions not
// correct) when the ECU refuses.
QByteArray clearMessage(const Ecu &ecu, bool rejected);

// What service 04 erases: stored and pending codes, the freeze frame and the MIL.
void clearDiagnosticMemory(Ecu *ecu);

} // namespace quorvex::sim
