#include "link/elm327/elm327transport.h"

#include <cctype>
#include <utility>

namespace quorvex {

namespace {

constexpr qsizetype kInputLimit = 4096;

} // namespace

Elm327Transport::Elm327Transport(Clock &clock, QObject *parent)
    : Transport(parent), m_clock(clock), m_stepTimer(clock)
{
}

void Elm327Transport::open(std::unique_ptr<Transport> line)
{
    close();
    m_line = std::move(line);
    connect(m_line.get(), &Transport::arrived, this, &Elm327Transport::onArrived);
    connect(m_line.get(), &Transport::lost, this, [this](const QString &reason) {
        close();
        emit lost(reason);
    });
    const qint64 now = m_clock.nowMs();
    m_lastMarkMs = now - kMarkMs;
    m_lastProbeMs = now;
    setUp();
}

void Elm327Transport::close()
{
    // The line itself stays until the next open: this may run inside its own signal.
    if (m_line)
        m_line->close();
    m_stepTimer.stop();
    m_steps.clear();
    m_stepRunning = false;
    m_answer.clear();
    m_commandsWaiting = 0;
    m_command.clear();
    m_input.clear();
    m_passThrough = false;
    m_phase = Phase::Closed;
    m_identity.clear();
    m_bus = elm::Bus::Unknown;
    m_reachable = true;
    m_ecus.clear();
    m_selected = 0;
    m_hintsRefused = 0;
    m_answering.clear();
}

void Elm327Transport::setUp()
{
    m_phase = Phase::SettingUp;
    ask({"ATZ", kResetMs, [this](const QByteArray &answer, bool timedOut) {
             for (const QByteArray &line : elm::answer_lines(answer, "ATZ"))
                 if (line.contains("ELM327"))
                     m_identity = QString::fromLatin1(line);
             if (timedOut && m_identity.isEmpty()) {
                 m_steps.clear();
                 m_phase = Phase::Failed; // nothing answers on this port
             }
         }});
    // Echo, line feeds, spaces off (spaces stay on where the adapter refuses), headers on,
    // the bus found automatically. An STN chip names itself to STDI; others answer "?".
    for (const char *line : {"ATE0", "ATL0", "ATS0", "ATH1", "ATSP0"})
        ask({line, kAnswerMs, {}});
    ask({"STDI", kAnswerMs, [this](const QByteArray &answer, bool) {
             const QList<QByteArray> lines = elm::answer_lines(answer, "STDI");
             if (!lines.isEmpty() && lines.first().startsWith("STN"))
                 m_identity = QString::fromLatin1(lines.first());
         }});
    search();
}

void Elm327Transport::search()
{
    // The first request searches the buses and shows who answers; which bus it found says how
    // to read the answer.
    ask({"0100", kSearchMs, [this](const QByteArray &answer, bool) {
             askFirst({"ATDPN", kAnswerMs, [this, answer](const QByteArray &number, bool) {
                           const QList<QByteArray> lines = elm::answer_lines(number, "ATDPN");
                           m_bus = lines.isEmpty() ? elm::Bus::Unknown
                                                   : elm::bus_from_protocol_number(lines.first());
                           learn(elm::parse_answer(answer, m_bus, "0100"));
                           addressSelected();
                           if (m_phase == Phase::SettingUp)
                               m_phase = Phase::Ready;
                       }});
         }});
}

void Elm327Transport::ask(Step step)
{
    m_steps.push_back(std::move(step));
    startNext();
}

void Elm327Transport::askFirst(Step step)
{
    // The step running is at the front while it runs: this one goes right after it.
    m_steps.insert(m_stepRunning ? m_steps.begin() + 1 : m_steps.begin(), std::move(step));
    startNext();
}

void Elm327Transport::startNext()
{
    if (m_stepRunning || m_steps.empty() || !isOpen())
        return;
    m_stepRunning = true;
    m_answer.clear();
    m_line->write(m_steps.front().line + '\r');
    m_stepTimer.start(m_steps.front().timeoutMs, [this] { finishStep(true); });
}

void Elm327Transport::onArrived()
{
    m_answer += m_line->readAll();
    if (!m_stepRunning) {
        m_answer.clear(); // nobody asked: a late line of an answer already given up
        return;
    }
    if (m_answer.contains('>'))
        finishStep(false);
}

void Elm327Transport::finishStep(bool timedOut)
{
    if (!m_stepRunning)
        return;
    m_stepTimer.stop();
    m_stepRunning = false;
    Step step = std::move(m_steps.front());
    m_steps.pop_front();
    const qsizetype prompt = m_answer.indexOf('>');
    const QByteArray answer = prompt < 0 ? m_answer : m_answer.left(prompt);
    m_answer.clear();
    if (step.done)
        step.done(answer, timedOut);
    startNext();
}

void Elm327Transport::learn(const elm::Answer &answer)
{
    switch (answer.status) {
    case elm::Answer::Status::Data:
        m_reachable = true;
        for (const elm::Message &m : answer.messages)
            if (!m_ecus.contains(m.source))
                m_ecus << m.source;
        break;
    case elm::Answer::Status::NoContact:
        m_reachable = false;
        break;
    default:
        break;
    }
}

bool Elm327Transport::idleForMarks() const
{
    return m_phase == Phase::Ready && m_commandsWaiting == 0 && !m_passThrough;
}

qint64 Elm327Transport::bytesAvailable()
{
    // An idle adapter with the vehicle in reach is ready at once; without it the marks come
    // every kMarkMs, as the interface's do (a caller that waits for "S" sleeps meanwhile).
    const qint64 now = m_clock.nowMs();
    if (m_input.isEmpty() && idleForMarks() && (m_reachable || now - m_lastMarkMs >= kMarkMs)) {
        m_lastMarkMs = now;
        m_input = m_reachable ? "S" : "P";
        // Without the vehicle, ask again now and then whether it answers (between the
        // program's requests, which wait for it).
        if (!m_reachable && m_steps.empty() && now - m_lastProbeMs >= kProbeMs) {
            m_lastProbeMs = now;
            search();
        }
    }
    return m_input.size();
}

QByteArray Elm327Transport::readAll()
{
    bytesAvailable();
    return std::exchange(m_input, QByteArray());
}

void Elm327Transport::answerProgram(const QByteArray &text)
{
    m_input += text;
    if (m_input.size() > kInputLimit)
        m_input.remove(0, m_input.size() - kInputLimit);
}

void Elm327Transport::write(const QByteArray &bytes)
{
    if (!isOpen())
        return;
    // The interface takes hex characters and ignores everything else; a command may come in
    // pieces.
    for (const char c : bytes) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            continue;
        m_command.append(c);
        if (m_command.size() == 6)
            handle(std::exchange(m_command, QByteArray()));
    }
}

void Elm327Transport::handle(const QByteArray &text)
{
    const elm::Command command = elm::parse_command(text.toUpper());
    switch (command.kind) {
    case elm::Command::Kind::FirmwareId:
        answerProgram(QByteArray(kFirmwareId) + ' ' + m_identity.toLatin1());
        return;
    case elm::Command::Kind::SwitchEcu:
        // The ECUs that answered take turns; with one the adapter stays where it is.
        if (!m_ecus.isEmpty())
            m_selected = (m_selected + 1) % static_cast<int>(m_ecus.size());
        addressSelected();
        answerProgram("OK" + QByteArray::number(m_selected + 1));
        return;
    case elm::Command::Kind::PassThrough: {
        // The raw message of the service $06 tests exists on the older buses only; the
        // acknowledgement says which header the program is to send.
        const QByteArray acknowledgement = elm::pass_through_acknowledgement(m_bus);
        m_passThrough = acknowledgement.startsWith("RA");
        answerProgram(acknowledgement);
        return;
    }
    case elm::Command::Kind::Vehicle:
        askVehicle(command);
        return;
    case elm::Command::Kind::Invalid:
        return;
    }
}

quint32 Elm327Transport::selectedSource() const
{
    return m_ecus.isEmpty() ? 0 : m_ecus.at(m_selected);
}

bool Elm327Transport::physicalAddressing() const
{
    return m_bus == elm::Bus::Can11 && !m_ecus.isEmpty();
}

void Elm327Transport::addressSelected()
{
    // On CAN every request goes to the chosen ECU alone (7E0 reaches the ECU answering from
    // 7E8), so one answer is all there is to wait for. On the older buses every ECU hears
    // every request.
    if (physicalAddressing())
        askFirst({"ATSH" + elm::hex_text(m_ecus.at(m_selected) - 8, 3), kAnswerMs, {}});
}

void Elm327Transport::askVehicle(const elm::Command &command, bool hinted)
{
    QByteArray line = elm::elm_request(command);
    // The hint says how many answers to wait for: one from each ECU that hears the request.
    const bool hint = line.size() % 2 == 1;
    if (hint && (!hinted || m_hintsRefused >= kHintRefusals))
        line.chop(1);
    else if (hint && !physicalAddressing() && m_ecus.size() > 1)
        line.back() = elm::hex_text(static_cast<quint32>(m_answering.value(
                                        line.chopped(1), static_cast<int>(m_ecus.size()))),
                                    1)
                          .back();
    ++m_commandsWaiting;
    ask({line, kAnswerMs, [this, command, line](const QByteArray &answer, bool timedOut) {
             --m_commandsWaiting;
             const elm::Answer parsed = elm::parse_answer(answer, m_bus, line);
             // Not understood with the hint: the same request again without it.
             if (line.size() % 2 == 1 && parsed.status == elm::Answer::Status::Refused) {
                 ++m_hintsRefused;
                 askVehicle(command, false);
                 return;
             }
             if (!timedOut)
                 learn(parsed);
             if (!timedOut && line.size() % 2 == 1 && !physicalAddressing())
                 noteAnswering(line.chopped(1), parsed);
             answerProgram(elm::interface_reply(command, parsed, selectedSource()));
         }});
}

void Elm327Transport::noteAnswering(const QByteArray &request, const elm::Answer &answer)
{
    QList<quint32> sources;
    for (const elm::Message &m : answer.messages)
        if (!sources.contains(m.source))
            sources << m.source;
    // Without the ECU the program reads, the next request waits for every ECU again: a hint
    // learned while another ECU answered first must not cut that ECU's answer off for good.
    if (!sources.contains(selectedSource()))
        m_answering.remove(request);
    else
        m_answering.insert(request, static_cast<int>(sources.size()));
}

void Elm327Transport::writeBlock(const QByteArray &block)
{
    if (!isOpen() || !m_passThrough || block.size() < 8)
        return;
    // 1, the length, three header bytes, the service, the test and component IDs: the header
    // goes to the adapter, the request after it.
    const QByteArray header = block.mid(2, 3).toHex().toUpper();
    const QByteArray request = block.mid(5, 3).toHex().toUpper();
    ++m_commandsWaiting;
    ask({"ATSH" + header, kAnswerMs, {}});
    ask({request + '1', kAnswerMs, [this, request](const QByteArray &answer, bool) {
             --m_commandsWaiting;
             m_passThrough = false;
             const elm::Answer parsed = elm::parse_answer(answer, m_bus, request + '1');
             QByteArray raw(13, '\0');
             const quint32 source = selectedSource();
             for (const elm::Message &m : parsed.messages)
                 if (source == 0 || m.source == source) {
                     raw = (m.header + m.data).leftJustified(13, '\0').left(13);
                     break;
                 }
             answerProgram(raw);
         }});
    ask({"ATSH" + elm::functional_header(m_bus), kAnswerMs, {}}); // the bus's usual header again
}

} // namespace quorvex
