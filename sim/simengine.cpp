#include "sim/simengine.h"

#include "sim/simreplies.h"
#include "sim/simservices.h"

#include <algorithm>
#include <utility>

namespace quorvex::sim {

namespace {

// Stray characters a noisy line produces between marks. Never "S" or "P": those would be read
// as ready marks.
constexpr char kGarbage[] = {'?', '#', 'Q', '\r', '~', 'z'};

// The interface's own commands: firmware identification and ECU switch are answered, the
// rest of the 0x8x, 0x9x and 0xFx commands are taken without an answer.
constexpr char kFirmwareCommand[] = "900101";
constexpr char kSwitchEcuCommand[] = "800204";
constexpr char kPassThroughCommand[] = "F00504";
constexpr int kBlockBytes = 14;
constexpr qint64 kBlockWaitUs = 1'000'000;

constexpr quint8 kStoredCodesService = 0x03;
constexpr quint8 kClearService = 0x04;
constexpr quint8 kPendingCodesService = 0x07;
// The blank fault puts its blank at character 10 of a code reply (index 9): where a noisy
// interface inserts one ahead of the first code slot.
constexpr int kBlankIndex = 9;

} // namespace

Engine::Engine(Scenario scenario, Options options) : PacedDevice(std::move(scenario), options) {}

void Engine::receive(const QByteArray &bytes, qint64 nowUs)
{
    advance(nowUs);
    for (const char c : bytes) {
        if (inPassThrough(m_lastNowUs)) {
            m_block.append(c);
            if (m_block.size() == kBlockBytes)
                handleBlock(std::exchange(m_block, QByteArray()), m_lastNowUs);
            continue;
        }
        if (!isUpperHexDigit(c))
            continue;
        m_input.append(c);
        if (m_input.size() == 6) {
            handleCommand(m_input, m_lastNowUs);
            m_input.clear();
        }
    }
}

qint64 Engine::nextEventUs() const
{
    if (const std::optional<qint64> due = lineEventUs())
        return *due;
    if (isSilent() || !m_options.readyMarks)
        return -1;
    if (m_restartMarks)
        return m_lastNowUs;
    if (m_faults.garbage && m_garbageAtUs >= 0)
        return std::min(m_garbageAtUs, m_nextMarkUs);
    return m_nextMarkUs;
}

char Engine::readyMark(qint64 nowUs)
{
    advance(nowUs);
    if (m_hungUp || m_hangUpAtUs >= 0 || isSilent() || !m_out.isEmpty() || inPassThrough(nowUs))
        return 0;
    return hasContact() ? 'S' : 'P';
}

void Engine::setFaults(const Faults &faults)
{
    // Marks restart from the next call's time, not from a schedule that went stale while the
    // interface was silent (which would burst the missed marks out at once).
    if (m_faults.silent && !faults.silent)
        m_restartMarks = true;
    m_faults = faults;
    // A pending hang-up is worked out again against the new count on the next call.
    if (!m_hungUp)
        m_hangUpAtUs = -1;
}

int Engine::activeEcu() const
{
    return m_activeEcu;
}

void Engine::advance(qint64 nowUs)
{
    if (m_lastNowUs < 0)
        m_nextMarkUs = nowUs + markIntervalUs();
    nowUs = startClock(nowUs);
    if (m_hungUp)
        return;
    if (isSilent()) {
        // A silent interface drops whatever it was about to send.
        m_out.dropPending(nowUs);
        m_garbageAtUs = -1;
    }
    if (m_restartMarks && !isSilent()) {
        m_restartMarks = false;
        m_nextMarkUs = std::max(nowUs, m_out.freeUs()) + markIntervalUs();
    }
    scheduleHangUpIfDue(nowUs);

    for (;;) {
        m_out.release(nowUs, &m_ready);
        if (!m_out.isEmpty())
            return;
        if (m_hangUpAtUs >= 0) {
            // No marks once the hang-up is pending: the interface is going away.
            m_hungUp = nowUs >= m_hangUpAtUs;
            return;
        }
        if (isSilent())
            return;
        if (inPassThrough(nowUs)) {
            m_nextMarkUs = std::max(m_nextMarkUs, m_passThroughUntilUs + markIntervalUs());
            return;
        }
        if (!m_options.readyMarks)
            return;

        // Idle line: marks, and with the garbage fault a stray character half-way between.
        const bool garbageNext = m_faults.garbage && m_garbageAtUs >= 0;
        const qint64 atUs = garbageNext ? m_garbageAtUs : m_nextMarkUs;
        if (atUs > nowUs)
            return;
        if (garbageNext) {
            queue(QByteArray(1, kGarbage[m_garbageIndex]), atUs);
            m_garbageIndex = (m_garbageIndex + 1) % static_cast<int>(sizeof kGarbage);
            m_garbageAtUs = -1;
        } else {
            queue(QByteArray(1, hasContact() ? 'S' : 'P'), atUs);
            m_nextMarkUs = atUs + markIntervalUs();
            m_garbageAtUs = m_faults.garbage ? atUs + markIntervalUs() / 2 : -1;
        }
    }
}

void Engine::handleCommand(const QByteArray &command, qint64 nowUs)
{
    keepCommand(command);
    if (m_hungUp || m_hangUpAtUs >= 0)
        return; // the interface is about to hang up and takes nothing more
    ++m_commandCount;

    qint64 delayUs = 0;
    QByteArray reply = isSilent() ? QByteArray() : answer(command, nowUs, &delayUs);
    if (!reply.isEmpty()) {
        if (m_faults.strayLeadingS > 0) {
            --m_faults.strayLeadingS;
            reply.prepend('S');
        } else if (m_faults.strayMarkBefore.contains(QString::fromLatin1(command))) {
            reply.prepend('S');
        }
        queue(reply, std::max(nowUs, m_out.freeUs()) + delayUs);
    }
    // Marks pause while the command is handled and resume one interval after its reply.
    m_nextMarkUs = std::max(nowUs, m_out.freeUs()) + markIntervalUs();
    m_garbageAtUs = -1;
    scheduleHangUpIfDue(nowUs);
}

bool Engine::inPassThrough(qint64 nowUs) const
{
    return m_passThroughUntilUs >= 0 && nowUs <= m_passThroughUntilUs;
}

void Engine::handleBlock(const QByteArray &block, qint64 nowUs)
{
    // Block: 1, the message length, three header bytes, service, test ID, component ID, zeros.
    m_passThroughUntilUs = -1;
    QByteArray reply;
    if (!m_scenario.ecus.isEmpty() && hasContact() && !m_faults.ecuTimeout)
        reply = mode6Reply(m_scenario.ecus[m_activeEcu], static_cast<quint8>(block.at(5)),
                           static_cast<quint8>(block.at(6)), static_cast<quint8>(block.at(7)));
    else
        reply = QByteArray(13, '\0'); // nothing from the vehicle: no positive response
    queue(reply, std::max(nowUs, m_out.freeUs()) + vehicleLatencyUs());
    m_nextMarkUs = m_out.freeUs() + markIntervalUs();
}

QByteArray Engine::o2TestAnswer(quint8 service, quint8 tid, quint8 sensor, qint64 nowUs)
{
    constexpr int kAnswerLength = 9; // the length of a support answer, for the marked replies
    if (!hasContact() || m_faults.ecuTimeout || m_scenario.ecus.isEmpty())
        return timeoutReply(kAnswerLength);
    if (m_faults.retryReplies > 0) {
        --m_faults.retryReplies;
        return retryReply(kAnswerLength);
    }
    const Ecu &ecu = m_scenario.ecus[m_activeEcu];
    const QByteArray message =
        o2TestMessage(ecu, service, tid, sensor, momentOf(nowUs, m_activeEcu));
    return message.isEmpty() ? timeoutReply(kAnswerLength)
                             : vehicleReply(message, static_cast<int>(message.size()));
}

QByteArray Engine::answer(const QByteArray &command, qint64 nowUs, qint64 *delayUs)
{
    if (command == kFirmwareCommand)
        return m_scenario.firmware.toLatin1();
    if (command == kPassThroughCommand) {
        // Acknowledged with "A" and the protocol code, or refused.
        if (m_scenario.passThrough < 0)
            return QByteArray(1, kLeading) + "N0";
        m_passThroughUntilUs = nowUs + kBlockWaitUs;
        m_block.clear();
        return QByteArray(1, kLeading) + 'A' + char('0' + m_scenario.passThrough % 10);
    }
    if (command == kSwitchEcuCommand) {
        // Two ECUs toggle; with one the interface stays where it is. The answer names the now
        // active ECU and holds neither "S" nor "P".
        if (!m_scenario.ecus.isEmpty())
            m_activeEcu = (m_activeEcu + 1) % static_cast<int>(m_scenario.ecus.size());
        return "OK" + QByteArray::number(m_activeEcu + 1);
    }
    const QByteArray raw = QByteArray::fromHex(command);
    const auto service = static_cast<quint8>(raw.at(0));
    const auto pid = static_cast<quint8>(raw.at(1));
    const auto length = static_cast<quint8>(raw.at(2));
    const int group = service >> 4;
    if (group == 0x8 || group == 0x9 || group == 0xF)
        return {};

    *delayUs = vehicleLatencyUs();
    // The O2 sensor test commands carry the sensor where others carry the length.
    if (service == 0x05 || service == 0x06)
        return o2TestAnswer(service, pid, length, nowUs);
    if (service == kStoredCodesService)
        *delayUs += qint64(std::max(m_faults.codesLatencyMs, 0)) * 1000;
    if (!hasContact() || m_faults.ecuTimeout)
        return timeoutReply(length);
    if (m_faults.retryReplies > 0) {
        --m_faults.retryReplies;
        return retryReply(length);
    }
    QByteArray reply = vehicleAnswer(service, pid, length, nowUs);
    if (reply.isEmpty())
        return timeoutReply(length);
    if ((service == kStoredCodesService || service == kPendingCodesService) &&
        m_faults.blankAt10 > 0) {
        --m_faults.blankAt10;
        if (reply.size() >= kBlankIndex)
            reply.insert(kBlankIndex, ' ');
    }
    return reply;
}

// The vehicle's reply, or empty when the ECU stays silent (the interface then reports an ECU
// time-out).
QByteArray Engine::vehicleAnswer(quint8 service, quint8 pid, int length, qint64 nowUs)
{
    if (m_scenario.ecus.isEmpty())
        return {};
    Ecu &ecu = m_scenario.ecus[m_activeEcu];
    if (service == kClearService) {
        const QByteArray message = clearMessage(ecu, m_faults.clearRejected);
        if (!m_faults.clearRejected) {
            clearDiagnosticMemory(&ecu);
            m_clearedAtUs[m_activeEcu] = nowUs;
        }
        return vehicleReply(message, length);
    }
    if (service == 0x09 && pid == 0x02) {
        const QByteArray vin = m_scenario.vin.toLatin1();
        switch (m_scenario.vinForm) {
        case VinForm::Short:
            return vinShortReply(vin);
        case VinForm::Long:
            return vinLongReply(ecu.address, vin);
        case VinForm::None:
            return {};
        }
    }
    if (service == 0x09)
        return vehicleInfoAnswer(pid, length);
    // The O2 sensor tests (service 05) and the rest are not modelled: the ECU stays silent.
    const QByteArray message = serviceMessage(ecu, service, pid, momentOf(nowUs, m_activeEcu));
    return message.isEmpty() ? QByteArray() : vehicleReply(message, length);
}

// Service 09 beyond the VIN is asked of every ECU at once: each answering ECU's messages, each
// cut or padded to `length` bytes and framed, one after another behind one leading character.
QByteArray Engine::vehicleInfoAnswer(quint8 infoType, int length) const
{
    QByteArray text;
    for (const Ecu &ecu : m_scenario.ecus) {
        const QByteArray head = QByteArray("\x48\x6B", 2) + static_cast<char>(ecu.address);
        for (const QByteArray &message :
             vehicleInfoMessages(ecu, infoType, true, m_scenario.vinForm != VinForm::None))
            text += vehicleReply(head + message, length).mid(1);
    }
    return text.isEmpty() ? QByteArray() : kLeading + text;
}

void Engine::scheduleHangUpIfDue(qint64 nowUs)
{
    if (m_hungUp || m_hangUpAtUs >= 0 || m_faults.disconnectAfter < 0 ||
        m_commandCount < m_faults.disconnectAfter) {
        return;
    }
    m_hangUpAtUs = std::max(nowUs, m_out.freeUs());
}

qint64 Engine::markIntervalUs() const
{
    if (m_options.markIntervalUs > 0)
        return m_options.markIntervalUs;
    return std::max(m_scenario.markIntervalMs, 1) * qint64(1000);
}

} // namespace quorvex::sim
