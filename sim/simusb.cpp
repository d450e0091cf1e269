#include "sim/simusb.h"

#include <QtEndian>

#include <algorithm>

namespace quorvex::sim {

namespace {

constexpr quint8 kSync = 0x09;
constexpr quint8 kRead = 0x0A;
constexpr quint8 kCount = 0x0B;
constexpr quint8 kOut1 = 0x0C;
constexpr quint8 kOut2 = 0x0D;
constexpr quint8 kOut3 = 0x0E;
constexpr quint8 kOut4 = 0x0F;

const QByteArray kAck(1, '\0');

char lo(quint16 v)
{
    return static_cast<char>(v & 0xFF);
}

char hi(quint16 v)
{
    return static_cast<char>(v >> 8);
}

} // namespace

UsbDevice::UsbDevice(Scenario scenario, Options options)
    : m_engine(std::move(scenario), [&] {
          options.readyMarks = false;
          return options;
      }())
{
}

void UsbDevice::take(qint64 nowUs)
{
    m_output += m_engine.take(nowUs);
}

std::optional<QByteArray> UsbDevice::request(quint8 bRequest, quint16 wValue, quint16 wIndex,
                                             quint16 wLength, qint64 nowUs)
{
    switch (bRequest) {
    case kSync:
        return QByteArray(1, m_engine.readyMark(nowUs) == 'S' ? '\1' : '\0');
    case kCount:
        take(nowUs);
        return QByteArray(1, static_cast<char>(std::min<qsizetype>(m_output.size(), 255)));
    case kRead: {
        take(nowUs);
        const QByteArray out = m_output.left(wLength);
        m_output.remove(0, out.size());
        return out;
    }
    case kOut1:
        m_parts[0] = lo(wValue);
        m_parts[1] = hi(wValue);
        m_parts[2] = lo(wIndex);
        m_parts[3] = hi(wIndex);
        return kAck;
    case kOut2:
        m_parts[4] = lo(wValue);
        m_parts[5] = hi(wValue);
        m_parts[6] = lo(wIndex);
        return kAck;
    case kOut3:
        m_parts[7] = lo(wValue);
        m_parts[8] = hi(wValue);
        m_parts[9] = lo(wIndex);
        m_parts[10] = hi(wIndex);
        return kAck;
    case kOut4:
        if (hi(wIndex) == 1) {
            m_parts[11] = lo(wValue);
            m_parts[12] = hi(wValue);
            m_parts[13] = lo(wIndex);
            m_engine.receive(QByteArray(m_parts.data(), 14), nowUs);
        } else {
            m_engine.receive(QByteArray(m_parts.data(), 6), nowUs);
        }
        return kAck;
    default:
        return std::nullopt;
    }
}

QByteArray usbmon_pcap(const QList<UsbRecord> &records, int bus, int devnum)
{
    constexpr quint32 kLinuxMmapped = 220;
    constexpr qint32 kInProgress = -115;
    constexpr char kControl = 2;
    constexpr char kEndpointIn = char(0x80);

    QByteArray out;
    const auto put32 = [&out](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        out.append(b, 4);
    };
    const auto put16 = [&out](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        out.append(b, 2);
    };
    const auto put64 = [&out](quint64 v) {
        char b[8];
        qToLittleEndian(v, b);
        out.append(b, 8);
    };
    // Global header: magic, version 2.4, zone, accuracy, snap length, link type.
    put32(0xA1B2C3D4);
    put16(2);
    put16(4);
    put32(0);
    put32(0);
    put32(65535);
    put32(kLinuxMmapped);

    quint64 id = 0xFFFF888800000000ULL;
    quint64 timeUs = 1'700'000'000ULL * 1'000'000ULL;
    // One record: the 64-byte usbmon header, then the data.
    const auto record = [&](char event, const std::array<quint8, 8> *setup, char dataFlag,
                            qint32 status, quint32 urbLength, const QByteArray &data) {
        const quint32 length = 64 + static_cast<quint32>(data.size());
        put32(static_cast<quint32>(timeUs / 1'000'000));
        put32(static_cast<quint32>(timeUs % 1'000'000));
        put32(length);
        put32(length);
        put64(id);
        out.append(event);
        out.append(kControl);
        out.append(kEndpointIn);
        out.append(static_cast<char>(devnum));
        put16(static_cast<quint16>(bus));
        out.append(setup ? '\0' : '-'); // the setup bytes below are valid
        out.append(dataFlag);
        put64(timeUs / 1'000'000);
        put32(static_cast<quint32>(timeUs % 1'000'000));
        put32(static_cast<quint32>(status));
        put32(urbLength);
        put32(static_cast<quint32>(data.size()));
        if (setup)
            out.append(reinterpret_cast<const char *>(setup->data()), 8);
        else
            out.append(8, '\0');
        put32(0);     // interval
        put32(0);     // start frame
        put32(0x200); // transfer flags: a transfer the host reads
        put32(0);     // isochronous descriptors
        out.append(data);
        timeUs += 500;
    };
    for (const UsbRecord &r : records) {
        id += 0x40;
        const quint16 wLength = static_cast<quint16>(r.setup[6] | (r.setup[7] << 8));
        record('S', &r.setup, '<', kInProgress, wLength, QByteArray());
        record('C', nullptr, r.data.isEmpty() ? '>' : '\0', r.status,
               static_cast<quint32>(r.data.size()), r.data);
    }
    return out;
}

} // namespace quorvex::sim
