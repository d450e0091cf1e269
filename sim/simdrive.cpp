#include "sim/simdrive.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quorvex::sim {

namespace {

constexpr double kPi = std::numbers::pi;

// The drive cycle, in seconds from its start: pulling away up to cruising speed, cruising with
// the speed swaying, braking to a stop, standing.
constexpr double kPullAwayEnd = 12.0;
constexpr double kCruiseEnd = 50.0;
constexpr double kBrakeEnd = 62.0;
constexpr double kCruiseKmh = 70.0;
constexpr double kSwayKmh = 5.0;
constexpr double kSwaySeconds = 19.0; // two full sways fit the cruise, so it ends at 70 km/h

constexpr double kCoolantStartC = 35.0;
constexpr double kCoolantWarmC = 90.0;
constexpr double kWarmUpSeconds = 150.0; // time constant of the coolant's warming
constexpr double kAmbientC = 21.0;

double clamp01(double value)
{
    return std::clamp(value, 0.0, 1.0);
}

// Speed and pull-away effort at `p` seconds into the cycle.
void cycleSpeed(double p, double *speedKmh, double *accelerating)
{
    *accelerating = 0.0;
    if (p < kPullAwayEnd) {
        *speedKmh = kCruiseKmh * std::sin(kPi / 2 * p / kPullAwayEnd);
        *accelerating = std::cos(kPi / 2 * p / kPullAwayEnd);
    } else if (p < kCruiseEnd) {
        *speedKmh = kCruiseKmh + kSwayKmh * std::sin(2 * kPi * (p - kPullAwayEnd) / kSwaySeconds);
    } else if (p < kBrakeEnd) {
        *speedKmh = kCruiseKmh * (1.0 - (p - kCruiseEnd) / (kBrakeEnd - kCruiseEnd));
    } else {
        *speedKmh = 0.0;
    }
}

// The integral of cycleSpeed from the cycle's start to `p`, in km/h times seconds.
double cycleDistance(double p)
{
    const double pullAway = std::min(p, kPullAwayEnd);
    double sum =
        kCruiseKmh * 2 * kPullAwayEnd / kPi * (1.0 - std::cos(kPi / 2 * pullAway / kPullAwayEnd));
    if (p > kPullAwayEnd) {
        const double q = std::min(p, kCruiseEnd) - kPullAwayEnd;
        sum += kCruiseKmh * q +
               kSwayKmh * kSwaySeconds / (2 * kPi) * (1.0 - std::cos(2 * kPi * q / kSwaySeconds));
    }
    if (p > kCruiseEnd) {
        const double r = std::min(p, kBrakeEnd) - kCruiseEnd;
        sum += kCruiseKmh * r - kCruiseKmh * r * r / (2 * (kBrakeEnd - kCruiseEnd));
    }
    return sum;
}

// Engine speed from road speed through a four-speed gearbox.
double geared(double speedKmh)
{
    if (speedKmh < 18.0)
        return speedKmh * 95.0;
    if (speedKmh < 35.0)
        return speedKmh * 58.0;
    if (speedKmh < 55.0)
        return speedKmh * 41.0;
    return speedKmh * 32.0;
}

} // namespace

double wave(double seconds, double periodSeconds, double phase)
{
    return std::sin(2.0 * kPi * seconds / periodSeconds + phase);
}

double distanceAt(double seconds)
{
    if (seconds <= kIdleSeconds)
        return 0.0;
    const double driving = seconds - kIdleSeconds;
    const double cycles = std::floor(driving / kCycleSeconds);
    const double rest = driving - cycles * kCycleSeconds;
    return (cycles * cycleDistance(kCycleSeconds) + cycleDistance(rest)) / 3600.0;
}

double o2Switching(const Drive &drive, int bank)
{
    // More air flow, faster switching.
    const double period = 1.4 - 0.7 * clamp01(drive.speedKmh / kCruiseKmh);
    return std::tanh(3.0 * wave(drive.seconds, period, 1.3 * bank));
}

Drive driveAt(qint64 runUs)
{
    Drive d;
    d.seconds = static_cast<double>(std::max<qint64>(runUs, 0)) / 1e6;
    const double t = d.seconds;

    d.coolantC = kCoolantWarmC - (kCoolantWarmC - kCoolantStartC) * std::exp(-t / kWarmUpSeconds);
    const double cold = clamp01((kCoolantWarmC - d.coolantC) / (kCoolantWarmC - kCoolantStartC));
    d.ambientC = kAmbientC + 0.3 * wave(t, 300.0);

    double phase = -1.0; // standing after the start
    if (t >= kIdleSeconds) {
        phase = std::fmod(t - kIdleSeconds, kCycleSeconds);
        cycleSpeed(phase, &d.speedKmh, &d.accelerating);
    }
    d.fuelCut = phase >= kCruiseEnd && phase < kBrakeEnd && d.speedKmh > 20.0;
    d.distanceKm = distanceAt(t);

    const double idleRpm = 750.0 + 300.0 * cold + 20.0 * wave(t, 3.0);
    d.rpm = d.speedKmh < 2.0 ? idleRpm
                             : std::max(geared(d.speedKmh), idleRpm + 150.0) + 15.0 * wave(t, 2.3);
    if (d.fuelCut) {
        d.loadPercent = 8.0;
        d.throttlePercent = 11.8;
    } else if (d.speedKmh < 2.0) {
        d.loadPercent = 21.0 + 6.0 * cold + 1.5 * wave(t, 3.0);
        d.throttlePercent = 11.8 + 0.6 * cold;
    } else {
        d.loadPercent = 24.0 + 0.3 * d.speedKmh + 45.0 * d.accelerating;
        d.throttlePercent = 14.0 + 0.1 * d.speedKmh + 30.0 * d.accelerating;
    }
    d.intakeC = d.ambientC + 9.0 * (1.0 - std::exp(-t / 240.0)) - 5.0 * d.speedKmh / kCruiseKmh;
    const double catalystTarget = 320.0 + 4.0 * d.loadPercent + 2.0 * d.speedKmh;
    d.catalystC = d.ambientC + (catalystTarget - d.ambientC) * (1.0 - std::exp(-t / 90.0));

    // Closed loop once the upstream sensors are hot and the coolant has left the cold range;
    // open loop on fuel cut and when pulling away hard.
    d.closedLoop = t >= 12.0 && d.coolantC >= 40.0 && !d.fuelCut && d.accelerating < 0.6;
    if (d.closedLoop || d.fuelCut)
        d.commandedLambda = 1.0;
    else if (d.accelerating >= 0.6)
        d.commandedLambda = 0.88; // enrichment under load
    else
        d.commandedLambda = 0.92; // warm-up enrichment

    if (d.fuelCut)
        d.lambda = 1.99; // the sensor sees air: the top of its range
    else if (d.closedLoop)
        d.lambda = 1.0 - 0.015 * o2Switching(d, 0);
    else
        d.lambda = d.commandedLambda + 0.005 * wave(t, 1.7);

    d.longTrim[0] = 3.1 + 1.6 * wave(t, 47.0);
    d.longTrim[1] = -1.6 + 1.2 * wave(t, 61.0, 1.0);
    for (int bank = 0; bank < 2; ++bank) {
        // A rich sensor pulls the short-term trim down, a lean one up.
        d.shortTrim[bank] =
            d.closedLoop ? -3.5 * o2Switching(d, bank) + 0.8 * wave(t, 7.1, bank) : 0.0;
    }
    return d;
}

QByteArray bytes(std::initializer_list<quint8> list)
{
    QByteArray out;
    for (const quint8 b : list)
        out.append(static_cast<char>(b));
    return out;
}

quint8 byteOf(double value)
{
    return static_cast<quint8>(std::clamp(std::lround(value), 0L, 255L));
}

QByteArray byteData(double value)
{
    return bytes({byteOf(value)});
}

QByteArray wordData(double value)
{
    const long raw = std::clamp(std::lround(value), 0L, 65535L);
    return bytes({static_cast<quint8>(raw >> 8), static_cast<quint8>(raw & 0xFF)});
}

QByteArray percentData(double percent)
{
    return byteData(percent * 255.0 / 100.0);
}

quint8 trimByte(double percent)
{
    return byteOf(128.0 + percent * 128.0 / 100.0);
}

} // namespace quorvex::sim
