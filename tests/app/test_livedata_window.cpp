// The live-data buttons on the real window against the simulated car: the freeze frame in red,
// and an item of every kind from all three support bitmaps listed with its exact text in both
// unit systems, and the status window. The car's values are pinned, so each line is known to the
// character; the window's list is what a user reads and prints, so it is compared whole.
#include "windowfixture.h"

using namespace quorvex;
using namespace quorvex::test;

namespace {

// PID, data bytes, the English line, the metric line (empty: the same).
struct Item
{
    int pid;
    const char *data;
    const char *english;
    const char *metric;
};

const Item kItems[] = {
    {0x04, "80", "Calculated Load --------  50%", ""},
    {0x05, "7B", "Coolant Temp -----------  181Deg F", "Coolant Temp -----------  83Deg C"},
    {0x0B, "65", "Manifold Absolute Pres.-  29.9inHg", "Manifold Absolute Pres.-  101KPaA"},
    {0x0C, "0BB8", "Engine RPM -------------  750RPM", ""},
    {0x0D, "64", "Speed ------------------  61MPH", "Speed ------------------  100KPH"},
    {0x0E, "81", "Ignition Advance -------  .5Deg", ""},
    {0x0F, "97", "Intake Air Temp --------  -4Deg F", "Intake Air Temp --------  -20Deg C"},
    {0x10, "01F4", "Air Flow ---------------  5gm/sec", ""},
    // The metric run follows the English one, so its fuel economy carries the equivalence
    // ratio of PID 3B, the last wide-range sensor decoded (0.499712).
    {18, nullptr, "Gas Mileage ------------  189.MPG", "Fuel Consumption -------  25.2Km/L"},
    {0x11, "FF", "Throttle Position ------  100%", ""},
    {0x14, "5A", "O2 Sensor1 Val ---------  .45 Volts", ""},
    {0x16, "00", "O2 Sensor3 Val ---------  0 Volts", ""},
    {0x18, "0A", "O2 Sensor1b Val --------  .05 Volts", ""},
    {0x21, "03E8", "Distance with MIL -----  610Mi", "Distance with MIL -----  1000Km"},
    {0x22, "03E8", "Fuel press. -----------  11.5 PSI", "Fuel press. -----------  079.0 kPa"},
    {0x23, "0014", "Fuel press. -----------  29 PSI", "Fuel press. -----------  200kPa"},
    {0x24, "8000", "O2S1 Sensor -----------  .999424 Lambda", ""},
    {0x27, "FFFF", "O2S4 Sensor -----------  1.9988175 Lambda", ""},
    {0x28, "0001", "O2S5 Sensor -----------  3.05E-05 Lambda", ""},
    {0x2C, "80", "CMD EGR open ----------  50%", ""},
    {0x2D, "FE", "EGR Error -------------  99%", ""},
    {0x30, "05", "Num. Warm Ups ---------  5Times", ""},
    {0x31, "0064", "Dist. since CLR -------  61Mi.", "Dist. since CLR -------  100kM"},
    {0x32, "FFFF", "EVAP press. ----------- -.001003inH2O.", "EVAP press. ----------- -.25Pa"},
    {0x33, "65", "BARO press. -----------  29.8253InHg", "BARO press. -----------  101kPa"},
    {0x3B, "4000", "O2S8 Sensor -----------  .499712 Lambda", ""},
    {0x3C, "1194", "CAT11 Temp ------------  770Deg F", "CAT11 Temp ------------  410Deg C"},
    {0x3E, "FFFF", "CAT12 Temp ------------  11757Deg F", "CAT12 Temp ------------  6514Deg C"},
    {0x42, "3039", "Control Mod. Voltage---  12.345Volts", ""},
    {0x43, "0148", "Absolute Load ---------  129%", ""},
    {0x44, "FFFF", "Cmd Equiv. Ratio ------  1.998817 ", ""},
    {0x45, "80", "Rel. Throttle Position-  50%", ""},
    {0x46, "3D", "Ambiant Air Temp ------ 69.8Deg F", "Ambiant Air Temp ------  21Deg C"},
    {0x49, "01", "Accelerator PositionD--  0%", ""},
    {0x4D, "FFFF", "Minutes Run with MIL--  65535Min.", ""},
};

// Status PIDs and the ones asked but not listed.
const std::pair<int, const char *> kStatusData[] = {
    {0x03, "0204"}, {0x06, "80"}, {0x07, "7F"}, {0x08, "00"},
    {0x09, "FF"},   {0x12, "04"}, {0x13, "33"}, {0x1F, "0100"},
};

const char *kReport = "\r\nMIL is OFF, 3 stored Trouble Code(s)\r\n"
                      "Misfire Monitoring Complete\r\n"
                      "Fuel Sys. Monitoring Complete\r\n"
                      "Component Monitoring Complete\r\n"
                      "Catalyst Monitoring Inomplete\r\n"
                      "Evaporative System Monitoring Complete\r\n"
                      "O2 Sensor Monitoring Incomplete\r\n"
                      "O2 Sensor Heater Monitoring Incomplete\r\n"
                      "\r\nFreeze Frame T.C. -P0301\r\n"
                      "Fuel Sys1-Closed Loop Mode\r\nFuel Sys2-Open Loop Driving\r\n\r\n"
                      "Short Term Fuel Trim----  0%\r\n"
                      "Long Term FT,B1 -------- -1%\r\n"
                      "Short Term FT,B2 ------- -100%\r\n"
                      "Long Term FT,B2 --------  99%\r\n"
                      "Cmd Sec. Air Status ----  4\r\n"
                      "# of O2 Sensors --------  4\r\n"
                      "OBDII\r\n"
                      "# of O2 Sensors --------  4\r\n";

// One item of each kind from all three bitmaps, and every status PID, each value pinned.
sim::Scenario pinnedCar()
{
    sim::Scenario s;
    sim::Ecu ecu;
    ecu.pids = {0x01, 0x02, 0x1C, 0x1D};
    for (const Item &item : kItems) {
        if (item.data) {
            ecu.pids << static_cast<quint8>(item.pid);
            ecu.values[static_cast<quint8>(item.pid)] = QByteArray::fromHex(item.data);
        }
    }
    for (const auto &[pid, data] : kStatusData) {
        ecu.pids << static_cast<quint8>(pid);
        ecu.values[static_cast<quint8>(pid)] = QByteArray::fromHex(data);
    }
    ecu.storedCodes = QStringList{"0301", "0171", "0420"};
    ecu.monitors = QByteArray::fromHex("076561");
    ecu.freezeFrame = sim::FreezeFrame{.code = "0301",
                                       .pids = {0x02, 0x04, 0x05, 0x0C, 0x0D},
                                       .values = {{0x04, QByteArray::fromHex("33")},
                                                  {0x05, QByteArray::fromHex("5C")},
                                                  {0x0C, QByteArray::fromHex("0FA0")},
                                                  {0x0D, QByteArray::fromHex("28")}}};
    s.ecus = {ecu};
    return s;
}

} // namespace

// The freeze frame first, so each current-data run must replace its lines and switch the
// decoders back to service 01. The same texts whichever way the car is reached.
class LiveDataWindow : public WindowTest, public ::testing::WithParamInterface<Route>
{
};

INSTANTIATE_TEST_SUITE_P(Routes, LiveDataWindow,
                         ::testing::Values(Route::Serial, Route::Usb, Route::ElmCan, Route::ElmIso,
                                           Route::ElmPwm, Route::ElmVpw, Route::ElmKwp5,
                                           Route::ElmKwpFast),
                         [](const auto &param) { return route_name(param.param); });

TEST_P(LiveDataWindow, FreezeFrameThenCurrentDataInBothUnitSystems)
{
    connectThrough(GetParam(), pinnedCar());
    const auto listRed = [this] {
        return control<QListWidget>(QStringLiteral("List1"))->palette().color(QPalette::Text) ==
               Qt::red;
    };
    ASSERT_TRUE(button("Mode1")->isEnabled());

    ASSERT_FALSE(listRed());
    button("Mode2")->click();
    EXPECT_EQ(
        lines(),
        (QStringList{"Calculated Load --------  20%", "Coolant Temp -----------  125Deg F",
                     "Engine RPM -------------  1000RPM", "Speed ------------------  24MPH"}));
    EXPECT_TRUE(listRed());
    EXPECT_EQ(report(), QStringLiteral("\r\nECU #=10\r\n\r\nFreeze Frame T.C. -P0301\r\n"));
    EXPECT_FALSE(button("Mode2")->isChecked());

    for (const bool metric : {false, true}) {
        action(QLatin1String(metric ? "mnuUnitsMetric" : "mnuUnitsEnglish"))->trigger();
        button("Mode1")->click();
        QStringList expected;
        QList<int> codes;
        for (const Item &item : kItems) {
            expected << QString::fromLatin1(metric && *item.metric ? item.metric : item.english);
            codes << item.pid;
        }
        EXPECT_EQ(lines(), expected) << (metric ? "metric" : "English");
        // Line k of the window and of ListPID name the same item.
        EXPECT_EQ(window->ListPID(), codes);
        EXPECT_EQ(report(), QString::fromLatin1(kReport));
        EXPECT_TRUE(listRed()); // the frame's code was shown
        EXPECT_FALSE(button("Mode1")->isChecked());
    }
    // The logger, the air/fuel meter (a wide-range sensor) and the fuel trim monitor (bank 1's
    // short term trim) are offered.
    for (const char *name : {"mnuDataLogLog", "mnuAF", "mnuFTM"})
        EXPECT_TRUE(action(QLatin1String(name))->isEnabled()) << name;

    button("Mode3")->click();
    EXPECT_TRUE(report().contains(
        QStringLiteral("TC1 -P0301\r\nP0301 Cylinder 1 Misfire Detected\r\nTC2 -P0171\r\n")));
}
