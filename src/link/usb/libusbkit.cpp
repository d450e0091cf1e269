#include "link/usb/libusbkit.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>

#include <libusb.h>
#include <poll.h>

#include <cstdlib>
#include <cstring>

namespace quorvex::usb {

namespace {

// A transfer's end as a libusb status code, which libusb_strerror describes.
int status_of(const libusb_transfer *transfer)
{
    switch (transfer->status) {
    case LIBUSB_TRANSFER_COMPLETED:
        return 0;
    case LIBUSB_TRANSFER_TIMED_OUT:
        return LIBUSB_ERROR_TIMEOUT;
    case LIBUSB_TRANSFER_STALL:
        return LIBUSB_ERROR_PIPE;
    case LIBUSB_TRANSFER_NO_DEVICE:
        return LIBUSB_ERROR_NO_DEVICE;
    case LIBUSB_TRANSFER_CANCELLED:
        return LIBUSB_ERROR_INTERRUPTED;
    case LIBUSB_TRANSFER_OVERFLOW:
        return LIBUSB_ERROR_OVERFLOW;
    case LIBUSB_TRANSFER_ERROR:
        break;
    }
    return LIBUSB_ERROR_IO;
}

// Every caller is told on the kit's thread, from the event loop: never inside submit() and
// never inside libusb's event handling.
void tell_later(QObject *kit, std::function<void(const TransferResult &)> done,
                TransferResult result)
{
    QMetaObject::invokeMethod(
        kit, [done = std::move(done), result = std::move(result)] { done(result); },
        Qt::QueuedConnection);
}

} // namespace

struct LibusbKit::Transfer
{
    LibusbKit *kit;
    DeviceHandle device;
    std::function<void(const TransferResult &)> done;
};

LibusbKit::LibusbKit(QObject *parent) : UsbKit(parent)
{
    m_timeout.setSingleShot(true);
    m_timeout.setTimerType(Qt::PreciseTimer);
    connect(&m_timeout, &QTimer::timeout, this, &LibusbKit::handleEvents);
}

LibusbKit::~LibusbKit()
{
    uninit();
}

int LibusbKit::init(UsbId id)
{
    if (m_registered)
        return 0;
    int rc = libusb_init(&m_ctx);
    if (rc != 0) {
        m_ctx = nullptr;
        return rc;
    }
    libusb_set_option(m_ctx, LIBUSB_OPTION_LOG_LEVEL, LIBUSB_LOG_LEVEL_NONE);
    if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) == 0) {
        libusb_exit(m_ctx);
        m_ctx = nullptr;
        return LIBUSB_ERROR_NOT_SUPPORTED;
    }
    libusb_set_pollfd_notifiers(m_ctx, &LibusbKit::pollfdAdded, &LibusbKit::pollfdRemoved, this);
    if (const libusb_pollfd **fds = libusb_get_pollfds(m_ctx)) {
        for (const libusb_pollfd **p = fds; *p; ++p)
            watchFd((*p)->fd, (*p)->events);
        libusb_free_pollfds(fds);
    }
    // A device already plugged in is reported at once, through the same queue as later ones.
    rc = libusb_hotplug_register_callback(
        m_ctx, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT,
        LIBUSB_HOTPLUG_ENUMERATE, id.vendor, id.product, LIBUSB_HOTPLUG_MATCH_ANY,
        [](libusb_context *ctx, libusb_device *device, libusb_hotplug_event event, void *self) {
            return hotplugCallback(ctx, device, event, self);
        },
        this, &m_hotplug);
    if (rc != 0) {
        m_registered = true; // so that uninit takes down what exists
        uninit();
        return rc;
    }
    m_hasHotplug = true;
    m_registered = true;
    armTimeout();
    return 0;
}

int LibusbKit::hotplugCallback(libusb_context *, libusb_device *device, int event, void *self)
{
    auto *kit = static_cast<LibusbKit *>(self);
    kit->m_hotplugEvents.push_back(
        {libusb_ref_device(device), event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED});
    QMetaObject::invokeMethod(kit, &LibusbKit::deliverHotplug, Qt::QueuedConnection);
    return 0; // stay registered
}

void LibusbKit::deliverHotplug()
{
    while (!m_hotplugEvents.empty()) {
        const HotplugEvent event = m_hotplugEvents.front();
        m_hotplugEvents.pop_front();
        if (event.arrived)
            onArrived(event.device);
        else
            onLeft(event.device);
        libusb_unref_device(event.device);
    }
}

void LibusbKit::onArrived(libusb_device *device)
{
    for (const auto &[handle, d] : m_devices)
        if (d.device == device && !d.gone)
            return; // reported twice (enumeration racing the arrival)
    const DeviceHandle handle = m_nextHandle++;
    m_devices[handle] = Device{libusb_ref_device(device)};
    emit deviceArrived(handle);
}

void LibusbKit::onLeft(libusb_device *device)
{
    for (auto &[handle, d] : m_devices) {
        if (d.device != device || d.gone)
            continue;
        d.gone = true;
        const DeviceHandle gone = handle;
        emit deviceLeft(gone);
        reap();
        return;
    }
}

void LibusbKit::reap()
{
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        if (it->second.gone && it->second.pending == 0) {
            closeDevice(it->second);
            it = m_devices.erase(it);
        } else {
            ++it;
        }
    }
}

void LibusbKit::closeDevice(Device &d)
{
    if (d.handle) {
        if (d.claimed >= 0)
            libusb_release_interface(d.handle, d.claimed);
        libusb_close(d.handle);
    }
    if (d.device)
        libusb_unref_device(d.device);
    d = Device{};
}

LibusbKit::Device *LibusbKit::find(DeviceHandle device)
{
    const auto it = m_devices.find(device);
    return it == m_devices.end() || it->second.gone ? nullptr : &it->second;
}

int LibusbKit::deviceInfo(DeviceHandle device, DeviceInfo *info)
{
    Device *d = find(device);
    if (!d)
        return LIBUSB_ERROR_NO_DEVICE;
    libusb_device_descriptor descriptor{};
    int rc = libusb_get_device_descriptor(d->device, &descriptor);
    if (rc != 0)
        return rc;
    info->id = UsbId{descriptor.idVendor, descriptor.idProduct};
    info->location = QStringLiteral("bus %1 device %2")
                         .arg(libusb_get_bus_number(d->device))
                         .arg(libusb_get_device_address(d->device));
    libusb_config_descriptor *config = nullptr;
    rc = libusb_get_active_config_descriptor(d->device, &config);
    if (rc != 0)
        return rc;
    info->endpoints = 0;
    if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0)
        info->endpoints = config->interface[0].altsetting[0].bNumEndpoints;
    libusb_free_config_descriptor(config);
    return 0;
}

int LibusbKit::setInterface(DeviceHandle device, int interfaceNumber, int alternateSetting)
{
    Device *d = find(device);
    if (!d)
        return LIBUSB_ERROR_NO_DEVICE;
    if (!d->handle) {
        const int rc = libusb_open(d->device, &d->handle);
        if (rc != 0) {
            d->handle = nullptr;
            return rc;
        }
    }
    if (d->claimed != interfaceNumber) {
        // A kernel driver bound to the interface gives it up. (Where the question cannot be
        // asked, no driver is assumed: the claim says whether the interface is free.)
        if (libusb_kernel_driver_active(d->handle, interfaceNumber) == 1) {
            const int rc = libusb_detach_kernel_driver(d->handle, interfaceNumber);
            if (rc != 0 && rc != LIBUSB_ERROR_NOT_FOUND) {
                libusb_close(d->handle);
                d->handle = nullptr;
                return rc;
            }
        }
        const int rc = libusb_claim_interface(d->handle, interfaceNumber);
        if (rc != 0) {
            libusb_close(d->handle);
            d->handle = nullptr;
            return rc;
        }
        d->claimed = interfaceNumber;
    }
    // A freshly claimed interface is in its first alternate setting; selecting it again is a
    // request some devices stall, so only another one is selected.
    if (alternateSetting != 0)
        return libusb_set_interface_alt_setting(d->handle, interfaceNumber, alternateSetting);
    return 0;
}

void LibusbKit::submit(DeviceHandle device, const SetupPacket &setup, int timeoutMs,
                       std::function<void(const TransferResult &)> done)
{
    Device *d = find(device);
    if (!d || !d->handle) {
        tell_later(this, std::move(done), {LIBUSB_ERROR_NO_DEVICE, {}});
        return;
    }
    libusb_transfer *transfer = libusb_alloc_transfer(0);
    auto *buffer =
        static_cast<unsigned char *>(std::calloc(LIBUSB_CONTROL_SETUP_SIZE + setup.wLength, 1));
    if (!transfer || !buffer) {
        libusb_free_transfer(transfer);
        std::free(buffer);
        tell_later(this, std::move(done), {LIBUSB_ERROR_NO_MEM, {}});
        return;
    }
    libusb_fill_control_setup(buffer, setup.bmRequestType, setup.bRequest, setup.wValue,
                              setup.wIndex, setup.wLength);
    auto *pending = new Transfer{this, device, std::move(done)};
    libusb_fill_control_transfer(transfer, d->handle, buffer, &LibusbKit::transferCallback, pending,
                                 static_cast<unsigned int>(timeoutMs));
    transfer->flags = LIBUSB_TRANSFER_FREE_BUFFER;
    const int rc = libusb_submit_transfer(transfer);
    if (rc != 0) {
        tell_later(this, std::move(pending->done), {rc, {}});
        delete pending;
        libusb_free_transfer(transfer); // and its buffer
        return;
    }
    m_transfers.insert(transfer);
    ++d->pending;
    armTimeout();
}

void LibusbKit::transferCallback(libusb_transfer *transfer)
{
    auto *pending = static_cast<Transfer *>(transfer->user_data);
    LibusbKit *kit = pending->kit;
    kit->m_transfers.erase(transfer);
    TransferResult result;
    result.status = status_of(transfer);
    if (result.status == 0)
        result.data =
            QByteArray(reinterpret_cast<const char *>(libusb_control_transfer_get_data(transfer)),
                       transfer->actual_length);
    const auto it = kit->m_devices.find(pending->device);
    if (it != kit->m_devices.end() && it->second.pending > 0) {
        --it->second.pending;
        if (it->second.gone && it->second.pending == 0)
            QMetaObject::invokeMethod(kit, &LibusbKit::reap, Qt::QueuedConnection);
    }
    tell_later(kit, std::move(pending->done), std::move(result));
    delete pending;
    libusb_free_transfer(transfer);
}

QString LibusbKit::statusText(int status) const
{
    return QString::fromUtf8(libusb_strerror(status));
}

int LibusbKit::noDeviceStatus() const
{
    return LIBUSB_ERROR_NO_DEVICE;
}

int LibusbKit::accessDeniedStatus() const
{
    return LIBUSB_ERROR_ACCESS;
}

void LibusbKit::pollfdAdded(int fd, short events, void *self)
{
    static_cast<LibusbKit *>(self)->watchFd(fd, events);
}

void LibusbKit::pollfdRemoved(int fd, void *self)
{
    static_cast<LibusbKit *>(self)->unwatchFd(fd);
}

void LibusbKit::watchFd(int fd, short events)
{
    unwatchFd(fd);
    auto &notifiers = m_notifiers[fd];
    const auto add = [&](QSocketNotifier::Type type) {
        auto notifier = std::make_unique<QSocketNotifier>(fd, type);
        connect(notifier.get(), &QSocketNotifier::activated, this, &LibusbKit::handleEvents);
        notifiers.push_back(std::move(notifier));
    };
    if (events & POLLIN)
        add(QSocketNotifier::Read);
    if (events & POLLOUT)
        add(QSocketNotifier::Write);
}

void LibusbKit::unwatchFd(int fd)
{
    const auto it = m_notifiers.find(fd);
    if (it == m_notifiers.end())
        return;
    // This may run inside one of these notifiers' own activation: they go once it returns.
    for (auto &notifier : it->second) {
        notifier->setEnabled(false);
        notifier.release()->deleteLater();
    }
    m_notifiers.erase(it);
}

void LibusbKit::handleEvents()
{
    if (!m_ctx)
        return;
    timeval now{0, 0};
    libusb_handle_events_timeout_completed(m_ctx, &now, nullptr);
    armTimeout();
}

void LibusbKit::armTimeout()
{
    if (!m_ctx || libusb_pollfds_handle_timeouts(m_ctx) != 0)
        return; // its time-outs come through a descriptor too
    timeval next{};
    if (libusb_get_next_timeout(m_ctx, &next) == 1) {
        const qint64 ms = qint64(next.tv_sec) * 1000 + (next.tv_usec + 999) / 1000;
        m_timeout.start(static_cast<int>(std::min<qint64>(ms, 60000)));
    } else {
        m_timeout.stop();
    }
}

void LibusbKit::uninit()
{
    if (!m_ctx) {
        m_registered = false;
        return;
    }
    // Transfers still running end as cancelled; their callers are told from the event loop.
    for (libusb_transfer *transfer : m_transfers)
        libusb_cancel_transfer(transfer);
    QElapsedTimer waited;
    waited.start();
    while (!m_transfers.empty() && waited.elapsed() < 2000) {
        timeval slice{0, 100000};
        libusb_handle_events_timeout_completed(m_ctx, &slice, nullptr);
    }
    if (m_hasHotplug)
        libusb_hotplug_deregister_callback(m_ctx, m_hotplug);
    m_hasHotplug = false;
    for (const HotplugEvent &event : m_hotplugEvents)
        libusb_unref_device(event.device);
    m_hotplugEvents.clear();
    for (auto &[handle, d] : m_devices)
        closeDevice(d);
    m_devices.clear();
    libusb_set_pollfd_notifiers(m_ctx, nullptr, nullptr, nullptr);
    while (!m_notifiers.empty())
        unwatchFd(m_notifiers.begin()->first);
    m_timeout.stop();
    // A transfer that would not end within the grace above keeps the context alive rather
    // than have libusb free what the kernel still owns.
    if (m_transfers.empty())
        libusb_exit(m_ctx);
    m_ctx = nullptr;
    m_registered = false;
}

} // namespace quorvex::usb
