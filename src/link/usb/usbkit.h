#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <functional>

namespace quorvex::usb {

// The vendor and product id of the scan interface, as lsusb prints them ("1209:0b0d").
struct UsbId
{
    quint16 vendor = 0;
    quint16 product = 0;

    bool isSet() const { return vendor != 0 || product != 0; }
    QString text() const;
    // "VVVV:PPPP" in hexadecimal; false when the text is not such a pair or names 0000:0000.
    static bool parse(const QString &text, UsbId *id);
    friend bool operator==(const UsbId &, const UsbId &) = default;
};

// The setup stage of a control transfer on the default pipe.
struct SetupPacket
{
    quint8 bmRequestType = 0;
    quint8 bRequest = 0;
    quint16 wValue = 0;
    quint16 wIndex = 0;
    quint16 wLength = 0;

    // The eight bytes as they travel, multi-byte fields little-endian.
    std::array<quint8, 8> bytes() const;
    friend bool operator==(const SetupPacket &, const SetupPacket &) = default;
};

// What the kit tells about an attached device.
struct DeviceInfo
{
    UsbId id;
    int endpoints = 0; // endpoints of interface 0, alternate setting 0, besides the control pipe
    QString location;  // where it is plugged in, for messages ("bus 1 device 4")
};

// A device the kit reports; 0 is no device.
using DeviceHandle = quintptr;

struct TransferResult
{
    int status = 0;  // 0: success; otherwise the kit's status code
    QByteArray data; // the bytes the device sent (the bytes transferred)
};

// The USB driver kit: the platform's few calls the USB link is built on. Every call and every
// signal belongs to the thread that created the kit (the window's).
class UsbKit : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Registers for arrivals and departures of the device with this id and reports, through
    // deviceArrived, one already plugged in. 0 on success, else a status code.
    virtual int init(UsbId id) = 0;
    virtual bool isRegistered() const = 0;
    // The device's descriptor and the endpoints of its interface 0, alternate setting 0.
    virtual int deviceInfo(DeviceHandle device, DeviceInfo *info) = 0;
    // Opens the device and claims the interface with the given alternate setting.
    virtual int setInterface(DeviceHandle device, int interfaceNumber, int alternateSetting) = 0;
    // Starts a control transfer on the default pipe, device-to-host, reading up to wLength
    // bytes. done is called exactly once, never from within this call: with the data, or with
    // a failure status when the device fails it, goes away, the time-out passes or the kit is
    // released.
    virtual void submit(DeviceHandle device, const SetupPacket &setup, int timeoutMs,
                        std::function<void(const TransferResult &)> done) = 0;
    // The kit's description of a status code.
    virtual QString statusText(int status) const = 0;
    // The status of a transfer whose device has gone away.
    virtual int noDeviceStatus() const = 0;
    // The status of an open refused for lack of permission.
    virtual int accessDeniedStatus() const = 0;
    // Ends every transfer still running (with a failure), releases any device and the
    // registration.
    virtual void uninit() = 0;

signals:
    void deviceArrived(quorvex::usb::DeviceHandle device);
    void deviceLeft(quorvex::usb::DeviceHandle device);
};

} // namespace quorvex::usb
