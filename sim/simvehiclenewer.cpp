// The modelled car's PIDs of newer cars, 4F to A6: the fourth to sixth support ranges.
#include "sim/simdrive.h"

#include <algorithm>
#include <cmath>

namespace quorvex::sim {

namespace {

constexpr double kOdometerBeforeKm = 48213.0; // the car's mileage when the run began
constexpr double kReferenceTorqueNm = 320.0;
constexpr double kStoichiometric = 14.7;   // air to petrol by mass
constexpr double kFuelGramsPerLitre = 745; // petrol
constexpr double kClosedThrottlePercent = 11.8;

double airFlowGrams(const Drive &d)
{
    return d.rpm * d.loadPercent * 0.00016; // as PID 10 reports it
}

double pedalPercent(const Drive &d)
{
    return std::clamp((d.throttlePercent - kClosedThrottlePercent) * 2.2, 0.0, 100.0);
}

// Two's complement of a signed count in two bytes.
QByteArray signedWord(double value)
{
    const long counts = std::clamp(std::lround(value), -32768L, 32767L);
    const auto raw = static_cast<quint16>(counts);
    return bytes({static_cast<quint8>(raw >> 8), static_cast<quint8>(raw & 0xFF)});
}

QByteArray odometer(const Drive &d)
{
    const auto tenths = static_cast<quint32>(std::lround((kOdometerBeforeKm + d.distanceKm) * 10));
    return bytes({static_cast<quint8>(tenths >> 24), static_cast<quint8>(tenths >> 16),
                  static_cast<quint8>(tenths >> 8), static_cast<quint8>(tenths)});
}

} // namespace

QByteArray modelNewerRanges(const Drive &d, quint8 pid)
{
    switch (pid) {
    case 0x4F: // maximum equivalence ratio 2, O2 sensor 8 V and 128 mA, manifold 260 kPa
        return bytes({0x02, 0x08, 0x80, 0x1A});
    case 0x50: // maximum air flow 300 g/s
        return bytes({0x1E, 0x00, 0x00, 0x00});
    case 0x51:
        return bytes({0x01}); // gasoline
    case 0x52:
        return percentData(10.0); // E10
    case 0x53:                    // evaporative system pressure, absolute: 1/200 kPa per count
        return wordData((100.7 + 0.05 * wave(d.seconds, 31.0)) * 200.0);
    case 0x54: // the same, relative, in pascals
        return signedWord(-300.0 + 50.0 * wave(d.seconds, 31.0));
    case 0x55: // secondary O2 trims of banks 1 and 3 (2 and 4); banks 3 and 4 absent, 0 %
    case 0x57:
        return bytes({trimByte(1.5 * wave(d.seconds, 19.0, pid - 0x55)), trimByte(0.0)});
    case 0x56:
    case 0x58:
        return bytes({trimByte(pid == 0x56 ? -0.8 : 1.6), trimByte(0.0)});
    case 0x59: // fuel rail pressure, absolute, 10 kPa per count
        return wordData((4100.0 + 60.0 * d.loadPercent) / 10.0);
    case 0x5A:
        return percentData(pedalPercent(d));
    case 0x5B:
        return percentData(87.0); // hybrid battery pack remaining life
    case 0x5C:                    // engine oil follows the coolant a little behind
        return byteData(std::max(d.coolantC - 6.0, d.ambientC) + 40.0);
    case 0x5D: // injection timing, 1/128 degree per count, offset by 210 degrees
        return wordData((210.0 - 5.0 + 0.004 * d.rpm) * 128.0);
    case 0x5E: { // engine fuel rate, 0.05 L/h per count
        const double grams = d.fuelCut ? 0.0 : airFlowGrams(d) / kStoichiometric / d.lambda;
        return wordData(grams * 3600.0 / kFuelGramsPerLitre * 20.0);
    }
    case 0x61: // driver's demand and actual engine torque, percent, offset by 125
        return byteData(125.0 + 0.9 * pedalPercent(d));
    case 0x62:
        return byteData(d.fuelCut ? 115.0 : 125.0 + 0.85 * d.loadPercent);
    case 0x63:
        return wordData(kReferenceTorqueNm);
    case 0x67: // coolant temperature sensors: sensor 1 only reports (support byte 01)
        return bytes({0x01, byteOf(d.coolantC + 40.0), 0x00});
    case 0xA6:
        return odometer(d);
    default:
        return {};
    }
}

} // namespace quorvex::sim
