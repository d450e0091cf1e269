#pragma once

#include "sim/simscenario.h"
#include "sim/simvehicle.h"

#include <QByteArray>

#include <array>
#include <initializer_list>

namespace quorvex::sim {

// The physical state of the modelled car at one moment of its run, from which every service 01
// PID is encoded. Works in engineering units; the PID files turn them into data bytes.
struct Drive
{
    double seconds = 0.0;              // since the engine started
    double speedKmh = 0.0;             // vehicle speed
    double accelerating = 0.0;         // 0 to 1: how hard the car is pulling away
    bool fuelCut = false;              // coasting down with the injectors off
    double rpm = 0.0;                  // engine speed
    double loadPercent = 0.0;          // calculated load value
    double throttlePercent = 0.0;      // absolute throttle position
    double coolantC = 0.0;             // engine coolant temperature
    double intakeC = 0.0;              // intake air temperature
    double ambientC = 0.0;             // ambient air temperature
    double catalystC = 0.0;            // catalyst temperature, bank 1 sensor 1
    bool closedLoop = false;           // the mixture follows the upstream O2 sensors
    double commandedLambda = 1.0;      // equivalence ratio the ECU asks for
    double lambda = 1.0;               // equivalence ratio the wide-range sensor sees
    std::array<double, 2> shortTrim{}; // short-term fuel trim per bank, percent
    std::array<double, 2> longTrim{};  // long-term fuel trim per bank, percent
    double distanceKm = 0.0;           // driven since the engine started
};

// The seconds the engine idles at standstill after starting, before the drive cycle begins.
inline constexpr double kIdleSeconds = 20.0;
// One drive cycle: pull away, cruise, brake to a stop, stand.
inline constexpr double kCycleSeconds = 80.0;

Drive driveAt(qint64 runUs);

// Distance driven from the engine start to `seconds`.
double distanceAt(double seconds);

// An oscillation between -1 and 1 with the given period, so successive requests see a live
// engine rather than frozen numbers.
double wave(double seconds, double periodSeconds, double phase = 0.0);

// The upstream narrow O2 sensor's switching between rich and lean in closed loop: between -1
// (lean) and 1 (rich), with soft edges. Bank 2 switches out of step with bank 1.
double o2Switching(const Drive &drive, int bank);

// Encoders of data bytes. Values are rounded and clamped to the bytes' range.
QByteArray bytes(std::initializer_list<quint8> list);
quint8 byteOf(double value);
QByteArray byteData(double value);
QByteArray wordData(double value);
QByteArray percentData(double percent); // 0 to 100 % as 0 to 255
quint8 trimByte(double percent);        // -100 to 99.2 % as 0 to 255, 128 = 0 %

// PIDs of each range; empty for a PID the range does not model.
QByteArray modelFirstRange(const Drive &drive, const Ecu &ecu, quint8 pid);
QByteArray modelUpperRanges(const Drive &drive, const Ecu &ecu, const Moment &moment, quint8 pid);
QByteArray modelNewerRanges(const Drive &drive, quint8 pid);

} // namespace quorvex::sim
