#include "sim/simvehicle.h"

#include "sim/simdrive.h"

#include <algorithm>

namespace quorvex::sim {

namespace {

// PID 13: bank 1 sensors 1 and 2, bank 2 sensors 1 and 2. PID 1D, the four-bank layout of the
// same set.
constexpr quint8 kO2SensorsPresent = 0x33;
constexpr quint8 kO2SensorsPresentFourBanks = 0x0F;
constexpr quint8 kObdIi = 0x01; // PID 1C: OBD-II as the state of California defines it

// A four-digit code as the two bytes a code slot or PID 02 carries.
QByteArray codeBytes(const QString &code)
{
    QByteArray raw = QByteArray::fromHex(code.toLatin1()).left(2);
    return raw.rightJustified(2, '\0');
}

QByteArray monitorStatus(const Ecu &ecu)
{
    const auto count = static_cast<quint8>(std::min<qsizetype>(ecu.storedCodes.size(), 0x7F));
    QByteArray data = bytes({static_cast<quint8>((ecu.mil ? 0x80 : 0x00) | count)});
    return data + ecu.monitors.left(3).leftJustified(3, '\0');
}

QByteArray fuelSystemStatus(const Drive &d)
{
    quint8 loop = 0x01; // open loop, not yet ready for closed loop
    if (d.closedLoop)
        loop = 0x02;
    else if (d.fuelCut || d.accelerating >= 0.6)
        loop = 0x04; // open loop because of the driving conditions
    return bytes({loop, 0x00});
}

QByteArray ignitionAdvance(const Drive &d)
{
    double degrees = 35.0; // coasting with the injectors off
    if (!d.fuelCut)
        degrees = 10.0 + 0.008 * (d.rpm - 750.0) - 0.12 * std::max(d.loadPercent - 30.0, 0.0);
    return byteData((degrees + 64.0) * 2.0);
}

// PIDs 14 to 1B: sensors 1 to 4 of bank 1, then of bank 2. Sensor 1 of each bank sits before
// the catalyst and switches; the others see the catalyst's steady output.
QByteArray narrowO2(const Drive &d, quint8 pid)
{
    const int index = pid - 0x14;
    const int bank = index / 4;
    const bool upstream = index % 4 == 0;
    double volts = 0.45; // a sensor still cold sits at its bias voltage
    if (upstream) {
        if (d.closedLoop)
            volts = 0.45 + 0.38 * o2Switching(d, bank);
        else if (d.fuelCut)
            volts = 0.06;
        else if (d.seconds >= 8.0)
            volts = 0.82; // open loop runs rich
    } else if (d.seconds >= 30.0) {
        volts = 0.66 + 0.04 * wave(d.seconds, 23.0, bank);
    }
    // Byte B: the short-term trim the sensor drives, FF for a sensor not used for trim.
    return bytes({byteOf(volts / 0.005), upstream ? trimByte(d.shortTrim[bank]) : quint8(0xFF)});
}

} // namespace

QByteArray modelFirstRange(const Drive &d, const Ecu &ecu, quint8 pid)
{
    switch (pid) {
    case 0x01:
        return monitorStatus(ecu);
    case 0x02:
        return codeBytes(ecu.freezeFrame ? ecu.freezeFrame->code : QString());
    case 0x03:
        return fuelSystemStatus(d);
    case 0x04:
        return percentData(d.loadPercent);
    case 0x05:
        return byteData(d.coolantC + 40.0);
    case 0x06:
    case 0x08:
        return bytes({trimByte(d.shortTrim[pid == 0x06 ? 0 : 1])});
    case 0x07:
    case 0x09:
        return bytes({trimByte(d.longTrim[pid == 0x07 ? 0 : 1])});
    case 0x0A:
        return byteData((300.0 + 6.0 * wave(d.seconds, 5.0)) / 3.0); // kPa, 3 per count
    case 0x0B:
        return byteData(12.0 + 0.9 * d.loadPercent); // manifold pressure, kPa
    case 0x0C:
        return wordData(d.rpm * 4.0); // quarter revolutions per minute
    case 0x0D:
        return byteData(d.speedKmh);
    case 0x0E:
        return ignitionAdvance(d);
    case 0x0F:
        return byteData(d.intakeC + 40.0);
    case 0x10:
        return wordData(d.rpm * d.loadPercent * 0.016); // hundredths of g/s
    case 0x11:
        return percentData(d.throttlePercent);
    case 0x12:
        // Secondary air goes upstream for the cold start, then is switched to atmosphere.
        return bytes({quint8(d.seconds < 20.0 ? 0x01 : 0x04)});
    case 0x13:
        return bytes({kO2SensorsPresent});
    case 0x1C:
        return bytes({kObdIi});
    case 0x1D:
        return bytes({kO2SensorsPresentFourBanks});
    case 0x1E:
        return bytes({0x00}); // power take-off inactive
    case 0x1F:
        return wordData(d.seconds);
    default:
        break;
    }
    if (pid >= 0x14 && pid <= 0x1B)
        return narrowO2(d, pid);
    return {};
}

QByteArray modelPidData(const Ecu &ecu, quint8 pid, const Moment &moment)
{
    if (pid % 0x20 == 0 || pid > 0xA6)
        return {};
    const Drive drive = driveAt(moment.runUs);
    if (pid > 0x4E)
        return modelNewerRanges(drive, pid);
    return pid < 0x20 ? modelFirstRange(drive, ecu, pid)
                      : modelUpperRanges(drive, ecu, moment, pid);
}

QByteArray currentPidData(const Ecu &ecu, quint8 pid, const Moment &moment)
{
    const auto pinned = ecu.values.constFind(pid);
    return pinned != ecu.values.cend() ? *pinned : modelPidData(ecu, pid, moment);
}

QList<quint8> freezeFramePids(const Ecu &ecu)
{
    QList<quint8> pids = ecu.freezeFrame ? ecu.freezeFrame->pids : QList<quint8>();
    if (!pids.contains(0x02))
        pids.append(0x02);
    return pids;
}

QByteArray freezeFramePidData(const Ecu &ecu, quint8 pid)
{
    if (!freezeFramePids(ecu).contains(pid))
        return {};
    if (ecu.freezeFrame) {
        const auto pinned = ecu.freezeFrame->values.constFind(pid);
        if (pinned != ecu.freezeFrame->values.cend())
            return *pinned;
    }
    if (pid == 0x02)
        return codeBytes(ecu.freezeFrame ? ecu.freezeFrame->code : QString());
    return modelPidData(ecu, pid, Moment{kFreezeFrameRunUs, -1});
}

} // namespace quorvex::sim
