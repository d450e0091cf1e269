#pragma once

#include "link/protocol.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

namespace quorvex {

class ObdContext;

// A line of the sensor list: "Bank1, Sensor1" ... "Bank2, Sensor4", and the sensor's bit value
// (1, 2, 4, ... 128) the tests are asked for.
struct O2SensorChoice
{
    QString line;
    int bit = 0;
};

// The sensors present, in bit order, from O2Sensors (entry k is 2^k when sensor k is there).
QList<O2SensorChoice> o2_sensor_choices(const std::array<int, 8> &O2Sensors);

// One test's result, texts with their units: the value, and for TIDs 05-09 the minimum and
// maximum limit (empty for TIDs 01-04), and whether the value lies outside them.
struct O2TidResult
{
    int tid = 0;
    QString value;
    QString minimum;
    QString maximum;
    bool outside = false;
};

// The result of TID `tid` in its reply: the value byte at characters 12-13 and for TIDs 05-09
// the limits at 14-15 and 16-17, each times the TID's scale, as signed text and the unit.
O2TidResult o2_tid_result(int tid, const QString &reply);

struct O2TestRun
{
    enum class Outcome {
        Done,         // the supported tests were asked
        EcuTimeout,   // the ECU did not answer the support request ("ECU Timeout")
        NotSupported, // "The O2 Sensor Test is not supported by this vehicle"
        Failed,       // the support request failed otherwise (status)
    };
    Outcome outcome = Outcome::Done;
    RunOutcome status;       // how the run's exchanges went, for the indicator
    QStringList supportEcho; // each reply to the support request as it came, one per send
    QList<O2TidResult> results;
    QString service; // the service the tests were asked on: "05", or "06" after a switch
};

// The O2 sensor test of sensor bit `sensor`: asks which tests exist on service 05 ("05" "00"
// and the sensor), switching to service 06 for the rest of the test when the answer is not
// "4600"; then asks every supported TID (TID 02 always on service 06). A TID whose exchange
// fails keeps no result; a failure that ends the run ends it.
O2TestRun RunO2Test(ObdContext &ctx, int sensor);

} // namespace quorvex
