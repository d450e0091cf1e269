#pragma once

#include "sim/simscenario.h"
#include "sim/simvehicle.h"

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

// The O2 sensor test, asked with the interface's commands service & TID & sensor bit (service
// 05, or 06). TID 00 asks which tests exist: "46 00", the sensor and two support bytes (bit 7
// of the first is TID 01, bit 7 of the second TID 09), or "45 00" on service 05 from an ECU
// that answers the tests on service 06 only. TIDs 01-09 give their value, or value, minimum and
// maximum, right after the TID. Empty
// (the ECU stays silent) for a sensor PID 13 does not report at `moment` or a test it lacks.
QByteArray o2TestMessage(const Ecu &ecu, quint8 service, quint8 tid, quint8 sensor,
                         const Moment &moment);

// The interface's pass-through reply to a service $06 block, 13 raw bytes, zero-padded: the
// three header bytes, then $46 and for a support ID (00, 20, ...) the test and component ID
// and four support bytes (bit 0 of the last announcing tests beyond the range), for a test the
// limit type (bit 7 set: the limit is a minimum), the value and the limit, high byte first. A
// test the ECU lacks, or another service, gets the negative response 7F 06 12.
QByteArray mode6Reply(const Ecu &ecu, quint8 service, quint8 tid, quint8 cid);

// What service 04 erases: stored and pending codes, the freeze frame and the MIL.
void clearDiagnosticMemory(Ecu *ecu);

} // namespace quorvex::sim
