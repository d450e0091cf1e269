// The value decoders as pure functions: reply text, unit system and offset in, value text,
// units and numeric value out. Rows are the worked examples and the values that break naive
// arithmetic (rounding, truncation, clamping, sign, 16-bit overflow, single precision).
#include "decoders.h"

#include <gtest/gtest.h>

using namespace quorvex;

namespace {

constexpr bool kMetric = true;
constexpr bool kEnglish = false;

// A service 01 reply of ECU 10 for `pid` carrying `data` (hex), as the interface sends it;
// with offset 1 a service 02 reply with frame number 00 ahead of the data.
QString reply(int pid, const char *data, int offset = 0)
{
    return QStringLiteral("R486B10") + (offset ? QStringLiteral("42") : QStringLiteral("41")) +
           hex2(pid) + (offset ? QStringLiteral("00") : QString()) + QLatin1String(data);
}

struct Row
{
    const char *name;
    int pid;
    const char *data;
    bool metric;
    const char *text;
    const char *units;
    double value;
};

void check(const Row &r, const QString &replyText, int offset)
{
    const PidSpec *spec = find_pid_spec(r.pid);
    ASSERT_NE(spec, nullptr) << r.name;
    const PidItem item = decode_value(*spec, replyText, r.metric, offset);
    EXPECT_EQ(item.valueText, QString::fromUtf8(r.text)) << r.name;
    EXPECT_EQ(item.units, QString::fromUtf8(r.units)) << r.name;
    EXPECT_DOUBLE_EQ(item.value, r.value) << r.name;
}

} // namespace

TEST(ValueDecoders, FirstRange)
{
    const Row rows[] = {
        {"load A=128 truncates 50.196", 0x04, "80", kEnglish, " 50", "%", 128},
        {"load A=254 truncates 99.6", 0x04, "FE", kMetric, " 99", "%", 254},
        {"load A=255", 0x04, "FF", kMetric, " 100", "%", 255},
        {"coolant 00 metric", 0x05, "00", kMetric, "-40", "Deg C", 0},
        {"coolant 00 English", 0x05, "00", kEnglish, "-40", "Deg F", 0},
        {"coolant FF English 419", 0x05, "FF", kEnglish, "419", "Deg F", 255},
        {"coolant 7B metric", 0x05, "7B", kMetric, " 83", "Deg C", 123},
        {"coolant 7B English cut from 181.4", 0x05, "7B", kEnglish, "181.", "Deg F", 123},
        {"coolant 3D English 69.8", 0x05, "3D", kEnglish, "69.8", "Deg F", 61},
        {"fuel pressure 3 kPa per count", 0x0A, "64", kEnglish, " 300", "KPa", 100},
        {"MAP 101 metric whole", 0x0B, "65", kMetric, " 101", "KPaA", 101},
        {"MAP 101 English cut to 5", 0x0B, "65", kEnglish, " 29.9", "inHg", 101},
        {"RPM 0BB8", 0x0C, "0BB8", kMetric, " 750", "RPM", 30},
        {"RPM quarter revolutions", 0x0C, "0001", kEnglish, " .25", "RPM", 0.01},
        {"speed 100 km/h metric", 0x0D, "64", kMetric, " 100", "KPH", 100},
        {"speed 100 km/h English Int(61)", 0x0D, "64", kEnglish, " 61", "MPH", 100},
        {"speed 255 English truncates 155.55", 0x0D, "FF", kEnglish, " 155", "MPH", 255},
        {"ignition 0 degrees", 0x0E, "80", kMetric, " 0", "Deg", 128},
        {"ignition half degree", 0x0E, "81", kMetric, " .5", "Deg", 129},
        {"ignition -64", 0x0E, "00", kEnglish, "-64", "Deg", 0},
        {"intake air 97 clamped metric", 0x0F, "97", kMetric, "-20", "Deg C", 20},
        {"intake air 97 clamped English", 0x0F, "97", kEnglish, "-4", "Deg F", 20},
        {"intake air 96 not clamped", 0x0F, "96", kMetric, " 110", "Deg C", 150},
        {"air flow 5 g/s", 0x10, "01F4", kEnglish, " 5", "gm/sec", 1.25},
        {"air flow zero", 0x10, "0000", kMetric, " 0", "gm/sec", 0},
        {"throttle cut to 4", 0x11, "1F", kMetric, " 12.", "%", 31},
        {"throttle full", 0x11, "FF", kEnglish, " 100", "%", 255},
        {"O2 5A no zero before the point", 0x14, "5A", kMetric, " .45", " Volts", 90},
        {"O2 bank 2 sensor 4", 0x1B, "C8", kEnglish, " 1", " Volts", 200},
        {"run time beyond 32767 s", 0x1F, "8000", kMetric, " 32768", "Sec.", 32768},
        {"run time FFFF", 0x1F, "FFFF", kEnglish, " 65535", "Sec.", 65535},
    };
    for (const Row &r : rows)
        check(r, reply(r.pid, r.data), 0);
}

TEST(ValueDecoders, UpperRanges)
{
    const Row rows[] = {
        {"distance with MIL metric", 0x21, "03E8", kMetric, " 1000", "Km", 1000},
        {"distance with MIL English x 0.61", 0x21, "03E8", kEnglish, " 610", "Mi", 1000},
        {"rail pressure metric through 000.0", 0x22, "03E8", kMetric, " 079.0", " kPa", 1000},
        {"rail pressure English rounded 11.455", 0x22, "03E8", kEnglish, " 11.5", " PSI", 1000},
        {"gauge pressure metric 10 kPa/count", 0x23, "0014", kMetric, " 200", "kPa", 20},
        {"gauge pressure 200 kPa is 29 psi", 0x23, "0014", kEnglish, " 29", " PSI", 20},
        {"gauge pressure 1.45 psi truncated", 0x23, "0001", kEnglish, " 1", " PSI", 1},
        {"gauge pressure FFFF", 0x23, "FFFF", kEnglish, " 95025", " PSI", 65535},
        {"wide-range O2 8000", 0x24, "8000", kMetric, " .999424", " Lambda", 0.999424},
        {"wide-range O2 current type", 0x3B, "0000", kEnglish, " 0", " Lambda", 0},
        {"EGR A=128 truncates", 0x2C, "80", kMetric, " 50", "%", 128},
        {"EGR A=254 truncates to 99", 0x2C, "FE", kMetric, " 99", "%", 254},
        {"EGR error is not signed", 0x2D, "00", kMetric, " 0", "%", 0},
        {"fuel level full", 0x2F, "FF", kEnglish, " 100", "%", 255},
        {"warm-ups raw", 0x30, "05", kEnglish, " 5", "Times", 5},
        {"distance since clear metric", 0x31, "FFFF", kMetric, " 65535", "kM", 65535},
        {"distance since clear English", 0x31, "0064", kEnglish, " 61", "Mi.", 100},
        {"EVAP FFFF is -1 count", 0x32, "FFFF", kMetric, "-.25", "Pa", -1},
        {"EVAP FFFF English", 0x32, "FFFF", kEnglish, "-.001003", "inH2O.", -1},
        {"EVAP 7FFF highest", 0x32, "7FFF", kMetric, " 8191.75", "Pa", 32767},
        {"EVAP 8000 lowest", 0x32, "8000", kMetric, "-8192", "Pa", -32768},
        {"BARO 101 metric", 0x33, "65", kMetric, " 101", "kPa", 101},
        {"BARO 101 English", 0x33, "65", kEnglish, " 29.8253", "InHg", 101},
        {"catalyst 1194 metric", 0x3C, "1194", kMetric, " 410", "Deg C", 450},
        {"catalyst 1194 English", 0x3F, "1194", kEnglish, " 770", "Deg F", 450},
        {"catalyst zero keeps the sign", 0x3D, "0000", kMetric, " -40", "Deg C", 0},
        {"catalyst half rounds to even", 0x3E, "0005", kMetric, " -40", "Deg C", 0},
        {"catalyst 2.5 rounds to even 2", 0x3E, "0019", kMetric, " -38", "Deg C", 2},
        {"catalyst FFFF beyond 16 bits", 0x3C, "FFFF", kMetric, " 6514", "Deg C", 6554},
        {"catalyst FFFF English", 0x3C, "FFFF", kEnglish, " 11757", "Deg F", 6554},
        {"module voltage", 0x42, "3039", kEnglish, " 12.345", "Volts", 12.345},
        {"absolute load 128 counts", 0x43, "0080", kMetric, " 50", "%", 50},
        {"absolute load 328 counts beyond 16 bits", 0x43, "0148", kMetric, " 129", "%", 129},
        {"absolute load FFFF", 0x43, "FFFF", kEnglish, " 25700", "%", 25700},
        {"equivalence ratio 8000", 0x44, "8000", kMetric, " .999424", " ", 0.99942398071289062},
        {"equivalence ratio single precision", 0x44, "FFFF", kEnglish, " 1.998817", " ",
         1.9988174438476562},
        {"relative throttle A=128 rounds to 50", 0x45, "80", kMetric, " 50", "%", 50},
        {"relative throttle A=254 rounds to 100", 0x45, "FE", kEnglish, " 100", "%", 100},
        {"ambient metric", 0x46, "3D", kMetric, " 21", "Deg C", 61},
        {"ambient English", 0x46, "3D", kEnglish, "69.8", "Deg F", 61},
        {"ambient is not clamped", 0x46, "FF", kMetric, " 215", "Deg C", 255},
        {"throttle B half", 0x47, "80", kMetric, " 50", "%", 50},
        {"actuator A=254", 0x4C, "FE", kMetric, " 100", "%", 100},
        {"minutes with MIL beyond 32767", 0x4D, "FFFF", kMetric, " 65535", "Min.", 65535},
        {"minutes since clear", 0x4E, "0100", kEnglish, " 256", "Min.", 256},
    };
    for (const Row &r : rows)
        check(r, reply(r.pid, r.data), 0);
}

// In a freeze-frame run (offset 1) the mode-aware rows read one byte later; the
// service-01-only rows read where a service 01 reply has its data; the wide-range O2 rows
// shift although they ask service 01.
TEST(ValueDecoders, OffsetFollowsTheRequestKind)
{
    struct OffsetRow
    {
        const char *name;
        int pid;
        QString reply;
        const char *text;
    };
    const OffsetRow rows[] = {
        {"RPM from a freeze frame", 0x0C, reply(0x0C, "0BB8", 1), " 750"},
        {"coolant from a freeze frame", 0x05, reply(0x05, "7B", 1), " 83"},
        {"ignition ignores the offset", 0x0E, QStringLiteral("R486B10410E80FF"), " 0"},
        {"O2 ignores the offset", 0x14, QStringLiteral("R486B1041145AFF"), " .45"},
        {"wide-range O2 shifts", 0x24, QStringLiteral("R486B104124FF8000"), " .999424"},
    };
    for (const OffsetRow &r : rows) {
        const PidItem item = decode_value(*find_pid_spec(r.pid), r.reply, kMetric, 1);
        EXPECT_EQ(item.valueText, QString::fromUtf8(r.text)) << r.name;
    }
}

// Missing bytes read as zero; characters that are not hex flow through conv_hex unchecked.
TEST(ValueDecoders, ShortEmptyAndGarbageReplies)
{
    struct GarbageRow
    {
        const char *name;
        int pid;
        const char *reply;
        int offset;
        const char *text;
    };
    const GarbageRow rows[] = {
        {"empty coolant", 0x05, "", 0, "-40"},
        {"empty intake air is a zero byte, not clamped", 0x0F, "", 0, "-40"},
        {"empty RPM", 0x0C, "", 0, " 0"},
        {"empty catalyst", 0x3C, "", 0, " -40"},
        {"empty EVAP", 0x32, "", 0, " 0"},
        {"header only", 0x0D, "R486B10410D", 0, " 0"},
        {"one digit of A", 0x0C, "R486B10410C0B", 0, " 704"},
        {"B missing", 0x10, "R486B104110FF", 0, " 652.8"},
        {"freeze-frame offset past the end", 0x0C, "R486B10420C00", 1, " 0"},
        {"twenty-two zeros of no contact", 0x04, "0000000000000000000000", 0, " 0"},
        {"lower-case digits are not hex", 0x0C, "R486B10410Czz", 0, " 72896"},
    };
    for (const GarbageRow &r : rows) {
        const PidItem item =
            decode_value(*find_pid_spec(r.pid), QString::fromLatin1(r.reply), kMetric, r.offset);
        EXPECT_EQ(item.valueText, QString::fromUtf8(r.text)) << r.name;
    }
}

TEST(ValueDecoders, CoolantListsItsTextRoundedHalfToEven)
{
    const struct
    {
        const char *text;
        int listed;
    } rows[] = {{"69.8", 70}, {"181.", 181}, {" 83", 83}, {"-40", -40},
                {"72.5", 72}, {"73.5", 74},  {"419", 419}};
    for (const auto &r : rows)
        EXPECT_EQ(coolant_listed_value(QString::fromLatin1(r.text)), r.listed) << r.text;
}

TEST(ValueDecoders, TableCoversEveryValuePidOnce)
{
    // 04, 05, 0A-11, 14-1B, 1F, 21-3F, 42-4E: the value items of both ranges.
    int count = 0;
    int previous = 0;
    for (const PidSpec &spec : pid_specs()) {
        EXPECT_GT(spec.pid, previous);
        previous = spec.pid;
        ++count;
    }
    EXPECT_EQ(count, 2 + 8 + 8 + 1 + 31 + 13);
    for (const int statusPid :
         {0x01, 0x02, 0x03, 0x06, 0x09, 0x12, 0x13, 0x1C, 0x1D, 0x1E, 0x20, 0x40, 0x41, 0x4F})
        EXPECT_EQ(find_pid_spec(statusPid), nullptr) << statusPid;
}
