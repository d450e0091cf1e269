#include "link/elm327/elm327transport.h"

#include <algorithm>
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
    m_expected.clear();
    m_passReplies.clear();
    m_support.clear();
    m_singlePid.clear();
    m_slowestMs = 0;
    m_timedAnswers = 0;
    m_timeoutUnits = kDefaultTimeoutUnits;
    m_timeoutRefused = false;
    m_openedBaud = 0;
    m_speedsPending = false;
    if (std::exchange(m_figures, {}) != Figures{})
        emit figuresChanged();
    m_answering.clear();
}

void Elm327Transport::setUp()
{
    m_phase = Phase::SettingUp;
    m_openedBaud = m_line->lineSpeed();
    // An adapter still at the speed an earlier connection raised it to hears nothing else; its
    // warm start keeps that speed (the full reset would not).
    const int raised = m_rememberedSpeed;
    if (m_openedBaud > 0 && raised > 0 && raised != m_openedBaud && m_line->setLineSpeed(raised)) {
        // Whatever else arrives (a late answer to an earlier connection) is not the adapter
        // answering there.
        const auto identified = [](const QByteArray &answer) {
            const qsizetype end = elm::identity_end(answer);
            return end >= 0 && answer.indexOf('>', end) >= 0;
        };
        ask({"ATWS", kSpeedProbeMs,
             [this](const QByteArray &answer, bool) {
                 if (takeIdentity(answer, "ATWS")) {
                     configure(false);
                 } else {
                     m_line->setLineSpeed(m_openedBaud);
                     configure(true);
                 }
             },
             identified});
        return;
    }
    configure(true);
}

bool Elm327Transport::takeIdentity(const QByteArray &answer, const QByteArray &sent)
{
    for (const QByteArray &line : elm::answer_lines(answer, sent)) {
        if (line.contains("ELM327")) {
            m_identity = m_figures.identity = QString::fromLatin1(line);
            return true;
        }
    }
    return false;
}

void Elm327Transport::resetAdapter(bool first)
{
    const Step step{"ATZ", kResetMs, [this, first](const QByteArray &answer, bool timedOut) {
                        if (takeIdentity(answer, "ATZ"))
                            return;
                        if (!timedOut && first && answer.contains('?')) {
                            // Characters left in the adapter's line (a program before, a look
                            // at another speed) made "?" of it: once more, on a line of its own.
                            resetAdapter(false);
                        } else if (timedOut) {
                            m_steps.clear();
                            m_phase = Phase::Failed; // nothing answers on this port
                        }
                    }};
    if (first)
        ask(step);
    else
        askFirst(step);
}

void Elm327Transport::configure(bool reset)
{
    if (reset)
        resetAdapter(true);
    // Echo, line feeds, spaces off (spaces stay on where the adapter refuses), headers on,
    // adaptive timing where the adapter has it, the bus found automatically. An STN chip names
    // itself to STDI; others answer "?". Then the line speed wanted, before the first request.
    for (const char *line : {"ATE0", "ATL0", "ATS0", "ATH1", "ATAT2", "ATSP0"})
        ask({line, kAnswerMs, {}});
    ask({"STDI", kAnswerMs, [this](const QByteArray &answer, bool) {
             const QList<QByteArray> lines = elm::answer_lines(answer, "STDI");
             if (!lines.isEmpty() && lines.first().startsWith("STN"))
                 m_identity = m_figures.device = QString::fromLatin1(lines.first());
             m_speedsPending = false;
             if (!m_speeds.isEmpty() || speedChanged())
                 changeLineSpeed(m_speeds.isEmpty() ? QList<int>{m_openedBaud} : m_speeds);
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
                           const elm::Answer parsed = elm::parse_answer(answer, m_bus, "0100");
                           learn(parsed);
                           learnSupport(parsed);
                           addressSelected();
                           const QString protocol =
                               lines.isEmpty() ? QString() : elm::protocol_name(lines.first());
                           const bool settingUp = m_phase == Phase::SettingUp;
                           if (settingUp)
                               m_phase = Phase::Ready;
                           if (settingUp || protocol != m_figures.protocol) {
                               m_figures.protocol = protocol;
                               emit figuresChanged();
                           }
                           if (settingUp)
                               refreshBattery();
                           // Speeds the user changed while the adapter was being set up.
                           if (settingUp && std::exchange(m_speedsPending, false))
                               setLineSpeeds(m_speeds, m_rememberedSpeed);
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
    m_stepStartedMs = m_clock.nowMs();
    m_answer.clear();
    if (m_steps.front().writes)
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
    const Step &step = m_steps.front();
    if (step.complete ? step.complete(m_answer) : m_answer.contains('>'))
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
    // A step that says when its answer is complete gets all of it; the others what came before
    // the prompt.
    const qsizetype prompt = step.complete ? -1 : m_answer.indexOf('>');
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
    case elm::Command::Kind::Vehicle: {
        // Answered already by a request for several PIDs of this pass?
        const auto done = m_passReplies.constFind(text.toUpper());
        if (done != m_passReplies.cend() && m_commandsWaiting == 0) {
            answerProgram(*done);
            return;
        }
        const QList<QByteArray> group = packedWith(text.toUpper());
        if (group.size() > 1)
            askPacked(group);
        else
            askVehicle(command);
        return;
    }
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

QByteArray Elm327Transport::withHint(QByteArray line, bool hinted) const
{
    // The hint says how many answers to wait for: one from each ECU that hears the request.
    const bool hint = line.size() % 2 == 1;
    if (hint && (!hinted || m_hintsRefused >= kHintRefusals))
        line.chop(1);
    else if (hint && !physicalAddressing() && m_ecus.size() > 1)
        line.back() = elm::hex_text(static_cast<quint32>(m_answering.value(
                                        line.chopped(1), static_cast<int>(m_ecus.size()))),
                                    1)
                          .back();
    return line;
}

void Elm327Transport::askVehicle(const elm::Command &command, bool hinted, bool retry)
{
    const QByteArray text = command.text;
    if (!retry)
        applyLearnedTimeout();
    const QByteArray line = withHint(elm::elm_request(command), hinted);
    ++m_commandsWaiting;
    ask({line, kAnswerMs,
         [this, command, line, retry, text](const QByteArray &answer, bool timedOut) {
             --m_commandsWaiting;
             const qint64 elapsedMs = m_clock.nowMs() - m_stepStartedMs;
             const elm::Answer parsed = elm::parse_answer(answer, m_bus, line);
             if (askedAgain(line, parsed, timedOut, retry, [&](bool withCount, bool again) {
                     askVehicle(command, withCount, again);
                 }))
                 return;
             if (!timedOut) {
                 learn(parsed);
                 learnSupport(parsed);
                 // With the hint the prompt follows the last answer: the time it took is the
                 // ECU's (and the line's), not the adapter's wait.
                 if (parsed.status == elm::Answer::Status::Data && line.size() % 2 == 1)
                     learnTiming(elapsedMs);
             }
             if (!timedOut && line.size() % 2 == 1 && !physicalAddressing())
                 noteAnswering(line.chopped(1), parsed);
             const QByteArray reply = elm::interface_reply(command, parsed, selectedSource());
             // A command of the pass asked again is answered from this while the pass lasts.
             if (parsed.status == elm::Answer::Status::Data && m_expected.contains(text))
                 m_passReplies.insert(text, reply);
             answerProgram(reply);
         }});
}

bool Elm327Transport::askedAgain(const QByteArray &line, const elm::Answer &parsed, bool timedOut,
                                 bool retry,
                                 const std::function<void(bool hinted, bool retry)> &again)
{
    // Not understood with the hint: the same request again without it.
    if (line.size() % 2 == 1 && parsed.status == elm::Answer::Status::Refused) {
        ++m_hintsRefused;
        again(false, retry);
        return true;
    }
    // Nothing under the learned time-out: once more with the default before the ECU counts as
    // not answering.
    if (!timedOut && parsed.status == elm::Answer::Status::NoData && !retry &&
        m_timeoutUnits != kDefaultTimeoutUnits) {
        setTimeout(kDefaultTimeoutUnits);
        again(true, true);
        return true;
    }
    return false;
}

void Elm327Transport::applyLearnedTimeout()
{
    if (m_timeoutRefused || m_timedAnswers < kTimedAnswers)
        return;
    // In steps of kMinTimeoutUnits, so that answers a little slower or faster than before do
    // not set it again.
    const qint64 wantedMs = m_slowestMs + std::max<qint64>(m_slowestMs / 2, kTimeoutMarginMs);
    const qint64 step = qint64(kMinTimeoutUnits) * kTimeoutUnitMs;
    const int wanted = static_cast<int>(std::clamp<qint64>(
        (wantedMs + step - 1) / step * kMinTimeoutUnits, kMinTimeoutUnits, kDefaultTimeoutUnits));
    if (wanted != m_timeoutUnits)
        setTimeout(wanted);
}

void Elm327Transport::setTimeout(int units)
{
    const QByteArray line = "ATST" + elm::hex_text(static_cast<quint32>(units));
    ask({line, kAnswerMs, [this, units, line](const QByteArray &answer, bool) {
             if (elm::answer_lines(answer, line).value(0) == "OK")
                 m_timeoutUnits = units;
             else
                 m_timeoutRefused = true; // the adapter keeps its own
         }});
}

void Elm327Transport::learnTiming(qint64 elapsedMs)
{
    m_slowestMs = std::max(m_slowestMs, elapsedMs);
    ++m_timedAnswers;
}

void Elm327Transport::learnSupport(const elm::Answer &answer)
{
    // The support PIDs (00, 20, 40, ...) of service 01: four bytes, bit 31 the range's first.
    if (answer.status != elm::Answer::Status::Data)
        return;
    for (const elm::Message &m : answer.messages) {
        if (m.data.size() < 6 || static_cast<quint8>(m.data.at(0)) != 0x41 ||
            static_cast<quint8>(m.data.at(1)) % 0x20 != 0)
            continue;
        const QByteArray b = m.data.mid(2, 4);
        m_support[m.source][static_cast<quint8>(m.data.at(1))] =
            (quint32(quint8(b.at(0))) << 24) | (quint32(quint8(b.at(1))) << 16) |
            (quint32(quint8(b.at(2))) << 8) | quint32(quint8(b.at(3)));
    }
}

void Elm327Transport::expect(const QList<QByteArray> &commands)
{
    // A new list while the pass lasts (the program tells the rest of its pass again as it goes)
    // keeps the replies in hand for the commands it has too; the empty list ends the pass.
    m_expected.clear();
    for (const QByteArray &c : commands)
        m_expected << c.toUpper();
    m_passReplies.removeIf([this](const QHash<QByteArray, QByteArray>::iterator &reply) {
        return !m_expected.contains(reply.key());
    });
}

bool Elm327Transport::packable(const elm::Command &command) const
{
    // Service 01 PIDs of a known size the selected ECU said it supports (00, which says what
    // the others are, always), on CAN, from an ECU that takes several.
    if (command.kind != elm::Command::Kind::Vehicle || command.service != 0x01 ||
        elm::pid_data_size(command.parameter) == 0 ||
        (m_bus != elm::Bus::Can11 && m_bus != elm::Bus::Can29) || m_ecus.isEmpty())
        return false;
    const quint32 source = selectedSource();
    if (m_singlePid.contains(source))
        return false;
    if (command.parameter == 0x00)
        return true;
    const int range = (command.parameter - 1) / 0x20 * 0x20;
    const auto ranges = m_support.constFind(source);
    if (ranges == m_support.cend() || !ranges->contains(range))
        return false;
    return (ranges->value(range) >> (31 - (command.parameter - 1 - range))) & 1U;
}

QList<QByteArray> Elm327Transport::packedWith(const QByteArray &text) const
{
    const qsizetype at = m_expected.indexOf(text);
    if (at < 0 || !packable(elm::parse_command(text)))
        return {};
    QList<QByteArray> group{text};
    QSet<quint8> pids{elm::parse_command(text).parameter};
    for (qsizetype i = at + 1; i < m_expected.size() && group.size() < elm::kPackedPids; ++i) {
        const elm::Command c = elm::parse_command(m_expected.at(i));
        if (packable(c) && !pids.contains(c.parameter) &&
            !m_passReplies.contains(m_expected.at(i))) {
            group << m_expected.at(i);
            pids << c.parameter;
        }
    }
    return group;
}

void Elm327Transport::askPacked(const QList<QByteArray> &texts, bool hinted, bool retry)
{
    if (!retry)
        applyLearnedTimeout();
    QList<elm::Command> commands;
    QByteArray request = "01";
    for (const QByteArray &text : texts) {
        commands << elm::parse_command(text);
        request += elm::hex_text(commands.back().parameter);
    }
    const QByteArray line = withHint(request + '1', hinted);
    ++m_commandsWaiting;
    ask({line, kAnswerMs,
         [this, texts, commands, line, retry](const QByteArray &answer, bool timedOut) {
             --m_commandsWaiting;
             const qint64 elapsedMs = m_clock.nowMs() - m_stepStartedMs;
             const elm::Answer parsed = elm::parse_answer(answer, m_bus, line);
             if (askedAgain(line, parsed, timedOut, retry, [&](bool withCount, bool again) {
                     askPacked(texts, withCount, again);
                 }))
                 return;
             const elm::Command &first = commands.first();
             if (timedOut || parsed.status == elm::Answer::Status::NoContact ||
                 parsed.status == elm::Answer::Status::Stopped) {
                 if (!timedOut)
                     learn(parsed);
                 answerProgram(elm::interface_reply(first, parsed, selectedSource()));
                 return;
             }
             const quint32 source = selectedSource();
             const elm::PackedAnswer packed = elm::split_packed(commands, parsed, source);
             if (packed.layout == elm::PackedAnswer::Layout::Unreadable) {
                 // Refused, or an answer that cannot be taken apart: one PID a request for this
                 // ECU from now on, starting with the one the program waits for.
                 m_singlePid << source;
                 askVehicle(first);
                 return;
             }
             learn(parsed);
             if (line.size() % 2 == 1)
                 learnTiming(elapsedMs);
             if (packed.layout == elm::PackedAnswer::Layout::FirstOnly)
                 m_singlePid << source;
             for (const elm::Answer &part : packed.answers)
                 learnSupport(part);
             for (qsizetype k = 0; k < texts.size(); ++k)
                 if (packed.layout == elm::PackedAnswer::Layout::Taken || k == 0)
                     m_passReplies.insert(
                         texts.at(k),
                         elm::interface_reply(commands.at(k), packed.answers.at(k), source));
             answerProgram(m_passReplies.value(texts.first()));
         }});
}

void Elm327Transport::refreshBattery()
{
    if (m_phase != Phase::Ready)
        return;
    ask({"ATRV", kAnswerMs, [this](const QByteArray &answer, bool) {
             const QString battery =
                 elm::battery_voltage(elm::answer_lines(answer, "ATRV").value(0));
             if (battery != m_figures.battery) {
                 m_figures.battery = battery;
                 emit figuresChanged();
             }
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
