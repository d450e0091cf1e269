#pragma once

#include "livedata/pidtable.h"

#include <QString>

#include <optional>

namespace quorvex {

// Pure decoding of service 01/02 replies: reply text in, display texts out, no I/O. A reply
// is one status character, then two hex digits per byte; data byte k (0 = A) of a reply with
// `offset` extra bytes ahead of the data lies at character 12 + 2 offset + 2 k. Every field
// is read through the bounds-safe reply reader: a short, empty or garbage reply decodes with
// its missing bytes as zero and never reads outside the text.

// What a decoder found for one value item: numeric value, value text, units text, label text.
// A line of the vehicle data window is label & value text & units.
struct PidItem
{
    double value = 0.0;
    QString valueText;
    QString units;
    QString label;
    // False when the reply says the ECU has nothing to report under this PID (a fuel type of
    // 0, a support byte with no sensor): the item is not listed.
    bool available = true;
};

// Data byte k (0 = A, 1 = B, ...) as conv_hex reads it.
int data_byte(const QString &reply, int k, int offset);

// Two hex digits of a reply length or PID ("07", "0C").
QString hex2(int value);

// The value item of a PID row: numeric value, value text, units and label.
PidItem decode_value(const PidRow &row, const QString &reply, bool metric, int offset);

// The integer the coolant line shows: its value text read as a number, rounded to nearest
// with halves to even ("69.8" gives 70, "181." gives 181).
int coolant_listed_value(const QString &valueText);

// Equivalence ratio of a wide-range O2 reply: (256 A + B) x 0.0000305, as value and S text.
PidItem decode_lambda(const QString &reply, int offset);

// Fuel economy from the air-flow and speed value texts' numbers. A zero air flow counts as
// 0.01 g/s. The wide-range sensor's equivalence ratio, when one is known, multiplies the
// result. Metric: km/l (the English figure / 3.76 x 0.61), English: mpg.
PidItem compute_mpg(double airFlow, double speed, bool metric, std::optional<double> lambda);

// Status lines for the report window, each ending in CR LF.
QString fuel_status_text(const QString &reply, int offset);        // PID 03
QString fuel_trim_text(int pid, const QString &reply, int offset); // PIDs 06 to 09
// A fuel trim's data byte as the percent text ("-1%" for 7F).
QString fuel_trim_percent(int a);
QString secondary_air_text(const QString &reply); // PID 12
QString o2_sensor_count_text(int count);          // PIDs 13 and 1D

// The bit values (128, 64, ..., 1) of the O2 sensors present, from PID 13's byte A.
int o2_sensor_bits(const QString &reply);

} // namespace quorvex
