#pragma once
// What the libFuzzer targets share: reading the fuzzer's bytes front to back, failing on a
// broken invariant so that libFuzzer saves the input that broke it, and an interface that
// answers with the fuzzer's texts on a clock that never sleeps.

#include "link/clock.h"
#include "link/obdcontext.h"
#include "link/transport.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace quorvex::fuzz {

// Aborts with the failed condition; libFuzzer reports the abort as a crash and writes the
// input to its artifact prefix.
[[noreturn]] inline void fail(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::abort();
}

// The harness's own input as a stream. Reading past the end gives zeros and empty texts, so a
// short input is simply a case with zero parameters.
class Input
{
public:
    Input(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}

    std::size_t remaining() const { return m_size - m_pos; }

    std::uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    QByteArray bytes(std::size_t n)
    {
        n = n < remaining() ? n : remaining();
        const QByteArray out(reinterpret_cast<const char *>(m_data + m_pos),
                             static_cast<qsizetype>(n));
        m_pos += n;
        return out;
    }

    QByteArray rest() { return bytes(remaining()); }

    // Eight bytes as a double, any bit pattern (NaN, infinities and subnormals included).
    double number()
    {
        const QByteArray raw = bytes(sizeof(double)).leftJustified(sizeof(double), '\0');
        double x = 0;
        std::memcpy(&x, raw.constData(), sizeof x);
        return x;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// Runs the case the input's first byte chooses; the case reads the rest. The order of the
// cases is what the corpus files were written for.
template <std::size_t N>
int runCase(const std::uint8_t *data, std::size_t size, void (*const (&cases)[N])(Input &))
{
    Input in(data, size);
    cases[in.byte() % N](in);
    return 0;
}

// Replies arrive as bytes, one character each (the link reads them as Latin-1).
inline QString replyText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

// A reply that decodes as `reply` does: every character outside data bytes 0 to bytes - 1
// replaced (garbage), or zero-filled to beyond any data byte. Data byte 0 is at character 12,
// or 14 with a frame number (offset 1) ahead of it.
inline QString sameData(const QString &reply, int offset, int bytes, bool garbage)
{
    if (!garbage)
        return reply + QString(40, u'0');
    QString out = reply;
    const int first = 12 + 2 * offset; // 1-based
    for (int p = 1; p <= out.size(); ++p) {
        if (p < first || p >= first + 2 * bytes)
            out[p - 1] = u'Z';
    }
    return out;
}

inline bool isUpperHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

// Every reading moves the clock on by a second and a wait returns at once: each bound of the
// exchange passes after a few looks at the line, whatever its length, and nothing sleeps.
// Nothing on these paths sets a timer.
class SteppingClock : public Clock
{
public:
    qint64 nowMs() const override { return m_nowMs += 1000; }
    void wait(int) override {}
    quint64 callAfter(int, std::function<void()>) override
    {
        fail("a timer on the stepping clock", __FILE__, __LINE__);
    }
    void cancel(quint64) override {}

private:
    mutable qint64 m_nowMs = 0;
};

// Answers each command with the next of `replies`, then with `mark` after every read. With
// `pad`, a reply is zero-filled to the length the command asks for (after any leading marks),
// so that no wait for a longer reply starts: a short reply then reads as one whose missing
// bytes are zero, which is what the decoders promise anyway.
class ScriptedInterface : public Transport
{
public:
    QList<QByteArray> replies;
    bool pad = true;
    char mark = 'S';

    bool isOpen() const override { return true; }
    void close() override {}
    void write(const QByteArray &bytes) override
    {
        QByteArray reply = m_next < replies.size() ? replies[m_next++] : QByteArray();
        if (pad) {
            qsizetype marks = 0;
            while (marks < reply.size() && reply[marks] == 'S')
                ++marks;
            const int length = bytes.mid(4, 2).toInt(nullptr, 16);
            reply = reply.leftJustified(marks + 2 * length + 3, '0');
        }
        m_buffer = reply;
    }
    qint64 bytesAvailable() override { return m_buffer.size(); }
    QByteArray readAll() override { return std::exchange(m_buffer, QByteArray(1, mark)); }

private:
    qsizetype m_next = 0;
    QByteArray m_buffer = "S";
};

// The program's context on a scripted serial interface and the stepping clock.
struct Session
{
    explicit Session(ScriptedInterface &interface)
    {
        ctx.attachSerial(&interface);
        ctx.state.UseSerial = true;
        ctx.bounds.retryLimit = 3; // fewer repeats of a "not usable" reply: more inputs a second
    }
    SteppingClock clock;
    ObdContext ctx{clock};
};

} // namespace quorvex::fuzz

// Checks an invariant in every build type (the fuzz build keeps NDEBUG's assert off).
#define FUZZ_REQUIRE(condition)                                                                    \
    ((condition) ? static_cast<void>(0) : ::quorvex::fuzz::fail(#condition, __FILE__, __LINE__))
