// The status decoders' report lines, the fuel economy and the equivalence ratio, as pure
// functions.
#include "decoders.h"

#include <gtest/gtest.h>

using namespace quorvex;

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString reply(int pid, const char *data, int offset = 0)
{
    return QStringLiteral("R486B10") + (offset ? QStringLiteral("42") : QStringLiteral("41")) +
           hex2(pid) + (offset ? QStringLiteral("00") : QString()) + QLatin1String(data);
}

} // namespace

TEST(StatusDecoders, FuelSystemStatus)
{
    const struct
    {
        const char *name;
        QString reply;
        int offset;
        QString text;
    } rows[] = {
        {"open loop and closed loop", reply(0x03, "0102"), 0,
         "Fuel Sys1-Open Loop Mode\r\nFuel Sys2-Closed Loop Mode\r\n\r\n"},
        {"driving, faults", reply(0x03, "0410"), 0,
         "Fuel Sys1-Open Loop Driving\r\nFuel Sys2-Closed Loop with Fault\r\n\r\n"},
        {"open loop with fault, no system 2", reply(0x03, "0800"), 0,
         "Fuel Sys1-Open Loop with Fault\r\n\r\n"},
        {"two bits at once is no status", reply(0x03, "0300"), 0, "\r\n"},
        {"freeze frame reads past the frame byte", reply(0x03, "0201", 1), 1,
         "Fuel Sys1-Closed Loop Mode\r\nFuel Sys2-Open Loop Mode\r\n\r\n"},
        {"empty reply", QString(), 0, "\r\n"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(fuel_status_text(r.reply, r.offset), r.text) << r.name;
}

TEST(StatusDecoders, FuelTrimsTruncateBeforeTheOffset)
{
    const struct
    {
        const char *name;
        int pid;
        const char *data;
        QString text;
    } rows[] = {
        {"80 is 0 %", 0x06, "80", QStringLiteral("Short Term Fuel Trim----  0%")},
        {"7F is Int(99.2) - 100", 0x07, "7F", QStringLiteral("Long Term FT,B1 -------- -1%")},
        {"00 is -100 %", 0x08, "00", QStringLiteral("Short Term FT,B2 ------- -100%")},
        {"FF is 99 %", 0x09, "FF", QStringLiteral("Long Term FT,B2 --------  99%")},
    };
    for (const auto &r : rows)
        EXPECT_EQ(fuel_trim_text(r.pid, reply(r.pid, r.data), 0), r.text + kCrLf) << r.name;
    EXPECT_EQ(fuel_trim_text(0x06, reply(0x06, "FF", 1), 1),
              QStringLiteral("Short Term Fuel Trim----  99%\r\n"));
}

TEST(StatusDecoders, SecondaryAirAndO2Sensors)
{
    EXPECT_EQ(secondary_air_text(reply(0x12, "04")),
              QStringLiteral("Cmd Sec. Air Status ----  4\r\n"));
    EXPECT_EQ(o2_sensor_count_text(4), QStringLiteral("# of O2 Sensors --------  4\r\n"));
    EXPECT_EQ(o2_sensor_bits(reply(0x13, "33")), 0x33);
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
        {"cut to five characters", 5, 61, false, std::nullopt, " 189."},
        {"metric km/l", 5, 100, true, std::nullopt, " 50.5"},
        {"wide-range lambda multiplies", 5, 30, false, 0.5, " 46.7"},
        {"no lambda", 5, 30, false, std::nullopt, " 93.4"},
    };
    for (const auto &r : rows) {
        const PidItem item = compute_mpg(r.airFlow, r.speed, r.metric, r.lambda);
        EXPECT_EQ(item.valueText, QString::fromLatin1(r.text)) << r.name;
        EXPECT_DOUBLE_EQ(item.value, QString::fromLatin1(r.text).toDouble()) << r.name;
        EXPECT_EQ(item.units, r.metric ? QStringLiteral("Km/L") : QStringLiteral("MPG")) << r.name;
        EXPECT_EQ(item.label, r.metric ? QStringLiteral("Fuel Consumption ------- ")
                                       : QStringLiteral("Gas Mileage ------------ "))
            << r.name;
    }
    // A garbage air flow of -0.001 g/s would divide by zero: the text stays a number.
    EXPECT_EQ(compute_mpg(-0.001, 10, false, std::nullopt).valueText, QStringLiteral(" 0"));
}

TEST(WideRangeLambda, ScalesTwoBytesAndShiftsWithTheOffset)
{
    EXPECT_EQ(decode_lambda(reply(0x24, "8000"), 0).valueText, QStringLiteral(" .999424"));
    EXPECT_DOUBLE_EQ(decode_lambda(reply(0x24, "8000"), 0).value, 0.999424);
    EXPECT_EQ(decode_lambda(reply(0x34, "FFFF"), 0).valueText, QStringLiteral(" 1.9988175"));
    EXPECT_EQ(decode_lambda(QStringLiteral("R486B104124008000"), 1).valueText,
              QStringLiteral(" .999424"));
    EXPECT_EQ(decode_lambda(QString(), 0).valueText, QStringLiteral(" 0"));
}

TEST(ReplyFields, DataBytesAndLengths)
{
    EXPECT_EQ(hex2(7), QStringLiteral("07"));
    EXPECT_EQ(hex2(0x4E), QStringLiteral("4E"));
    EXPECT_EQ(data_byte(reply(0x0C, "0BB8"), 1, 0), 0xB8);
    EXPECT_EQ(data_byte(reply(0x0C, "0BB8", 1), 0, 1), 0x0B);
    EXPECT_EQ(data_byte(QStringLiteral("R48"), 3, 0), 0);
}
