#include "link/tcptransport.h"

#include "link/obdcontext.h"

#include <algorithm>
#include <utility>

namespace quorvex {

QString NetworkAddress::text() const
{
    const QString shown = host.contains(u':') ? u'[' + host + u']' : host;
    // In one pass: a host may hold a '%' of its own (an IPv6 scope, "fe80::1%wlan0").
    return QStringLiteral("%1:%2").arg(shown, QString::number(port));
}

bool NetworkAddress::parse(const QString &text, NetworkAddress *address, QString *error)
{
    const auto fail = [&] {
        if (error)
            *error = QStringLiteral("\"%1\" is not an adapter's address: give HOST:PORT, e.g. "
                                    "192.168.0.10:35000")
                         .arg(text);
        return false;
    };
    const QString trimmed = text.trimmed();
    const qsizetype colon = trimmed.lastIndexOf(u':');
    if (colon <= 0)
        return fail();
    QString host = trimmed.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(u':'))
        return fail(); // an IPv6 address needs its brackets
    const QString portText = trimmed.mid(colon + 1);
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    const bool digitsOnly =
        !portText.isEmpty() && std::all_of(portText.begin(), portText.end(),
                                           [](QChar c) { return c >= u'0' && c <= u'9'; });
    const bool blank = std::any_of(host.begin(), host.end(), [](QChar c) { return c.isSpace(); });
    if (host.isEmpty() || blank || !digitsOnly || !ok || port == 0 || port > 65535)
        return fail();
    address->host = host;
    address->port = static_cast<quint16>(port);
    return true;
}

TcpTransport::TcpTransport(QObject *parent) : NetworkLine(parent)
{
    connect(&m_socket, &QTcpSocket::connected, this, &TcpTransport::onConnected);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &TcpTransport::onError);
    connect(&m_socket, &QTcpSocket::disconnected, this, &TcpTransport::onDisconnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &TcpTransport::takeInput);
}

TcpTransport::~TcpTransport()
{
    // The socket announces its disconnection while it is destroyed, after this object's
    // other members are gone: nothing of it may reach this object any more.
    QObject::disconnect(&m_socket, nullptr, this, nullptr);
    m_state = State::Closed;
    m_socket.abort();
}

void TcpTransport::connectToHost(const NetworkAddress &address)
{
    close();
    m_address = address.text();
    m_failure.clear();
    m_state = State::Connecting;
    m_socket.connectToHost(address.host, address.port);
}

void TcpTransport::onConnected()
{
    if (m_state != State::Connecting)
        return;
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    m_state = State::Connected;
    emit settled();
}

void TcpTransport::onError(QAbstractSocket::SocketError error)
{
    if (m_state == State::Connecting) {
        m_failure = failureText(error, m_socket.errorString());
        m_state = State::Failed;
        m_socket.abort();
        emit settled();
    } else if (m_state == State::Connected) {
        endConnection(lossText(error, m_address, m_socket.errorString()));
    }
}

void TcpTransport::onDisconnected()
{
    // Normally the error came first and said why; a close without one is the far end's.
    if (m_state == State::Connected)
        endConnection(lossText(QAbstractSocket::RemoteHostClosedError, m_address, {}));
}

void TcpTransport::endConnection(const QString &reason)
{
    close();
    emit lost(reason);
}

void TcpTransport::close()
{
    // Closed first, so that the socket's own signals while it goes find nothing to report.
    m_state = State::Closed;
    m_socket.abort();
    m_input.clear();
}

void TcpTransport::write(const QByteArray &bytes)
{
    if (m_state == State::Connected)
        m_socket.write(bytes);
}

void TcpTransport::takeInput()
{
    const QByteArray bytes = m_socket.readAll();
    if (m_state != State::Connected || bytes.isEmpty())
        return;
    m_input += bytes;
    if (m_input.size() > kInputLimit)
        m_input.remove(0, m_input.size() - kInputLimit);
    emit arrived();
}

qint64 TcpTransport::bytesAvailable()
{
    return m_state == State::Connected ? m_input.size() + m_socket.bytesAvailable() : 0;
}

QByteArray TcpTransport::readAll()
{
    if (m_state != State::Connected)
        return QByteArray();
    m_input += m_socket.readAll(); // not announced: the caller is the reader
    return std::exchange(m_input, QByteArray());
}

QString TcpTransport::failureText(QAbstractSocket::SocketError error, const QString &text)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("Connection refused");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("Host not found");
    default:
        return text;
    }
}

QString TcpTransport::lossText(QAbstractSocket::SocketError error, const QString &address,
                               const QString &text)
{
    // A reset by the far end reads as its close too.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return QStringLiteral("%1 closed the connection").arg(address);
    return QStringLiteral("the connection to %1 was lost: %2").arg(address, text);
}

std::unique_ptr<NetworkLine> SystemNetworkConnector::connectTo(const NetworkAddress &address)
{
    auto line = std::make_unique<TcpTransport>();
    line->connectToHost(address);
    return line;
}

std::unique_ptr<Transport> connect_network(ObdContext &ctx, NetworkConnector &connector,
                                           const NetworkAddress &address, QString *error)
{
    std::unique_ptr<NetworkLine> line = connector.connectTo(address);
    const qint64 deadline = ctx.nowMs() + kConnectMs;
    while (line->state() == NetworkLine::State::Connecting && !ctx.closing() &&
           !ctx.yieldUntil(deadline)) {
    }
    switch (line->state()) {
    case NetworkLine::State::Connected:
        return line;
    case NetworkLine::State::Failed:
        if (error)
            *error = line->failure();
        return nullptr;
    case NetworkLine::State::Connecting:
    case NetworkLine::State::Closed:
        break;
    }
    line->close();
    if (error)
        *error = ctx.closing() ? QStringLiteral("the program is ending")
                               : QStringLiteral("timed out after %1 s").arg(kConnectMs / 1000);
    return nullptr;
}

} // namespace quorvex
