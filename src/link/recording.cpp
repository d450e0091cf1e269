#include "link/recording.h"

#include "link/clock.h"
#include "link/version.h"

#include <charconv>

namespace quorvex {

namespace {
const QByteArray kAdapterField = QByteArrayLiteral("# adapter: ");
const QByteArray kPortField = QByteArrayLiteral("# port: ");

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "12.345": the seconds with their milliseconds.
QByteArray seconds_text(qint64 ms)
{
    return QByteArray::number(ms / 1000) + '.' +
           QByteArray::number(ms % 1000).rightJustified(3, '0');
}

std::optional<qint64> read_seconds(QByteArrayView text)
{
    const qsizetype point = text.indexOf('.');
    if (point <= 0 || text.size() - point != 4)
        return std::nullopt;
    qint64 whole = 0;
    int fraction = 0;
    const char *begin = text.data();
    const auto a = std::from_chars(begin, begin + point, whole);
    const auto b = std::from_chars(begin + point + 1, begin + text.size(), fraction);
    if (a.ec != std::errc() || a.ptr != begin + point || b.ec != std::errc() ||
        b.ptr != begin + text.size() || whole < 0 || whole > 1'000'000'000 || fraction < 0)
        return std::nullopt;
    return whole * 1000 + fraction;
}
} // namespace

QByteArray escape_bytes(QByteArrayView bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    QByteArray text;
    text.reserve(bytes.size() * 2);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\\')
            text += "\\\\";
        else if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else if (c < 0x20 || c > 0x7E || (c == ' ' && i == bytes.size() - 1))
            text += QByteArray("\\x") + digits[c >> 4] + digits[c & 15];
        else
            text += static_cast<char>(c);
    }
    return text;
}

std::optional<QByteArray> unescape_bytes(QByteArrayView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (++i >= text.size())
            return std::nullopt;
        switch (text[i]) {
        case '\\':
            bytes += '\\';
            break;
        case 'r':
            bytes += '\r';
            break;
        case 'n':
            bytes += '\n';
            break;
        case 'x': {
            const int high = i + 1 < text.size() ? hex_digit(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? hex_digit(text[i + 2]) : -1;
            if (high < 0 || low < 0)
                return std::nullopt;
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return bytes;
}

bool ExchangeRecorder::start(const QString &path, QString *error)
{
    stop();
    m_file.setFileName(path);
    // Unbuffered: each line reaches the system with the one write that carries it.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        if (error)
            *error = m_file.errorString();
        return false;
    }
    m_startMs = m_clock.nowMs();
    writeLine(kRecordingFirstLine);
    writeLine("# program: " + message_title().toUtf8());
    if (!m_adapterKind.isEmpty())
        writeLineHeader();
    return true;
}

void ExchangeRecorder::stop()
{
    m_file.close();
}

void ExchangeRecorder::lineOpened(const QString &adapterKind, const QString &port)
{
    m_adapterKind = adapterKind;
    m_port = port;
    if (recording())
        writeLineHeader();
}

void ExchangeRecorder::writeLineHeader()
{
    writeLine(kAdapterField + escape_bytes(m_adapterKind.toUtf8()));
    writeLine(kPortField + escape_bytes(m_port.toUtf8()));
}

void ExchangeRecorder::writeExchange(char direction, QByteArrayView bytes)
{
    if (!recording() || bytes.isEmpty())
        return;
    writeLine(seconds_text(m_clock.nowMs() - m_startMs) + ' ' + direction + ' ' +
              escape_bytes(bytes));
}

void ExchangeRecorder::writeLine(const QByteArray &line)
{
    // A failed write ends the recording; the link goes on as if none had been asked for.
    const QByteArray whole = line + '\n';
    if (m_file.write(whole) != whole.size())
        m_file.close();
}

RecordingTransport::RecordingTransport(std::unique_ptr<Transport> line, ExchangeRecorder &recorder)
    : RecordingTransport(*line, recorder)
{
    m_owned = std::move(line);
}

RecordingTransport::RecordingTransport(Transport &line, ExchangeRecorder &recorder)
    : m_line(&line), m_recorder(recorder)
{
    connect(m_line, &Transport::arrived, this, &Transport::arrived);
    connect(m_line, &Transport::lost, this, &Transport::lost);
}

int RecordingTransport::syncByte()
{
    const int answer = m_line->syncByte();
    if (answer >= 0)
        m_recorder.readyAnswered(answer);
    return answer;
}

void RecordingTransport::write(const QByteArray &bytes)
{
    m_recorder.sent(bytes);
    m_line->write(bytes);
}

void RecordingTransport::writeBlock(const QByteArray &block)
{
    m_recorder.sent(block);
    m_line->writeBlock(block);
}

QByteArray RecordingTransport::readAll()
{
    const QByteArray bytes = m_line->readAll();
    m_recorder.received(bytes);
    return bytes;
}

std::unique_ptr<Transport> RecordingPorts::open(const SerialSettings &settings, QString *error)
{
    std::unique_ptr<Transport> line = m_ports->open(settings, error);
    if (!line)
        return line;
    m_recorder.lineOpened(m_adapterKind(), settings.device);
    return std::make_unique<RecordingTransport>(std::move(line), m_recorder);
}

Recording read_recording(QByteArrayView text)
{
    Recording r;
    const bool conversation = !text.startsWith(QByteArrayView(kRecordingFirstLine));
    if (conversation)
        r.adapterKind = QStringLiteral("elm327");
    qsizetype lineNumber = 0;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype end = text.indexOf('\n', at);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(at, end - at);
        at = end + 1;
        ++lineNumber;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        if (line.startsWith('#')) {
            if (!conversation && r.adapterKind.isEmpty() && line.startsWith(kAdapterField))
                r.adapterKind = QString::fromUtf8(line.sliced(kAdapterField.size()));
            continue;
        }
        RecordedExchange e;
        if (!conversation) {
            const qsizetype blank = line.indexOf(' ');
            const std::optional<qint64> ms =
                blank > 0 ? read_seconds(line.first(blank)) : std::nullopt;
            if (!ms || (!r.exchanges.isEmpty() && *ms < r.exchanges.last().ms)) {
                r.error =
                    QStringLiteral("line %1: no time, or one before the last").arg(lineNumber);
                return r;
            }
            e.ms = *ms;
            line = line.sliced(blank + 1);
        }
        if (!conversation && line.startsWith("= "))
            continue; // a ready query over USB: the replay's interface sends marks instead
        if (line.size() < 2 || (line[0] != '>' && line[0] != '<') || line[1] != ' ') {
            r.error = QStringLiteral("line %1: neither \"> \" nor \"< \"").arg(lineNumber);
            return r;
        }
        e.sent = line[0] == '>';
        const std::optional<QByteArray> bytes = unescape_bytes(line.sliced(2));
        if (!bytes) {
            r.error = QStringLiteral("line %1: a broken escape").arg(lineNumber);
            return r;
        }
        e.bytes = *bytes;
        if (conversation && e.sent)
            e.bytes += '\r';
        r.exchanges.append(e);
    }
    if (r.adapterKind != u"interface" && r.adapterKind != u"elm327")
        r.error = QStringLiteral("the recording names no adapter kind (interface or elm327)");
    return r;
}

} // namespace quorvex
