#include "livedata/decoders.h"

#include "link/reply.h"
#include "livedata/numberforms.h"

#include <QStringList>

#include <bit>
#include <cmath>
#include <iterator>

namespace quorvex {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Conversion constants as the displays have always shown them, so readings stay comparable
// with earlier printouts and logs: 0.61 (not 0.621) km to miles, 0.29613 kPa to inHg for
// manifold pressure but 0.2953 for the barometer.
constexpr double kKmToMiles = 0.61;
constexpr double kMapToInHg = 0.29613;
constexpr double kBaroToInHg = 0.2953;
constexpr double kLambdaPerCount = 0.0000305;
constexpr double kKpaToPsi = 0.145;
constexpr double kPaToInH2O = 0.004012; // as PID 32's 0.001003 per quarter pascal
constexpr double kLitresToGallons = 0.264172;
constexpr double kNmToLbFt = 0.7376;

// The fuel types of PID 51 (SAE J1979 table of fuel type coding), from 1; 0 is "not available".
constexpr const char16_t *kFuelTypes[] = {u"Gasoline",
                                          u"Methanol",
                                          u"Ethanol",
                                          u"Diesel",
                                          u"LPG",
                                          u"CNG",
                                          u"Propane",
                                          u"Electric",
                                          u"Bifuel Gasoline",
                                          u"Bifuel Methanol",
                                          u"Bifuel Ethanol",
                                          u"Bifuel LPG",
                                          u"Bifuel CNG",
                                          u"Bifuel Propane",
                                          u"Bifuel Electric",
                                          u"Bifuel Electric/Combustion",
                                          u"Hybrid Gasoline",
                                          u"Hybrid Ethanol",
                                          u"Hybrid Diesel",
                                          u"Hybrid Electric",
                                          u"Hybrid Electric/Combustion",
                                          u"Hybrid Regenerative",
                                          u"Bifuel Diesel"};

QString fuel_type_text(int a)
{
    if (a >= 1 && a <= static_cast<int>(std::size(kFuelTypes)))
        return u' ' + QString::fromUtf16(kFuelTypes[a - 1]);
    return QStringLiteral(" Type") + S(a);
}

// A secondary O2 trim byte: 100 / 128 % per count about 128, truncated as the fuel trims are.
double secondary_trim(int a)
{
    return Int(a / 128.0 * 100) - 100;
}

QString fahrenheit_text(double celsius)
{
    return first(4, P(celsius * 1.8 + 32));
}

QString temperature_text(int celsius, bool metric)
{
    return metric ? first(4, S(celsius)) : fahrenheit_text(celsius);
}

// A number that cannot be shown (a garbage reply driving a quotient to infinity) shows as 0.
double finite_or_zero(double x)
{
    return std::isfinite(x) ? x : 0.0;
}

} // namespace

int data_byte(const QString &reply, int k, int offset)
{
    QString pair = reply_byte(reply, 12 + 2 * offset + 2 * k);
    return conv_hex(pair);
}

QString hex2(int value)
{
    return QStringLiteral("%1").arg(value & 0xFF, 2, 16, QChar(u'0')).toUpper();
}

namespace {

// The PIDs of newer cars, from 4F on: several take more than two data bytes, and some carry
// two or more readings in one line, the units of the last at the end.
void decode_newer(ValueRule rule, const QString &reply, bool metric, int off, PidItem *item)
{
    const auto byte = [&](int k) { return data_byte(reply, k, off); };
    const int a = byte(0);
    const double v = 256.0 * a + byte(1);
    switch (rule) {
    case ValueRule::MaxValues: {
        const double map = byte(3) * 10.0;
        item->valueText = S(a) + QStringLiteral(" Lambda,") + S(byte(1)) + QStringLiteral(" V,") +
                          S(byte(2)) + QStringLiteral(" mA,") +
                          (metric ? S(map) : first(6, S(map * kMapToInHg)));
        break;
    }
    case ValueRule::MaxAirFlow:
        item->value = a * 10.0;
        item->valueText = S(item->value);
        break;
    case ValueRule::FuelType:
        item->available = a != 0;
        item->valueText = fuel_type_text(a);
        break;
    case ValueRule::AbsVapourPressure:
        item->value = v / 200;
        item->valueText = metric ? S(item->value) : S(item->value * kKpaToPsi);
        break;
    case ValueRule::VapourPressurePa: {
        item->value = v > 32767 ? v - 65536 : v; // signed 16-bit, 1 Pa a count
        item->valueText = metric ? S(item->value) : S(item->value * kPaToInH2O);
        break;
    }
    case ValueRule::SecondaryTrims:
        item->value = secondary_trim(a);
        item->valueText = S(item->value) + QStringLiteral("%,") + S(secondary_trim(byte(1)));
        break;
    case ValueRule::InjectionTiming:
        item->value = v / 128 - 210;
        item->valueText = S(item->value);
        break;
    case ValueRule::FuelRate:
        item->value = v / 20;
        item->valueText = metric ? S(item->value) : S(item->value * kLitresToGallons);
        break;
    case ValueRule::PercentTorque:
        item->value = a - 125;
        item->valueText = S(item->value);
        break;
    case ValueRule::ReferenceTorque:
        item->value = v;
        item->valueText = metric ? S(v) : S(Int(v * kNmToLbFt));
        break;
    case ValueRule::CoolantSensors: {
        // Byte A says which of the two sensors report; a sensor not reported is not shown.
        QStringList parts;
        for (int sensor = 0; sensor < 2; ++sensor) {
            if (!(a & (1 << sensor)))
                continue;
            const int celsius = byte(1 + sensor) - 40;
            if (parts.isEmpty())
                item->value = byte(1 + sensor);
            parts << temperature_text(celsius, metric);
        }
        item->available = !parts.isEmpty();
        item->valueText = parts.join(u',');
        break;
    }
    case ValueRule::Odometer: {
        const double tenths = 16777216.0 * a + 65536.0 * byte(1) + 256.0 * byte(2) + byte(3);
        item->value = tenths / 10;
        item->valueText = metric ? S(item->value) : S(Int(item->value * kKmToMiles));
        break;
    }
    default:
        break;
    }
}

} // namespace

PidItem decode_value(const PidRow &row, const QString &reply, bool metric, int offset)
{
    const int off = row.kind == RequestKind::Service01 ? 0 : offset;
    int a = data_byte(reply, 0, off);
    const int b = data_byte(reply, 1, off);
    // Two-byte values in a wide integer: 16-bit arithmetic would show run times above 32767 s,
    // catalyst temperatures above 3276.7 counts and loads above 327 counts wrongly.
    const long long v = 256LL * a + b;
    const auto dv = static_cast<double>(v);

    PidItem item;
    item.units = QString::fromUtf16(metric ? row.unitsMetric : row.unitsEnglish);
    item.label = QString::fromUtf16(row.label);
    item.value = a;
    switch (row.rule) {
    case ValueRule::PercentTruncated:
        item.valueText = S(Int(a / 255.0 * 100));
        break;
    case ValueRule::AirTemperature:
        // A reading above 110 °C is taken as a sensor fault and shown as -20 °C.
        if (a > 150)
            a = 20;
        item.value = a;
        [[fallthrough]];
    case ValueRule::Temperature:
        item.valueText = metric ? first(4, S(a - 40)) : fahrenheit_text(a - 40);
        break;
    case ValueRule::FuelPressure:
        item.valueText = S(765.0 / 255 * a);
        break;
    case ValueRule::ManifoldPressure:
        item.valueText = first(5, metric ? S(a) : S(a * kMapToInHg));
        break;
    case ValueRule::EngineSpeed:
        item.value = dv / 4 / 25;
        item.valueText = S(dv / 4);
        break;
    case ValueRule::VehicleSpeed:
        item.valueText = metric ? S(a) : S(Int(a * kKmToMiles));
        break;
    case ValueRule::IgnitionAdvance:
        item.valueText = first(5, S(a / 2.0 - 64));
        break;
    case ValueRule::AirFlow:
        item.value = dv / 100 / 4;
        item.valueText = S(dv / 100);
        break;
    case ValueRule::ThrottlePosition:
        item.valueText = first(4, S(100.0 / 255 * a));
        break;
    case ValueRule::O2Voltage:
        item.valueText = S(a / 200.0);
        break;
    case ValueRule::Counter:
        item.value = dv;
        item.valueText = S(dv);
        break;
    case ValueRule::Distance:
        item.value = dv;
        item.valueText = metric ? S(Int(dv)) : S(Int(dv * kKmToMiles));
        break;
    case ValueRule::RailPressure:
        item.value = dv;
        item.valueText = metric ? Format(S(Int(dv * 0.079)), QStringLiteral(" 000.0"))
                                : Format(S(dv * 0.145 * 0.079), QStringLiteral(" ##0.0"));
        break;
    case ValueRule::RailPressureGauge:
        // 10 kPa per count, 0.145 psi per kPa: 1.45 psi per count, truncated. Integer
        // arithmetic keeps whole figures whole (200 kPa is 29 psi, not 28.999...).
        item.value = dv;
        item.valueText = metric ? S(dv * 10) : S(std::floor(dv * 145 / 100));
        break;
    case ValueRule::WideRangeLambda:
        item = decode_lambda(reply, off);
        item.units = QString::fromUtf16(metric ? row.unitsMetric : row.unitsEnglish);
        item.label = QString::fromUtf16(row.label);
        break;
    case ValueRule::RawByte:
        item.valueText = S(a);
        break;
    case ValueRule::VapourPressure: {
        const long long p = v > 32767 ? v - 65536 : v; // signed 16-bit count
        item.value = static_cast<double>(p);
        item.valueText = metric ? S(item.value * 0.25) : S(item.value * 0.001003);
        break;
    }
    case ValueRule::Barometric:
        item.valueText = metric ? S(a) : S(a * kBaroToInHg);
        break;
    case ValueRule::CatalystTemperature: {
        const auto c = static_cast<double>(round_even(dv * 0.1));
        item.value = c;
        item.valueText = metric ? Format(S(c - 40), QStringLiteral(" ###0"))
                                : Format(S((c - 40) * 1.8 + 32), QStringLiteral(" ####0"));
        break;
    }
    case ValueRule::ModuleVoltage:
        item.value = dv * 0.001;
        item.valueText = S(item.value);
        break;
    case ValueRule::AbsoluteLoad:
        item.value = static_cast<double>(round_even(dv * 100 / 255));
        item.valueText = S(item.value);
        break;
    case ValueRule::EquivalenceRatio: {
        // Held in single precision: the text has at most 7 significant digits.
        const auto ratio = static_cast<float>(dv * kLambdaPerCount);
        item.value = ratio;
        item.valueText = S_single(ratio);
        break;
    }
    case ValueRule::PercentRounded:
        item.value = static_cast<double>(round_even(a * 100 / 255.0));
        item.valueText = S(item.value);
        break;
    default:
        decode_newer(row.rule, reply, metric, off, &item);
        break;
    }
    return item;
}

int coolant_listed_value(const QString &valueText)
{
    return static_cast<int>(round_even(Val(valueText)));
}

PidItem decode_lambda(const QString &reply, int offset)
{
    const long long v = 256LL * data_byte(reply, 0, offset) + data_byte(reply, 1, offset);
    PidItem item;
    item.value = static_cast<double>(v) * kLambdaPerCount;
    item.valueText = S(item.value);
    return item;
}

PidItem compute_mpg(double airFlow, double speed, bool metric, std::optional<double> lambda)
{
    const double maf = airFlow == 0 ? 0.01 : airFlow;
    double mpg = speed / ((maf + 0.001) * 0.0642);
    PidItem item;
    if (metric) {
        mpg = mpg / 3.76 * kKmToMiles;
        item.units = QStringLiteral("Km/L");
        item.label = QStringLiteral("Fuel Consumption ------- ");
    } else {
        item.units = QStringLiteral("MPG");
        item.label = QStringLiteral("Gas Mileage ------------ ");
    }
    if (lambda)
        mpg *= *lambda;
    item.valueText = first(5, S(finite_or_zero(mpg)));
    item.value = Val(item.valueText);
    return item;
}

QString fuel_status_text(const QString &reply, int offset)
{
    const auto system_text = [](int system, int status) {
        const char16_t *mode = nullptr;
        switch (status) {
        case 1:
            mode = u"Open Loop Mode";
            break;
        case 2:
            mode = u"Closed Loop Mode";
            break;
        case 4:
            mode = u"Open Loop Driving";
            break;
        case 8:
            mode = u"Open Loop with Fault";
            break;
        case 16:
            mode = u"Closed Loop with Fault";
            break;
        default:
            return QString();
        }
        return QStringLiteral("Fuel Sys%1-").arg(system) + QString::fromUtf16(mode) + kCrLf;
    };
    return system_text(1, data_byte(reply, 0, offset)) +
           system_text(2, data_byte(reply, 1, offset)) + kCrLf;
}

QString fuel_trim_text(int pid, const QString &reply, int offset)
{
    QString label;
    switch (pid) {
    case 0x06:
        label = QStringLiteral("Short Term Fuel Trim---- ");
        break;
    case 0x07:
        label = QStringLiteral("Long Term FT,B1 -------- ");
        break;
    case 0x08:
        label = QStringLiteral("Short Term FT,B2 ------- ");
        break;
    default:
        label = QStringLiteral("Long Term FT,B2 -------- ");
        break;
    }
    return label + fuel_trim_percent(data_byte(reply, 0, offset)) + kCrLf;
}

QString fuel_trim_percent(int a)
{
    // Truncated before the offset: 0x7F gives Int(99.2) - 100 = -1 %.
    return S(Int(a / 128.0 * 100) - 100) + QStringLiteral("%");
}

QString secondary_air_text(const QString &reply)
{
    return QStringLiteral("Cmd Sec. Air Status ---- ") + S(data_byte(reply, 0, 0)) + kCrLf;
}

QString o2_sensor_count_text(int count)
{
    return QStringLiteral("# of O2 Sensors -------- ") + S(count) + kCrLf;
}

int o2_sensor_bits(const QString &reply)
{
    return data_byte(reply, 0, 0) & 0xFF;
}

} // namespace quorvex
