// The ELM327 adapter's own commands: AT (the ELM327 set) and ST (the STN1110's additions).

#include "sim/simelm.h"

#include <algorithm>
#include <iterator>

namespace quorvex::sim {

namespace {

using Chip = ElmOptions::Chip;

// The data sheet version that introduced a command: the clone implements the v1.0 to v1.3
// set, the v1.4b chip up to its own, the STN1110 everything here.
enum class Since { V10, V14, V20 };

Since levelOf(Chip chip)
{
    switch (chip) {
    case Chip::Clone15:
        return Since::V10;
    case Chip::Elm14b:
        return Since::V14;
    case Chip::Stn1110:
        return Since::V20;
    }
    return Since::V10;
}

// Settings without an effect on this car: accepted with "OK" when followed by exactly `digits`
// hex digits (-1: one to six bytes).
struct Setting
{
    const char *name;
    int digits;
    Since since;
};

constexpr Setting kSettings[] = {
    {"AL", 0, Since::V10},   {"NL", 0, Since::V10},   {"M0", 0, Since::V10},
    {"M1", 0, Since::V10},   {"R0", 0, Since::V10},   {"R1", 0, Since::V10},
    {"V0", 0, Since::V10},   {"V1", 0, Since::V10},   {"D0", 0, Since::V10},
    {"D1", 0, Since::V10},   {"AT0", 0, Since::V10},  {"AT1", 0, Since::V10},
    {"AT2", 0, Since::V10},  {"CFC0", 0, Since::V10}, {"CFC1", 0, Since::V10},
    {"BI", 0, Since::V10},   {"FE", 0, Since::V10},   {"KW0", 0, Since::V10},
    {"KW1", 0, Since::V10},  {"IB10", 0, Since::V10}, {"IB48", 0, Since::V10},
    {"IB96", 0, Since::V10}, {"SI", 0, Since::V10},   {"FI", 0, Since::V10},
    {"SW", 2, Since::V10},   {"CP", 2, Since::V10},   {"CF", 3, Since::V10},
    {"CF", 8, Since::V10},   {"CM", 3, Since::V10},   {"CM", 8, Since::V10},
    {"WM", -1, Since::V10},  {"FCSH", 3, Since::V10}, {"FCSD", -1, Since::V10},
    {"FCSM", 1, Since::V10}, {"TA", 2, Since::V10},   {"IIA", 2, Since::V10},
    {"SS", 0, Since::V14},   {"CSM0", 0, Since::V14}, {"CSM1", 0, Since::V14},
    {"PB", 4, Since::V14},   {"AMT", 2, Since::V20},
};

constexpr const char *kProtocolNames[] = {
    "",
    "SAE J1850 PWM",
    "SAE J1850 VPW",
    "ISO 9141-2",
    "ISO 14230-4 (KWP 5BAUD)",
    "ISO 14230-4 (KWP FAST)",
    "ISO 15765-4 (CAN 11/500)",
    "ISO 15765-4 (CAN 29/500)",
    "ISO 15765-4 (CAN 11/250)",
    "ISO 15765-4 (CAN 29/250)",
    "SAE J1939 (CAN 29/250)",
    "USER1 (CAN 11*/125)",
    "USER2 (CAN 11*/50)",
};

constexpr char kStnFirmware[] = "STN1110 v4.2.0";
// ATBRD divides this clock; 08 (500 kbaud) is the fastest divisor.
constexpr int kBrdClock = 4'000'000;
constexpr int kMinDivisor = 0x08;
// What STSBR accepts.
constexpr int kStnMinBaud = 9600;
constexpr int kStnMaxBaud = 2'000'000;
constexpr qint64 kHandshakeUnitUs = 5000;

QByteArray identityOf(Chip chip)
{
    return chip == Chip::Clone15 ? "ELM327 v1.5" : "ELM327 v1.4b";
}

bool isHex(const QByteArray &text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

// The value of exactly `digits` hex digits after `name`, or -1.
int argumentOf(const QByteArray &command, const char *name, std::initializer_list<int> digits)
{
    if (!command.startsWith(name))
        return -1;
    const QByteArray argument = command.mid(qstrlen(name));
    if (!isHex(argument) ||
        std::find(digits.begin(), digits.end(), argument.size()) == digits.end())
        return -1;
    return static_cast<int>(argument.toLongLong(nullptr, 16) & 0x7FFFFFFF);
}

bool isAcceptedSetting(const QByteArray &command, Since level)
{
    return std::any_of(std::begin(kSettings), std::end(kSettings), [&](const Setting &s) {
        if (s.since > level || !command.startsWith(s.name))
            return false;
        const QByteArray argument = command.mid(qstrlen(s.name));
        if (!isHex(argument))
            return false;
        return s.digits < 0
                   ? argument.size() >= 2 && argument.size() <= 12 && argument.size() % 2 == 0
                   : argument.size() == s.digits;
    });
}

} // namespace

ElmEngine::Answer ElmEngine::atAnswer(const QByteArray &command, qint64 nowUs)
{
    const Chip chip = m_options.elm.chip;
    const QByteArray id = identityOf(chip);
    const Since level = levelOf(chip);

    if (command == "Z" || command == "WS") {
        reset();
        if (command == "Z")
            m_uartBaud = m_powerOnBaud; // the full reset returns to the power-on speed
        // Only the full reset takes its time (the power-on LED test); input is lost meanwhile.
        const qint64 delayUs =
            command == "Z" ? qint64(std::max(m_options.elm.resetMs, 0)) * 1000 : 0;
        m_resetUntilUs = nowUs + delayUs;
        return {"\r\r" + id, delayUs};
    }
    if (command == "D") {
        reset(); // the defaults turn the echo back on; the answer starts a line of its own
        return {"\rOK"};
    }
    if (command == "I")
        return {id};
    if (command == "@1")
        return {"OBDII to RS232 Interpreter"};
    if (command == "RV")
        return {"12.6V"};
    if (command == "IGN" && level >= Since::V14)
        return {"ON"};
    if (command == "DP" || command == "DPN")
        return {describeProtocol(command == "DPN")};
    if (command == "PC") {
        m_connected = false; // the next request initialises the bus again
        return {"OK"};
    }
    if (command == "AR") {
        m_settings.canFilter = -1;
        m_settings.isoFilter = -1;
        return {"OK"};
    }
    if (command.startsWith("SP") || command.startsWith("TP"))
        return {setProtocol(command.mid(2)) ? "OK" : "?"};

    // One-digit switches.
    const struct
    {
        const char *name;
        bool Settings::*member;
    } switches[] = {{"E", &Settings::echo},
                    {"L", &Settings::linefeeds},
                    {"S", &Settings::spaces},
                    {"H", &Settings::headers},
                    {"CAF", &Settings::canAutoFormat}};
    for (const auto &s : switches) {
        if (command.size() == qsizetype(qstrlen(s.name)) + 1 && command.startsWith(s.name) &&
            (command.back() == '0' || command.back() == '1')) {
            m_settings.*s.member = command.back() == '1';
            return {"OK"};
        }
    }

    if (const int units = argumentOf(command, "BRT", {2}); units >= 0) {
        m_settings.handshakeUnits = units == 0 ? Settings{}.handshakeUnits : units;
        return {"OK"};
    }
    if (const int units = argumentOf(command, "ST", {2}); units >= 0) {
        m_settings.timeoutUnits = units == 0 ? Settings{}.timeoutUnits : units;
        return {"OK"};
    }
    if (const int header = argumentOf(command, "SH", {3, 6, 8}); header >= 0) {
        m_settings.header = header;
        return {"OK"};
    }
    if (command == "CRA") {
        m_settings.canFilter = -1;
        return {"OK"};
    }
    if (const int filter = argumentOf(command, "CRA", {3, 8}); filter >= 0) {
        m_settings.canFilter = filter;
        return {"OK"};
    }
    int source = argumentOf(command, "SR", {2});
    if (source < 0)
        source = argumentOf(command, "RA", {2});
    if (source >= 0) {
        m_settings.isoFilter = source;
        return {"OK"};
    }
    if (isAcceptedSetting(command, level))
        return {"OK"};
    return {"?"};
}

QByteArray ElmEngine::stAnswer(const QByteArray &command) const
{
    if (m_options.elm.chip == Chip::Stn1110 && (command == "I" || command == "DI"))
        return kStnFirmware;
    return "?";
}

bool ElmEngine::speedCommand(const QByteArray &command, qint64 nowUs)
{
    int baud = 0;
    QByteArray id;
    if (const int divisor = argumentOf(command, "ATBRD", {2}); divisor >= 0) {
        baud = divisor >= kMinDivisor ? kBrdClock / divisor : 0;
        id = identityOf(m_options.elm.chip);
    } else if (m_options.elm.chip == Chip::Stn1110 && command.startsWith("STSBR")) {
        bool ok = false;
        const int value = command.mid(5).toInt(&ok);
        baud = ok && value >= kStnMinBaud && value <= kStnMaxBaud ? value : 0;
        id = kStnFirmware;
    } else {
        return false;
    }
    if (baud == 0 || m_options.elm.speedChange == ElmOptions::SpeedChange::Refused)
        sendAnswer("?", nowUs);
    else if (m_options.elm.speedChange == ElmOptions::SpeedChange::Ignored)
        sendAnswer("OK", nowUs);
    else
        changeSpeed(baud, id, nowUs);
    return true;
}

void ElmEngine::changeSpeed(int baud, const QByteArray &id, qint64 nowUs)
{
    const int oldBaud = currentBaud();
    if (m_uartBaud == 0)
        m_powerOnBaud = m_lineBaud; // the speed the program found it at is the power-on one
    m_speedChange = {true, m_uartBaud, oldBaud, 0};
    const qint64 okUs = send("OK\r", nowUs, oldBaud);
    m_uartBaud = baud;
    const qint64 idUs = send(id + '\r', okUs + kSwitchGapUs);
    m_speedChange.untilUs = idUs + m_settings.handshakeUnits * kHandshakeUnitUs;
}

void ElmEngine::endSpeedChange(bool kept, qint64 nowUs)
{
    m_speedChange.active = false;
    if (kept) {
        sendAnswer("OK", nowUs);
        return;
    }
    m_uartBaud = m_speedChange.previousBaud;
    send("\r>", nowUs, m_speedChange.oldBaud);
}

void ElmEngine::reset()
{
    m_settings = Settings{};
    m_connected = false;
}

bool ElmEngine::setProtocol(const QByteArray &argument)
{
    // "h", or "Ah": h, searching for another if it does not answer. 0 is the search itself.
    const bool automatic = argument.size() == 2 && argument.at(0) == 'A';
    const QByteArray digit = automatic ? argument.mid(1) : argument;
    bool ok = false;
    const int protocol = digit.toInt(&ok, 16);
    if (digit.size() != 1 || !ok || protocol < 0 || protocol > 0xC)
        return false;
    m_settings.protocol = digit.at(0);
    m_settings.automatic = automatic || protocol == 0;
    m_connected = false;
    return true;
}

QByteArray ElmEngine::describeProtocol(bool number) const
{
    const char protocol = m_settings.protocol;
    if (number)
        return m_settings.automatic ? QByteArray("A") + protocol : QByteArray(1, protocol);
    if (protocol == '0')
        return "AUTO";
    const QByteArray name = kProtocolNames[QByteArray(1, protocol).toInt(nullptr, 16)];
    return m_settings.automatic ? "AUTO, " + name : name;
}

} // namespace quorvex::sim
