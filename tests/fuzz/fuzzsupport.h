#pragma once
// What the libFuzzer targets share: reading the fuzzer's bytes front to back, and failing on a
// broken invariant so that libFuzzer saves the input that broke it.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// Replies arrive as bytes, one character each (the link reads them as Latin-1).
inline QString replyText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

} // namespace quorvex::fuzz

// Checks an invariant in every build type (the fuzz build keeps NDEBUG's assert off).
#define FUZZ_REQUIRE(condition)                                                                    \
    ((condition) ? static_cast<void>(0) : ::quorvex::fuzz::fail(#condition, __FILE__, __LINE__))
