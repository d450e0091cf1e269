#include "livedata/pidtable.h"

#include <algorithm>
#include <array>

namespace quorvex {

namespace {

using K = RequestKind;
using R = ValueRule;
using F = ValueForm;

// Asked, never listed: nothing to display.
constexpr ItemDisplay kNotShown{};

// Labels and units carry their dashes, blanks and spellings exactly as displayed: the line
// is label & value text & units with nothing between them, so the trailing blanks of a label
// and the leading blank of a value text make the layout.
constexpr auto kWideLabel1 = u"O2S1 Sensor ----------- ";
constexpr auto kWideLabel2 = u"O2S2 Sensor ----------- ";
constexpr auto kWideLabel3 = u"O2S3 Sensor ----------- ";
constexpr auto kWideLabel4 = u"O2S4 Sensor ----------- ";
constexpr auto kWideLabel5 = u"O2S5 Sensor ----------- ";
constexpr auto kWideLabel6 = u"O2S6 Sensor ----------- ";
constexpr auto kWideLabel7 = u"O2S7 Sensor ----------- ";
constexpr auto kWideLabel8 = u"O2S8 Sensor ----------- ";

// Sorted by PID; one row a PID, its display at the end.
// clang-format off
constexpr std::array kRows{
    PidRow{0x04, K::ModeAware, 6, R::PercentTruncated, u"%", u"%",
           u"Calculated Load -------- ", {10, 50, F::Percent, u"##.0%"}},
    PidRow{0x05, K::ModeAware, 6, R::Temperature, u"Deg C", u"Deg F",
           u"Coolant Temp -----------  ", {150, 180, F::Formatted, u"### "}},
    PidRow{0x0A, K::ModeAware, 6, R::FuelPressure, u"KPa", u"KPa",
           u"Fuel Pressure ---------- ", {20, 70, F::Raw, u""}},
    PidRow{0x0B, K::ModeAware, 6, R::ManifoldPressure, u"KPaA", u"inHg",
           u"Manifold Absolute Pres.- ", {18, 40, F::Formatted, u"#0.00 "}},
    PidRow{0x0C, K::ModeAware, 7, R::EngineSpeed, u"RPM", u"RPM",
           u"Engine RPM ------------- ", {500, 2000, F::Formatted, u"#### "}},
    PidRow{0x0D, K::ModeAware, 6, R::VehicleSpeed, u"KPH", u"MPH",
           u"Speed ------------------ ", {0, 20, F::Formatted, u"### "}},
    PidRow{0x0E, K::Service01, 6, R::IgnitionAdvance, u"Deg", u"Deg",
           u"Ignition Advance ------- ", {-30, 30, F::Raw, u""}},
    PidRow{0x0F, K::Service01, 6, R::AirTemperature, u"Deg C", u"Deg F",
           u"Intake Air Temp --------  ", {20, 80, F::Formatted, u"### "}},
    PidRow{0x10, K::Service01, 7, R::AirFlow, u"gm/sec", u"gm/sec",
           u"Air Flow --------------- ", {30, 70, F::Formatted, u"###.00 "}},
    PidRow{0x11, K::ModeAware, 6, R::ThrottlePosition, u"%", u"%",
           u"Throttle Position ------ ", {0, 100, F::Percent, u"00.0% "}},
    PidRow{0x14, K::Service01, 6, R::O2Voltage, u" Volts", u" Volts",
           u"O2 Sensor1 Val --------- ", {0, 1.25, F::Formatted, u"0.000 "}},
    PidRow{0x15, K::Service01, 6, R::O2Voltage, u" Volts", u" Volts",
           u"O2 Sensor2 Val --------- ", {0, 1.25, F::Formatted, u"0.000 "}},
    PidRow{0x16, K::Service01, 6, R::O2Voltage, u" Volts", u" Volts",
           u"O2 Sensor3 Val --------- ", {0, 1.25, F::Formatted, u"0.000 "}},
    PidRow{0x17, K::Service01, 6, R::O2Voltage, u" Volts", u" Volts",
           u"O2 Sensor4 Val --------- ", {0, 1.25, F::Formatted, u"0.000 "}},
    PidRow{0x18, K::Service01, 6, R::O2Voltage, u" Volts", u" Volts",
           u"O2 Sensor1b Val -------- ", {0, 1.25, F::Formatted, u"0.000 "}},
    PidRow{0x19, K::Service01, 6, R::O2Voltage, u" Volts", u" Volts",
           u"O2 Sensor2b Val -------- ", {0, 1.25, F::Formatted, u"0.000 "}},
    PidRow{0x1A, K::Service01, 6, R::O2Voltage, u" Volts", u" Volts",
           u"O2 Sensor3b Val -------- ", {0, 1.25, F::Formatted, u"0.000 "}},
    PidRow{0x1B, K::Service01, 6, R::O2Voltage, u" Volts", u" Volts",
           u"O2 Sensor4b Val -------- ", {0, 1.25, F::Formatted, u"0.000 "}},
    PidRow{0x1F, K::ModeAware, 9, R::Counter, u"Sec.", u"Sec.",
           u"Seconds Since Start -- ", kNotShown},
    PidRow{0x21, K::ModeAware, 9, R::Distance, u"Km", u"Mi",
           u"Distance with MIL ----- ", {0, 50000, F::Formatted, u"0.000 "}},
    PidRow{0x22, K::ModeAware, 9, R::RailPressure, u" kPa", u" PSI",
           u"Fuel press. ----------- ", {0, 100, F::Formatted, u"0.000 "}},
    PidRow{0x23, K::ModeAware, 9, R::RailPressureGauge, u"kPa", u" PSI",
           u"Fuel press. ----------- ", {0, 6600, F::Formatted, u"0.000 "}},
    PidRow{0x24, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel1, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x25, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel2, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x26, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel3, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x27, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel4, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x28, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel5, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x29, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel6, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x2A, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel7, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x2B, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel8, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x2C, K::ModeAware, 6, R::PercentTruncated, u"%", u"%",
           u"CMD EGR open ---------- ", {0, 100, F::Formatted, u"0.000 "}},
    PidRow{0x2D, K::ModeAware, 6, R::PercentTruncated, u"%", u"%",
           u"EGR Error ------------- ", {0, 100, F::Formatted, u"0.000 "}},
    PidRow{0x2E, K::ModeAware, 6, R::PercentTruncated, u"%", u"%",
           u"CMD EVAP Purge -------- ", {0, 100, F::Formatted, u"0.000 "}},
    PidRow{0x2F, K::ModeAware, 6, R::PercentTruncated, u"%", u"%",
           u"Fuel Level ------------ ", {0, 100, F::Formatted, u"0.000 "}},
    PidRow{0x30, K::ModeAware, 6, R::RawByte, u"Times", u"Times",
           u"Num. Warm Ups --------- ", {0, 255, F::Formatted, u"0.000 "}},
    PidRow{0x31, K::ModeAware, 7, R::Distance, u"kM", u"Mi.",
           u"Dist. since CLR ------- ", {0, 66000, F::Formatted, u"0.000 "}},
    PidRow{0x32, K::ModeAware, 7, R::VapourPressure, u"Pa", u"inH2O.",
           u"EVAP press. ----------- ", {-8200, 8200, F::Formatted, u"0.000 "}},
    PidRow{0x33, K::ModeAware, 6, R::Barometric, u"kPa", u"InHg",
           u"BARO press. ----------- ", {0, 35, F::Formatted, u"0.000 "}},
    PidRow{0x34, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel1, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x35, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel2, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x36, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel3, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x37, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel4, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x38, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel5, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x39, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel6, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x3A, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel7, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x3B, K::Service01, 9, R::WideRangeLambda, u" Lambda", u" Lambda",
           kWideLabel8, {0, 1.999, F::WideRange, u"0.000 "}},
    PidRow{0x3C, K::ModeAware, 7, R::CatalystTemperature, u"Deg C", u"Deg F",
           u"CAT11 Temp ------------ ", {-40, 2000, F::Formatted, u"0.000 "}},
    PidRow{0x3D, K::ModeAware, 7, R::CatalystTemperature, u"Deg C", u"Deg F",
           u"CAT21 Temp ------------ ", {-40, 2000, F::Formatted, u"0.000 "}},
    PidRow{0x3E, K::ModeAware, 7, R::CatalystTemperature, u"Deg C", u"Deg F",
           u"CAT12 Temp ------------ ", {-40, 2000, F::Formatted, u"0.000 "}},
    PidRow{0x3F, K::ModeAware, 7, R::CatalystTemperature, u"Deg C", u"Deg F",
           u"CAT22 Temp ------------ ", {-40, 2000, F::Formatted, u"0.000 "}},
    PidRow{0x42, K::ModeAware, 9, R::ModuleVoltage, u"Volts", u"Volts",
           u"Control Mod. Voltage--- ", {5, 20, F::Formatted, u"###.00 "}},
    PidRow{0x43, K::ModeAware, 9, R::AbsoluteLoad, u"%", u"%",
           u"Absolute Load --------- ", {0, 100, F::Formatted, u"### "}},
    PidRow{0x44, K::ModeAware, 9, R::EquivalenceRatio, u" ", u" ",
           u"Cmd Equiv. Ratio ------ ", {0, 2, F::Formatted, u"###.000 "}},
    PidRow{0x45, K::ModeAware, 9, R::PercentRounded, u"%", u"%",
           u"Rel. Throttle Position- ", {0, 100, F::Formatted, u"### "}},
    PidRow{0x46, K::ModeAware, 9, R::Temperature, u"Deg C", u"Deg F",
           u"Ambiant Air Temp ------ ", {-40, 220, F::Formatted, u"###.0 "}},
    PidRow{0x47, K::ModeAware, 9, R::PercentRounded, u"%", u"%",
           u"Abs. Throttle PositionB- ", {0, 100, F::Formatted, u"##0.0 "}},
    PidRow{0x48, K::ModeAware, 9, R::PercentRounded, u"%", u"%",
           u"Abs. Throttle PositionC- ", {0, 100, F::Formatted, u"##0.0 "}},
    PidRow{0x49, K::ModeAware, 9, R::PercentRounded, u"%", u"%",
           u"Accelerator PositionD-- ", {0, 100, F::Formatted, u"##0.0 "}},
    PidRow{0x4A, K::ModeAware, 9, R::PercentRounded, u"%", u"%",
           u"Accelerator PositionE-- ", {0, 100, F::Formatted, u"##0.0 "}},
    PidRow{0x4B, K::ModeAware, 9, R::PercentRounded, u"%", u"%",
           u"Accelerator PositionF-- ", {0, 100, F::Formatted, u"##0.0 "}},
    PidRow{0x4C, K::ModeAware, 9, R::PercentRounded, u"%", u"%",
           u"Cmd. Throt. Actuator--- ", {0, 100, F::Formatted, u"##0.0 "}},
    PidRow{0x4D, K::ModeAware, 9, R::Counter, u"Min.", u"Min.",
           u"Minutes Run with MIL-- ", {0, 100, F::Formatted, u"####0 "}},
    PidRow{0x4E, K::ModeAware, 9, R::Counter, u"Min.", u"Min.",
           u"Min. Since TC Clear--- ", {0, 2000, F::Formatted, u"####0 "}},
    PidRow{0x4F, K::ModeAware, 9, R::MaxValues, u" kPa", u" inHg",
           u"Max. Values ----------- ", {0, 255, F::Raw, u""}},
    PidRow{0x50, K::ModeAware, 9, R::MaxAirFlow, u"gm/sec", u"gm/sec",
           u"Max. Air Flow --------- ", {0, 2550, F::Formatted, u"####0 "}},
    PidRow{0x51, K::ModeAware, 6, R::FuelType, u"", u"",
           u"Fuel Type ------------- ", {0, 23, F::Raw, u""}},
    PidRow{0x52, K::ModeAware, 6, R::PercentRounded, u"%", u"%",
           u"Ethanol Fuel ---------- ", {0, 100, F::Formatted, u"##0.0 "}},
    PidRow{0x53, K::ModeAware, 7, R::AbsVapourPressure, u"kPa", u" PSI",
           u"Abs. EVAP press. ------ ", {0, 330, F::Formatted, u"##0.000 "}},
    PidRow{0x54, K::ModeAware, 7, R::VapourPressurePa, u"Pa", u"inH2O.",
           u"EVAP Vapor press. ----- ", {-33000, 33000, F::Formatted, u"0.000 "}},
    PidRow{0x55, K::ModeAware, 7, R::SecondaryTrims, u"%", u"%",
           u"Sec. O2 STFT B1,B3 ---- ", {-100, 100, F::Raw, u""}},
    PidRow{0x56, K::ModeAware, 7, R::SecondaryTrims, u"%", u"%",
           u"Sec. O2 LTFT B1,B3 ---- ", {-100, 100, F::Raw, u""}},
    PidRow{0x57, K::ModeAware, 7, R::SecondaryTrims, u"%", u"%",
           u"Sec. O2 STFT B2,B4 ---- ", {-100, 100, F::Raw, u""}},
    PidRow{0x58, K::ModeAware, 7, R::SecondaryTrims, u"%", u"%",
           u"Sec. O2 LTFT B2,B4 ---- ", {-100, 100, F::Raw, u""}},
    PidRow{0x59, K::ModeAware, 7, R::RailPressureGauge, u"kPa", u" PSI",
           u"Fuel Rail Abs. press. - ", {0, 66000, F::Formatted, u"####0 "}},
    PidRow{0x5A, K::ModeAware, 6, R::PercentRounded, u"%", u"%",
           u"Rel. Pedal Position --- ", {0, 100, F::Formatted, u"##0.0 "}},
    PidRow{0x5B, K::ModeAware, 6, R::PercentRounded, u"%", u"%",
           u"Hybrid Battery Life --- ", {0, 100, F::Formatted, u"##0.0 "}},
    PidRow{0x5C, K::ModeAware, 6, R::Temperature, u"Deg C", u"Deg F",
           u"Engine Oil Temp ------- ", {-40, 220, F::Formatted, u"###.0 "}},
    PidRow{0x5D, K::ModeAware, 7, R::InjectionTiming, u"Deg", u"Deg",
           u"Injection Timing ------ ", {-210, 302, F::Formatted, u"##0.00 "}},
    PidRow{0x5E, K::ModeAware, 7, R::FuelRate, u"L/h", u"gal/h",
           u"Engine Fuel Rate ------ ", {0, 100, F::Formatted, u"##0.00 "}},
    PidRow{0x61, K::ModeAware, 6, R::PercentTorque, u"%", u"%",
           u"Driver Demand Torque -- ", {-125, 130, F::Formatted, u"### "}},
    PidRow{0x62, K::ModeAware, 6, R::PercentTorque, u"%", u"%",
           u"Actual Engine Torque -- ", {-125, 130, F::Formatted, u"### "}},
    PidRow{0x63, K::ModeAware, 7, R::ReferenceTorque, u"Nm", u"lb-ft",
           u"Reference Torque ------ ", {0, 2000, F::Formatted, u"####0 "}},
    PidRow{0x67, K::ModeAware, 8, R::CoolantSensors, u"Deg C", u"Deg F",
           u"Coolant Temp 1,2 ------ ", {-40, 215, F::Raw, u""}},
    PidRow{0xA6, K::ModeAware, 9, R::Odometer, u"Km", u"Mi",
           u"Odometer -------------- ", {0, 500000, F::Formatted, u"######0.0 "}},
};
// clang-format on

static_assert(std::is_sorted(kRows.begin(), kRows.end(),
                             [](const PidRow &a, const PidRow &b) { return a.pid < b.pid; }));

// The fuel economy is computed from air flow and speed: a line with a display of its own.
constexpr ItemDisplay kFuelEconomyDisplay{0, 50, F::Raw, u""};

} // namespace

std::span<const PidRow> pid_rows()
{
    return kRows;
}

const PidRow *find_pid_row(int pid)
{
    const auto it = std::lower_bound(kRows.begin(), kRows.end(), pid,
                                     [](const PidRow &s, int p) { return s.pid < p; });
    return (it != kRows.end() && it->pid == pid) ? &*it : nullptr;
}

const ItemDisplay *item_display(int code)
{
    if (code == kFuelEconomyItem)
        return &kFuelEconomyDisplay;
    const PidRow *row = find_pid_row(code);
    return row && row->display.shown() ? &row->display : nullptr;
}

} // namespace quorvex
