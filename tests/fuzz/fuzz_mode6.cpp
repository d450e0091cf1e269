// libFuzzer target over the service $06 window's entry fields and the pass-through reply's
// fields. The first byte chooses the case:
//   0  parse_id and id_box_text on a typed ID
//   1  parse_scale on a typed scale factor
//   2  mode6_result on 13 reply bytes with a scale and units
//   3  ListMode6Tests on reply bytes under a base
#include "fuzzsupport.h"

#include "diagnostics/mode6.h"
#include "livedata/numberforms.h"

#include <QRegularExpression>

#include <bit>
#include <cmath>

using namespace quorvex;
using namespace quorvex::fuzz;

namespace {

QString typed(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

// What the window accepts as an ID, blanks around it aside: decimal digits, or "$" or "&H"
// and hexadecimal digits, leading zeros allowed in either.
bool isIdForm(const QString &text)
{
    static const QRegularExpression form(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+|(\\$|&[Hh])[0-9A-Fa-f]+")));
    return form.match(text.trimmed()).hasMatch();
}

void checkId(Input &in)
{
    const QString text = typed(in.rest());
    const std::optional<int> id = parse_id(text);
    FUZZ_REQUIRE(!id || (*id >= 0 && *id <= 255));
    FUZZ_REQUIRE(!id || isIdForm(text));
    // The box shows "&H" for "$": what it shows reads as what was typed.
    FUZZ_REQUIRE(parse_id(id_box_text(text)) == id);
    if (!id)
        return;
    const QString hex = QString::number(*id, 16);
    for (const QString &same :
         {QString::number(*id), QStringLiteral("000") + QString::number(*id), u'$' + hex,
          QStringLiteral("$00") + hex, QStringLiteral(" &h") + hex,
          QStringLiteral("&H") + hex.toUpper() + u' '}) {
        FUZZ_REQUIRE(parse_id(same) == id);
    }
}

void checkScale(Input &in)
{
    const QString text = typed(in.rest());
    const std::optional<double> scale = parse_scale(text);
    if (!scale)
        return;
    FUZZ_REQUIRE(std::isfinite(*scale));
    FUZZ_REQUIRE(parse_scale(QString::number(*scale, 'g', 17)) == scale);
}

int byteAt(const QByteArray &bytes, int index)
{
    return index < bytes.size() ? static_cast<quint8>(bytes[index]) : 0;
}

void checkResult(Input &in)
{
    const QByteArray reply = in.bytes(13);
    const std::uint8_t kind = in.byte();
    // Typed scales are ordinary numbers; raw doubles reach the overflow guards.
    const double scale =
        kind & 1 ? in.number() : parse_scale(typed(in.bytes(kind >> 4))).value_or(1);
    const QString units = typed(in.rest());

    const std::optional<Mode6Result> result = mode6_result(reply, scale, units);
    const double value = (byteAt(reply, 5) * 256.0 + byteAt(reply, 6)) * scale;
    const double limit = (byteAt(reply, 7) * 256.0 + byteAt(reply, 8)) * scale;
    // Two bytes times a scale up to a thousand always fit.
    if (std::isfinite(scale) && std::fabs(scale) <= 1000)
        FUZZ_REQUIRE(result.has_value());
    if (!result)
        return;
    FUZZ_REQUIRE(result->valueText.endsWith(units) && result->limitText.endsWith(units));
    const QString valueNumber = result->valueText.chopped(units.size());
    const QString limitNumber = result->limitText.chopped(units.size());
    // The value in general number form, the limit as a whole number (halves to even).
    FUZZ_REQUIRE(valueNumber == P(value));
    bool whole = false;
    const long long shownLimit = limitNumber.toLongLong(&whole);
    FUZZ_REQUIRE(whole && std::fabs(static_cast<double>(shownLimit) - limit) <= 0.5);
    FUZZ_REQUIRE(result->minimum == (byteAt(reply, 4) >= 0x80));
    const double bound = static_cast<double>(shownLimit);
    FUZZ_REQUIRE(result->fail == (result->minimum ? value < bound : value > bound));
}

void checkTestList(Input &in)
{
    const int base = in.byte() & 0xE0;
    const QByteArray reply = in.rest();
    const QList<int> tests = ListMode6Tests(reply, base);

    int bits = 0;
    for (int index = 6; index <= 9; ++index)
        bits += std::popcount(static_cast<unsigned>(byteAt(reply, index)));
    FUZZ_REQUIRE(tests.size() == bits);
    // Bytes 6 to 9 in order, each from bit 0 (its highest test) to bit 7: within a byte the
    // numbers fall, from byte to byte they rise.
    for (qsizetype i = 0; i < tests.size(); ++i) {
        FUZZ_REQUIRE(tests[i] > base && tests[i] <= base + 32);
        if (i == 0)
            continue;
        const int group = (tests[i] - base - 1) / 8;
        const int previousGroup = (tests[i - 1] - base - 1) / 8;
        FUZZ_REQUIRE(group > previousGroup || (group == previousGroup && tests[i] < tests[i - 1]));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return runCase(data, size, {checkId, checkScale, checkResult, checkTestList});
}
