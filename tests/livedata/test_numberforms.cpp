#include "numberforms.h"

#include <gtest/gtest.h>

#include <limits>

using namespace quorvex;

namespace {

struct HexRow
{
    const char *name;
    QString text;
    int expected;
    QString text_after;
};

struct TextRow
{
    const char *name;
    double x;
    QString expected;
};

struct SingleRow
{
    const char *name;
    float x;
    QString expected;
};

struct FormatRow
{
    const char *name;
    QString value_text;
    QString picture;
    QString expected;
};

} // namespace

TEST(NumberForms, ConvHexReadsTwoCharactersWithoutValidation)
{
    const HexRow rows[] = {
        {"FF", "FF", 255, "FF"},
        {"00", "00", 0, "00"},
        {"7B", "7B", 123, "7B"},
        {"empty becomes 00", "", 0, "00"},
        {"lower-case a counts 42", "a0", 42 * 16, "a0"},
        {"lower-case f counts 47", "ff", 47 * 16 + 47, "ff"},
        {"one character, second digit 0", "7", 0x70, "7"},
        {"third character ignored", "1F3", 0x1F, "1F3"},
        {"below 0 gives negative digit", " 0", -16 * 16, " 0"},
    };
    for (const HexRow &row : rows) {
        SCOPED_TRACE(row.name);
        QString text = row.text;
        EXPECT_EQ(conv_hex(text), row.expected);
        EXPECT_EQ(text, row.text_after);
    }
}

TEST(NumberForms, SignedTextHas15SignificantDigits)
{
    const TextRow rows[] = {
        {"integer", 83, " 83"},
        {"integer from rpm", 3000.0 / 4, " 750"},
        {"zero", 0, " 0"},
        {"negative zero", -0.0, " 0"},
        {"negative integer", -40, "-40"},
        {"below one, no leading zero", 90.0 / 200, " .45"},
        {"negative below one", -1 * 0.25, "-.25"},
        {"three decimals", 0.005, " .005"},
        {"manifold pressure", 101 * 0.29613, " 29.90913"},
        {"barometric pressure", 101 * 0.2953, " 29.8253"},
        {"binary noise rounded away", 0.1 + 0.2, " .3"},
        {"fifteen digits kept", 2.0 / 3, " .666666666666667"},
        {"fifteen integer digits", 123456789012345.0, " 123456789012345"},
        {"sixteen integer digits", 1e15, " 1E+15"},
        {"large exponent form", 1e16, " 1E+16"},
        {"mantissa in exponent form", 1234567890123456789.0, " 1.23456789012346E+18"},
        {"three exponent digits", 1e100, " 1E+100"},
        {"smallest fixed form", 0.0001, " .0001"},
        {"small exponent form", 0.00001, " 1E-05"},
        {"small with mantissa", -1.5e-5, "-1.5E-05"},
    };
    for (const TextRow &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(S(row.x), row.expected);
    }
}

TEST(NumberForms, SingleTextHas7SignificantDigits)
{
    const SingleRow rows[] = {
        {"0.45", 0.45f, " .45"},
        {"one tenth", 0.1f, " .1"},
        {"equivalence ratio", static_cast<float>(32768 * 0.0000305), " .999424"},
        {"seven integer digits", 1234567.0f, " 1234567"},
        {"eight integer digits", 16777216.0f, " 1.677722E+07"},
        {"small exponent form", 1e-5f, " 1E-05"},
        {"negative", -2.5f, "-2.5"},
    };
    for (const SingleRow &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(S_single(row.x), row.expected);
    }
    // The same binary value shows its extra digits as a Double.
    EXPECT_EQ(S(static_cast<double>(0.1f)), " .100000001490116");
    EXPECT_EQ(P_single(0.45f), "0.45");
}

TEST(NumberForms, PlainTextHasNoBlankAndLeadingZero)
{
    const TextRow rows[] = {
        {"one decimal", 69.8, "69.8"},
        {"air temperature English", (131 - 40) * 1.8 + 32, "195.8"},
        {"coolant 0xFF English", (255 - 40) * 1.8 + 32, "419"},
        {"below one", 0.45, "0.45"},
        {"negative below one", -0.25, "-0.25"},
        {"negative", -40, "-40"},
        {"zero", 0, "0"},
        {"exponent form", 0.00001, "1E-05"},
    };
    for (const TextRow &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(P(row.x), row.expected);
    }
}

TEST(NumberForms, FirstCutsWithoutRounding)
{
    EXPECT_EQ(first(4, P(181.4)), "181.");
    EXPECT_EQ(first(5, S(29.90913)), " 29.9");
    EXPECT_EQ(first(4, S(-40)), "-40");
    EXPECT_EQ(first(4, S(100.0 / 255 * 254)), " 99.");
    EXPECT_EQ(first(0, "abc"), "");
    EXPECT_EQ(first(-1, "abc"), "");
}

TEST(NumberForms, IntIsFloor)
{
    EXPECT_EQ(Int(99.2), 99);
    EXPECT_EQ(Int(127.0 / 128 * 100), 99);
    EXPECT_EQ(Int(100 * 0.61), 61);
    EXPECT_EQ(Int(-0.5), -1);
    EXPECT_EQ(Int(-40), -40);
}

TEST(NumberForms, RoundEvenSendsHalvesToEvenNeighbour)
{
    const struct
    {
        const char *name;
        double x;
        long long expected;
    } rows[] = {
        {"below half", 50.196, 50},
        {"half to even below", 72.5, 72},
        {"half to even above", 73.5, 74},
        {"negative half to even", -72.5, -72},
        {"negative half to even above", -73.5, -74},
        {"zero half", 0.5, 0},
        {"negative zero half", -0.5, 0},
        {"above half", 2.6, 3},
        {"negative above half", -2.6, -3},
        {"catalyst tenth", 4500 * 0.1, 450},
        {"beyond 16 bits", 40000.5, 40000},
        {"NaN", std::numeric_limits<double>::quiet_NaN(), 0},
        {"beyond 64 bits", 1e300, std::numeric_limits<long long>::max()},
        {"below 64 bits", -1e300, std::numeric_limits<long long>::min()},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(round_even(row.x), row.expected);
    }
}

TEST(NumberForms, ValReadsTheNumberAtTheStart)
{
    EXPECT_DOUBLE_EQ(Val(" 79"), 79);
    EXPECT_DOUBLE_EQ(Val(" .45"), 0.45);
    EXPECT_DOUBLE_EQ(Val("-.25"), -0.25);
    EXPECT_DOUBLE_EQ(Val("750 RPM"), 750);
    EXPECT_DOUBLE_EQ(Val("1 2"), 12);
    EXPECT_DOUBLE_EQ(Val("1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(Val(" 1E-05"), 1e-5);
    EXPECT_DOUBLE_EQ(Val("2D2"), 200);
    EXPECT_DOUBLE_EQ(Val("3E"), 3);
    EXPECT_DOUBLE_EQ(Val("+5"), 5);
    EXPECT_DOUBLE_EQ(Val("abc"), 0);
    EXPECT_DOUBLE_EQ(Val("-"), 0);
    EXPECT_DOUBLE_EQ(Val(""), 0);
}

TEST(NumberForms, FormatWritesThroughEveryPicture)
{
    const FormatRow rows[] = {
        {"rail pressure metric", S(Int(1000 * 0.079)), " 000.0", " 079.0"},
        {"rail pressure metric zero", " 0", " 000.0", " 000.0"},
        {"more digits than places", " 1234", " 000.0", " 1234.0"},
        {"rail pressure English", " 11.455", " ##0.0", " 11.5"},
        {"rounds up across the integer", " 9.96", " ##0.0", " 10.0"},
        {"rounds up to a new digit", " 999.96", " ##0.0", " 1000.0"},
        {"zero keeps its 0 place", " 0", " ##0.0", " 0.0"},
        {"half rounds away from zero", " .05", " ##0.0", " 0.1"},
        {"negative after the blank", "-5.25", " ##0.0", " -5.3"},
        {"catalyst Celsius", " 410", " ###0", " 410"},
        {"catalyst Celsius negative", "-40", " ###0", " -40"},
        {"catalyst Fahrenheit", S((450 - 40) * 1.8 + 32), " ####0", " 770"},
        {"negative rounding to zero", S(-18 * 1.8 + 32), " ####0", " -0"},
        {"half to one, unlike rounding", " .5", " ####0", " 1"},
        {"lambda", " .99942", "0.000 ", "0.999 "},
        {"fifteen digits before rounding", " 1.9995", "0.000 ", "2.000 "},
        {"negative lambda", "-.25", "0.000 ", "-0.250 "},
        {"percent", " .25", "##.0%", "25.0%"},
        {"percent below ten", " .05", "##.0%", "5.0%"},
        {"percent zero", " 0", "##.0%", ".0%"},
        {"percent with zero places", " .05", "00.0% ", "05.0% "},
        {"optional places", " 75", "### ", "75 "},
        {"optional places zero", " 0", "### ", " "},
        {"optional places rounded", " 19.5", "### ", "20 "},
        {"optional places overflow", " 1000", "### ", "1000 "},
        {"manifold pressure", " 29.90913", "#0.00 ", "29.91 "},
        {"air flow below one", " .5", "###.00 ", ".50 "},
        {"ratio", " .999424", "###.000 ", ".999 "},
        {"ambient negative", "-40", "###.0 ", "-40.0 "},
        {"ambient zero", " 0", "###.0 ", ".0 "},
        {"throttle", " 50", "##0.0 ", "50.0 "},
        {"minutes zero", " 0", "####0 ", "0 "},
        {"air/fuel ratio", " 14.61157888", "00.00", "14.61"},
        {"air/fuel ratio below ten", " 5", "00.00", "05.00"},
        {"engine speed", " 750", "##000", "750"},
        {"engine speed leading zero", " 75", "##000", "075"},
        {"engine speed five digits", " 12345", "##000", "12345"},
        {"not a number reads 0", "abc", " ##0.0", " 0.0"},
        {"empty reads 0", "", " 000.0", " 000.0"},
    };
    for (const FormatRow &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Format(row.value_text, row.picture), row.expected);
    }
}

TEST(NumberForms, FormatOfANumberMatchesFormatOfItsText)
{
    const double ratio = 32768 * 0.0000305 * 14.62;
    EXPECT_EQ(Format(ratio, "00.00"), "14.61");
    EXPECT_EQ(Format(ratio, "00.00"), Format(S(ratio), "00.00"));
    EXPECT_EQ(Format(-0.001, "0.0"), "-0.0");
    EXPECT_EQ(Format(2.5, ""), "2.5");
}
