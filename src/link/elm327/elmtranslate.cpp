#include "link/elm327/elmtranslate.h"

#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>
#include <optional>

namespace quorvex::elm {

namespace {

constexpr char kLeading = 'R'; // never "S" or "P", which the program reads as marks
constexpr int kCodeSlots = 3;
constexpr int kVinLength = 17;
constexpr int kO2AnswerLength = 9; // an O2 test answer, for the timed-out reply's length
constexpr quint32 kFirstCanEcu = 0x7E8;
constexpr quint8 kFirstCanEcuAddress = 0x10;

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool is_hex_line(const QByteArray &line)
{
    bool digit = false;
    for (const char c : line) {
        if (c == ' ')
            continue;
        if (hex_value(c) < 0)
            return false;
        digit = true;
    }
    return digit;
}

QByteArray without_spaces(QByteArray text)
{
    return text.replace(' ', QByteArray()).toUpper();
}

constexpr quint8 kJ1850Polynomial = 0x1D;
constexpr quint8 kKwpLengthMask = 0x3F;
constexpr quint8 kKwpAddressed = 0x80; // format byte: target and source follow

quint8 check_byte(const QByteArray &bytes)
{
    unsigned sum = 0;
    for (const char b : bytes)
        sum += static_cast<quint8>(b);
    return static_cast<quint8>(sum & 0xFF);
}

// 'R', the bytes as hex pairs and their check byte: the scan interface's framing.
QByteArray framed(const QByteArray &bytes)
{
    return QByteArray(1, kLeading) + bytes.toHex().toUpper() +
           QByteArray(1, static_cast<char>(check_byte(bytes))).toHex().toUpper();
}

QByteArray fitted(QByteArray bytes, int length)
{
    bytes.truncate(length);
    return bytes.leftJustified(length, '\0');
}

// A CAN message as its frames arrive.
struct Assembly
{
    quint32 id = 0;
    QByteArray data;
    int expected = -1; // the length a first frame announced; -1 for a single frame
};

// Reads one CAN line (identifier, protocol control byte, data): a single frame is a message, a
// first frame opens one that the consecutive frames from the same identifier fill.
void take_can_line(const QByteArray &hex, int idDigits, QList<Assembly> *assemblies)
{
    if (hex.size() < idDigits + 2 || (hex.size() - idDigits) % 2 != 0)
        return;
    const quint32 id = hex.left(idDigits).toUInt(nullptr, 16);
    const QByteArray bytes = QByteArray::fromHex(hex.mid(idDigits));
    const auto pci = static_cast<quint8>(bytes.at(0));
    switch (pci >> 4) {
    case 0x0:
        assemblies->append({id, bytes.mid(1, pci & 0x0F), -1});
        return;
    case 0x1:
        if (bytes.size() >= 2)
            assemblies->append(
                {id, bytes.mid(2), ((pci & 0x0F) << 8) | static_cast<quint8>(bytes.at(1))});
        return;
    case 0x2:
        for (auto it = assemblies->rbegin(); it != assemblies->rend(); ++it) {
            if (it->id == id && it->expected >= 0) {
                if (it->data.size() < it->expected)
                    it->data += bytes.mid(1);
                return;
            }
        }
        return;
    default:
        return;
    }
}

// One message of a bus other than CAN (header, data, check byte): the header and data when the
// check byte is right and, on KWP, the length is what the format byte says; none otherwise.
std::optional<Message> take_line(const QByteArray &bytes, Bus bus)
{
    if (bytes.size() < 5)
        return std::nullopt; // three header bytes, the service, the check byte at least
    const QByteArray body = bytes.left(bytes.size() - 1);
    const quint8 check =
        bus == Bus::J1850Pwm || bus == Bus::J1850Vpw ? j1850_crc(body) : check_byte(body);
    if (check != static_cast<quint8>(bytes.back()))
        return std::nullopt; // garbled on the bus
    Message m;
    m.source = static_cast<quint8>(body.at(2));
    m.header = body.left(3);
    m.data = body.mid(3);
    if (bus == Bus::Kwp) {
        // The length sits in the format byte, or in a byte of its own after the source when
        // the format byte holds none.
        const auto format = static_cast<quint8>(body.at(0));
        if (!(format & kKwpAddressed))
            return std::nullopt;
        qsizetype length = format & kKwpLengthMask;
        if (length == 0) {
            length = static_cast<quint8>(m.data.at(0));
            m.data.remove(0, 1);
        }
        if (length == 0 || m.data.size() != length)
            return std::nullopt;
    }
    return m;
}

} // namespace

QByteArray functional_header(Bus bus)
{
    switch (bus) {
    case Bus::J1850Pwm:
        return "616AF1";
    case Bus::Kwp:
        return "C133F1";
    case Bus::J1850Vpw:
    case Bus::Iso:
        return "686AF1";
    case Bus::Unknown:
    case Bus::Can11:
    case Bus::Can29:
        break;
    }
    return {};
}

QByteArray pass_through_acknowledgement(Bus bus)
{
    switch (bus) {
    case Bus::J1850Pwm:
        return "RA4";
    case Bus::Kwp:
        return "RA8";
    case Bus::J1850Vpw:
    case Bus::Iso:
        return "RA1";
    case Bus::Unknown:
    case Bus::Can11:
    case Bus::Can29:
        break;
    }
    return "RN0";
}

quint8 j1850_crc(const QByteArray &bytes)
{
    quint8 crc = 0xFF;
    for (const char b : bytes) {
        crc ^= static_cast<quint8>(b);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<quint8>(crc & 0x80 ? (crc << 1) ^ kJ1850Polynomial : crc << 1);
    }
    return static_cast<quint8>(~crc);
}

Bus bus_from_protocol_number(const QByteArray &answer)
{
    QByteArray t = without_spaces(answer.trimmed());
    if (t.startsWith('A'))
        t.remove(0, 1);
    if (t.isEmpty())
        return Bus::Unknown;
    switch (t.at(0)) {
    case '1':
        return Bus::J1850Pwm;
    case '2':
        return Bus::J1850Vpw;
    case '3':
        return Bus::Iso;
    case '4':
    case '5':
        return Bus::Kwp;
    case '6':
    case '8':
        return Bus::Can11;
    case '7':
    case '9':
        return Bus::Can29;
    default:
        return Bus::Unknown; // J1939 and the user buses are not spoken here
    }
}

Command parse_command(const QByteArray &text)
{
    Command c;
    if (text.size() != 6)
        return c;
    for (const char ch : text)
        if (hex_value(ch) < 0)
            return c;
    const QByteArray bytes = QByteArray::fromHex(text);
    c.text = text.toUpper();
    c.service = static_cast<quint8>(bytes.at(0));
    c.parameter = static_cast<quint8>(bytes.at(1));
    c.length = static_cast<quint8>(bytes.at(2));
    const QByteArray upper = text.toUpper();
    if (upper == "900101")
        c.kind = Command::Kind::FirmwareId;
    else if (upper == "800204")
        c.kind = Command::Kind::SwitchEcu;
    else if (upper == "F00504")
        c.kind = Command::Kind::PassThrough;
    else if (c.service >= 0x01 && c.service <= 0x0A)
        c.kind = Command::Kind::Vehicle;
    return c;
}

QList<QByteArray> answer_lines(const QByteArray &answer, const QByteArray &sent)
{
    const QByteArray echo = without_spaces(sent);
    QList<QByteArray> lines;
    QByteArray text = answer;
    text.replace('\n', '\r');
    for (const QByteArray &raw : text.split('\r')) {
        const QByteArray line = raw.trimmed();
        if (!line.isEmpty() && without_spaces(line) != echo)
            lines << line;
    }
    return lines;
}

QByteArray hex_text(quint32 value, int digits)
{
    return QByteArray::number(value, 16).rightJustified(digits, '0').toUpper();
}

QByteArray elm_request(const Command &c)
{
    const auto hex = [](quint8 b) { return hex_text(b); };
    switch (c.service) {
    case 0x01:
        return "01" + hex(c.parameter) + "1";
    case 0x02:
        return "02" + hex(c.parameter) + "001"; // frame 0
    case 0x04:
        return "041";
    case 0x05:
    case 0x06:
        // The O2 sensor test: the interface asks for it as service 05 or 06, the vehicle
        // answers service 05 (test ID, sensor).
        return "05" + hex(c.parameter) + hex(c.length) + "1";
    case 0x09:
        return "09" + hex(c.parameter); // several messages may follow: no hint
    default:
        return hex(c.service); // 03 and 07: however many messages the codes take
    }
}

quint8 can_ecu_address(quint32 identifier)
{
    // 29-bit identifiers (18 DA F1 xx) end in the ECU's own address.
    if (identifier > 0x7FF)
        return static_cast<quint8>(identifier & 0xFF);
    // 7E8 is the engine's, 7E9 the transmission's: the addresses they have on the older buses
    // (10, 18), and eight apart for the rest.
    return static_cast<quint8>(kFirstCanEcuAddress + 8 * (identifier - kFirstCanEcu));
}

Answer parse_answer(const QByteArray &raw, Bus bus, const QByteArray &request)
{
    Answer answer;
    QList<Assembly> assemblies;
    bool stopped = false;
    bool noContact = false;
    bool refused = false;
    for (const QByteArray &line : answer_lines(raw, request)) {
        if (line.startsWith("SEARCHING"))
            continue;
        if (line.startsWith("BUS INIT")) {
            if (line.contains("ERROR"))
                noContact = true;
            continue;
        }
        if (line == "?") {
            refused = true;
            continue;
        }
        if (line.startsWith("STOPPED")) {
            stopped = true;
            continue;
        }
        if (line.startsWith("UNABLE TO CONNECT") || line.contains("ERROR") ||
            line.startsWith("ERR")) {
            noContact = true;
            continue;
        }
        if (!is_hex_line(line))
            continue; // "NO DATA", "BUFFER FULL", anything else: nothing from the vehicle
        const QByteArray hex = without_spaces(line);
        if (bus == Bus::Can11 || bus == Bus::Can29) {
            take_can_line(hex, bus == Bus::Can11 ? 3 : 8, &assemblies);
            continue;
        }
        if (hex.size() % 2 != 0)
            continue;
        if (const std::optional<Message> m = take_line(QByteArray::fromHex(hex), bus))
            answer.messages << *m;
    }
    for (const Assembly &a : assemblies) {
        // Frames missing, or a first frame that announces no bytes at all (garbled: a message
        // long enough for several frames has at least eight), is no answer.
        if (a.data.isEmpty() || a.expected == 0 || (a.expected > 0 && a.data.size() < a.expected))
            continue;
        Message m;
        m.source = a.id;
        m.header =
            QByteArray("\x48\x6B", 2) + QByteArray(1, static_cast<char>(can_ecu_address(a.id)));
        m.data = a.expected >= 0 ? a.data.left(a.expected) : a.data;
        answer.messages << m;
    }
    if (!answer.messages.isEmpty())
        answer.status = Answer::Status::Data;
    else if (stopped)
        answer.status = Answer::Status::Stopped;
    else if (noContact)
        answer.status = Answer::Status::NoContact;
    else if (refused)
        answer.status = Answer::Status::Refused;
    return answer;
}

int pid_data_size(quint8 pid)
{
    // PIDs 01 to 63 (support PIDs 00, 20, 40, 60 are four bytes).
    static constexpr quint8 kSizes[0x64] = {
        4, 4, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, // 00-0F
        2, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 2, // 10-1F
        4, 2, 2, 2, 4, 4, 4, 4, 4, 4, 4, 4, 1, 1, 1, 1, // 20-2F
        1, 2, 2, 1, 4, 4, 4, 4, 4, 4, 4, 4, 2, 2, 2, 2, // 30-3F
        4, 4, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 4, // 40-4F
        4, 1, 1, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 2, 2, 1, // 50-5F
        4, 1, 1, 2,                                     // 60-63
    };
    if (pid < std::size(kSizes))
        return kSizes[pid];
    if (pid % 0x20 == 0)
        return 4; // the support PIDs 80, A0, C0, E0
    switch (pid) {
    case 0x67: // coolant temperature sensors: which are there, then each
        return 3;
    case 0xA6: // odometer
        return 4;
    default:
        return 0;
    }
}

PackedAnswer split_packed(const QList<Command> &commands, const Answer &answer, quint32 source)
{
    PackedAnswer packed;
    if (answer.status != Answer::Status::Data || answer.messages.isEmpty() || commands.isEmpty())
        return packed;
    if (source == 0)
        source = answer.messages.first().source;
    const Message *message = nullptr;
    for (const Message &m : answer.messages)
        if (m.source == source) {
            message = &m;
            break;
        }
    if (!message || message->data.size() < 2 || static_cast<quint8>(message->data.at(0)) != 0x41)
        return packed;
    QList<Answer> answers(commands.size());
    const QByteArray &data = message->data;
    int taken = 0;
    for (qsizetype at = 1; at < data.size();) {
        const auto pid = static_cast<quint8>(data.at(at));
        qsizetype k = 0;
        while (k < commands.size() &&
               (commands.at(k).parameter != pid || answers.at(k).status == Answer::Status::Data))
            ++k;
        if (k == commands.size())
            return packed; // not asked, or twice
        const int length = pid_data_size(pid);
        if (length < 1 || at + 1 + length > data.size())
            return packed;
        Message part = *message;
        part.data = QByteArray(1, '\x41') + data.mid(at, 1 + length);
        answers[k] = {Answer::Status::Data, {part}};
        ++taken;
        at += 1 + length;
    }
    packed.answers = answers;
    packed.layout =
        taken == 1 && answers.first().status == Answer::Status::Data && commands.size() > 1
            ? PackedAnswer::Layout::FirstOnly
            : PackedAnswer::Layout::Taken;
    return packed;
}

QString protocol_name(const QByteArray &answer)
{
    static const char *const kNames[] = {
        nullptr,
        "SAE J1850 PWM 41.6 kbaud",
        "SAE J1850 VPW 10.4 kbaud",
        "ISO 9141-2 5-baud init 10.4 kbaud",
        "ISO 14230-4 KWP 5-baud init 10.4 kbaud",
        "ISO 14230-4 KWP fast init 10.4 kbaud",
        "ISO 15765-4 CAN 11-bit 500 kbaud",
        "ISO 15765-4 CAN 29-bit 500 kbaud",
        "ISO 15765-4 CAN 11-bit 250 kbaud",
        "ISO 15765-4 CAN 29-bit 250 kbaud",
        "SAE J1939 CAN 29-bit 250 kbaud",
    };
    QByteArray t = without_spaces(answer.trimmed());
    if (t.startsWith('A'))
        t.remove(0, 1);
    if (t.size() != 1 || hex_value(t.at(0)) < 1 ||
        hex_value(t.at(0)) >= static_cast<int>(std::size(kNames)))
        return {};
    return QString::fromLatin1(kNames[hex_value(t.at(0))]);
}

QString battery_voltage(const QByteArray &answer)
{
    const QByteArray t = answer.trimmed().toUpper();
    if (!t.endsWith('V'))
        return {};
    bool ok = false;
    const double volts = t.chopped(1).toDouble(&ok);
    if (!ok || volts < 0 || volts > 99 || t.size() > 6)
        return {};
    return QString::fromLatin1(t.chopped(1)) + QStringLiteral(" V");
}

bool takes_speed_change(const QString &identity)
{
    if (identity.startsWith(u"STN"))
        return true;
    static const QRegularExpression version(QStringLiteral("^ELM327 v(\\d+)\\.(\\d)"));
    const QRegularExpressionMatch m = version.match(identity);
    if (!m.hasMatch())
        return false;
    const int major = m.captured(1).toInt();
    return major > 1 || (major == 1 && m.captured(2).toInt() >= 2);
}

QByteArray speed_command(bool stn, int baud)
{
    constexpr int kClock = 4'000'000;
    if (stn)
        return "STSBR" + QByteArray::number(baud);
    const int divisor = std::clamp((kClock + baud / 2) / std::max(baud, 1), 0x08, 0xFF);
    return "ATBRD" + hex_text(static_cast<quint32>(divisor));
}

qsizetype identity_end(const QByteArray &answer)
{
    for (const char *name : {"ELM327", "STN"}) {
        const qsizetype at = answer.indexOf(name);
        if (at >= 0)
            return answer.indexOf('\r', at);
    }
    return -1;
}

namespace {

// The timed-out reply for a command (the ECU did not answer).
QByteArray no_answer_reply(const Command &command)
{
    const int length =
        (command.service == 0x05 || command.service == 0x06) ? kO2AnswerLength : command.length;
    QByteArray text(1 + 2 * length + 2, '0');
    text[0] = kLeading;
    text[1] = 'S';
    return text;
}

// Service 09 beyond the VIN is asked of every ECU: each one's answer as the scan interface gives
// it, messages of the header, 49, the info type, a message number and four data bytes, one after
// another. A CAN message (49, info type, item count, items; 00 without a count) is cut into such
// messages; a refusal (7F 09 12) is one message as it came.
QByteArray vehicle_info_reply(const Command &command, const QList<Message> &messages)
{
    QByteArray text;
    for (const Message &m : messages) {
        // The support bytes come without a message number on either bus; the older buses
        // number the other info types' messages themselves.
        const bool numbered = m.source <= 0xFF && command.parameter != 0x00;
        if (numbered || m.data.size() < 2 || quint8(m.data.at(0)) != 0x49) {
            text += framed(fitted(m.header + m.data, command.length)).mid(1);
            continue;
        }
        const QByteArray items =
            command.parameter == 0x00 ? m.data.right(4) : m.data.mid(3); // count left out
        for (qsizetype at = 0, number = 1; at < items.size(); at += 4, ++number) {
            const QByteArray bytes = m.header + m.data.left(2) + static_cast<char>(number) +
                                     items.mid(at, 4).leftJustified(4, '\0');
            text += framed(fitted(bytes, command.length)).mid(1);
        }
    }
    return QByteArray(1, kLeading) + text;
}

} // namespace

QByteArray interface_reply(const Command &command, const Answer &answer, quint32 source)
{
    if (answer.status != Answer::Status::Data || answer.messages.isEmpty())
        return no_answer_reply(command);
    // One ECU answers: the one asked for, else the first that did.
    if (source == 0)
        source = answer.messages.first().source;
    QList<Message> messages;
    for (const Message &m : answer.messages)
        if (m.source == source)
            messages << m;
    if (messages.isEmpty())
        return no_answer_reply(command);
    const Message &first = messages.first();
    const bool can = source > 0xFF;

    if (command.service == 0x09 && command.parameter != 0x02)
        return vehicle_info_reply(command, answer.messages);
    // A permanent-code request the ECU refuses (7F 0A 11) is passed on as it came.
    if (command.service == 0x0A && !first.data.isEmpty() && quint8(first.data.at(0)) == 0x7F)
        return framed(fitted(first.header + first.data, command.length));
    if (command.service == 0x03 || command.service == 0x07 || command.service == 0x0A) {
        QList<QByteArray> codes;
        for (const Message &m : messages) {
            // CAN: the count byte, then the codes; the older buses: three codes a message.
            // Some CAN ECUs leave the count out: the service byte and code pairs alone have
            // an odd length.
            const qsizetype codesFrom = can && m.data.size() % 2 == 0 ? 2 : 1;
            for (qsizetype i = codesFrom; i + 1 < m.data.size(); i += 2) {
                const QByteArray code = m.data.mid(i, 2);
                if (code != QByteArray(2, '\0'))
                    codes << code;
            }
        }
        QByteArray text;
        for (qsizetype start = 0; start == 0 || start < codes.size(); start += kCodeSlots) {
            QByteArray bytes = first.header;
            if (codes.isEmpty())
                bytes[0] = '\xFF'; // no codes
            bytes.append(static_cast<char>(command.service + 0x40));
            for (int slot = 0; slot < kCodeSlots; ++slot)
                bytes += start + slot < codes.size() ? codes.at(start + slot) : QByteArray(2, '\0');
            text += framed(fitted(bytes, command.length));
        }
        return text;
    }
    if (command.service == 0x09 && command.parameter == 0x02) {
        QByteArray characters;
        for (const Message &m : messages)
            characters += m.data.mid(3); // 49 02, then the count (CAN) or message number
        characters.replace('\0', QByteArray());
        if (characters.size() < kVinLength)
            return no_answer_reply(command);
        return QByteArray(1, kLeading) + characters.right(kVinLength);
    }
    if (command.service == 0x05 || command.service == 0x06) {
        // The vehicle's 45, test ID, sensor, results in the interface's layout: a supported
        // test list as 46 00 (sensor, support bytes); a result as the command's service, the
        // test ID and the results. As long as the ECU's answer.
        if (first.data.size() < 3)
            return no_answer_reply(command);
        QByteArray bytes = first.header;
        if (command.parameter == 0x00)
            bytes += '\x46' + first.data.mid(1);
        else
            bytes += static_cast<char>(command.service + 0x40) + first.data.mid(1, 1) +
                     first.data.mid(3);
        return framed(bytes);
    }
    return framed(fitted(first.header + first.data, command.length));
}

} // namespace quorvex::elm
