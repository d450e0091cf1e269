#pragma once

#include "transport.h"

#include <QSerialPort>

namespace quorvex {

struct SerialSettings
{
    QString device;   // any tty path: /dev/ttyS0, /dev/ttyUSB0, /dev/rfcomm0, /dev/pts/7
    int baud = 19200; // 9600 or 19200; no parity, 8 data bits, 1 stop bit
};

// The serial port behind the link operations. Line settings are those of the scan
// interface; handshaking keeps the port's defaults. The receive buffer is not limited, so a
// reply longer than any threshold (the 111-character VIN) arrives whole.
class SerialTransport : public Transport
{
    Q_OBJECT
public:
    explicit SerialTransport(QObject *parent = nullptr);

    bool open(const SerialSettings &settings, QString *error);
    void close();

    bool isOpen() const override;
    void write(const QByteArray &bytes) override;
    qint64 bytesAvailable() const override;
    QByteArray readAll() override;

    // Opens and closes the device once with default line settings; false with the reason
    // when it cannot be used (missing, busy, permission denied).
    static bool probe(const QString &device, QString *error);
    // A user-facing explanation for a failed open.
    static QString explainOpenError(QSerialPort::SerialPortError code, const QString &text);

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
};

} // namespace quorvex
