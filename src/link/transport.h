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
    virtual void write(const QByteArray &bytes) = 0;
    virtual qint64 bytesAvailable() const = 0;
    virtual QByteArray readAll() = 0;

signals:
    // The device went away (adapter unplugged, far end closed). The transport is closed
    // by the time this is emitted.
    void lost(const QString &reason);
};

} // namespace quorvex
