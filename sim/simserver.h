#pragma once

#include "sim/simelm.h"
#include "sim/simengine.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <mutex>
#include <thread>

namespace quorvex::sim {

// Serves the simulated interface, or with Options::personality the ELM327 adapter (ElmEngine),
// on a pseudo-terminal (or over TCP, see listen()), so the program under test opens a real serial
// device and uses its real serial path. The server keeps its own descriptor of the slave end open
// (in raw mode), so the program may open and close the device freely without the line going away;
// only a hang-up closes it.
//
// One thread of its own moves bytes between the master end and the engine; it sleeps in
// poll() until input, a control change or the engine's next due byte. Every public member is
// thread-safe, except that start(), hangUp() and destruction belong to one controlling thread.
class Server
{
public:
    explicit Server(Scenario scenario, Options options = {});
    ~Server(); // stops the thread, closes both pty ends, removes the symlink it placed
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    // Opens the pseudo-terminal and starts serving. False, with *error set, if it cannot.
    bool start(QString *error);
    QString devicePath() const; // the slave end, e.g. /dev/pts/7; empty before start()

    // Serves on TCP instead of a pseudo-terminal, as a Wi-Fi adapter does: listens at host (a
    // numeric address; port 0 takes a free one) and serves one client at a time. A client that
    // goes away frees the adapter for the next; one that comes while another is served is
    // closed at once. The engine, and the car, stay the same from one client to the next.
    bool listen(const QString &host, quint16 port, QString *error);
    quint16 tcpPort() const; // the port listened on; 0 before listen()
    // The adapter closes the connection of the client it serves, and goes on listening.
    void dropClient();
    bool hasClient() const;

    // Places (or replaces) a symbolic link to the device, e.g. a stable path for the demo.
    // An existing file that is not a symbolic link is never replaced. One link per server:
    // placing another removes the previous one.
    bool placeSymlink(const QString &linkPath, QString *error);

    void setFaults(const Faults &faults);
    Faults faults() const;
    // The latest bytes the program wrote (at least kKeptBytes of them, fewer only when fewer
    // were written) and the latest commands, in order: what a test reads back. The ELM327
    // adapter's commands are the lines it received, without their CR.
    static constexpr qsizetype kKeptBytes = 64 * 1024;
    QByteArray received() const;
    QStringList commands() const;
    qint64 sentBytes() const; // bytes written to the line so far
    int lineBaud() const;     // speed the program set on the line; 0 before start()
    int activeEcu() const;

    // The adapter is unplugged: the master end (over TCP, the connection and the listening
    // socket) is closed when this returns, so the program's reads fail the way they do when a
    // real adapter goes away.
    void hangUp();
    bool isHungUp() const;

private:
    void run();
    void waitUntilReadOrStopped();
    void stopThread();
    void wake();
    void drainWakeUps();
    void closeLine();
    void removeSymlink();
    bool startThread(QString *error);
    void acceptClient();
    void closeClient();
    // False when the far end of a TCP connection has gone.
    bool readInput(QByteArray *input);
    void writeOutput(const QByteArray &output);
    int readLineBaud() const;

    mutable std::mutex m_mutex;
    AnyEngine m_engine;           // guarded by m_mutex
    QByteArray m_received;        // guarded by m_mutex
    int m_lineBaud = 0;           // guarded by m_mutex
    qint64 m_sentBytes = 0;       // guarded by m_mutex
    bool m_stopRequested = false; // guarded by m_mutex
    bool m_hungUp = false;        // guarded by m_mutex
    bool m_dropRequested = false; // guarded by m_mutex
    bool m_hasClient = false;     // guarded by m_mutex

    // Set by start() before the thread exists; afterwards used by the thread alone, and by
    // the controlling thread again only once the thread has been joined.
    int m_masterFd = -1; // over TCP, the client's connection while there is one
    int m_slaveFd = -1;
    int m_listenFd = -1;
    quint16 m_tcpPort = 0;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    QString m_devicePath;
    QString m_linkPath;
    std::thread m_thread;
};

} // namespace quorvex::sim
