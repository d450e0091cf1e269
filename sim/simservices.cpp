#include "sim/simservices.h"

#include "sim/simreplies.h"

namespace quorvex::sim {

namespace {

constexpr quint8 kNoCodeHeader = 0xFF;
constexpr int kCodeSlots = 3;
constexpr quint8 kO2SensorsPid = 0x13;

QByteArray header(const Ecu &ecu, quint8 first = 0x48)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(first)).append(char(0x6B));
    bytes.append(static_cast<char>(ecu.address));
    return bytes;
}

QByteArray bytesOf(quint32 word)
{
    QByteArray out;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(static_cast<char>((word >> shift) & 0xFF));
    return out;
}

bool isSupportPid(quint8 pid)
{
    return pid % 0x20 == 0 && pid <= 0xA0;
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

// The items of a service 09 info type as CAN carries them after 49 and the info type.
QByteArray vehicleInfoItems(const Ecu &ecu, quint8 infoType, bool vin)
{
    QByteArray items;
    switch (infoType) {
    case 0x00: {
        QList<quint8> types;
        if (vin)
            types << 0x02;
        if (ecu.newerServices) {
            if (!ecu.calibrationIds.isEmpty())
                types << 0x04 << 0x06;
            if (!ecu.inUseCounts.isEmpty())
                types << 0x08;
            if (!ecu.ecuName.isEmpty())
                types << 0x0A;
        }
        return supportBytes(types, 0x00);
    }
    case 0x04:
        items.append(static_cast<char>(ecu.calibrationIds.size()));
        for (const QString &id : ecu.calibrationIds)
            items += id.toLatin1().left(16).leftJustified(16, '\0');
        return ecu.calibrationIds.isEmpty() ? QByteArray() : items;
    case 0x06:
        items.append(static_cast<char>(ecu.cvns.size()));
        for (const quint32 cvn : ecu.cvns)
            items += bytesOf(cvn);
        return ecu.cvns.isEmpty() ? QByteArray() : items;
    case 0x08:
        items.append(static_cast<char>(ecu.inUseCounts.size()));
        for (const quint16 count : ecu.inUseCounts)
            items.append(static_cast<char>(count >> 8)).append(static_cast<char>(count & 0xFF));
        return ecu.inUseCounts.isEmpty() ? QByteArray() : items;
    case 0x0A: {
        // The acronym padded to four characters, a dash, the name padded to fifteen.
        const QString acronym = ecu.ecuName.section(u'-', 0, 0);
        const QString name = ecu.ecuName.section(u'-', 1);
        items.append(char(0x01));
        items += acronym.toLatin1().left(4).leftJustified(4, '\0') + '-' +
                 name.toLatin1().left(15).leftJustified(15, '\0');
        return ecu.ecuName.isEmpty() ? QByteArray() : items;
    }
    default:
        return {};
    }
}

} // namespace

QByteArray permanentCodesMessage(const Ecu &ecu)
{
    if (!ecu.newerServices)
        return header(ecu).append(char(0x7F)).append(char(0x0A)).append(char(0x11));
    return codes(ecu, 0x4A, ecu.permanentCodes);
}

QList<QByteArray> vehicleInfoMessages(const Ecu &ecu, quint8 infoType, bool numbered, bool vin)
{
    const QByteArray response = QByteArray(1, char(0x49)) + static_cast<char>(infoType);
    if (!ecu.newerServices && infoType != 0x00)
        return {QByteArray("\x7F\x09\x12", 3)};
    const QByteArray items = vehicleInfoItems(ecu, infoType, vin);
    if (items.isEmpty())
        return {};
    if (!numbered)
        return {response + items};
    // The support bytes as one message; the others four data bytes a message, the count left
    // out (the message numbers say as much).
    const QByteArray data = infoType == 0x00 ? items : items.mid(1);
    QList<QByteArray> messages;
    for (qsizetype at = 0, number = 1; at < data.size(); at += 4, ++number)
        messages << response + static_cast<char>(number) + data.mid(at, 4).leftJustified(4, '\0');
    return messages;
}

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
    case 0x0A:
        return permanentCodesMessage(ecu);
    default:
        return {};
    }
}

QByteArray o2TestMessage(const Ecu &ecu, quint8 service, quint8 tid, quint8 sensor,
                         const Moment &moment)
{
    const QByteArray present = currentPidData(ecu, kO2SensorsPid, moment);
    const quint8 sensorsPresent = present.isEmpty() ? 0 : quint8(present.at(0));
    if (sensor == 0 || (sensor & (sensor - 1)) != 0 || !(sensor & sensorsPresent))
        return {};
    QByteArray message = header(ecu);
    if (tid == 0x00) {
        const bool positive = service == 0x06 || ecu.o2Service05;
        message.append(static_cast<char>(positive ? 0x46 : 0x45)).append('\0');
        message.append(static_cast<char>(sensor));
        // TIDs 01-09 (the scenario allows no others): bit 7 of the first byte is TID 01.
        return message + supportBytes(ecu.o2Tests.keys(), 0x00).left(2) + QByteArray(1, '\0');
    }
    if (!ecu.o2Tests.contains(tid))
        return {};
    message.append(static_cast<char>(service + 0x40)).append(static_cast<char>(tid));
    return message + ecu.o2Tests.value(tid);
}

QByteArray mode6Reply(const Ecu &ecu, quint8 service, quint8 tid, quint8 cid)
{
    constexpr int kReplyBytes = 13;
    QByteArray reply = header(ecu);
    if (service == 0x06 && tid % 0x20 == 0) {
        QByteArray support(4, '\0');
        for (const Mode6Test &t : ecu.mode6Tests) {
            const int offset = t.tid - tid; // 1 .. 0x20 in this range
            if (offset >= 1 && offset <= 0x20)
                support[(offset - 1) / 8] =
                    static_cast<char>(support[(offset - 1) / 8] | (0x80 >> ((offset - 1) % 8)));
            else if (offset > 0x20)
                support[3] = static_cast<char>(support[3] | 0x01);
        }
        reply.append(char(0x46)).append(static_cast<char>(tid)).append(static_cast<char>(cid));
        reply += support;
        return reply.leftJustified(kReplyBytes, '\0');
    }
    for (const Mode6Test &t : ecu.mode6Tests) {
        if (service != 0x06 || t.tid != tid || t.cid != cid)
            continue;
        reply.append(char(0x46)).append(static_cast<char>(t.cid | (t.minimum ? 0x80 : 0x00)));
        for (const quint16 word : {t.value, t.limit})
            reply.append(static_cast<char>(word >> 8)).append(static_cast<char>(word & 0xFF));
        return reply.leftJustified(kReplyBytes, '\0');
    }
    reply.append(char(0x7F)).append(char(0x06)).append(char(0x12));
    return reply.leftJustified(kReplyBytes, '\0');
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
