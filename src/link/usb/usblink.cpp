#include "link/usb/usblink.h"

#include <QPointer>

#include <utility>

namespace quorvex::usb {

namespace {

// Byte i of a command or block; 0 past its end.
quint16 at(const QByteArray &bytes, qsizetype i)
{
    return i < bytes.size() ? static_cast<quint8>(bytes.at(i)) : 0;
}

quint16 pair(const QByteArray &bytes, qsizetype low, qsizetype high)
{
    return static_cast<quint16>(at(bytes, low) | (at(bytes, high) << 8));
}

SetupPacket out_request(quint8 bRequest, quint16 wValue, quint16 wIndex)
{
    SetupPacket p;
    p.bmRequestType = kVendorIn;
    p.bRequest = bRequest;
    p.wValue = wValue;
    p.wIndex = wIndex;
    p.wLength = 1;
    return p;
}

} // namespace

QList<SetupPacket> command_requests(const QByteArray &c)
{
    return {out_request(kOut1, pair(c, 0, 1), pair(c, 2, 3)),
            out_request(kOut2, pair(c, 4, 5), pair(c, 2, 3)),
            out_request(kOut4, pair(c, 0, 1), at(c, 2))};
}

QList<SetupPacket> block_requests(const QByteArray &b)
{
    const auto last = static_cast<quint16>(at(b, 13) | (1 << 8));
    return {out_request(kOut1, pair(b, 0, 1), pair(b, 2, 3)),
            out_request(kOut2, pair(b, 4, 5), pair(b, 6, 6)),
            out_request(kOut3, pair(b, 7, 8), pair(b, 9, 10)),
            out_request(kOut4, pair(b, 11, 12), last)};
}

SetupPacket query_request(quint8 bRequest, quint16 wLength)
{
    SetupPacket p;
    p.bmRequestType = kVendorIn;
    p.bRequest = bRequest;
    p.wLength = wLength;
    return p;
}

UsbLink::UsbLink(UsbKit &kit, Clock &clock, QObject *parent)
    : Transport(parent), m_kit(kit), m_clock(clock)
{
    connect(&m_kit, &UsbKit::deviceArrived, this, &UsbLink::DeviceAttach);
    connect(&m_kit, &UsbKit::deviceLeft, this, &UsbLink::DeviceDetach);
}

UsbLink::~UsbLink()
{
    release();
}

int UsbLink::USB_init(UsbId id)
{
    m_id = id;
    return m_kit.init(id);
}

bool UsbLink::DeviceAttach(DeviceHandle device)
{
    m_attached = false;
    AttachEvent event;
    event.device = device;
    m_kit.deviceInfo(device, &event.info);
    if (m_held != 0) {
        event.kind = AttachEvent::Kind::SecondRejected;
        emit attached(event);
        return false;
    }
    m_held = device;
    event.status = m_kit.setInterface(device, 0, 0);
    if (event.status != 0) {
        m_held = 0;
        event.kind = AttachEvent::Kind::Refused;
        emit attached(event);
        return false;
    }
    m_attached = true;
    emit attached(event);
    return true;
}

void UsbLink::DeviceDetach(DeviceHandle device)
{
    const bool wasHeld = device != 0 && device == m_held;
    if (wasHeld) {
        // The device is gone for good; a later attach of it (plugged in again) is a new one.
        m_held = 0;
        m_attached = false;
    }
    if (device != 0 && device == m_device)
        loseDevice(QStringLiteral("the USB device %1 was unplugged").arg(m_id.text()));
    emit departed(device, wasHeld);
}

int UsbLink::connectHeld(DeviceInfo *info)
{
    if (m_held == 0)
        return m_kit.noDeviceStatus();
    const int status = m_kit.deviceInfo(m_held, info);
    if (status == 0 && info->endpoints > 0)
        m_device = m_held;
    return status;
}

void UsbLink::release()
{
    close();
    m_held = 0;
    m_attached = false;
    if (m_kit.isRegistered())
        m_kit.uninit(); // ends the transfer in flight, if any
}

void UsbLink::close()
{
    ++m_generation;
    m_inFlight = false;
    m_device = 0;
    failQueued(m_kit.noDeviceStatus());
}

void UsbLink::loseDevice(const QString &reason)
{
    if (m_device == 0)
        return;
    close();
    emit lost(reason);
}

void UsbLink::failQueued(int status)
{
    // Requests that never went out: their callers read the cleared buffer.
    while (!m_queue.empty()) {
        Pending p = std::move(m_queue.front());
        m_queue.pop_front();
        p.slot->done = true;
        p.slot->result.status = status;
    }
}

void UsbLink::pump()
{
    while (!m_inFlight && !m_queue.empty()) {
        Pending p = std::move(m_queue.front());
        m_queue.pop_front();
        if (m_device == 0) {
            p.slot->done = true;
            p.slot->result.status = m_kit.noDeviceStatus();
            continue;
        }
        m_inFlight = true;
        QPointer<UsbLink> self(this);
        const int generation = m_generation;
        m_kit.submit(m_device, p.setup, m_timeoutMs,
                     [self, generation, slot = p.slot](const TransferResult &result) {
                         if (!self)
                             return;
                         if (generation == self->m_generation)
                             self->m_inFlight = false;
                         self->finish(slot, result);
                         if (generation == self->m_generation)
                             self->pump();
                     });
    }
}

void UsbLink::finish(const std::shared_ptr<Slot> &slot, const TransferResult &result)
{
    if (slot->done)
        return;
    slot->done = true;
    slot->result = result;
    if (result.status == 0)
        return;
    emit transferFailed(result.status, m_kit.statusText(result.status));
    if (result.status == m_kit.noDeviceStatus())
        loseDevice(QStringLiteral("the USB device %1 stopped answering").arg(m_id.text()));
}

QList<TransferResult> UsbLink::transfer(const QList<SetupPacket> &requests)
{
    QList<std::shared_ptr<Slot>> waiting;
    for (const SetupPacket &setup : requests) {
        auto slot = std::make_shared<Slot>();
        m_queue.push_back({setup, slot});
        waiting << slot;
    }
    pump();
    // The kit ends every transfer, at the latest by its time-out; the window runs meanwhile.
    QList<TransferResult> results;
    for (const auto &slot : waiting) {
        while (!slot->done)
            m_clock.wait(m_timeoutMs);
        results << slot->result;
    }
    return results;
}

TransferResult UsbLink::transferOne(const SetupPacket &setup)
{
    return transfer({setup}).constFirst();
}

void UsbLink::USB_CMD_OUT(const QByteArray &command)
{
    transfer(command_requests(command));
}

void UsbLink::EXT_CMD_OUT(const QByteArray &block)
{
    transfer(block_requests(block));
}

int UsbLink::USB_INBUF_COUNT()
{
    const TransferResult r = transferOne(query_request(kInBufferCount, 1));
    return r.status == 0 && !r.data.isEmpty() ? static_cast<quint8>(r.data.at(0)) : 0;
}

QByteArray UsbLink::READ_OBD_BUFFER()
{
    const TransferResult r = transferOne(query_request(kReadBuffer, kReadLength));
    return r.status == 0 ? r.data.left(kReadLength) : QByteArray();
}

int UsbLink::OBDsync()
{
    const TransferResult r = transferOne(query_request(kSync, 1));
    if (r.status != 0)
        return -1;
    return r.data.isEmpty() ? 0 : static_cast<quint8>(r.data.at(0));
}

QString UsbLink::failureText(int status, const QString &statusText)
{
    return QStringLiteral("ReadWritePipesMenu: WDU_Transfer() failed: error &H%1 (%2)")
        .arg(QString::number(static_cast<quint32>(status), 16).toUpper(), statusText);
}

} // namespace quorvex::usb
