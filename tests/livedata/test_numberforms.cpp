// The number forms, each row a rule's edge: where the blank, the sign and the leading zero go,
// when exponent form starts, where digits are cut or rounded, and the garbage that flows
// through unchecked. The plain forms (" 750", "-40", " .45", "-.25") are in every decoder test.
#include "livedata/numberforms.h"

#include <gtest/gtest.h>

#include <limits>

using namespace quorvex;

namespace {

struct TextRow
{
    const char *name;
    QString actual;
    QString expected;
};

} // namespace

TEST(NumberForms, ConvHexReadsTwoCharactersWithoutValidation)
{
    const std::tuple<const char *, QString, int, QString> rows[] = {
        // name, text, value, text afterwards
        {"upper-case", "7B", 123, "7B"},
        {"empty becomes 00", "", 0, "00"},
        {"lower-case a counts 42", "a0", 42 * 16, "a0"},
        {"one character, second digit 0", "7", 0x70, "7"},
        {"third character ignored", "1F3", 0x1F, "1F3"},
        {"below 0 gives negative digit", " 0", -16 * 16, " 0"},
    };
    for (const auto &[name, text, value, after] : rows) {
        QString t = text;
        EXPECT_EQ(conv_hex(t), value) << name;
        EXPECT_EQ(t, after) << name;
    }
}

TEST(NumberForms, TextsOfDoublesAndSingles)
{
    const TextRow rows[] = {
        {"negative zero", S(-0.0), " 0"},
        {"binary noise rounded away", S(0.1 + 0.2), " .3"},
        {"fifteen digits kept", S(2.0 / 3), " .666666666666667"},
        {"fifteen integer digits", S(123456789012345.0), " 123456789012345"},
        {"sixteen integer digits", S(1e15), " 1E+15"},
        {"mantissa in exponent form", S(1234567890123456789.0), " 1.23456789012346E+18"},
        {"three exponent digits", S(1e100), " 1E+100"},
        {"smallest fixed form", S(0.0001), " .0001"},
        {"small exponent form", S(-1.5e-5), "-1.5E-05"},
        {"single: equivalence ratio", S_single(static_cast<float>(32768 * 0.0000305)), " .999424"},
        {"single: seven integer digits", S_single(1234567.0f), " 1234567"},
        {"single: eight integer digits", S_single(16777216.0f), " 1.677722E+07"},
        {"single: one tenth", S_single(0.1f), " .1"},
        {"the same binary value as a Double", S(static_cast<double>(0.1f)), " .100000001490116"},
        {"plain: below one", P(0.45), "0.45"},
        {"plain: negative below one", P(-0.25), "-0.25"},
        {"plain: exponent form", P(0.00001), "1E-05"},
        {"first cuts without rounding", first(5, S(29.90913)), " 29.9"},
        {"first of a shorter text", first(4, S(-40)), "-40"},
        {"first of nothing", first(-1, "abc"), ""},
    };
    for (const TextRow &r : rows)
        EXPECT_EQ(r.actual, r.expected) << r.name;
}

TEST(NumberForms, IntIsFloorAndRoundEvenSendsHalvesToEvenNeighbour)
{
    EXPECT_EQ(Int(127.0 / 128 * 100), 99);
    EXPECT_EQ(Int(100 * 0.61), 61); // 60.99999999999999
    EXPECT_EQ(Int(-0.5), -1);
    const std::pair<double, long long> rows[] = {
        {50.196, 50},
        {72.5, 72},
        {73.5, 74},
        {-72.5, -72},
        {-0.5, 0},
        {-2.6, -3},
        {4500 * 0.1, 450}, // 450.00000000000006
        {40000.5, 40000},  // beyond 16 bits
        {std::numeric_limits<double>::quiet_NaN(), 0},
        {1e300, std::numeric_limits<long long>::max()},
        {-1e300, std::numeric_limits<long long>::min()},
    };
    for (const auto &[x, rounded] : rows)
        EXPECT_EQ(round_even(x), rounded) << x;
}

TEST(NumberForms, ValReadsTheNumberAtTheStart)
{
    const std::pair<const char *, double> rows[] = {
        {" .45", 0.45}, {"750 RPM", 750}, {"1 2", 12}, {"1.2.3", 1.2}, {" 1E-05", 1e-5},
        {"2D2", 200},   {"3E", 3},        {"+5", 5},   {"abc", 0},     {"-", 0},
    };
    for (const auto &[text, value] : rows)
        EXPECT_DOUBLE_EQ(Val(text), value) << text;
}

TEST(NumberForms, FormatWritesThroughEveryPicture)
{
    const TextRow rows[] = {
        {"zeros always written", Format(" 0", " 000.0"), " 000.0"},
        {"more digits than places", Format(" 1234", " 000.0"), " 1234.0"},
        {"rounds up to a new digit", Format(" 999.96", " ##0.0"), " 1000.0"},
        {"half rounds away from zero", Format(" .05", " ##0.0"), " 0.1"},
        {"negative after the blank", Format("-5.25", " ##0.0"), " -5.3"},
        {"negative rounding to zero", Format(S(-18 * 1.8 + 32), " ####0"), " -0"},
        {"fifteen digits before rounding", Format(" 1.9995", "0.000 "), "2.000 "},
        {"percent", Format(" .05", "##.0%"), "5.0%"},
        {"percent zero", Format(" 0", "##.0%"), ".0%"},
        {"percent with zero places", Format(" .05", "00.0% "), "05.0% "},
        {"optional places zero", Format(" 0", "### "), " "},
        {"optional places rounded", Format(" 19.5", "### "), "20 "},
        {"optional places overflow", Format(" 1000", "### "), "1000 "},
        {"air flow below one", Format(" .5", "###.00 "), ".50 "},
        {"ambient negative", Format("-40", "###.0 "), "-40.0 "},
        {"not a number reads 0", Format("abc", " ##0.0"), " 0.0"},
        {"a number", Format(32768 * 0.0000305 * 14.62, "00.00"), "14.61"},
        {"a negative number's zero", Format(-0.001, "0.0"), "-0.0"},
        {"no picture", Format(2.5, ""), "2.5"},
    };
    for (const TextRow &r : rows)
        EXPECT_EQ(r.actual, r.expected) << r.name;
}
