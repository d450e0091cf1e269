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

// Service 0A, the permanent codes: as service 03 (response 4A), or the negative response
// 7F 0A 11 from an ECU without the newer services.
QByteArray permanentCodesMessage(const Ecu &ecu);

// Service 09 beyond the VIN, info types 00 (support), 04 (calibration IDs), 06 (CVNs),
// 08 (in-use performance counts) and 0A (ECU name), without header: one message on CAN
// (49, the info type, the item count, the items; 00 with its four support bytes and no count),
// or, `numbered` (ISO 9141-2, and the scan interface's layout), messages of 49, the info type,
// a message number from 1 and four data bytes. The support bytes name 02 as well when `vin`.
// An ECU without the newer services answers 7F 09 12 to all but 00; an info type the ECU has
// not gets no answer.
QList<QByteArray> vehicleInfoMessages(const Ecu &ecu, quint8 infoType, bool numbered, bool vin);

// What service 04 erases: stored and pending codes, the freeze frame and the MIL.
void clearDiagnosticMemory(Ecu *ecu);

} // namespace quorvex::sim
