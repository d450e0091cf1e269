// The modelled car's PIDs 21 to 4E: the second and third support ranges.
#include "sim/simdrive.h"

#include <algorithm>
#include <cmath>

namespace quorvex::sim {

namespace {

// The counters as they stood when the run began: the codes were last cleared on an earlier
// run, and the MIL (when on) came on some way back.
constexpr double kKmWithMilBefore = 57.0;
constexpr double kMinutesWithMilBefore = 42.0;
constexpr double kKmSinceClearBefore = 1234.0;
constexpr double kMinutesSinceClearBefore = 1870.0;
constexpr quint8 kWarmUpsSinceClearBefore = 23;

constexpr double kClosedThrottlePercent = 11.8;

// Equivalence ratio seen by wide-range sensor `index` (0 to 7: sensors 1 to 4 of bank 1, then
// of bank 2). Sensor 1 of each bank sits before the catalyst and sees the mixture; the others
// see the catalyst's output, held close to stoichiometric.
double sensorLambda(const Drive &d, int index)
{
    const int bank = index / 4;
    if (index % 4 != 0)
        return d.fuelCut ? d.lambda : 1.0 + 0.003 * wave(d.seconds, 17.0, index);
    if (bank == 0 || !d.closedLoop)
        return d.lambda;
    return 1.0 - 0.015 * o2Switching(d, bank);
}

// PIDs 24 to 2B: equivalence ratio (2/65536 per count) and sensor voltage (8/65536 V per
// count).
QByteArray wideRangeVoltage(const Drive &d, quint8 pid)
{
    const double lambda = sensorLambda(d, pid - 0x24);
    const double volts = std::clamp(1.5 + 2.0 * (lambda - 1.0), 0.0, 7.99);
    return wordData(lambda * 32768.0) + wordData(volts * 8192.0);
}

// PIDs 34 to 3B: equivalence ratio and pump current (1/256 mA per count, offset by 128 mA):
// negative when rich, positive when lean.
QByteArray wideRangeCurrent(const Drive &d, quint8 pid)
{
    const double lambda = sensorLambda(d, pid - 0x34);
    const double milliamps = 4.0 * (1.0 - 1.0 / lambda);
    return wordData(lambda * 32768.0) + wordData((milliamps + 128.0) * 256.0);
}

// PIDs 3C to 3F: bank 1 sensor 1, bank 2 sensor 1, bank 1 sensor 2, bank 2 sensor 2; tenths
// of a degree, offset by 40 degrees. The sensors after the catalyst run cooler.
QByteArray catalystTemperature(const Drive &d, quint8 pid)
{
    constexpr double kBelow[] = {0.0, 8.0, 45.0, 50.0};
    return wordData((d.catalystC - kBelow[pid - 0x3C] + 40.0) * 10.0);
}

QByteArray evapPressure(const Drive &d)
{
    // Signed, a quarter pascal per count: a slight vacuum in the tank.
    const long counts = std::lround((-300.0 + 50.0 * wave(d.seconds, 31.0)) / 0.25);
    return wordData(static_cast<double>(static_cast<quint16>(counts)));
}

// PID 41, the monitors of this drive cycle: the continuous ones as PID 01 reports them; the
// others stay incomplete for the first three minutes of the run.
QByteArray monitorsThisCycle(const Drive &d, const Ecu &ecu)
{
    const QByteArray since = ecu.monitors.left(3).leftJustified(3, '\0');
    const auto enabled = static_cast<quint8>(since.at(1));
    const auto incomplete = d.seconds < 180.0 ? enabled : static_cast<quint8>(since.at(2));
    return bytes({0x00, static_cast<quint8>(since.at(0)), enabled, incomplete});
}

double pedalPercent(const Drive &d)
{
    return std::clamp((d.throttlePercent - kClosedThrottlePercent) * 2.2, 0.0, 100.0);
}

} // namespace

QByteArray modelUpperRanges(const Drive &d, const Ecu &ecu, const Moment &moment, quint8 pid)
{
    const bool cleared = moment.clearedAtUs >= 0;
    const double clearedAt = static_cast<double>(moment.clearedAtUs) / 1e6;
    const double minutes = d.seconds / 60.0;
    const double opening = std::max(d.throttlePercent - kClosedThrottlePercent, 0.0);

    if (pid >= 0x24 && pid <= 0x2B)
        return wideRangeVoltage(d, pid);
    if (pid >= 0x34 && pid <= 0x3B)
        return wideRangeCurrent(d, pid);
    if (pid >= 0x3C && pid <= 0x3F)
        return catalystTemperature(d, pid);

    switch (pid) {
    case 0x21:
        return wordData(ecu.mil ? kKmWithMilBefore + d.distanceKm : 0.0);
    case 0x22: // fuel rail pressure relative to the manifold, 0.079 kPa per count
        return wordData((300.0 + 0.5 * d.loadPercent + 4.0 * wave(d.seconds, 5.0)) / 0.079);
    case 0x23: // direct-injection rail pressure, 10 kPa per count
        return wordData((4000.0 + 60.0 * d.loadPercent) / 10.0);
    case 0x2C: { // commanded EGR: at part load only
        const bool egr = !d.fuelCut && d.speedKmh > 20.0 && d.accelerating < 0.3;
        return percentData(egr ? 12.0 + 4.0 * wave(d.seconds, 9.0) : 0.0);
    }
    case 0x2D: // EGR error, 128 = none
        return bytes({trimByte(d.speedKmh > 20.0 ? 2.5 * wave(d.seconds, 4.3) : 0.0)});
    case 0x2E: // commanded evaporative purge, once warm
        return percentData(d.coolantC > 60.0 ? 20.0 + 10.0 * wave(d.seconds, 13.0) : 0.0);
    case 0x2F:
        return percentData(62.0 - 0.08 * d.distanceKm); // fuel level
    case 0x30:
        return bytes({cleared ? quint8(0) : kWarmUpsSinceClearBefore});
    case 0x31:
        return wordData(cleared ? d.distanceKm - distanceAt(clearedAt)
                                : kKmSinceClearBefore + d.distanceKm);
    case 0x32:
        return evapPressure(d);
    case 0x33:
        return bytes({101}); // barometric pressure, kPa
    case 0x41:
        return monitorsThisCycle(d, ecu);
    case 0x42: // control module voltage, mV: the alternator charging
        return wordData((14.1 + 0.08 * wave(d.seconds, 11.0)) * 1000.0);
    case 0x43: // absolute load, 100/255 % per count
        return wordData(d.loadPercent * 0.93 * 255.0 / 100.0);
    case 0x44: // commanded equivalence ratio, 2/65536 per count
        return wordData(d.commandedLambda * 32768.0);
    case 0x45: // relative throttle position
        return percentData(opening * 1.13);
    case 0x46:
        return byteData(d.ambientC + 40.0);
    case 0x47: // absolute throttle position B: the second track, offset
        return percentData(d.throttlePercent + 18.0);
    case 0x48:
        return percentData(d.throttlePercent + 9.0);
    case 0x49: // accelerator pedal D and F: full track from 15 %
    case 0x4B:
        return percentData(15.0 + 0.7 * pedalPercent(d));
    case 0x4A: // accelerator pedal E: the half-rate track
        return percentData(7.5 + 0.35 * pedalPercent(d));
    case 0x4C: // commanded throttle actuator
        return percentData(opening * 1.1);
    case 0x4D:
        return wordData(ecu.mil ? kMinutesWithMilBefore + minutes : 0.0);
    case 0x4E:
        return wordData(cleared ? minutes - clearedAt / 60.0 : kMinutesSinceClearBefore + minutes);
    default:
        return {};
    }
}

} // namespace quorvex::sim
