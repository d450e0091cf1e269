#include "simservices.h"

#include "simreplies.h"

namespace quorvex::sim {

namespace {

constexpr quint8 kNoCodeHeader = 0xFF;
constexpr int kCodeSlots = 3;

QByteArray header(const Ecu &ecu, quint8 first = 0x48)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(first)).append(char(0x6B));
    bytes.append(static_cast<char>(ecu.address));
    return bytes;
}

bool isSupportPid(quint8 pid)
{
    return pid == 0x00 || pid == 0x20 || pid == 0x40;
}

QByteArray currentData(const Ecu &ecu, quint8 pid, const Moment &moment)
{
    QByteArray message = header(ecu);
    message.append(char(0x41)).append(static_cast<char>(pid));
    if (isSupportPid(pid))
        return message + supportBytes(ecu.pids, pid);
    if (!ecu.pids.contains(pid) || ecu.silentPids.contains(pid))
        return {};
    return message + currentPidData(ecu, pid, moment);
}

QByteArray freezeFrame(const Ecu &ecu, quint8 pid)
{
    QByteArray message = header(ecu);
    message.append(char(0x42)).append(static_cast<char>(pid)).append('\0'); // frame 0
    if (pid == 0x00 && ecu.freezeFrameSupport)
        return message + ecu.freezeFrameSupport->left(4).leftJustified(4, '\0');
    if (isSupportPid(pid))
        return message + supportBytes(freezeFramePids(ecu), pid);
    if (ecu.silentPids.contains(pid))
        return {};
    const QByteArray data = freezeFramePidData(ecu, pid);
    return data.isEmpty() ? QByteArray() : message + data;
}

QByteArray codes(const Ecu &ecu, quint8 response, const QStringList &list)
{
    QByteArray message = header(ecu, list.isEmpty() ? kNoCodeHeader : 0x48);
    message.append(static_cast<char>(response));
    for (int slot = 0; slot < kCodeSlots; ++slot) {
        const QString code = slot < list.size() ? list.at(slot) : QString();
        message += QByteArray::fromHex(code.toLatin1()).left(2).rightJustified(2, '\0');
    }
    return message;
}

} // namespace

QByteArray serviceMessage(const Ecu &ecu, quint8 service, quint8 pid, const Moment &moment)
{
    switch (service) {
    case 0x01:
        return currentData(ecu, pid, moment);
    case 0x02:
        return freezeFrame(ecu, pid);
    case 0x03:
        return codes(ecu, 0x43, ecu.storedCodes);
    case 0x07:
        return codes(ecu, 0x47, ecu.pendingCodes);
    default:
        return {};
    }
}

QByteArray clearMessage(const Ecu &ecu, bool rejected)
{
    QByteArray message = header(ecu);
    if (rejected)
        return message.append(char(0x7F)).append(char(0x04)).append(char(0x22));
    return message.append(char(0x44));
}

void clearDiagnosticMemory(Ecu *ecu)
{
    ecu->storedCodes.clear();
    ecu->pendingCodes.clear();
    ecu->freezeFrame.reset();
    ecu->mil = false;
}

} // namespace quorvex::sim
