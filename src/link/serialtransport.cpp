#include "link/serialtransport.h"

#include <utility>

namespace quorvex {

SerialTransport::SerialTransport(QObject *parent) : Transport(parent)
{
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialTransport::onError);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialTransport::takeInput);
}

void SerialTransport::takeInput()
{
    // Reading empties the port's own buffer, which would otherwise grow by a block for every
    // read of one mark.
    if (keep(m_port.readAll()))
        emit arrived();
}

bool SerialTransport::keep(const QByteArray &bytes)
{
    m_input += bytes;
    if (m_input.size() > kInputLimit)
        m_input.remove(0, m_input.size() - kInputLimit);
    return !bytes.isEmpty();
}

bool SerialTransport::open(const SerialSettings &settings, QString *error)
{
    close();
    m_port.setPortName(settings.device);
    m_device = settings.device;
    m_port.setBaudRate(settings.baud);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setReadBufferSize(0);
    if (!m_port.open(QIODevice::ReadWrite)) {
        if (error)
            *error = explainOpenError(m_port.error(), m_port.errorString());
        return false;
    }
    return true;
}

void SerialTransport::close()
{
    if (m_port.isOpen())
        m_port.close();
    m_input.clear();
}

bool SerialTransport::isOpen() const
{
    return m_port.isOpen();
}

int SerialTransport::lineSpeed() const
{
    return m_port.isOpen() ? static_cast<int>(m_port.baudRate()) : 0;
}

bool SerialTransport::setLineSpeed(int baud)
{
    return m_port.isOpen() && baud > 0 && m_port.setBaudRate(baud);
}

void SerialTransport::write(const QByteArray &bytes)
{
    if (m_port.isOpen())
        m_port.write(bytes);
}

qint64 SerialTransport::bytesAvailable()
{
    return m_port.isOpen() ? m_input.size() + m_port.bytesAvailable() : 0;
}

QByteArray SerialTransport::readAll()
{
    if (!m_port.isOpen())
        return QByteArray();
    keep(m_port.readAll()); // not announced: the caller is the reader
    return std::exchange(m_input, QByteArray());
}

void SerialTransport::onError(QSerialPort::SerialPortError error)
{
    // A vanished device keeps reporting ReadError at a furious rate while the port stays
    // open: close on the first report.
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    if (!m_port.isOpen())
        return;
    // The port's error text is whatever errno held last, often stale ("Inappropriate ioctl
    // for device"): the event itself is what closed the link.
    const QString reason = lossText(error, m_device);
    close();
    emit lost(reason);
}

QString SerialTransport::lossText(QSerialPort::SerialPortError error, const QString &device)
{
    return error == QSerialPort::ResourceError
               ? QStringLiteral("%1 became unavailable: the device was removed or stopped "
                                "working")
                     .arg(device)
               : QStringLiteral("%1 could not be read any more").arg(device);
}

QString SerialTransport::explainOpenError(QSerialPort::SerialPortError code, const QString &text)
{
    switch (code) {
    case QSerialPort::PermissionError:
        return QStringLiteral("%1 (permission denied: add your user to the dialout group, "
                              "then log in again)")
            .arg(text);
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("%1 (device not found)").arg(text);
    default:
        return text;
    }
}

bool SerialTransport::probe(const QString &device, QString *error)
{
    QSerialPort port;
    port.setPortName(device);
    if (!port.open(QIODevice::ReadWrite)) {
        if (error)
            *error = explainOpenError(port.error(), port.errorString());
        return false;
    }
    port.close();
    return true;
}

} // namespace quorvex

namespace quorvex {

std::unique_ptr<Transport> SystemSerialPorts::open(const SerialSettings &settings, QString *error)
{
    auto line = std::make_unique<SerialTransport>();
    if (!line->open(settings, error))
        return nullptr;
    return line;
}

} // namespace quorvex
