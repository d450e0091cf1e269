// libFuzzer target over the reply field reader and the number rules every decoder is built on.
// The first byte chooses the case, the rest is its input:
//   0  reply_char, reply_is, reply_field and reply_byte at one position
//   1  conv_hex on a text of any length, and hex2 read back with it
//   2  S, P and S_single of any double, read back with Val
//   3  Val on a text
//   4  Format of any double through any picture, and through a digits-only picture
//   5  round_even
#include "fuzzsupport.h"

#include "link/reply.h"
#include "livedata/decoders.h"
#include "livedata/numberforms.h"

#include <cmath>
#include <limits>

using namespace quorvex;
using namespace quorvex::fuzz;

namespace {

// conv_hex's digit rule, written out independently: code - 48, a further 7 off above 9.
int digitValue(QChar c)
{
    const int v = c.unicode() - 48;
    return v > 9 ? v - 7 : v;
}

void checkFieldReader(Input &in)
{
    const int pos = static_cast<std::int8_t>(in.byte());
    const int n = in.byte() % 64;
    const QString reply = replyText(in.rest());

    const QString field = reply_field(reply, pos, n);
    FUZZ_REQUIRE(field.size() == n);
    for (int i = 0; i < n; ++i) {
        const int p = pos + i;
        const bool inside = p >= 1 && p <= reply.size();
        FUZZ_REQUIRE(field.at(i) == (inside ? reply.at(p - 1) : QChar(u'0')));
        FUZZ_REQUIRE(reply_char(reply, p) == (inside ? reply.at(p - 1) : QChar(u'\0')));
    }
    FUZZ_REQUIRE(reply_byte(reply, pos) == reply_field(reply, pos, 2));
    const QChar c = reply_char(reply, pos);
    FUZZ_REQUIRE(reply_is(reply, pos, c) && !reply_is(reply, pos, QChar(c.unicode() ^ 1)));
}

void checkConvHex(Input &in)
{
    const quint8 value = in.byte();
    const bool wide = in.byte() & 1; // any UTF-16 character, not only what a serial line carries
    const QByteArray raw = in.rest();
    const QString text = wide ? QString::fromUtf8(raw) : replyText(raw);

    QString hex = text;
    const int v = conv_hex(hex);
    if (text.isEmpty()) {
        FUZZ_REQUIRE(hex == u"00" && v == 0);
    } else {
        FUZZ_REQUIRE(hex == text); // only an empty text is replaced
        const int low = text.size() > 1 ? digitValue(text.at(1)) : 0;
        FUZZ_REQUIRE(v == digitValue(text.at(0)) * 16 + low);
        if (text.size() >= 2 && isUpperHex(text.at(0)) && isUpperHex(text.at(1)))
            FUZZ_REQUIRE(v == text.left(2).toInt(nullptr, 16));
    }

    QString pair = hex2(value);
    FUZZ_REQUIRE(pair.size() == 2 && isUpperHex(pair.at(0)) && isUpperHex(pair.at(1)) &&
                 conv_hex(pair) == value);
}

// |read - x| within the rounding to `digits` significant digits.
bool readsBack(double read, double x, int digits)
{
    return std::fabs(read - x) <= std::fabs(x) * 1.5 * std::pow(10.0, 1 - digits);
}

void checkNumberTexts(Input &in)
{
    const double x = in.number();
    const QString s = S(x);
    const QString p = P(x);
    if (!std::isfinite(x))
        return; // shown as the fixed "1.#INF" / "-1.#IND" texts
    // Sign or blank, up to 15 digits, a point, four zeros after it or an exponent of up to 3.
    FUZZ_REQUIRE(s.size() >= 2 && s.size() <= 22 && p.size() <= 22);
    FUZZ_REQUIRE(s.at(0) == (x < 0 ? u'-' : u' '));
    FUZZ_REQUIRE(!p.startsWith(u' ') && p.startsWith(u'-') == (x < 0));
    // P is S without the blank and with a 0 before the point below 1.
    QString plain = s.startsWith(u' ') ? s.mid(1) : s;
    if (plain.startsWith(u'.'))
        plain.prepend(u'0');
    else if (plain.startsWith(u"-."))
        plain.insert(1, u'0');
    FUZZ_REQUIRE(plain == p);
    // Subnormals keep too few bits for a 15-digit text to read back to them, and the largest
    // doubles round up past the largest one.
    if ((x != 0 && std::fabs(x) < std::numeric_limits<double>::min()) ||
        std::fabs(x) > 1.7976931348623e308)
        return;
    FUZZ_REQUIRE(readsBack(Val(s), x, 15) && readsBack(Val(p), x, 15));

    const auto f = static_cast<float>(x);
    if (!std::isfinite(f) || (f != 0 && std::fabs(f) < std::numeric_limits<float>::min()))
        return;
    const QString ss = S_single(f);
    FUZZ_REQUIRE(ss.size() <= 14 && ss.at(0) == (f < 0 ? u'-' : u' '));
    FUZZ_REQUIRE(readsBack(Val(ss), f, 7));
}

void checkVal(Input &in)
{
    const QString text = replyText(in.rest());
    const double v = Val(text);
    // Blanks are skipped wherever they stand, so one more in front changes nothing.
    FUZZ_REQUIRE(!std::isnan(v) && Val(u' ' + text) == v);
    const QString trimmed = QString(text).remove(u' ').remove(u'\t').remove(u'\n');
    if (!trimmed.startsWith(u'-') && !trimmed.startsWith(u'+'))
        FUZZ_REQUIRE(Val(u'-' + text) == -v);
    if (std::isfinite(v))
        FUZZ_REQUIRE(readsBack(Val(P(v)), v, 15) || std::fabs(v) < 1e-300);
}

void checkFormat(Input &in)
{
    const double x = in.number();
    const std::uint8_t shape = in.byte();
    const QString picture = replyText(in.rest());

    const QString out = Format(x, picture);
    if (picture.isEmpty() || !std::isfinite(x)) {
        FUZZ_REQUIRE(out == P(x));
        return;
    }
    // Every picture character is written; the integer digits may run past their places (up
    // to the 309 of the largest double), a percent moves them two further.
    FUZZ_REQUIRE(out.size() <= picture.size() + 312);
    const bool placesOrPoint =
        picture.contains(u'0') || picture.contains(u'#') || picture.contains(u'.');
    if (!placesOrPoint)
        FUZZ_REQUIRE(out == (x < 0 ? u'-' + picture : picture));

    // A picture of zeros only: the number rounded half away from zero to its places, every
    // place written.
    if (std::fabs(x) >= 1e9)
        return;
    const int intPlaces = shape % 4 + 1;
    const int fracPlaces = (shape >> 2) % 6;
    QString zeros(intPlaces, u'0');
    if (fracPlaces > 0)
        zeros += u'.' + QString(fracPlaces, u'0');
    const QString fixed = Format(x, zeros);
    const QString digits = fixed.startsWith(u'-') ? fixed.mid(1) : fixed;
    const qsizetype point = digits.indexOf(u'.');
    FUZZ_REQUIRE((point < 0 ? digits.size() : point) >= intPlaces);
    FUZZ_REQUIRE(point < 0 ? fracPlaces == 0
                           : fracPlaces > 0 && digits.size() - point - 1 == fracPlaces);
    const double step = std::pow(10.0, -fracPlaces);
    FUZZ_REQUIRE(std::fabs(Val(fixed) - x) <= step / 2 * (1 + 1e-9) + std::fabs(x) * 1e-14);
}

void checkRoundEven(Input &in)
{
    const double x = in.number();
    const long long r = round_even(x);
    if (std::isnan(x)) {
        FUZZ_REQUIRE(r == 0);
        return;
    }
    if (std::fabs(x) >= 0x1p52) { // integral already, or beyond the 64-bit range
        if (x >= 0x1p63)
            FUZZ_REQUIRE(r == std::numeric_limits<long long>::max());
        else if (x < -0x1p63)
            FUZZ_REQUIRE(r == std::numeric_limits<long long>::min());
        else
            FUZZ_REQUIRE(static_cast<double>(r) == x);
        return;
    }
    const double distance = std::fabs(static_cast<double>(r) - x);
    FUZZ_REQUIRE(distance < 0.5 || (distance == 0.5 && r % 2 == 0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return runCase(
        data, size,
        {checkFieldReader, checkConvHex, checkNumberTexts, checkVal, checkFormat, checkRoundEven});
}
