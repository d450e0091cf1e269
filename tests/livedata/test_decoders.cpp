// The decoders as pure functions: reply text, unit system and offset in, value text or report
// lines out. Rows are the values that break naive arithmetic (rounding, truncation, clamping,
// sign, 16-bit overflow) beyond those the window test lists: it shows one value of each item,
// with its units, in both unit systems (test_livedata_window.cpp).
#include "livedata/decoders.h"

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

} // namespace

TEST(ValueDecoders, EdgesOfTheRulesInBothUnitSystems)
{
    const struct
    {
        const char *name;
        int pid;
        const char *data;
        bool metric;
        const char *text;
    } rows[] = {
        {"load A=254 truncates 99.6", 0x04, "FE", kMetric, " 99"},
        {"coolant 7B English cut from 181.4", 0x05, "7B", kEnglish, "181."},
        {"RPM quarter revolutions", 0x0C, "0001", kEnglish, " .25"},
        {"speed 255 English truncates 155.55", 0x0D, "FF", kEnglish, " 155"},
        {"intake air 96, the highest not clamped", 0x0F, "96", kMetric, " 110"},
        {"throttle cut to 4", 0x11, "1F", kMetric, " 12."},
        {"run time beyond 32767 s", 0x1F, "8000", kMetric, " 32768"},
        {"gauge pressure 1.45 psi truncated", 0x23, "0001", kEnglish, " 1"},
        {"EGR error is not signed", 0x2D, "00", kMetric, " 0"},
        {"EVAP 7FFF highest", 0x32, "7FFF", kMetric, " 8191.75"},
        {"EVAP 8000 lowest", 0x32, "8000", kMetric, "-8192"},
        {"catalyst half rounds to even", 0x3E, "0005", kMetric, " -40"},
        {"catalyst 2.5 rounds to even 2", 0x3E, "0019", kMetric, " -38"},
        {"relative throttle A=254 rounds to 100", 0x45, "FE", kEnglish, " 100"},
        {"ambient is not clamped", 0x46, "FF", kMetric, " 215"},
    };
    for (const auto &r : rows) {
        const PidRow *row = find_pid_row(r.pid);
        ASSERT_NE(row, nullptr) << r.name;
        EXPECT_EQ(decode_value(*row, reply(r.pid, r.data), r.metric, 0).valueText,
                  QString::fromUtf8(r.text))
            << r.name;
    }
}

// In a freeze-frame run (offset 1) the mode-aware rows read one byte later; the rows that
// always ask service 01, the wide-range O2 sensors among them, read where a service 01 reply
// has its data. Missing bytes read as zero; characters that are not hex flow through conv_hex
// unchecked.
TEST(ValueDecoders, OffsetsShortEmptyAndGarbageReplies)
{
    const struct
    {
        const char *name;
        int pid;
        QString reply;
        int offset;
        const char *text;
    } rows[] = {
        {"ignition ignores the offset", 0x0E, "R486B10410E80FF", 1, " 0"},
        {"wide-range O2 reads service 01's positions", 0x24, "R486B1041248000", 1, " .999424"},
        {"empty intake air is a zero byte, not clamped", 0x0F, "", 0, "-40"},
        {"empty catalyst", 0x3C, "", 0, " -40"},
        {"header only", 0x0D, "R486B10410D", 0, " 0"},
        {"one digit of A", 0x0C, "R486B10410C0B", 0, " 704"},
        {"B missing", 0x10, "R486B104110FF", 0, " 652.8"},
        {"freeze-frame offset past the end", 0x0C, "R486B10420C00", 1, " 0"},
        {"lower-case digits are not hex", 0x0C, "R486B10410Czz", 0, " 72896"},
    };
    for (const auto &r : rows) {
        const PidItem item = decode_value(*find_pid_row(r.pid), r.reply, kMetric, r.offset);
        EXPECT_EQ(item.valueText, QString::fromUtf8(r.text)) << r.name;
    }
}

TEST(ValueDecoders, CoolantListsItsTextRoundedHalfToEven)
{
    const std::pair<const char *, int> rows[] = {{"69.8", 70}, {"181.", 181}, {" 83", 83},
                                                 {"-40", -40}, {"72.5", 72},  {"73.5", 74},
                                                 {"419", 419}};
    for (const auto &[text, listed] : rows)
        EXPECT_EQ(coolant_listed_value(QString::fromLatin1(text)), listed) << text;
}

// Every line ends in CR LF; the fuel status ends its section with an empty line. Missing bytes
// read as zero. (The window test shows the four trims' texts at 80, 7F, 00 and FF.)
TEST(StatusDecoders, ReportLines)
{
    const struct
    {
        const char *name;
        QString actual;
        const char *expected;
    } rows[] = {
        {"fuel status: driving, faults", fuel_status_text(reply(0x03, "0410"), 0),
         "Fuel Sys1-Open Loop Driving\r\nFuel Sys2-Closed Loop with Fault\r\n\r\n"},
        {"fuel status: open loop with fault, no system 2", fuel_status_text(reply(0x03, "0800"), 0),
         "Fuel Sys1-Open Loop with Fault\r\n\r\n"},
        {"fuel status: two bits at once is no status", fuel_status_text(reply(0x03, "0300"), 0),
         "\r\n"},
        {"fuel status: a freeze frame reads past the frame byte",
         fuel_status_text(reply(0x03, "0201", 1), 1),
         "Fuel Sys1-Closed Loop Mode\r\nFuel Sys2-Open Loop Mode\r\n\r\n"},
        {"fuel status: empty reply", fuel_status_text(QString(), 0), "\r\n"},
        {"trim from a freeze frame", fuel_trim_text(0x06, reply(0x06, "FF", 1), 1),
         "Short Term Fuel Trim----  99%\r\n"},
        {"trim: empty reply", fuel_trim_text(0x09, QString(), 1),
         "Long Term FT,B2 -------- -100%\r\n"},
        {"secondary air: empty reply", secondary_air_text(QString()),
         "Cmd Sec. Air Status ----  0\r\n"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(r.actual, QString::fromLatin1(r.expected)) << r.name;
    EXPECT_EQ(o2_sensor_bits(QString()), 0);
}

TEST(FuelEconomy, FromAirFlowSpeedAndLambda)
{
    const struct
    {
        const char *name;
        double airFlow;
        double speed;
        bool metric;
        std::optional<double> lambda;
        const char *text;
    } rows[] = {
        {"standing with no air flow", 0, 0, false, std::nullopt, " 0"},
        {"zero air flow counts as 0.01 g/s", 0, 50, false, std::nullopt, " 7080"},
        {"metric km/l", 5, 100, true, std::nullopt, " 50.5"},
        {"wide-range lambda multiplies", 5, 30, false, 0.5, " 46.7"},
        // A garbage air flow of -0.001 g/s would divide by zero: the text stays a number.
        {"division by zero", -0.001, 10, false, std::nullopt, " 0"},
    };
    for (const auto &r : rows) {
        const PidItem item = compute_mpg(r.airFlow, r.speed, r.metric, r.lambda);
        EXPECT_EQ(item.valueText, QString::fromLatin1(r.text)) << r.name;
    }
}

// The PIDs of newer cars, worked by hand from the SAE J1979 scalings: each at the ends of its
// range and in between, in the unit system where it differs; a short reply reads its missing
// bytes as zero; a fuel type of 0 or a support byte naming no sensor is not available.
TEST(ValueDecoders, NewerPidsByHandAtTheEndsOfTheirRanges)
{
    const struct
    {
        const char *name;
        int pid;
        const char *data;
        bool metric;
        const char *text;
        bool available;
    } rows[] = {
        {"maximum values", 0x4F, "02088019", kMetric, " 2 Lambda, 8 V, 128 mA, 250", true},
        {"maximum values, inHg", 0x4F, "FFFFFFFF", kEnglish, " 255 Lambda, 255 V, 255 mA, 755.1",
         true},
        {"maximum air flow 10 g/s a count", 0x50, "FF000000", kEnglish, " 2550", true},
        {"fuel type 1", 0x51, "01", kMetric, " Gasoline", true},
        {"fuel type 23, the last", 0x51, "17", kMetric, " Bifuel Diesel", true},
        {"fuel type beyond the table", 0x51, "FF", kMetric, " Type 255", true},
        {"fuel type 0 not available", 0x51, "00", kMetric, " Type 0", false},
        {"ethanol 100 %", 0x52, "FF", kMetric, " 100", true},
        {"absolute EVAP 327.675 kPa", 0x53, "FFFF", kMetric, " 327.675", true},
        {"absolute EVAP 1 count in psi", 0x53, "0001", kEnglish, " .000725", true},
        {"EVAP 8000 is -32768 Pa", 0x54, "8000", kMetric, "-32768", true},
        {"EVAP 7FFF in inH2O", 0x54, "7FFF", kEnglish, " 131.461204", true},
        {"secondary trims, 00 and FF", 0x55, "00FF", kMetric, "-100%, 99", true},
        {"secondary trims at 128, zero", 0x58, "8080", kMetric, " 0%, 0", true},
        {"rail pressure absolute, highest", 0x59, "FFFF", kMetric, " 655350", true},
        {"rail pressure absolute in psi", 0x59, "0001", kEnglish, " 1", true},
        {"relative pedal A=128", 0x5A, "80", kMetric, " 50", true},
        {"hybrid battery 0", 0x5B, "00", kMetric, " 0", true},
        {"oil -40", 0x5C, "00", kMetric, "-40", true},
        {"oil 215 in Deg F", 0x5C, "FF", kEnglish, "419", true},
        {"injection timing lowest", 0x5D, "0000", kMetric, "-210", true},
        {"injection timing highest", 0x5D, "FFFF", kMetric, " 301.9921875", true},
        {"fuel rate highest", 0x5E, "FFFF", kMetric, " 3276.75", true},
        {"fuel rate 20 counts in gal/h", 0x5E, "0014", kEnglish, " .264172", true},
        {"demanded torque lowest", 0x61, "00", kMetric, "-125", true},
        {"actual torque highest", 0x62, "FF", kMetric, " 130", true},
        {"reference torque in lb-ft", 0x63, "0140", kEnglish, " 236", true},
        {"coolant sensor 1 only", 0x67, "017B00", kMetric, " 83", true},
        {"coolant sensors 1 and 2 in Deg F", 0x67, "037B00", kEnglish, "181.,-40", true},
        {"coolant, no sensor", 0x67, "007B7B", kMetric, "", false},
        {"odometer highest", 0xA6, "FFFFFFFF", kMetric, " 429496729.5", true},
        {"odometer in miles", 0xA6, "00003039", kEnglish, " 753", true},
        {"short reply: odometer's C and D missing", 0xA6, "0001", kMetric, " 6553.6", true},
        {"short reply: no data byte", 0x63, "", kMetric, " 0", true},
    };
    for (const auto &r : rows) {
        const PidRow *row = find_pid_row(r.pid);
        ASSERT_NE(row, nullptr) << r.name;
        const PidItem item = decode_value(*row, reply(r.pid, r.data), r.metric, 0);
        EXPECT_EQ(item.valueText, QString::fromUtf8(r.text)) << r.name;
        EXPECT_EQ(item.available, r.available) << r.name;
    }
}
