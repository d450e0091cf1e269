#include "sim/simusbkit.h"

#include <QMetaObject>

#include <cerrno>

namespace quorvex::sim {

SimUsbKit::SimUsbKit(Clock &clock, Scenario scenario, Options options, usb::UsbId id,
                     QObject *parent)
    : usb::UsbKit(parent), m_clock(clock), m_device(std::move(scenario), options), m_id(id)
{
}

SimUsbKit::~SimUsbKit()
{
    for (const quint64 id : std::as_const(m_holdTimers))
        m_clock.cancel(id);
}

int SimUsbKit::init(usb::UsbId id)
{
    if (m_initStatus != 0)
        return m_initStatus;
    m_registered = true;
    if (id == m_id) {
        // Interfaces already plugged in are reported at once (from the event loop).
        if (m_plugged)
            arrive(m_plugged);
        if (m_second)
            arrive(m_second);
    }
    return 0;
}

void SimUsbKit::arrive(usb::DeviceHandle device)
{
    QMetaObject::invokeMethod(
        this,
        [this, device] {
            if (m_registered && isPresent(device))
                emit deviceArrived(device);
        },
        Qt::QueuedConnection);
}

int SimUsbKit::deviceInfo(usb::DeviceHandle device, usb::DeviceInfo *info)
{
    if (!isPresent(device))
        return kNoDevice;
    info->id = m_id;
    info->endpoints = 1; // the interface's bulk endpoint besides the control pipe
    info->location = QStringLiteral("simulated bus %1 device %2").arg(kBus).arg(kDeviceNumber);
    return 0;
}

int SimUsbKit::setInterface(usb::DeviceHandle device, int, int)
{
    if (!isPresent(device))
        return kNoDevice;
    if (m_openStatus != 0)
        return m_openStatus;
    ++m_opened;
    return 0;
}

void SimUsbKit::submit(usb::DeviceHandle device, const usb::SetupPacket &setup, int timeoutMs,
                       std::function<void(const usb::TransferResult &)> done)
{
    if (device == 0 || device != m_plugged) {
        // Gone, or the second interface, which nobody may use.
        usb::TransferResult result{device == m_second && device != 0 ? kPipe : kNoDevice, {}};
        record(setup, result);
        endLater(std::move(done), result);
        return;
    }
    if (m_failCount > 0) {
        --m_failCount;
        const usb::TransferResult result{m_failStatus, {}};
        record(setup, result);
        endLater(std::move(done), result);
        return;
    }
    if (m_hold) {
        const int serial = ++m_heldSerial;
        m_held.append({device, setup, std::move(done), serial});
        const int ms = static_cast<int>(timeoutMs * m_timeoutScale);
        m_holdTimers[serial] = m_clock.callAfter(ms, [this, serial] {
            m_holdTimers.remove(serial);
            for (qsizetype i = 0; i < m_held.size(); ++i) {
                if (m_held[i].serial != serial)
                    continue;
                Held held = m_held.takeAt(i);
                const usb::TransferResult result{kTimeout, {}};
                record(held.setup, result);
                held.done(result);
                return;
            }
        });
        return;
    }
    answer(setup, done);
}

void SimUsbKit::answer(const usb::SetupPacket &setup,
                       const std::function<void(const usb::TransferResult &)> &done)
{
    const std::optional<QByteArray> data =
        m_device.request(setup.bRequest, setup.wValue, setup.wIndex, setup.wLength, nowUs());
    usb::TransferResult result;
    if (data)
        result.data = data->left(setup.wLength);
    else
        result.status = kPipe;
    record(setup, result);
    endLater(done, result, m_plugged);
    // The "disconnect after n commands" fault: the interface goes away once it has answered.
    if (m_device.engine().hungUp())
        QMetaObject::invokeMethod(this, &SimUsbKit::unplug, Qt::QueuedConnection);
}

void SimUsbKit::record(const usb::SetupPacket &setup, const usb::TransferResult &result)
{
    UsbRecord r;
    r.setup = setup.bytes();
    r.data = result.data;
    r.status = result.status == 0 ? 0 : (result.status == kPipe ? -EPIPE : -EIO);
    m_records.append(r);
    m_transfers.append(setup);
    if (m_records.size() > kKeptRecords) {
        m_records.removeFirst();
        m_transfers.removeFirst();
    }
}

void SimUsbKit::clearRecords()
{
    m_records.clear();
    m_transfers.clear();
}

void SimUsbKit::endLater(std::function<void(const usb::TransferResult &)> done,
                         usb::TransferResult result, usb::DeviceHandle device)
{
    // Queued on this kit: a completion still queued when the kit goes is dropped with it. A
    // transfer still in flight when its device is pulled out ends with the no-device status,
    // whatever the device had answered, as libusb ends it.
    QMetaObject::invokeMethod(
        this,
        [this, done = std::move(done), result = std::move(result), device] {
            if (device != 0 && device != m_plugged)
                done({kNoDevice, {}});
            else
                done(result);
        },
        Qt::QueuedConnection);
}

void SimUsbKit::failHeld(usb::DeviceHandle device, int status)
{
    for (qsizetype i = 0; i < m_held.size();) {
        if (device != 0 && m_held[i].device != device) {
            ++i;
            continue;
        }
        Held held = m_held.takeAt(i);
        const usb::TransferResult result{status, {}};
        record(held.setup, result);
        endLater(std::move(held.done), result);
    }
}

QString SimUsbKit::statusText(int status) const
{
    switch (status) {
    case kIo:
        return QStringLiteral("Input/Output Error");
    case kAccess:
        return QStringLiteral("Access denied (insufficient permissions)");
    case kNoDevice:
        return QStringLiteral("No such device (it may have been disconnected)");
    case kBusy:
        return QStringLiteral("Resource busy");
    case kTimeout:
        return QStringLiteral("Operation timed out");
    case kPipe:
        return QStringLiteral("Pipe error");
    case kInterrupted:
        return QStringLiteral("System call interrupted (perhaps due to signal)");
    default:
        return QStringLiteral("Other error");
    }
}

void SimUsbKit::uninit()
{
    m_registered = false;
    m_opened = 0;
    failHeld(0, kInterrupted);
}

void SimUsbKit::plug()
{
    if (m_plugged)
        return;
    m_plugged = m_nextHandle++;
    if (m_registered)
        arrive(m_plugged);
}

void SimUsbKit::unplug()
{
    if (!m_plugged)
        return;
    const usb::DeviceHandle gone = m_plugged;
    m_plugged = 0;
    failHeld(gone, kNoDevice);
    if (m_registered)
        emit deviceLeft(gone);
}

void SimUsbKit::plugSecond()
{
    m_second = m_nextHandle++;
    if (m_registered)
        arrive(m_second);
}

void SimUsbKit::failTransfers(int count, int status)
{
    m_failCount = count;
    m_failStatus = status;
}

void SimUsbKit::holdTransfers(bool hold)
{
    m_hold = hold;
    if (hold)
        return;
    // Released: the held transfers are answered now, in order.
    const QList<Held> held = std::exchange(m_held, {});
    for (const Held &h : held)
        answer(h.setup, h.done);
}

} // namespace quorvex::sim
