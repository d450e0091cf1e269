#pragma once

#include <span>

namespace quorvex {

// How a value PID is requested and where its data bytes lie.
enum class RequestKind {
    // Service PIDmode, length n + PIDoffset, data from character 12 + 2 x PIDoffset: these
    // follow a freeze-frame run into service 02.
    ModeAware,
    // Always service 01, length n, data from character 12, in a freeze-frame run too: the
    // PIDs a freeze frame does not hold show the current value beside the frame's.
    Service01,
};

// The arithmetic and text form of a value PID. A and B are the first two data bytes,
// v = 256 A + B. S, P, first, Int, Format: the number forms of numberforms.h.
enum class ValueRule {
    PercentTruncated, // S(Int(A / 255 x 100))
    Temperature,      // first 4 of S(A - 40) / of P((A - 40) x 1.8 + 32)
    AirTemperature,   // as Temperature after a byte above 150 is replaced by 20
    FuelPressure,     // S(765 / 255 x A)
    ManifoldPressure, // first 5 of S(A) / of S(A x 0.29613)
    EngineSpeed,      // S(v / 4), numeric value v / 4 / 25
    VehicleSpeed,     // S(A) / S(Int(A x 0.61))
    IgnitionAdvance,  // first 5 of S(A / 2 - 64)
    AirFlow,          // S(v / 100), numeric value v / 100 / 4
    ThrottlePosition, // first 4 of S(100 / 255 x A)
    O2Voltage,        // S(A / 200)
    Counter,          // S(v): run times, minutes
    Distance,         // S(Int(v)) / S(Int(v x 0.61))
    RailPressure, // Format(S(Int(v x 0.079)), " 000.0") / Format(S(v x 0.145 x 0.079), " ##0.0")
    RailPressureGauge,   // S(Int(v x 10)) kPa / S(Int(v x 10 x 0.145)) psi
    WideRangeLambda,     // S(v x 0.0000305)
    RawByte,             // S(A)
    VapourPressure,      // signed v: S(p x 0.25) / S(p x 0.001003)
    Barometric,          // S(A) / S(A x 0.2953)
    CatalystTemperature, // c = v x 0.1 rounded: Format(S(c - 40), " ###0") / °F " ####0"
    ModuleVoltage,       // S(v x 0.001)
    AbsoluteLoad,        // S(r), r = v x 100 / 255 rounded
    EquivalenceRatio,    // S(v x 0.0000305) in single precision
    PercentRounded,      // S(r), r = A x 100 / 255 rounded
    // The PIDs of newer cars (SAE J1979 scalings), each a text of its own:
    MaxValues,         // 4F: equivalence ratio A, O2 volts B, O2 mA C, manifold 10 D kPa
    MaxAirFlow,        // 50: S(A x 10) g/s
    FuelType,          // 51: the fuel's name; 0 (not available) shows nothing
    AbsVapourPressure, // 53: S(v / 200) kPa / S(v / 200 x 0.145) psi
    VapourPressurePa,  // 54: signed v: S(p) Pa / S(p x 0.004012) inH2O
    SecondaryTrims,    // 55-58: bank pair, each S(Int(X / 128 x 100) - 100), "%," between
    InjectionTiming,   // 5D: S(v / 128 - 210)
    FuelRate,          // 5E: S(v / 20) L/h / S(v / 20 x 0.264172) gal/h
    PercentTorque,     // 61, 62: S(A - 125)
    ReferenceTorque,   // 63: S(v) Nm / S(Int(v x 0.7376)) lb-ft
    CoolantSensors,    // 67: support byte A (bit 0 sensor 1, bit 1 sensor 2), B and C - 40
    Odometer,          // A6: 32 bits in tenths: S(x / 10) km / S(Int(x / 10 x 0.61)) mi
};

// How the real-time display shows an item's value box (its picture is one of the number
// picture formats of numberforms.h).
enum class ValueForm {
    Percent,   // the value's number / 100 through the picture (which holds "%"), no units
    Formatted, // the value text through the picture, then the units
    Raw,       // the value text as it is, then the units
    WideRange, // lambda: caption "Wide Range O2 Sensor Lambda", the picture, then the units
};

// The real-time display of an item: the Y range it plots in, fixed per item whatever the
// units, and its value box. yMin == yMax: the item is not shown there.
struct ItemDisplay
{
    double yMin = 0;
    double yMax = 0;
    ValueForm form = ValueForm::Raw;
    const char16_t *picture = u"";

    constexpr bool shown() const { return yMin != yMax; }
};

// One value PID: request, arithmetic, units and label exactly as listed, and how the
// real-time display shows it. One row is all there is to a PID.
struct PidRow
{
    int pid = 0;
    RequestKind kind = RequestKind::ModeAware;
    int n = 6; // base reply length in bytes (header, service, PID and the data bytes)
    ValueRule rule = ValueRule::RawByte;
    const char16_t *unitsMetric = u"";
    const char16_t *unitsEnglish = u"";
    const char16_t *label = u"";
    ItemDisplay display;
};

// Every value PID of service 01 the program decodes (0x04 to 0xA6), in ascending PID order.
std::span<const PidRow> pid_rows();

// The row of a value PID, or nullptr for PIDs that are status items or not decoded.
const PidRow *find_pid_row(int pid);

// The item code of the computed fuel-economy line, listed right after the air-flow line.
inline constexpr int kFuelEconomyItem = 18;

// How the real-time display shows item `code` (a PID, or the fuel economy); nullptr for the
// codes it cannot show.
const ItemDisplay *item_display(int code);

} // namespace quorvex
