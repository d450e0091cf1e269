#pragma once

#include "link/usb/usbkit.h"

#include <QTimer>

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <vector>

class QSocketNotifier;
struct libusb_context;
struct libusb_device;
struct libusb_device_handle;
struct libusb_transfer;

namespace quorvex::usb {

// The driver kit on libusb-1.0. libusb's events are handled on the window's thread: its file
// descriptors are watched by socket notifiers (and its time-outs by a timer where it has no
// descriptor for them), so nothing blocks and no thread of ours exists. Arrivals and
// departures come from libusb's hotplug notification and are handed on queued, outside
// libusb's event handling, as are transfer completions.
class LibusbKit : public UsbKit
{
    Q_OBJECT
public:
    explicit LibusbKit(QObject *parent = nullptr);
    ~LibusbKit() override;

    int init(UsbId id) override;
    bool isRegistered() const override { return m_registered; }
    int deviceInfo(DeviceHandle device, DeviceInfo *info) override;
    int setInterface(DeviceHandle device, int interfaceNumber, int alternateSetting) override;
    void submit(DeviceHandle device, const SetupPacket &setup, int timeoutMs,
                std::function<void(const TransferResult &)> done) override;
    QString statusText(int status) const override;
    int noDeviceStatus() const override;
    int accessDeniedStatus() const override;
    void uninit() override;

private:
    struct Device
    {
        libusb_device *device = nullptr; // one reference held
        libusb_device_handle *handle = nullptr;
        int claimed = -1; // the interface claimed, -1 none
        int pending = 0;  // transfers submitted and not yet ended
        bool gone = false;
    };
    struct Transfer;
    struct HotplugEvent
    {
        libusb_device *device; // one reference held
        bool arrived;
    };

    static int hotplugCallback(libusb_context *ctx, libusb_device *device, int event, void *self);
    static void transferCallback(libusb_transfer *transfer);
    static void pollfdAdded(int fd, short events, void *self);
    static void pollfdRemoved(int fd, void *self);

    void watchFd(int fd, short events);
    void unwatchFd(int fd);
    void handleEvents();
    void armTimeout();
    void deliverHotplug();
    void onArrived(libusb_device *device);
    void onLeft(libusb_device *device);
    // Closes the devices that are gone once their last transfer has ended.
    void reap();
    void closeDevice(Device &device);
    Device *find(DeviceHandle device);

    libusb_context *m_ctx = nullptr;
    int m_hotplug = 0;
    bool m_hasHotplug = false;
    bool m_registered = false;
    std::deque<HotplugEvent> m_hotplugEvents; // reported by libusb, not yet handed on
    std::map<DeviceHandle, Device> m_devices;
    DeviceHandle m_nextHandle = 1;
    std::map<int, std::vector<std::unique_ptr<QSocketNotifier>>> m_notifiers;
    QTimer m_timeout;
    std::set<libusb_transfer *> m_transfers; // submitted, not yet completed
};

} // namespace quorvex::usb
