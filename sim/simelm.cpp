#include "sim/simelm.h"

#include "sim/simelmbus.h"
#include "sim/simservices.h"

#include <algorithm>
#include <utility>

namespace quorvex::sim {

namespace {

// Longer lines overflow the adapter's input buffer and are answered "?".
constexpr qsizetype kMaxLine = 128;
// A request is at most 7 bytes: what one CAN frame carries after its PCI byte.
constexpr qsizetype kMaxRequestBytes = 7;
constexpr qint64 kTimeoutUnitUs = 4000;

} // namespace

ElmEngine::ElmEngine(Scenario scenario, Options options) : PacedDevice(std::move(scenario), options)
{
}

void ElmEngine::receive(const QByteArray &bytes, qint64 nowUs)
{
    advance(nowUs);
    if (misheard())
        return; // framing errors: nothing of it reaches the adapter
    for (const char c : bytes)
        takeCharacter(c, m_lastNowUs);
    flushEcho(m_lastNowUs);
}

qint64 ElmEngine::nextEventUs() const
{
    const qint64 lineUs = lineEventUs().value_or(-1); // an idle adapter sends nothing of its own
    if (!m_speedChange.active || m_hungUp)
        return lineUs;
    // A speed change gives up at its time.
    return lineUs < 0 ? m_speedChange.untilUs : std::min(lineUs, m_speedChange.untilUs);
}

bool ElmEngine::misheard() const
{
    return m_uartBaud > 0 && m_lineBaud > 0 && !PacedLine::speedsMatch(m_uartBaud, m_lineBaud);
}

void ElmEngine::setFaults(const Faults &faults)
{
    m_faults = faults;
    if (m_hungUp)
        return;
    // A pending hang-up is worked out again against the new count.
    m_hangUpAtUs = -1;
    scheduleHangUpIfDue();
}

int ElmEngine::activeEcu() const
{
    for (int ecu = 0; ecu < m_scenario.ecus.size(); ++ecu) {
        if (m_options.elm.bus != elm::Bus::Can11_500) {
            if (m_settings.isoFilter == m_scenario.ecus[ecu].address)
                return ecu;
        } else if (m_settings.canFilter >= 0 ? m_settings.canFilter == elm::kCanReplyId + ecu
                                             : canHeader() == elm::kCanRequestId + ecu) {
            return ecu;
        }
    }
    return 0;
}

void ElmEngine::advance(qint64 nowUs)
{
    nowUs = startClock(nowUs);
    if (m_hungUp)
        return;
    // It powered up at the first speed its line is known to run at.
    if (m_uartBaud == 0 && m_lineBaud > 0)
        m_uartBaud = m_powerOnBaud = m_lineBaud;
    if (m_faults.silent) {
        // A silent adapter drops whatever it was about to send.
        m_out.dropPending(nowUs);
        m_busyUntilUs = -1;
    }
    if (m_speedChange.active && nowUs >= m_speedChange.untilUs)
        endSpeedChange(false, m_speedChange.untilUs);
    const qsizetype before = m_ready.size();
    m_out.release(nowUs, &m_ready, m_lineBaud);
    if (m_ready.size() > before)
        m_lastSent = m_ready.back();
    if (m_hangUpAtUs >= 0 && m_out.isEmpty() && nowUs >= m_hangUpAtUs)
        m_hungUp = true;
}

void ElmEngine::takeCharacter(char c, qint64 nowUs)
{
    if (m_hungUp || m_hangUpAtUs >= 0 || nowUs < m_resetUntilUs)
        return; // going away, or busy resetting: the character is lost
    if (m_speedChange.active) {
        if (c == '\r')
            endSpeedChange(true, nowUs); // the program follows: the new speed stays
        return;
    }
    if (nowUs < m_busyUntilUs) {
        interrupt(nowUs);
        m_discardLine = c != '\r';
        return;
    }
    if (m_discardLine) {
        m_discardLine = c != '\r';
        return;
    }
    if (c == '\r') {
        handleLine(nowUs);
        return;
    }
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x20 || code == 0x7F)
        return; // LF and the other control characters are ignored
    if (m_settings.echo && !m_faults.silent)
        m_echo.append(c);
    if (m_line.size() < kMaxLine)
        m_line.append(c);
    else
        m_lineTooLong = true;
}

void ElmEngine::handleLine(qint64 nowUs)
{
    const QByteArray raw = std::exchange(m_line, QByteArray());
    const bool tooLong = std::exchange(m_lineTooLong, false);
    keepCommand(raw);
    if (m_faults.silent)
        return;
    if (m_settings.echo)
        m_echo.append('\r');
    flushEcho(nowUs);

    QByteArray command = raw.toUpper();
    command.replace(' ', QByteArray());
    if (command.isEmpty())
        command = m_lastCommand; // a bare CR repeats the last command
    else if (!tooLong)
        m_lastCommand = command;
    if (tooLong || command.isEmpty()) {
        sendAnswer("?", nowUs);
        return;
    }
    if (speedCommand(command, nowUs))
        return;
    if (command.startsWith("AT")) {
        const Answer answer = atAnswer(command.mid(2), nowUs);
        sendAnswer(answer.text, nowUs + answer.delayUs);
    } else if (command.startsWith("ST")) {
        sendAnswer(stAnswer(command.mid(2)), nowUs);
    } else {
        handleRequest(command, nowUs);
    }
}

void ElmEngine::handleRequest(const QByteArray &command, qint64 nowUs)
{
    // Hex digit pairs, then optionally the number of answers to wait for (1 to F).
    int wanted = 0;
    QByteArray digits = command;
    if (digits.size() % 2 == 1) {
        wanted = QByteArray(1, digits.back()).toInt(nullptr, 16);
        digits.chop(1);
    }
    const bool valid = std::all_of(command.begin(), command.end(), isUpperHexDigit) &&
                       !digits.isEmpty() && digits.size() <= 2 * kMaxRequestBytes &&
                       (command.size() % 2 == 0 || wanted > 0);
    if (!valid) {
        sendAnswer("?", nowUs);
        return;
    }
    const QByteArray request = QByteArray::fromHex(digits);
    ++m_answers;

    qint64 atUs = std::max(nowUs, m_out.freeUs());
    if (!m_connected) {
        if (m_settings.automatic)
            send("SEARCHING...\r", atUs);
        atUs += searchUs();
        QByteArray status;
        const QByteArray failure = connectBus(&status);
        if (!failure.isEmpty()) {
            m_busyUntilUs = sendAnswer(failure, atUs);
            scheduleHangUpIfDue();
            return;
        }
        send(status, atUs);
    } else if (!hasContact() && m_options.elm.bus == elm::Bus::Can11_500) {
        // Nothing acknowledges the frames any more.
        m_busyUntilUs = sendAnswer("CAN ERROR", atUs);
        scheduleHangUpIfDue();
        return;
    }

    int count = 0;
    const QByteArray lines = vehicleLines(request, wanted, &count, nowUs);
    if (count == 0) {
        m_busyUntilUs = sendAnswer("NO DATA", atUs + timeoutUs());
    } else {
        qint64 answerUs = atUs + vehicleLatencyUs();
        if (request.at(0) == 0x03)
            answerUs += qint64(std::max(m_faults.codesLatencyMs, 0)) * 1000;
        send(lines, answerUs);
        // With the expected number of answers in there is nothing more to wait for.
        m_busyUntilUs =
            send("\r>", wanted > 0 && count >= wanted ? answerUs : answerUs + timeoutUs());
    }
    scheduleHangUpIfDue();
}

QByteArray ElmEngine::connectBus(QByteArray *status)
{
    const bool reachable = hasContact() && !m_scenario.ecus.isEmpty();
    const char car = carProtocol();
    if (m_settings.automatic) {
        // The search goes on silently; nothing but its outcome is reported.
        if (!reachable)
            return "UNABLE TO CONNECT";
        m_settings.protocol = car;
        m_connected = true;
        return {};
    }
    const char protocol = m_settings.protocol;
    const bool onKLine = protocol == '3' || protocol == '4' || protocol == '5';
    // A slow initialisation prints its dots as it goes, the fast one (5) none; the clone none at
    // all.
    const QByteArray busInit = protocol == '5' || m_options.elm.chip == ElmOptions::Chip::Clone15
                                   ? "BUS INIT: "
                                   : "BUS INIT: ...";
    if (protocol == car && reachable) {
        if (onKLine)
            *status = busInit + "OK\r";
        m_connected = true;
        return {};
    }
    if (onKLine)
        return busInit + "ERROR";
    return protocol == '1' || protocol == '2' ? "NO DATA" : "CAN ERROR";
}

QByteArray ElmEngine::vehicleLines(const QByteArray &request, int wanted, int *count, qint64 nowUs)
{
    if (!hasContact() || m_faults.ecuTimeout)
        return {};
    const elm::Bus bus = m_options.elm.bus;
    const elm::LineFormat format{m_settings.headers, m_settings.spaces, m_settings.canAutoFormat};
    QByteArray text;
    for (int ecu = 0; ecu < m_scenario.ecus.size(); ++ecu) {
        if (!receives(ecu))
            continue;
        QList<QByteArray> messages;
        if (request == QByteArray(1, 0x04)) {
            // Every ECU that hears the request clears, whether or not its answer is shown.
            Ecu &target = m_scenario.ecus[ecu];
            messages = {clearMessage(target, m_faults.clearRejected).mid(3)};
            if (!m_faults.clearRejected) {
                clearDiagnosticMemory(&target);
                m_clearedAtUs[ecu] = nowUs;
            }
        } else {
            messages = elm::ecuMessages(m_scenario, ecu, bus, request, momentOf(nowUs, ecu),
                                        m_options.elm.packing);
        }
        if (!shows(ecu))
            continue;
        for (const QByteArray &message : messages) {
            if (wanted > 0 && *count >= wanted)
                return text;
            text += bus == elm::Bus::Can11_500
                        ? elm::canLines(elm::kCanReplyId + ecu, message, format)
                        : elm::busLine(bus, m_scenario.ecus[ecu].address, message, format);
            ++*count;
        }
    }
    return text;
}

void ElmEngine::interrupt(qint64 nowUs)
{
    // What is due by now has gone out; the rest of the answer never will.
    m_out.dropPending(nowUs);
    m_busyUntilUs = -1;
    // Stopped in the middle of a line, the adapter ends that line first.
    const bool atLineStart = m_lastSent == '\r' || m_lastSent == '\n' || m_lastSent == '>';
    sendAnswer(atLineStart ? "STOPPED" : "\rSTOPPED", nowUs);
}

bool ElmEngine::receives(int ecu) const
{
    // Off CAN every ECU hears the functional request (if its header is the bus's); on CAN a
    // physical header picks one.
    if (m_options.elm.bus != elm::Bus::Can11_500)
        return elm::takesHeader(m_options.elm.bus, m_settings.header);
    const int header = canHeader();
    return header == elm::kCanFunctionalId || header == elm::kCanRequestId + ecu;
}

bool ElmEngine::shows(int ecu) const
{
    if (m_options.elm.bus != elm::Bus::Can11_500)
        return m_settings.isoFilter < 0 || m_settings.isoFilter == m_scenario.ecus[ecu].address;
    return m_settings.canFilter < 0 || m_settings.canFilter == elm::kCanReplyId + ecu;
}

int ElmEngine::canHeader() const
{
    // An 11-bit ID is the header's last three digits.
    return m_settings.header < 0 ? elm::kCanFunctionalId : m_settings.header & 0x7FF;
}

qint64 ElmEngine::send(const QByteArray &text, qint64 startUs, int speed)
{
    QByteArray bytes = text;
    if (m_settings.linefeeds)
        bytes.replace("\r", "\r\n");
    return queue(bytes, startUs, speed < 0 ? m_uartBaud : speed);
}

qint64 ElmEngine::sendAnswer(const QByteArray &text, qint64 startUs)
{
    return send(text + "\r\r>", startUs);
}

void ElmEngine::flushEcho(qint64 nowUs)
{
    if (!m_echo.isEmpty())
        send(std::exchange(m_echo, QByteArray()), nowUs);
}

void ElmEngine::scheduleHangUpIfDue()
{
    if (m_hungUp || m_hangUpAtUs >= 0 || m_faults.disconnectAfter < 0 ||
        m_answers < m_faults.disconnectAfter) {
        return;
    }
    m_hangUpAtUs = std::max(m_lastNowUs, m_out.freeUs());
}

char ElmEngine::carProtocol() const
{
    return elm::protocolDigit(m_options.elm.bus);
}

qint64 ElmEngine::timeoutUs() const
{
    return m_settings.timeoutUnits * kTimeoutUnitUs;
}

qint64 ElmEngine::searchUs() const
{
    return paceBaud() > 0 ? kSearchUs : 0;
}

AnyEngine makeEngine(Scenario scenario, Options options)
{
    if (options.personality == Personality::Elm327)
        return ElmEngine(std::move(scenario), options);
    if (options.personality == Personality::Replay)
        return ReplayEngine(options);
    return Engine(std::move(scenario), options);
}

} // namespace quorvex::sim
