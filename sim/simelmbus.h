#pragma once

#include "sim/simengine.h"
#include "sim/simscenario.h"
#include "sim/simvehicle.h"

#include <QByteArray>
#include <QList>

// What travels on the vehicle bus behind the ELM327 adapter: the ECUs' answers to a request,
// and the lines the adapter prints for them.
namespace quorvex::sim::elm {

using Bus = ElmOptions::Bus;

// CAN 11/500: the ECU at index n of the scenario takes physical requests at 7E0 + n and answers
// from 7E8 + n; 7DF reaches every ECU. On ISO 9141-2 every ECU hears every request and answers
// with the header 48 6B and its own address.
inline constexpr int kCanFunctionalId = 0x7DF;
inline constexpr int kCanRequestId = 0x7E0;
inline constexpr int kCanReplyId = 0x7E8;

// The messages one ECU sends in answer to `request` (service byte first): each message starts
// with the response's service byte and has no header or check byte. On CAN there is one message
// of any length (the adapter prints it as ISO-TP frames); on ISO 9141-2 messages hold at most 7
// bytes, so trouble codes come in threes and the VIN in five messages. Empty: the ECU stays
// silent (an unsupported PID or service, a malformed request). Service 04 is left to the caller,
// which clears the ECU's memory.
//
// Services: 01 PID, 02 PID 00 (freeze frame 0), 03, 07, 0A, 09 00/01/02/04/06/08/0A; on ISO also
// 05 TID SENSOR (the O2 sensor tests) and 06 TID [CID] (the on-board monitoring tests as the
// scan interface's pass-through gives them). Service 06 on CAN has another format and is not
// modelled.
QList<QByteArray> ecuMessages(const Scenario &scenario, int ecu, Bus bus, const QByteArray &request,
                              const Moment &moment);

struct LineFormat
{
    bool headers = false;      // ATH1: CAN ID or ISO header and check byte shown
    bool spaces = true;        // ATS1: a space after every byte, ID and count
    bool canAutoFormat = true; // ATCAF1: PCI bytes hidden without headers, multi-frame numbered

    bool operator==(const LineFormat &) const = default;
};

// The lines, each ending in CR, the adapter prints for one CAN message from `id`. Up to 7 bytes
// it is one frame ("7E8 06 41 00 BE 3F A8 13 ", without headers "41 00 BE 3F A8 13 "); longer
// messages are a first frame and consecutive frames ("7E8 10 14 49 02 01 31 47 31 ", ...), or
// without headers the byte count and numbered lines ("014 ", "0: 49 02 01 31 47 31 ", ...).
// With auto-formatting off every frame is shown raw, PCI byte first, padded to 8 bytes.
QByteArray canLines(int id, const QByteArray &message, const LineFormat &format);

// The line, ending in CR, for one ISO 9141-2 message from the ECU at `source`: with headers
// "48 6B 10 41 0C 1A F8 <check byte> " (the sum of the bytes before it), without "41 0C 1A F8 ".
QByteArray isoLine(quint8 source, const QByteArray &message, const LineFormat &format);

} // namespace quorvex::sim::elm
