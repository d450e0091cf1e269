#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace quorvex {

// A byte pipe to the scan interface. Writes never wait; reads return what has arrived.
class Transport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isOpen() const = 0;
    // A command's characters.
    virtual void write(const QByteArray &bytes) = 0;
    // The raw 14-byte block of the pass-through mode. A serial line carries it as it carries
    // a command; the USB link has a request of its own for it.
    virtual void writeBlock(const QByteArray &block) { write(block); }
    virtual qint64 bytesAvailable() const = 0;
    virtual QByteArray readAll() = 0;

signals:
    // The device went away (adapter unplugged, far end closed). The transport is closed
    // by the time this is emitted.
    void lost(const QString &reason);
};

} // namespace quorvex
