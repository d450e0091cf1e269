#pragma once

#include "link/clock.h"
#include "link/usb/usbkit.h"
#include "sim/simusb.h"

#include <QList>
#include <QMap>

#include <functional>

namespace quorvex::sim {

// A USB driver kit with the simulated scan interface plugged in: the program's USB link runs
// on it unchanged, for tests and for the demonstration. Transfers are answered by the USB
// personality from the event loop (never inside submit), each one recorded. The interface's
// time and the transfers' time-outs run on the clock it is given (the program's). The controls let
// a test plug and unplug the interface, plug in a second one, fail or hold transfers and refuse the
// open.
class SimUsbKit : public usb::UsbKit
{
    Q_OBJECT
public:
    static constexpr usb::UsbId kId{0x1209, 0x0b0d};
    static constexpr int kBus = 1;
    static constexpr int kDeviceNumber = 2;

    // The kit's status codes (libusb's numbers, so the texts read familiar).
    enum Status {
        kIo = -1,
        kAccess = -3,
        kNoDevice = -4,
        kBusy = -6,
        kTimeout = -7,
        kPipe = -9,
        kInterrupted = -10,
    };

    explicit SimUsbKit(Clock &clock, Scenario scenario, Options options = {}, usb::UsbId id = kId,
                       QObject *parent = nullptr);
    ~SimUsbKit() override;

    // UsbKit.
    int init(usb::UsbId id) override;
    bool isRegistered() const override { return m_registered; }
    int deviceInfo(usb::DeviceHandle device, usb::DeviceInfo *info) override;
    int setInterface(usb::DeviceHandle device, int interfaceNumber, int alternateSetting) override;
    void submit(usb::DeviceHandle device, const usb::SetupPacket &setup, int timeoutMs,
                std::function<void(const usb::TransferResult &)> done) override;
    QString statusText(int status) const override;
    int noDeviceStatus() const override { return kNoDevice; }
    int accessDeniedStatus() const override { return kAccess; }
    void uninit() override;

    // The test's controls.
    void plug();       // the interface is plugged in again (it is from the start)
    void unplug();     // it is pulled out: transfers waiting on it fail, its departure reported
    void plugSecond(); // another interface of the same kind arrives
    void failTransfers(int count, int status); // the next count transfers fail
    // Held transfers stay unanswered until released, the device leaves or their time-out
    // (scaled by timeoutScale) passes.
    void holdTransfers(bool hold);
    void setTimeoutScale(double scale) { m_timeoutScale = scale; }
    void setOpenStatus(int status) { m_openStatus = status; }
    void setInitStatus(int status) { m_initStatus = status; }

    // What went over the wire, in order: the latest kKeptRecords transfers.
    static constexpr qsizetype kKeptRecords = 4096;
    const QList<usb::SetupPacket> &transfers() const { return m_transfers; }
    const QList<UsbRecord> &records() const { return m_records; }
    void clearRecords();
    int openDevices() const { return m_opened; }

    UsbDevice &device() { return m_device; }

private:
    struct Held
    {
        usb::DeviceHandle device;
        usb::SetupPacket setup;
        std::function<void(const usb::TransferResult &)> done;
        int serial;
    };

    // The handle names an interface plugged in now, the usable one or the second.
    bool isPresent(usb::DeviceHandle device) const
    {
        return device != 0 && (device == m_plugged || device == m_second);
    }
    void arrive(usb::DeviceHandle device);
    void answer(const usb::SetupPacket &setup,
                const std::function<void(const usb::TransferResult &)> &done);
    void record(const usb::SetupPacket &setup, const usb::TransferResult &result);
    // Completes a transfer from the event loop; one answered by `device` fails if the device
    // is gone by then.
    void endLater(std::function<void(const usb::TransferResult &)> done, usb::TransferResult result,
                  usb::DeviceHandle device = 0);
    void failHeld(usb::DeviceHandle device, int status);
    qint64 nowUs() const { return m_clock.nowMs() * 1000; }

    Clock &m_clock;
    UsbDevice m_device;
    usb::UsbId m_id;
    bool m_registered = false;
    usb::DeviceHandle m_plugged = 1; // the simulated interface; 0 while unplugged
    usb::DeviceHandle m_second = 0;  // a second interface, present while non-zero
    usb::DeviceHandle m_nextHandle = 2;
    int m_opened = 0;
    int m_failCount = 0;
    int m_failStatus = 0;
    bool m_hold = false;
    int m_heldSerial = 0;
    double m_timeoutScale = 1.0;
    int m_openStatus = 0;
    int m_initStatus = 0;
    QList<Held> m_held;
    QMap<int, quint64> m_holdTimers; // the time-out of each held transfer, by its serial
    QList<UsbRecord> m_records;
    QList<usb::SetupPacket> m_transfers;
};

} // namespace quorvex::sim
