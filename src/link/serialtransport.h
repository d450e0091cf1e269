#pragma once

#include "link/transport.h"

#include <QSerialPort>

#include <memory>

namespace quorvex {

struct SerialSettings
{
    QString device;   // any tty path: /dev/ttyS0, /dev/ttyUSB0, /dev/rfcomm0, /dev/pts/7
    int baud = 19200; // 9600 or 19200; no parity, 8 data bits, 1 stop bit
};

// The serial port behind the link operations. Line settings are those of the scan
// interface; handshaking keeps the port's defaults.
//
// Everything the port receives is taken into a buffer of our own as it arrives. An idle
// interface sends a ready mark every few milliseconds for as long as the program runs, and
// nobody reads those until the next exchange discards them; so the buffer keeps only the
// latest kInputLimit bytes. An exchange reads on every wake, so a reply (111 characters at
// most) never comes near the limit.
class SerialTransport : public Transport
{
    Q_OBJECT
public:
    static constexpr qsizetype kInputLimit = 1024;

    explicit SerialTransport(QObject *parent = nullptr);

    bool open(const SerialSettings &settings, QString *error);
    void close() override;

    bool isOpen() const override;
    void write(const QByteArray &bytes) override;
    qint64 bytesAvailable() override;
    QByteArray readAll() override;
    int lineSpeed() const override;
    bool setLineSpeed(int baud) override;

    // Opens and closes the device once with default line settings; false with the reason
    // when it cannot be used (missing, busy, permission denied).
    static bool probe(const QString &device, QString *error);
    // What the loss of the line on device means to a user, for the error that ended it
    // (ResourceError: gone; ReadError: no longer readable).
    static QString lossText(QSerialPort::SerialPortError error, const QString &device);
    // A user-facing explanation for a failed open.
    static QString explainOpenError(QSerialPort::SerialPortError code, const QString &text);

private:
    void onError(QSerialPort::SerialPortError error);
    void takeInput();
    // Adds bytes to the input kept, trimmed to kInputLimit; whether there were any.
    bool keep(const QByteArray &bytes);

    QSerialPort m_port;
    QString m_device; // as the user named it
    QByteArray m_input;
};

// What the Com ports lead to. The program opens the system's serial devices; tests put
// simulated ones in their place.
class SerialPorts
{
public:
    virtual ~SerialPorts() = default;
    // Whether the device can be used; false with the reason (missing, busy, permission denied).
    virtual bool probe(const QString &device, QString *error) = 0;
    // The device opened with these settings; nullptr with the reason when it cannot be.
    virtual std::unique_ptr<Transport> open(const SerialSettings &settings, QString *error) = 0;
};

// The system's serial devices through SerialTransport.
class SystemSerialPorts : public SerialPorts
{
public:
    bool probe(const QString &device, QString *error) override
    {
        return SerialTransport::probe(device, error);
    }
    std::unique_ptr<Transport> open(const SerialSettings &settings, QString *error) override;
};

} // namespace quorvex
