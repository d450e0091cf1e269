#include "link/link.h"

#include "link/linkstate.h"
#include "link/transport.h"

#include <limits>

namespace quorvex {

Transport *Link::chosen() const
{
    return m_state.UseSerial ? m_serial : m_usb;
}

Transport *Link::active() const
{
    Transport *t = chosen();
    return (t && t->isOpen()) ? t : nullptr;
}

bool Link::isConnected() const
{
    return active() != nullptr;
}

void Link::OBDoutput(const QString &strOUT)
{
    if (Transport *t = active())
        t->write(strOUT.toLatin1());
}

void Link::EXT_CMD_OUT(const QByteArray &block)
{
    if (Transport *t = active())
        t->writeBlock(block);
}

QString Link::OBDinput()
{
    // Text mode: each received byte is one character.
    if (Transport *t = active())
        return QString::fromLatin1(t->readAll());
    return QString();
}

int Link::OBDinbuffercount()
{
    Transport *t = active();
    if (!t)
        return 0;
    const qint64 n = t->bytesAvailable();
    return n > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                               : static_cast<int>(n);
}

int Link::OBDsync()
{
    Transport *t = active();
    return t ? t->syncByte() : -1;
}

void Link::announce(const QStringList &commands)
{
    Transport *t = active();
    if (!t)
        return;
    QList<QByteArray> bytes;
    bytes.reserve(commands.size());
    for (const QString &command : commands)
        bytes << command.toLatin1();
    t->expect(bytes);
}

int Link::pollIntervalMs() const
{
    const Transport *t = active();
    return t ? t->pollIntervalMs() : 0;
}

} // namespace quorvex
