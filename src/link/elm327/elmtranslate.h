#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace quorvex::elm {

// The ELM327's side of the translation, kept free of any port: what the program's six-character
// commands become in the adapter's language, and what the adapter's answers become in the scan
// interface's reply layout, so that every service reads its replies where it always does.

// The bus the adapter found (its "ATDPN" answer, "A6" or "6": ISO 15765-4 CAN 11/500).
enum class Bus { Unknown, Can11, Can29, Iso };
Bus bus_from_protocol_number(const QByteArray &answer);

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
};
Command parse_command(const QByteArray &text);

// The adapter's request for a vehicle command (no line end): the service's bytes in hex, and
// the response count hint when one reply is all there is to wait for.
QByteArray elm_request(const Command &command);

// One message of the vehicle as the adapter showed it (headers on): who sent it, the three
// header bytes the scan interface shows for it, and its data from the service byte on.
struct Message
{
    quint32 source = 0; // CAN identifier, or the ISO source address
    QByteArray header;  // three bytes: the ISO header, or 48 6B and the CAN ECU's address
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
// message of several frames is reassembled; an ISO message's checksum is checked and removed).
Answer parse_answer(const QByteArray &raw, Bus bus, const QByteArray &request);

// The address the scan interface shows for a CAN ECU: 7E8 (the engine) is 10, 7E9 (the
// transmission) 18, and eight apart for the rest; a 29-bit identifier's last byte.
quint8 can_ecu_address(quint32 identifier);

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
