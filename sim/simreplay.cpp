#include "sim/simreplay.h"

#include "files/safefile.h"

#include <algorithm>
#include <cmath>

namespace quorvex::sim {

namespace {
// The recorded interface's idle marks come this often.
constexpr qint64 kMarkIntervalUs = 20'000;

const Recording &empty_recording()
{
    static const Recording none;
    return none;
}
constexpr qint64 kMaxRecordingBytes = 256 * 1024 * 1024;
} // namespace

std::shared_ptr<const Recording> readRecordingFile(const QString &path, QString *error)
{
    const SafeFileRead file = read_regular_file(path, kMaxRecordingBytes);
    if (!file.ok()) {
        *error = file.describe(path, kMaxRecordingBytes);
        return nullptr;
    }
    auto recording = std::make_shared<Recording>(read_recording(file.contents));
    if (!recording->error.isEmpty()) {
        *error = QStringLiteral("%1: %2").arg(path, recording->error);
        return nullptr;
    }
    return recording;
}

ReplayEngine::ReplayEngine(Options options) : PacedDevice(Scenario{}, options)
{
    if (m_options.replay)
        m_recording = m_options.replay->recording;
    m_interface = m_recording && m_recording->adapterKind == u"interface";
}

qint64 ReplayEngine::scaledUs(qint64 ms) const
{
    const double speed = m_options.replay ? std::max(m_options.replay->speed, 1e-3) : 1;
    return std::llround(static_cast<double>(ms) * 1000 / speed);
}

void ReplayEngine::answerFrom(qsizetype index, qint64 fromMs, qint64 nowUs)
{
    const Recording &r = m_recording ? *m_recording : empty_recording();
    qint64 lastUs = nowUs;
    for (; index < r.exchanges.size() && !r.exchanges[index].sent; ++index) {
        const RecordedExchange &e = r.exchanges[index];
        lastUs = queue(e.bytes, nowUs + scaledUs(std::max<qint64>(e.ms - fromMs, 0)));
        if (m_interface && (e.bytes.endsWith('S') || e.bytes.endsWith('P')))
            m_mark = e.bytes.back();
    }
    m_next = index;
    m_nextMarkUs = lastUs + kMarkIntervalUs;
}

void ReplayEngine::advance(qint64 nowUs)
{
    nowUs = startClock(nowUs);
    if (!m_started) {
        m_started = true;
        const Recording &r = m_recording ? *m_recording : empty_recording();
        answerFrom(0, r.exchanges.isEmpty() ? 0 : r.exchanges.first().ms, nowUs);
    }
    m_out.release(nowUs, &m_ready);
    // Idle marks only once everything answered has gone out, and not while a command arrives;
    // a line nobody read for a long while holds a few of them, not all.
    m_nextMarkUs = std::max(m_nextMarkUs, nowUs - 64 * kMarkIntervalUs);
    while (m_mark != 0 && m_out.isEmpty() && m_input.isEmpty() && m_nextMarkUs <= nowUs) {
        m_ready += m_mark;
        m_nextMarkUs += kMarkIntervalUs;
    }
}

void ReplayEngine::receive(const QByteArray &bytes, qint64 nowUs)
{
    advance(nowUs);
    nowUs = m_lastNowUs;
    keepCommand(bytes);
    m_input += bytes;
    const Recording &r = m_recording ? *m_recording : empty_recording();
    // The first recorded command from here on that the input is, or begins.
    bool partial = false;
    for (qsizetype i = m_next; i < r.exchanges.size(); ++i) {
        const RecordedExchange &e = r.exchanges[i];
        if (!e.sent)
            continue;
        if (e.bytes == m_input) {
            m_input.clear();
            answerFrom(i + 1, e.ms, nowUs);
            return;
        }
        partial = partial || e.bytes.startsWith(m_input);
    }
    if (partial)
        return;
    if (m_options.replay && m_options.replay->unanswered)
        m_options.replay->unanswered(m_input);
    m_input.clear();
    m_nextMarkUs = std::max(m_nextMarkUs, nowUs + kMarkIntervalUs);
}

qint64 ReplayEngine::nextEventUs() const
{
    if (const std::optional<qint64> due = lineEventUs())
        return *due;
    return m_mark != 0 && m_input.isEmpty() ? m_nextMarkUs : -1;
}

} // namespace quorvex::sim
