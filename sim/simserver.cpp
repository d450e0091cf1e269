#include "sim/simserver.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace quorvex::sim {

namespace {

// Even with nothing due the thread wakes this often, so lineBaud() follows the program's
// termios while the interface is silent.
constexpr int kMaxPollMs = 250;

// Nobody has read the device for this many characters (40 s of marks): the program has it
// closed. A real port drops what arrives while closed; so does the server, instead of
// filling the pty buffer until writes stall and handing the next opener a stale backlog.
constexpr int kBacklogLimit = 2048;

// Bounds of the pause between the last reply and the hang-up, see waitUntilReadOrStopped().
constexpr std::chrono::milliseconds kHangUpMinimumWait{20};
constexpr std::chrono::milliseconds kHangUpMaximumWait{500};

qint64 monotonicUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

int baudFromSpeed(speed_t speed)
{
    static constexpr std::array<std::pair<speed_t, int>, 24> kSpeeds{{
        {B0, 0},           {B50, 50},         {B75, 75},         {B110, 110},
        {B134, 134},       {B150, 150},       {B200, 200},       {B300, 300},
        {B600, 600},       {B1200, 1200},     {B1800, 1800},     {B2400, 2400},
        {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
        {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
        {B500000, 500000}, {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000},
    }};
    for (const auto &[code, baud] : kSpeeds) {
        if (code == speed)
            return baud;
    }
    return 0; // a speed this table does not know: treat as unknown (unpaced)
}

QString errnoText(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

Server::Server(Scenario scenario, Options options)
    : m_engine(makeEngine(std::move(scenario), options))
{
}

Server::~Server()
{
    stopThread();
    closeLine();
    closeFd(m_wakeRead);
    closeFd(m_wakeWrite);
    removeSymlink();
}

bool Server::start(QString *error)
{
    const auto fail = [this, error](const QString &message) {
        if (error)
            *error = message;
        closeLine();
        closeFd(m_wakeRead);
        closeFd(m_wakeWrite);
        return false;
    };
    if (!m_devicePath.isEmpty() || m_listenFd >= 0) {
        if (error)
            *error = QStringLiteral("the server has already been started");
        return false;
    }

    m_masterFd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_masterFd < 0)
        return fail(errnoText("posix_openpt"));
    if (::grantpt(m_masterFd) != 0 || ::unlockpt(m_masterFd) != 0)
        return fail(errnoText("grantpt/unlockpt"));
    std::array<char, 128> name{};
    if (::ptsname_r(m_masterFd, name.data(), name.size()) != 0)
        return fail(errnoText("ptsname"));
    const int flags = ::fcntl(m_masterFd, F_GETFL);
    if (flags < 0 || ::fcntl(m_masterFd, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail(errnoText("fcntl"));

    // The server's own slave descriptor keeps the line up while the program has it closed,
    // and carries the raw mode the program finds when it opens the device.
    m_slaveFd = ::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveFd < 0)
        return fail(errnoText("open slave"));
    termios tio{};
    if (::tcgetattr(m_slaveFd, &tio) != 0)
        return fail(errnoText("tcgetattr"));
    ::cfmakeraw(&tio);
    if (::tcsetattr(m_slaveFd, TCSANOW, &tio) != 0)
        return fail(errnoText("tcsetattr"));

    m_devicePath = QString::fromLocal8Bit(name.data());
    {
        const std::lock_guard lock(m_mutex);
        m_lineBaud = readLineBaud();
    }
    if (!startThread(error)) {
        m_devicePath.clear();
        return fail(error ? *error : QString());
    }
    return true;
}

bool Server::startThread(QString *error)
{
    std::array<int, 2> pipeFds{-1, -1};
    if (::pipe2(pipeFds.data(), O_NONBLOCK | O_CLOEXEC) != 0) {
        if (error)
            *error = errnoText("pipe2");
        return false;
    }
    m_wakeRead = pipeFds[0];
    m_wakeWrite = pipeFds[1];
    m_thread = std::thread(&Server::run, this);
    return true;
}

bool Server::listen(const QString &host, quint16 port, QString *error)
{
    const auto fail = [this, error](const QString &message) {
        if (error)
            *error = message;
        closeLine();
        return false;
    };
    if (!m_devicePath.isEmpty() || m_listenFd >= 0) {
        if (error)
            *error = QStringLiteral("the server has already been started");
        return false;
    }
    const QByteArray hostBytes = host.toLatin1();
    sockaddr_storage address{};
    socklen_t size = 0;
    auto *v4 = reinterpret_cast<sockaddr_in *>(&address);
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&address);
    if (::inet_pton(AF_INET, hostBytes.constData(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        size = sizeof(sockaddr_in);
    } else if (::inet_pton(AF_INET6, hostBytes.constData(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        size = sizeof(sockaddr_in6);
    } else {
        return fail(QStringLiteral("%1 is not a numeric address").arg(host));
    }
    m_listenFd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        return fail(errnoText("socket"));
    const int one = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(&address), size) != 0)
        return fail(errnoText("bind"));
    if (::listen(m_listenFd, 4) != 0)
        return fail(errnoText("listen"));
    sockaddr_storage bound{};
    socklen_t boundSize = sizeof bound;
    if (::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&bound), &boundSize) != 0)
        return fail(errnoText("getsockname"));
    m_tcpPort =
        ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port
                                          : reinterpret_cast<sockaddr_in *>(&bound)->sin_port);
    if (!startThread(error)) {
        m_tcpPort = 0;
        return fail(error ? *error : QString());
    }
    return true;
}

quint16 Server::tcpPort() const
{
    return m_tcpPort;
}

void Server::dropClient()
{
    {
        const std::lock_guard lock(m_mutex);
        m_dropRequested = true;
    }
    wake();
}

bool Server::hasClient() const
{
    const std::lock_guard lock(m_mutex);
    return m_hasClient;
}

void Server::acceptClient()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return; // EAGAIN: nobody else is waiting
        if (m_masterFd >= 0) {
            ::close(fd); // busy: one client at a time
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        m_masterFd = fd;
        const std::lock_guard lock(m_mutex);
        m_hasClient = true;
    }
}

void Server::closeClient()
{
    closeFd(m_masterFd);
    const std::lock_guard lock(m_mutex);
    m_hasClient = false;
}

QString Server::devicePath() const
{
    return m_devicePath;
}

bool Server::placeSymlink(const QString &linkPath, QString *error)
{
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    if (m_devicePath.isEmpty())
        return fail(QStringLiteral("the server has not been started"));
    const QByteArray link = QFile::encodeName(linkPath);
    struct stat info
    {
    };
    if (::lstat(link.constData(), &info) == 0) {
        if (!S_ISLNK(info.st_mode))
            return fail(linkPath + QStringLiteral(" exists and is not a symbolic link"));
        if (::unlink(link.constData()) != 0)
            return fail(errnoText("unlink"));
    }
    if (::symlink(QFile::encodeName(m_devicePath).constData(), link.constData()) != 0)
        return fail(errnoText("symlink"));
    if (m_linkPath != linkPath)
        removeSymlink();
    m_linkPath = linkPath;
    return true;
}

void Server::removeSymlink()
{
    // Only the link this server placed: someone may have pointed it elsewhere meanwhile.
    if (m_linkPath.isEmpty())
        return;
    const QByteArray link = QFile::encodeName(m_linkPath);
    std::array<char, 256> target{};
    const ssize_t size = ::readlink(link.constData(), target.data(), target.size() - 1);
    if (size > 0 && QFile::decodeName(QByteArray(target.data(), size)) == m_devicePath)
        ::unlink(link.constData());
    m_linkPath.clear();
}

void Server::setFaults(const Faults &faults)
{
    {
        const std::lock_guard lock(m_mutex);
        std::visit([&faults](auto &engine) { engine.setFaults(faults); }, m_engine);
    }
    wake(); // the next due event may have moved
}

Faults Server::faults() const
{
    const std::lock_guard lock(m_mutex);
    return std::visit([](const auto &engine) { return engine.faults(); }, m_engine);
}

QByteArray Server::received() const
{
    const std::lock_guard lock(m_mutex);
    return m_received;
}

QStringList Server::commands() const
{
    const std::lock_guard lock(m_mutex);
    return std::visit([](const auto &engine) { return engine.commands(); }, m_engine);
}

int Server::lineBaud() const
{
    const std::lock_guard lock(m_mutex);
    return m_lineBaud;
}

int Server::activeEcu() const
{
    const std::lock_guard lock(m_mutex);
    return std::visit([](const auto &engine) { return engine.activeEcu(); }, m_engine);
}

void Server::hangUp()
{
    stopThread();
    closeLine();
    const std::lock_guard lock(m_mutex);
    m_hungUp = true;
}

bool Server::isHungUp() const
{
    const std::lock_guard lock(m_mutex);
    return m_hungUp;
}

void Server::run()
{
    const bool tcp = m_listenFd >= 0;
    QByteArray input;
    for (;;) {
        input.clear();
        bool drop = false;
        {
            const std::lock_guard lock(m_mutex);
            drop = std::exchange(m_dropRequested, false);
        }
        if (tcp && m_masterFd >= 0 && (drop || !readInput(&input)))
            closeClient();
        if (tcp)
            acceptClient();
        if (!tcp)
            readInput(&input);
        const int baud = readLineBaud();
        const qint64 nowUs = monotonicUs();
        QByteArray output;
        bool hungUp = false;
        qint64 nextUs = -1;
        {
            const std::lock_guard lock(m_mutex);
            if (m_stopRequested)
                return;
            m_lineBaud = baud;
            if (!input.isEmpty()) {
                m_received += input;
                // Trimmed now and then rather than on every read: the kept tail moves
                // once per kKeptBytes received.
                if (m_received.size() > 2 * kKeptBytes)
                    m_received.remove(0, m_received.size() - kKeptBytes);
            }
            std::visit(
                [&](auto &engine) {
                    engine.setLineBaud(baud);
                    if (!input.isEmpty())
                        engine.receive(input, nowUs);
                    output = engine.take(nowUs);
                    hungUp = engine.hungUp();
                    nextUs = engine.nextEventUs();
                },
                m_engine);
        }
        writeOutput(output);
        if (hungUp) {
            waitUntilReadOrStopped();
            closeLine();
            const std::lock_guard lock(m_mutex);
            m_hungUp = true;
            return;
        }

        // Round up: waking before the event is due would only loop back here with nothing to do.
        int timeoutMs = kMaxPollMs;
        if (nextUs >= 0) {
            const qint64 waitUs = std::max<qint64>(nextUs - monotonicUs(), 0);
            timeoutMs = static_cast<int>(std::min<qint64>((waitUs + 999) / 1000, kMaxPollMs));
        }
        // A negative descriptor (no client, no listening socket) is left out of the poll.
        std::array<pollfd, 3> fds{
            {{m_masterFd, POLLIN, 0}, {m_wakeRead, POLLIN, 0}, {m_listenFd, POLLIN, 0}}};
        if (::poll(fds.data(), fds.size(), timeoutMs) > 0 && (fds[1].revents & POLLIN))
            drainWakeUps();
    }
}

void Server::waitUntilReadOrStopped()
{
    // Over TCP, what was sent still reaches the client after the close.
    if (m_slaveFd < 0)
        return;
    // Closing the master discards what the slave has not read yet, so the reply that came
    // before the hang-up is given a moment to be read. The data may take a little while to
    // reach the slave's queue, hence the minimum wait before the queue is trusted to be empty.
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const auto waited = std::chrono::steady_clock::now() - start;
        int pending = 0;
        if (::ioctl(m_slaveFd, FIONREAD, &pending) != 0)
            pending = 0;
        if ((pending == 0 && waited >= kHangUpMinimumWait) || waited >= kHangUpMaximumWait)
            return;
        {
            const std::lock_guard lock(m_mutex);
            if (m_stopRequested)
                return;
        }
        pollfd wakeFd{m_wakeRead, POLLIN, 0};
        if (::poll(&wakeFd, 1, 5) > 0)
            drainWakeUps();
    }
}

void Server::drainWakeUps()
{
    std::array<char, 64> drain{};
    while (::read(m_wakeRead, drain.data(), drain.size()) > 0) {
    }
}

void Server::stopThread()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopRequested = true;
    }
    wake();
    if (m_thread.joinable())
        m_thread.join();
}

void Server::wake()
{
    if (m_wakeWrite < 0)
        return;
    const char byte = 'w';
    // A full pipe already holds a wake-up; nothing is lost when this write fails.
    [[maybe_unused]] const ssize_t written = ::write(m_wakeWrite, &byte, 1);
}

void Server::closeLine()
{
    closeFd(m_masterFd);
    closeFd(m_slaveFd);
    closeFd(m_listenFd);
    const std::lock_guard lock(m_mutex);
    m_hasClient = false;
}

bool Server::readInput(QByteArray *input)
{
    std::array<char, 512> buffer{};
    for (;;) {
        const ssize_t count = ::read(m_masterFd, buffer.data(), buffer.size());
        if (count > 0) {
            input->append(buffer.data(), count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        // The end of a TCP connection reads as 0 bytes or a reset; a pty has neither.
        return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void Server::writeOutput(const QByteArray &output)
{
    if (output.isEmpty())
        return;
    int pending = 0;
    if (::ioctl(m_slaveFd, FIONREAD, &pending) == 0 && pending > kBacklogLimit)
        ::tcflush(m_slaveFd, TCIFLUSH);
    qsizetype offset = 0;
    while (m_masterFd >= 0 && offset < output.size()) {
        const auto rest = static_cast<size_t>(output.size() - offset);
        // A connection the client has reset raises no SIGPIPE: its end is read next time.
        const ssize_t count =
            m_listenFd >= 0 ? ::send(m_masterFd, output.constData() + offset, rest, MSG_NOSIGNAL)
                            : ::write(m_masterFd, output.constData() + offset, rest);
        if (count > 0) {
            offset += count;
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        break; // the line is full: the rest is lost, as on an overrun serial line
    }
    const std::lock_guard lock(m_mutex);
    m_sentBytes += offset;
}

qint64 Server::sentBytes() const
{
    const std::lock_guard lock(m_mutex);
    return m_sentBytes;
}

int Server::readLineBaud() const
{
    termios tio{};
    if (m_slaveFd < 0 || ::tcgetattr(m_slaveFd, &tio) != 0)
        return 0;
    return baudFromSpeed(::cfgetospeed(&tio));
}

} // namespace quorvex::sim
