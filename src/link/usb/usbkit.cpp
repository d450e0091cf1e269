#include "link/usb/usbkit.h"

#include <QRegularExpression>

namespace quorvex::usb {

QString UsbId::text() const
{
    return QStringLiteral("%1:%2")
        .arg(vendor, 4, 16, QLatin1Char('0'))
        .arg(product, 4, 16, QLatin1Char('0'));
}

bool UsbId::parse(const QString &text, UsbId *id)
{
    static const QRegularExpression pair(
        QStringLiteral("^\\s*([0-9A-Fa-f]{1,4}):([0-9A-Fa-f]{1,4})\\s*$"));
    const QRegularExpressionMatch m = pair.match(text);
    if (!m.hasMatch())
        return false;
    UsbId parsed;
    parsed.vendor = static_cast<quint16>(m.captured(1).toUInt(nullptr, 16));
    parsed.product = static_cast<quint16>(m.captured(2).toUInt(nullptr, 16));
    if (!parsed.isSet())
        return false; // 0000:0000 would match any device
    *id = parsed;
    return true;
}

std::array<quint8, 8> SetupPacket::bytes() const
{
    return {bmRequestType,
            bRequest,
            static_cast<quint8>(wValue & 0xFF),
            static_cast<quint8>(wValue >> 8),
            static_cast<quint8>(wIndex & 0xFF),
            static_cast<quint8>(wIndex >> 8),
            static_cast<quint8>(wLength & 0xFF),
            static_cast<quint8>(wLength >> 8)};
}

} // namespace quorvex::usb
