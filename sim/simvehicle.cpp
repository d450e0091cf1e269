#include "simvehicle.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace quorvex::sim {

namespace {

// A slow oscillation between -1 and 1 with the given period, so successive requests see a
// live engine rather than frozen numbers.
double wave(qint64 nowUs, double periodSeconds, double phase = 0.0)
{
    const double seconds = static_cast<double>(nowUs) / 1e6;
    return std::sin(2.0 * std::numbers::pi * seconds / periodSeconds + phase);
}

quint8 clampByte(double value)
{
    return static_cast<quint8>(std::clamp(std::lround(value), 0L, 255L));
}

QByteArray bytes(std::initializer_list<quint8> list)
{
    QByteArray out;
    for (const quint8 b : list)
        out.append(static_cast<char>(b));
    return out;
}

QByteArray word(double value)
{
    const long raw = std::clamp(std::lround(value), 0L, 65535L);
    return bytes({static_cast<quint8>(raw >> 8), static_cast<quint8>(raw & 0xFF)});
}

double idleRpm(qint64 nowUs)
{
    return 750.0 + 40.0 * wave(nowUs, 3.0);
}

// Monitor status: MIL off, no stored codes; misfire, fuel and component monitors supported
// and complete; catalyst, evaporative system, O2 sensor and O2 heater supported and complete.
QByteArray monitorStatus(qint64)
{
    return bytes({0x00, 0x07, 0x65, 0x00});
}

QByteArray fuelSystemStatus(qint64)
{
    return bytes({0x02, 0x00}); // bank 1 closed loop, no bank 2
}

QByteArray calculatedLoad(qint64 nowUs)
{
    return bytes({clampByte((22.0 + 3.0 * wave(nowUs, 3.0)) * 255.0 / 100.0)});
}

QByteArray coolantTemperature(qint64)
{
    return bytes({90 + 40}); // 90 °C, offset by 40
}

QByteArray manifoldPressure(qint64 nowUs)
{
    return bytes({clampByte(33.0 + 2.0 * wave(nowUs, 3.0))}); // kPa
}

QByteArray engineSpeed(qint64 nowUs)
{
    return word(idleRpm(nowUs) * 4.0); // quarter revolutions per minute
}

QByteArray vehicleSpeed(qint64)
{
    return bytes({0}); // standing
}

QByteArray intakeAirTemperature(qint64 nowUs)
{
    return bytes({clampByte(25.0 + 40.0 + wave(nowUs, 60.0))});
}

QByteArray airFlowRate(qint64 nowUs)
{
    return word(3.2 * idleRpm(nowUs) / 750.0 * 100.0); // hundredths of g/s
}

QByteArray throttlePosition(qint64)
{
    return bytes({0x1F}); // about 12 %
}

struct PidModel
{
    quint8 pid = 0;
    QByteArray (*data)(qint64 nowUs) = nullptr;
};

// Sorted by PID.
constexpr std::array kModel{
    PidModel{0x01, monitorStatus},    PidModel{0x03, fuelSystemStatus},
    PidModel{0x04, calculatedLoad},   PidModel{0x05, coolantTemperature},
    PidModel{0x0B, manifoldPressure}, PidModel{0x0C, engineSpeed},
    PidModel{0x0D, vehicleSpeed},     PidModel{0x0F, intakeAirTemperature},
    PidModel{0x10, airFlowRate},      PidModel{0x11, throttlePosition},
};

const PidModel *findModel(quint8 pid)
{
    const auto it = std::lower_bound(kModel.begin(), kModel.end(), pid,
                                     [](const PidModel &m, quint8 p) { return m.pid < p; });
    return (it != kModel.end() && it->pid == pid) ? &*it : nullptr;
}

} // namespace

QByteArray modelPidData(quint8 pid, qint64 nowUs)
{
    const PidModel *model = findModel(pid);
    return model ? model->data(nowUs) : QByteArray();
}

bool modelHasPid(quint8 pid)
{
    return findModel(pid) != nullptr;
}

} // namespace quorvex::sim
