#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

namespace quorvex {

// A byte pipe to the scan interface. Reads return what has arrived. On a serial line nothing
// waits; over USB every operation is a transfer, awaited while window events run.
class Transport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isOpen() const = 0;
    // Closes the device (nothing is announced); reads find nothing from then on.
    virtual void close() = 0;
    // A command's characters.
    virtual void write(const QByteArray &bytes) = 0;
    // The raw 14-byte block of the pass-through mode. A serial line carries it as it carries
    // a command; the USB link has a request of its own for it.
    virtual void writeBlock(const QByteArray &block) { write(block); }
    // Characters waiting. Asking may take a moment (USB asks the device), running events.
    virtual qint64 bytesAvailable() = 0;
    virtual QByteArray readAll() = 0;
    // The USB ready query: non-zero while the interface has vehicle contact, 0 without, -1
    // when it could not be asked (and always on a line that has no such query).
    virtual int syncByte() { return -1; }
    // How often a wait for input must look again, in milliseconds; 0 when input arrives as
    // an event that ends the wait by itself.
    virtual int pollIntervalMs() const { return 0; }
    // The commands the program is about to send in one pass, in order (it may send fewer); a
    // new list within the pass says what is left of it, an empty list ends the pass. An adapter
    // that can ask the vehicle for several at once may do so when the first of them comes, and
    // answer the others from that one answer while the pass lasts. A line that carries each
    // command as it comes ignores it.
    virtual void expect(const QList<QByteArray> &commands) { Q_UNUSED(commands); }
    // The line's speed in baud; 0 on a line without one to set (TCP, USB).
    virtual int lineSpeed() const { return 0; }
    // Sets the line's speed from now on; false where it has none or the device refused it.
    virtual bool setLineSpeed(int baud)
    {
        Q_UNUSED(baud);
        return false;
    }

signals:
    // Input has arrived (for a reader that works as it arrives rather than when asked). Not
    // every transport announces it: USB brings no event when characters arrive.
    void arrived();
    // The device went away (adapter unplugged, far end closed). The transport is closed
    // by the time this is emitted.
    void lost(const QString &reason);
};

} // namespace quorvex
