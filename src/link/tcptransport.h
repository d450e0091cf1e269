#pragma once

#include "link/transport.h"

#include <QTcpSocket>

#include <memory>

namespace quorvex {

class ObdContext;

// Where a network adapter listens: a host name or address and a TCP port.
struct NetworkAddress
{
    QString host;
    quint16 port = 0;

    // "HOST:PORT" (an IPv6 address in brackets: "[::1]:35000").
    QString text() const;
    // Reads "HOST:PORT"; false with a user-facing reason when text is not one.
    static bool parse(const QString &text, NetworkAddress *address, QString *error);
};

// A line to an adapter over the network: first connecting, then a byte pipe like any other
// transport, until either end closes it (the far end's close is `lost`).
class NetworkLine : public Transport
{
    Q_OBJECT
public:
    enum class State { Connecting, Connected, Failed, Closed };
    using Transport::Transport;

    virtual State state() const = 0;
    // Why the connection could not be made ("Connection refused"); empty unless Failed.
    virtual QString failure() const = 0;

signals:
    // The connection was made or could not be: whoever waits for it may look again.
    void settled();
};

// What the program connects to over the network. The program opens TCP connections; tests put
// simulated adapters in their place.
class NetworkConnector
{
public:
    virtual ~NetworkConnector() = default;
    // Starts connecting; the line announces when it is connected or has failed.
    virtual std::unique_ptr<NetworkLine> connectTo(const NetworkAddress &address) = 0;
};

// A TCP connection through QTcpSocket. What arrives is kept (the latest kInputLimit bytes)
// until read, and each arrival is announced. Nagle's delay is off: a command is a dozen bytes
// and its answer is awaited at once.
class TcpTransport : public NetworkLine
{
    Q_OBJECT
public:
    static constexpr qsizetype kInputLimit = 4096;

    explicit TcpTransport(QObject *parent = nullptr);
    ~TcpTransport() override;

    void connectToHost(const NetworkAddress &address);
    State state() const override { return m_state; }
    QString failure() const override { return m_failure; }

    bool isOpen() const override { return m_state == State::Connected; }
    void close() override;
    void write(const QByteArray &bytes) override;
    qint64 bytesAvailable() override;
    QByteArray readAll() override;

    // A failed connection's reason for a user ("Connection refused").
    static QString failureText(QAbstractSocket::SocketError error, const QString &text);
    // What the end of an open connection to `address` means to a user; text is the socket's.
    static QString lossText(QAbstractSocket::SocketError error, const QString &address,
                            const QString &text);

private:
    void onConnected();
    void onError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void takeInput();
    void endConnection(const QString &reason);

    QTcpSocket m_socket;
    QString m_address; // as the user gave it
    State m_state = State::Closed;
    QString m_failure;
    QByteArray m_input;
};

// TCP connections through TcpTransport.
class SystemNetworkConnector : public NetworkConnector
{
public:
    std::unique_ptr<NetworkLine> connectTo(const NetworkAddress &address) override;
};

// How long a connection may take to be made, on the session's clock.
constexpr int kConnectMs = 5000;

// Connects to address through connector, waiting in the session's event loop until the
// connection is made, has failed, or kConnectMs have passed. The open line, or nullptr with
// the reason ("Connection refused", "timed out after 5 s").
std::unique_ptr<Transport> connect_network(ObdContext &ctx, NetworkConnector &connector,
                                           const NetworkAddress &address, QString *error);

} // namespace quorvex
