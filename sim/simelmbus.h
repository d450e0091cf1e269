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
// from 7E8 + n; 7DF reaches every ECU. On the other buses every ECU hears every request with the
// bus's functional header and answers with a header of the bus and its own address: 48 6B on
// ISO 9141-2 and J1850 VPW, 41 6B on J1850 PWM, on KWP the format byte (80 and the length) and
// F1.
inline constexpr int kCanFunctionalId = 0x7DF;
inline constexpr int kCanRequestId = 0x7E0;
inline constexpr int kCanReplyId = 0x7E8;

// The ATDPN digit of the bus.
char protocolDigit(Bus bus);
// Whether the ECUs on `bus` take a request sent with the ATSH header `header` (-1: the
// adapter's default): on J1850 PWM only 61 6A, on VPW and ISO 9141-2 only 68 6A, on KWP a
// functional format byte (C0 and up) and target 33. A request with the other J1850 bus's header
// goes unanswered, as on a real car.
bool takesHeader(Bus bus, int header);

// The messages one ECU sends in answer to `request` (service byte first): each message starts
// with the response's service byte and has no header or check byte. On CAN there is one message
// of any length (the adapter prints it as ISO-TP frames); on the other buses messages hold at
// most 7 bytes, so trouble codes come in threes and the VIN in five messages. Empty: the ECU stays
// silent (an unsupported PID or service, a malformed request). Service 04 is left to the caller,
// which clears the ECU's memory.
//
// Services: 01 PID (on CAN up to six PIDs, each supported one answered behind a single 41, as
// `packing` says), 02 PID 00 (freeze frame 0), 03, 07, 0A, 09 00/01/02/04/06/08/0A; off CAN
// also 05 TID SENSOR (the O2 sensor tests) and 06 TID [CID] (the on-board monitoring tests as
// the scan interface's pass-through gives them). Service 06 on CAN has another format and is not
// modelled.
QList<QByteArray> ecuMessages(const Scenario &scenario, int ecu, Bus bus, const QByteArray &request,
                              const Moment &moment,
                              ElmOptions::Packing packing = ElmOptions::Packing::Answered);

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

// The line, ending in CR, for one message from the ECU at `source` on a bus other than CAN:
// with headers the bus's header, the message and its check byte ("48 6B 10 41 0C 1A F8 <sum> "
// on ISO 9141-2, "84 F1 10 41 0C 1A F8 <sum> " on KWP, "41 6B 10 41 0C 1A F8 <CRC> " on J1850
// PWM, the SAE J1850 CRC-8), without "41 0C 1A F8 ".
QByteArray busLine(Bus bus, quint8 source, const QByteArray &message, const LineFormat &format);

} // namespace quorvex::sim::elm
