#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace quorvex::elm {

// The ELM327's side of the translation, kept free of any port: what the program's six-character
// commands become in the adapter's language, and what the adapter's answers become in the scan
// interface's reply layout, so that every service reads its replies where it always does.

// The bus the adapter found (its "ATDPN" answer, "A6" or "6": ISO 15765-4 CAN 11/500): CAN with
// 11- or 29-bit identifiers, ISO 9141-2, ISO 14230-4 KWP (5-baud or fast initialisation alike),
// SAE J1850 PWM or VPW.
enum class Bus { Unknown, Can11, Can29, Iso, Kwp, J1850Pwm, J1850Vpw };
Bus bus_from_protocol_number(const QByteArray &answer);

// The header of a request to every ECU on `bus` as ATSH takes it: 61 6A F1 on J1850 PWM, C1 33 F1
// on KWP (the adapter puts the length into the format byte), 68 6A F1 on the other two; empty on
// CAN and an unknown bus.
QByteArray functional_header(Bus bus);

// The interface's answer to "F00504", the pass-through of a raw service $06 message, on `bus`:
// "RA" and the digit that tells the program which header to send (4: 61 6A, J1850 PWM; 8: C3 33,
// KWP; 1: 68 6A, J1850 VPW and ISO 9141), or "RN0" on CAN and an unknown bus, where the
// vehicle has no such message.
QByteArray pass_through_acknowledgement(Bus bus);

// The SAE J1850 CRC-8 (polynomial 1D, initial FF, complemented) of `bytes`.
quint8 j1850_crc(const QByteArray &bytes);

// One of the program's commands.
struct Command
{
    enum class Kind {
        FirmwareId,  // "900101"
        SwitchEcu,   // "800204"
        PassThrough, // "F00504"
        Vehicle,     // a service request (01 to 0A): service, parameter, length
        Invalid,     // anything else
    };
    Kind kind = Kind::Invalid;
    quint8 service = 0;
    quint8 parameter = 0; // the PID; for services 05 and 06 (O2 tests) the test ID
    quint8 length = 0;    // bytes of the reply to collect; for services 05 and 06 the sensor
    QByteArray text;      // the six characters, upper case
};
Command parse_command(const QByteArray &text);

// The adapter's request for a vehicle command (no line end): the service's bytes in hex, and
// the response count hint when one reply is all there is to wait for.
QByteArray elm_request(const Command &command);

// One message of the vehicle as the adapter showed it (headers on): who sent it, the three
// header bytes the scan interface shows for it, and its data from the service byte on.
struct Message
{
    quint32 source = 0; // CAN identifier, or the source address on the other buses
    QByteArray header;  // three bytes: the bus's header (J1850 and ISO 9141: priority/type,
                        // target, source; KWP: format, target, source), on CAN 48 6B and the
                        // ECU's address
    QByteArray data;    // service byte onward; CAN frames already reassembled
};

// What an answer to a vehicle request says.
struct Answer
{
    enum class Status {
        Data,      // messages from the vehicle
        NoData,    // the ECU did not answer
        NoContact, // the adapter cannot reach the vehicle ("UNABLE TO CONNECT", bus errors)
        Refused,   // "?": the adapter did not understand the request
        Stopped,   // the request was interrupted
    };
    Status status = Status::NoData;
    QList<Message> messages;
};

// The lines of an answer that say something: blank lines and the echo of `sent` left out.
QList<QByteArray> answer_lines(const QByteArray &answer, const QByteArray &sent);

// `value` in upper-case hex, `digits` long.
QByteArray hex_text(quint32 value, int digits = 2);

// Reads an answer (everything before the prompt): echo, "SEARCHING...", "BUS INIT: ...OK" and
// blank lines are passed over; hex lines are messages (spaces or none, as the bus says; a CAN
// message of several frames is reassembled; on the other buses each line is a message whose
// check byte, a sum or the J1850 CRC, is checked and removed, and a KWP message's length must be
// what its format byte says). A garbled line is no message.
Answer parse_answer(const QByteArray &raw, Bus bus, const QByteArray &request);

// The address the scan interface shows for a CAN ECU: 7E8 (the engine) is 10, 7E9 (the
// transmission) 18, and eight apart for the rest; a 29-bit identifier's last byte.
quint8 can_ecu_address(quint32 identifier);

// A service 01 request for several PIDs (on CAN up to six), and what it shows of the ECU: the
// PIDs and their data one after another behind a single 41 ("41 0C 1A F8 0D 32").
inline constexpr int kPackedPids = 6;

// How many data bytes an ECU sends for service 01 PID `pid` (SAE J1979); 0 where that is not
// fixed or not known here (such PIDs are asked alone).
int pid_data_size(quint8 pid);

// An answer to a request for several PIDs taken apart: one answer for each PID asked, in the
// order asked, with the ECU's message for that PID alone ("41 0D 32"), or no data for a PID the
// ECU left out. Each PID's data is as long as pid_data_size says. Unreadable: the ECU did not
// answer with data, refused, or answered in a layout that does not add up (a PID not asked, a PID
// twice, data cut short). FirstOnly: the ECU answered the first PID alone, as ECUs that take one
// PID a request do.
struct PackedAnswer
{
    enum class Layout { Taken, FirstOnly, Unreadable };
    Layout layout = Layout::Unreadable;
    QList<Answer> answers;
};
PackedAnswer split_packed(const QList<Command> &commands, const Answer &answer, quint32 source);

// The protocol an "ATDPN" answer names, in words ("A6": "ISO 15765-4 CAN 11-bit 500 kbaud");
// empty for an answer that names none.
QString protocol_name(const QByteArray &answer);

// The battery voltage of an "ATRV" answer ("12.6V": "12.6 V"); empty when it is not one.
QString battery_voltage(const QByteArray &answer);

// Whether the adapter an identity names (its ATI or STDI answer) can change its line speed: an
// STN chip (STSBR), or an ELM327 from v1.2 on (ATBRD).
bool takes_speed_change(const QString &identity);
// The command that asks for line speed `baud`: on an STN chip STSBR with the speed, on an ELM327
// ATBRD with the divisor of its 4 MHz clock nearest to it (08, 500 kbaud, at the fastest).
QByteArray speed_command(bool stn, int baud);
// Where the adapter's identity, sent at a new line speed, ends in `answer` (at its CR); -1
// while it has not come.
qsizetype identity_end(const QByteArray &answer);

// The scan interface's reply to a vehicle command, from the messages of the ECU answering:
// the leading character, the header bytes and data cut or zero-padded to the command's length,
// the check byte; "S" at character 2 when the ECU did not answer. Stored and pending codes come
// three to a reply, as many replies as it takes (a first header byte FF: no codes); the VIN as
// its seventeen characters; permanent codes as stored codes; the rest of service 09 from every
// ECU that answered, four data bytes a message behind a message number. With source set, only that
// ECU's messages count (the ECU the program switched to); an answer without them is the ECU not
// answering.
QByteArray interface_reply(const Command &command, const Answer &answer, quint32 source = 0);

} // namespace quorvex::elm
