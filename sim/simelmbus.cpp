#include "sim/simelmbus.h"

#include "sim/simreplies.h"
#include "sim/simservices.h"

#include <algorithm>

namespace quorvex::sim::elm {

namespace {

constexpr int kHeaderBytes = 3; // what the scenario's message functions put before the service
constexpr int kIsoCodesPerMessage = 3;
constexpr int kCanFrameBytes = 8;
constexpr quint8 kKwpResponseFormat = 0x80; // addressed, physical; the length in the low bits
constexpr quint8 kKwpFunctional = 0xC0;
constexpr quint8 kTester = 0xF1;

bool onCan(Bus bus)
{
    return bus == Bus::Can11_500;
}

// The SAE J1850 CRC-8: polynomial x^8 + x^4 + x^3 + x^2 + 1, all ones before the first bit,
// the remainder complemented.
quint8 j1850Crc(const QByteArray &bytes)
{
    quint8 crc = 0xFF;
    for (const char byte : bytes) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool feedback = ((crc >> 7) ^ (quint8(byte) >> bit)) & 1;
            crc = quint8(crc << 1);
            if (feedback)
                crc ^= 0x1D;
        }
    }
    return quint8(~crc);
}

QList<QByteArray> one(const QByteArray &message)
{
    return message.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{message};
}

QByteArray withoutHeader(const QByteArray &message)
{
    return message.mid(kHeaderBytes);
}

QList<QByteArray> codeMessages(const QStringList &codes, quint8 response, Bus bus)
{
    const qsizetype count = std::min<qsizetype>(codes.size(), 0xFF);
    QByteArray pairs;
    for (qsizetype i = 0; i < count; ++i)
        pairs += QByteArray::fromHex(codes[i].toLatin1()).left(2).rightJustified(2, '\0');
    if (onCan(bus))
        return {QByteArray(1, char(response)) + char(count) + pairs};
    QList<QByteArray> messages; // at least one, all zeros when there is no code
    for (qsizetype at = 0; at == 0 || at < pairs.size(); at += 2 * kIsoCodesPerMessage)
        messages.append(
            QByteArray(1, char(response)) +
            pairs.mid(at, 2 * kIsoCodesPerMessage).leftJustified(2 * kIsoCodesPerMessage, '\0'));
    return messages;
}

// Service 09: the support bitmap, the VIN's message count and the VIN itself; the info types
// of newer cars as the ECU answers them.
QList<QByteArray> vehicleInfo(const Scenario &scenario, const Ecu &ecu, quint8 pid, Bus bus)
{
    const bool vin = scenario.vinForm != VinForm::None;
    const bool iso = !onCan(bus); // messages of 7 bytes at most
    if (pid == 0x00 || pid > 0x02) {
        QList<QByteArray> messages = vehicleInfoMessages(ecu, pid, false, vin);
        if (pid == 0x00 && !messages.isEmpty()) {
            if (messages.first().mid(2) == QByteArray(4, '\0'))
                return {};
            if (iso && vin) // 0901 is answered off CAN only, as on real cars
                messages.first()[2] = static_cast<char>(messages.first().at(2) | 0x80);
            return messages;
        }
        return iso && pid != 0x00 ? vehicleInfoMessages(ecu, pid, true, vin) : messages;
    }
    if (!vin)
        return {};
    const QByteArray number = scenario.vin.toLatin1().left(17).leftJustified(17, '\0');
    if (pid == 0x01)
        return {QByteArray("\x49\x01", 2) + char(iso ? 5 : 1)};
    if (!iso)
        return {QByteArray("\x49\x02\x01", 3) + number};
    // Message 1 holds three fill bytes before the first character.
    const QByteArray fields = QByteArray(3, '\0') + number;
    QList<QByteArray> messages;
    for (int n = 1; n <= 5; ++n)
        messages.append(QByteArray("\x49\x02", 2) + char(n) + fields.mid((n - 1) * 4, 4));
    return messages;
}

// Service 05 as J1979 has it off CAN: 45, the TID and the sensor, then what the test reports.
// (Whether the scan interface asks for it as service 05 or 06 is the interface's own affair:
// the vehicle answers service 05.)
QByteArray o2Message(const Ecu &ecu, quint8 tid, quint8 sensor, const Moment &moment)
{
    // Asked as service 06, the scenario's function answers both the support TID and the
    // tests positively; the sensor byte is already in place for TID 00 only.
    QByteArray data = withoutHeader(o2TestMessage(ecu, 0x06, tid, sensor, moment));
    if (data.isEmpty())
        return {};
    data[0] = char(0x45);
    if (tid != 0x00)
        data.insert(2, char(sensor));
    return data;
}

// Service 06 off CAN: the scan interface's pass-through reply without its zero padding.
QByteArray mode6Message(const Ecu &ecu, quint8 tid, quint8 cid)
{
    const QByteArray data = withoutHeader(mode6Reply(ecu, 0x06, tid, cid));
    if (quint8(data.at(0)) == 0x7F)
        return data.left(3); // 7F 06 12: no such test
    return data.left(tid % 0x20 == 0 ? 7 : 6);
}

// Service 01 with several PIDs: each supported one's data behind a single 41, in the order
// asked; nothing when none is supported.
QByteArray packedMessage(const Ecu &ecu, const QByteArray &request, const Moment &moment,
                         ElmOptions::Packing packing)
{
    if (packing == ElmOptions::Packing::Refused)
        return QByteArray("\x7F\x01\x12", 3);
    const qsizetype pids = packing == ElmOptions::Packing::FirstOnly ? 2 : request.size();
    QByteArray message;
    for (qsizetype i = 1; i < pids; ++i) {
        const QByteArray one =
            withoutHeader(serviceMessage(ecu, 0x01, static_cast<quint8>(request.at(i)), moment));
        if (one.size() >= 2 && static_cast<quint8>(one.at(0)) == 0x41)
            message += one.mid(1);
    }
    return message.isEmpty() ? QByteArray() : QByteArray(1, '\x41') + message;
}

QByteArray hexBytes(const QByteArray &bytes, bool spaces)
{
    QByteArray text;
    for (const char byte : bytes) {
        text += QByteArray(1, byte).toHex().toUpper();
        if (spaces)
            text += ' ';
    }
    return text;
}

QByteArray hexNumber(int value, int digits, bool spaces)
{
    QByteArray text = QByteArray::number(value, 16).toUpper().rightJustified(digits, '0');
    return spaces ? text + ' ' : text;
}

} // namespace

QList<QByteArray> ecuMessages(const Scenario &scenario, int ecuIndex, Bus bus,
                              const QByteArray &request, const Moment &moment,
                              ElmOptions::Packing packing)
{
    if (ecuIndex < 0 || ecuIndex >= scenario.ecus.size() || request.isEmpty())
        return {};
    const Ecu &ecu = scenario.ecus[ecuIndex];
    const auto size = request.size();
    const auto arg = [&request](int i) { return static_cast<quint8>(request.at(i)); };
    switch (arg(0)) {
    case 0x01:
        if (size > 2 && bus == Bus::Can11_500)
            return one(packedMessage(ecu, request, moment, packing));
        return size == 2 ? one(withoutHeader(serviceMessage(ecu, 0x01, arg(1), moment)))
                         : QList<QByteArray>();
    case 0x02:
        return size == 3 && arg(2) == 0x00
                   ? one(withoutHeader(serviceMessage(ecu, 0x02, arg(1), moment)))
                   : QList<QByteArray>();
    case 0x03:
        return size == 1 ? codeMessages(ecu.storedCodes, 0x43, bus) : QList<QByteArray>();
    case 0x07:
        return size == 1 ? codeMessages(ecu.pendingCodes, 0x47, bus) : QList<QByteArray>();
    case 0x05:
        return !onCan(bus) && size == 3 ? one(o2Message(ecu, arg(1), arg(2), moment))
                                        : QList<QByteArray>();
    case 0x06:
        return !onCan(bus) && (size == 2 || size == 3)
                   ? one(mode6Message(ecu, arg(1), size == 3 ? arg(2) : quint8(0)))
                   : QList<QByteArray>();
    case 0x09:
        return size == 2 ? vehicleInfo(scenario, ecu, arg(1), bus) : QList<QByteArray>();
    case 0x0A:
        return size != 1            ? QList<QByteArray>()
               : !ecu.newerServices ? one(withoutHeader(permanentCodesMessage(ecu)))
                                    : codeMessages(ecu.permanentCodes, 0x4A, bus);
    default:
        return {};
    }
}

QByteArray canLines(int id, const QByteArray &message, const LineFormat &format)
{
    // Frames as they go on the bus, PCI byte first.
    QList<QByteArray> frames;
    const auto length = static_cast<int>(std::min<qsizetype>(message.size(), 0xFFF));
    if (length <= kCanFrameBytes - 1) {
        frames.append(QByteArray(1, char(length)) + message.left(length));
    } else {
        frames.append(QByteArray(1, char(0x10 | (length >> 8))) + char(length & 0xFF) +
                      message.left(6));
        for (int at = 6, sequence = 1; at < length; at += 7, ++sequence)
            frames.append(QByteArray(1, char(0x20 | (sequence & 0x0F))) +
                          message.mid(at, std::min(7, length - at)));
    }

    const QByteArray idText = format.headers ? hexNumber(id, 3, format.spaces) : QByteArray();
    QByteArray text;
    if (format.headers || !format.canAutoFormat) {
        for (QByteArray frame : frames) {
            if (!format.canAutoFormat)
                frame = frame.leftJustified(kCanFrameBytes, '\0');
            text += idText + hexBytes(frame, format.spaces) + '\r';
        }
        return text;
    }
    if (frames.size() == 1)
        return hexBytes(frames[0].mid(1), format.spaces) + '\r';
    text = hexNumber(length, 3, format.spaces) + '\r';
    for (qsizetype i = 0; i < frames.size(); ++i) {
        text += hexNumber(int(i & 0x0F), 1, false) + ':' + (format.spaces ? " " : "");
        text += hexBytes(frames[i].mid(i == 0 ? 2 : 1), format.spaces) + '\r';
    }
    return text;
}

QByteArray busLine(Bus bus, quint8 source, const QByteArray &message, const LineFormat &format)
{
    if (!format.headers)
        return hexBytes(message, format.spaces) + '\r';
    QByteArray bytes;
    switch (bus) {
    case Bus::J1850Pwm:
        bytes = QByteArray("\x41\x6B", 2);
        break;
    case Bus::Kwp5Baud:
    case Bus::KwpFast:
        bytes = QByteArray(1, char(kKwpResponseFormat | (message.size() & 0x3F))) + char(kTester);
        break;
    default:
        bytes = QByteArray("\x48\x6B", 2);
        break;
    }
    bytes += char(source) + message;
    if (bus == Bus::J1850Pwm || bus == Bus::J1850Vpw)
        return hexBytes(bytes + char(j1850Crc(bytes)), format.spaces) + '\r';
    quint8 sum = 0;
    for (const char byte : bytes)
        sum = static_cast<quint8>(sum + static_cast<quint8>(byte));
    return hexBytes(bytes + char(sum), format.spaces) + '\r';
}

char protocolDigit(Bus bus)
{
    switch (bus) {
    case Bus::Can11_500:
        return '6';
    case Bus::Iso9141:
        return '3';
    case Bus::J1850Pwm:
        return '1';
    case Bus::J1850Vpw:
        return '2';
    case Bus::Kwp5Baud:
        return '4';
    case Bus::KwpFast:
        return '5';
    }
    return '6';
}

bool takesHeader(Bus bus, int header)
{
    if (header < 0 || onCan(bus))
        return true;
    const int first = (header >> 16) & 0xFF;
    const int target = (header >> 8) & 0xFF;
    switch (bus) {
    case Bus::J1850Pwm:
        return first == 0x61 && target == 0x6A;
    case Bus::Kwp5Baud:
    case Bus::KwpFast:
        return (first & kKwpFunctional) == kKwpFunctional && target == 0x33;
    default:
        return first == 0x68 && target == 0x6A;
    }
}

} // namespace quorvex::sim::elm
