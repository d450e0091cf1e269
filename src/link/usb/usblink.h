#pragma once

#include "link/clock.h"
#include "link/transport.h"
#include "link/usb/usbkit.h"

#include <QList>

#include <deque>
#include <memory>

namespace quorvex::usb {

// The scan interface's vendor requests: device-to-host control transfers on the default pipe.
inline constexpr quint8 kVendorIn = 0xC0; // device-to-host, vendor, device recipient
enum Request : quint8 {
    kSync = 0x09,          // 1 byte: non-zero while the interface has vehicle contact
    kReadBuffer = 0x0A,    // up to 32 received characters
    kInBufferCount = 0x0B, // 1 byte: number of received characters waiting
    kOut1 = 0x0C,
    kOut2 = 0x0D,
    kOut3 = 0x0E,
    kOut4 = 0x0F,
};
inline constexpr int kReadLength = 32;
inline constexpr int kTransferTimeoutMs = 30000;

// The requests that carry a six-character command: 0x0C (c1 c2 | c3 c4), 0x0D (c5 c6 | c3 c4),
// 0x0F (c1 c2 | c3 0). Missing characters travel as 0.
QList<SetupPacket> command_requests(const QByteArray &command);
// The requests that carry the 14-byte block of the pass-through mode: 0x0C (b0 b1 | b2 b3),
// 0x0D (b4 b5 | b6 b6), 0x0E (b7 b8 | b9 b10), 0x0F (b11 b12 | b13 1).
QList<SetupPacket> block_requests(const QByteArray &block);
// A one-stage request without data of its own: the sync, count and read requests.
SetupPacket query_request(quint8 bRequest, quint16 wLength);

// What became of a device the kit reported.
struct AttachEvent
{
    enum class Kind {
        Accepted,       // the device is held for the connection
        SecondRejected, // another device arrived while one is held
        Refused,        // the device could not be opened and claimed
    };
    Kind kind = Kind::Accepted;
    DeviceHandle device = 0;
    DeviceInfo info; // as far as the kit could tell
    int status = 0;  // Refused: the kit's status
};

// The USB path of the link operations, and the USB state the main window keeps: the
// registration with the kit, the device held (the one accepted attach), and the device the
// transfers go to once a connection is made.
//
// Every transfer is submitted asynchronously and awaited in the program's wait primitive, so
// the window runs while the device answers (or, hung, until the 30-second time-out). A
// handler that starts another exchange meanwhile queues behind the transfers already asked
// for: a command's three requests always reach the device together.
//
// A failed transfer reads as a cleared buffer, so that no exchange takes it for data: a count of
// 0, no characters, and a sync byte of -1 (the ready check must tell a failure from the
// interface's 0, which means no vehicle contact); it is announced by transferFailed. The device in
// use going away (a departure, or a transfer that finds it gone) closes the link and emits lost().
class UsbLink : public Transport
{
    Q_OBJECT
public:
    // How often a waiting exchange asks the interface for its received characters: USB
    // brings no event when characters arrive.
    static constexpr int kPollMs = 4;

    UsbLink(UsbKit &kit, Clock &clock, QObject *parent = nullptr);
    ~UsbLink() override;

    // The time-out of every transfer (kTransferTimeoutMs unless a test shortens it).
    void setTransferTimeoutMs(int ms) { m_timeoutMs = ms; }

    // Registers with the kit for the device with this id; the kit's status (0 on success).
    int USB_init(UsbId id);
    bool isRegistered() const { return m_kit.isRegistered(); }
    // Set false when an attach starts, true when it is accepted; false again when the held
    // device leaves.
    bool USBAttached() const { return m_attached; }
    // The device held since its attach was accepted; 0 when none.
    DeviceHandle heldDevice() const { return m_held; }

    // The connection's first steps: the held device becomes the one the transfers go to, once
    // the kit has described it; the kit's status. A failed transfer earlier on (a time-out, a
    // device pulled out) has no say here: each step reports only its own outcome.
    int connectHeld(DeviceInfo *info);

    // Releases the interface, the device and the registration; every transfer still waiting
    // ends as failed.
    void release();

    // The link operations' requests.
    void USB_CMD_OUT(const QByteArray &command);
    void EXT_CMD_OUT(const QByteArray &block);
    int USB_INBUF_COUNT();
    QByteArray READ_OBD_BUFFER();
    int OBDsync();

    // Transport. Closing stops using the device; the registration and the device held stay.
    bool isOpen() const override { return m_device != 0; }
    void close() override;
    void write(const QByteArray &bytes) override { USB_CMD_OUT(bytes); }
    void writeBlock(const QByteArray &block) override { EXT_CMD_OUT(block); }
    qint64 bytesAvailable() override { return USB_INBUF_COUNT(); }
    QByteArray readAll() override { return READ_OBD_BUFFER(); }
    int syncByte() override { return OBDsync(); }
    int pollIntervalMs() const override { return kPollMs; }

    QString statusText(int status) const { return m_kit.statusText(status); }
    int accessDeniedStatus() const { return m_kit.accessDeniedStatus(); }

    // The text a failed transfer leaves in the report window when debugging.
    static QString failureText(int status, const QString &statusText);

signals:
    void attached(const quorvex::usb::AttachEvent &event);
    // A device of the registered kind left; wasHeld when it was the one held.
    void departed(quorvex::usb::DeviceHandle device, bool wasHeld);
    void transferFailed(int status, const QString &statusText);

private:
    struct Slot
    {
        bool done = false;
        TransferResult result;
    };
    struct Pending
    {
        SetupPacket setup;
        std::shared_ptr<Slot> slot;
    };

    bool DeviceAttach(DeviceHandle device);
    void DeviceDetach(DeviceHandle device);
    // Queues the requests and waits for all of them; the result of each.
    QList<TransferResult> transfer(const QList<SetupPacket> &requests);
    TransferResult transferOne(const SetupPacket &setup);
    void pump();
    void finish(const std::shared_ptr<Slot> &slot, const TransferResult &result);
    void failQueued(int status);
    void loseDevice(const QString &reason);

    UsbKit &m_kit;
    Clock &m_clock;
    UsbId m_id;
    int m_timeoutMs = kTransferTimeoutMs;
    bool m_attached = false;
    DeviceHandle m_held = 0;   // the device whose attach was accepted
    DeviceHandle m_device = 0; // the device the transfers go to; 0 when closed
    std::deque<Pending> m_queue;
    bool m_inFlight = false;
    // Counts closings: a completion from before one does not touch what came after.
    int m_generation = 0;
};

} // namespace quorvex::usb
