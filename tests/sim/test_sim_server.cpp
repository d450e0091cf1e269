// The server end to end: a real pseudo-terminal, the server's own thread and the real clock.
// Every wait ends as soon as what it waits for has arrived; its bound only ends a failing test.
#include "sim/simserver.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

using namespace quorvex::sim;
using namespace std::chrono_literals;

namespace {

// Polls `step` until it says it is done; false when ten seconds pass first.
bool eventually(const std::function<bool()> &step)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!step()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// The program's side of the line, opened with plain POSIX calls as a serial port would be.
struct Client
{
    explicit Client(const QString &path, speed_t speed = B9600)
        : fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, speed);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    ~Client() { ::close(fd); }

    // Reads until `enough` holds for what has arrived, or a read fails (end of file or an error
    // other than "try again": `failed`).
    QByteArray readUntil(const std::function<bool(const QByteArray &)> &enough)
    {
        QByteArray text;
        eventually([&] {
            char buffer[256];
            const ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count > 0)
                text.append(buffer, count);
            failed = count == 0 || (count < 0 && errno != EAGAIN);
            return failed || enough(text);
        });
        return text;
    }

    // As the program does: flush, write, and drop the ready marks that slipped in ahead (and
    // those that follow the reply).
    QByteArray exchange(const QByteArray &command, qsizetype replySize)
    {
        const auto reply = [](const QByteArray &text) {
            qsizetype marks = 0;
            while (marks < text.size() && text[marks] == 'S')
                ++marks;
            return text.mid(marks);
        };
        ::tcflush(fd, TCIFLUSH);
        EXPECT_TRUE(write(command));
        const auto enough = [&](const QByteArray &text) { return reply(text).size() >= replySize; };
        return reply(readUntil(enough)).left(replySize);
    }

    // Writes all of bytes, waiting while the line is full.
    bool write(QByteArray bytes)
    {
        return eventually([&] {
            bytes.remove(
                0, std::max<ssize_t>(::write(fd, bytes.constData(), size_t(bytes.size())), 0));
            return bytes.isEmpty();
        });
    }

    int fd;
    bool failed = false;
};

// A client of the adapter served over TCP, on the loopback address, with plain POSIX calls.
struct TcpClient
{
    explicit TcpClient(quint16 port) : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    ~TcpClient() { ::close(fd); }

    // Sends a line and reads up to the adapter's prompt; empty when the connection ended first.
    QByteArray ask(const QByteArray &line)
    {
        const QByteArray bytes = line + '\r';
        if (::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) != bytes.size())
            return QByteArray();
        QByteArray text;
        eventually([&] {
            char buffer[256];
            const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
            if (count > 0)
                text.append(buffer, count);
            ended = count == 0 || (count < 0 && errno != EAGAIN);
            return ended || text.endsWith('>');
        });
        return ended ? QByteArray() : text;
    }
    // Whether the adapter has closed this connection.
    bool closedByServer()
    {
        return eventually([&] {
            char byte = 0;
            const ssize_t count = ::recv(fd, &byte, 1, 0);
            return count == 0 || (count < 0 && errno != EAGAIN);
        });
    }

    int fd;
    bool connected = false;
    bool ended = false;
};

} // namespace

// The adapter over TCP, as a Wi-Fi adapter serves: one client at a time (one that comes while
// another is served is closed at once), the next one served once the first has gone or the
// adapter has dropped it, and the same engine for all of them.
TEST(SimServerEndToEnd, ServesTheAdapterOverTcpOneClientAtATime)
{
    Options options;
    options.personality = Personality::Elm327;
    Server server(defaultScenario(), options);
    QString error;
    ASSERT_TRUE(server.listen(QStringLiteral("127.0.0.1"), 0, &error)) << error.toStdString();
    ASSERT_NE(server.tcpPort(), 0);
    EXPECT_TRUE(server.devicePath().isEmpty());

    {
        TcpClient first(server.tcpPort());
        ASSERT_TRUE(first.connected);
        EXPECT_TRUE(first.ask("ATI").contains("ELM327 v1.5"));
        EXPECT_TRUE(server.hasClient());
        TcpClient second(server.tcpPort());
        EXPECT_TRUE(second.closedByServer());
        EXPECT_TRUE(first.ask("ATE0").contains("OK")); // the first is still served
    }
    EXPECT_TRUE(eventually([&] { return !server.hasClient(); }));

    TcpClient next(server.tcpPort());
    ASSERT_TRUE(next.connected);
    // Echo stays off: the adapter is the same one.
    EXPECT_EQ(next.ask("ATI"), "ELM327 v1.5\r\r>");
    server.dropClient();
    EXPECT_TRUE(next.closedByServer());

    TcpClient last(server.tcpPort());
    EXPECT_TRUE(last.ask("ATI").contains("ELM327"));
    server.hangUp();
    EXPECT_TRUE(last.closedByServer());
    EXPECT_FALSE(TcpClient(server.tcpPort()).connected); // nobody listens any more
    EXPECT_TRUE(server.commands().contains(QStringLiteral("ATE0")));
}

TEST(SimServerEndToEnd, ServesThePtyThroughItsSymlinkAtTheClientsSpeed)
{
    QTemporaryDir dir;
    const QString link = dir.filePath("obd");
    QFile plainFile(dir.filePath("taken"));
    ASSERT_TRUE(plainFile.open(QIODevice::WriteOnly));
    {
        Server server(defaultScenario(), Options{kPaceLine});
        QString error;
        ASSERT_TRUE(server.start(&error)) << error.toStdString();
        ASSERT_TRUE(server.placeSymlink(link, &error)) << error.toStdString();
        EXPECT_EQ(QFile::symLinkTarget(link), server.devicePath());
        Client client(link, B19200);
        EXPECT_TRUE(eventually([&] { return server.lineBaud() == 19200; }));
        for (const auto &[command, reply] :
             {std::pair<QByteArray, QByteArray>{"010009", "R486B104100FE3FB8130C"},
              {"900101", "V3.40"},
              {"800204", "OK2"},
              {"010009", "R486B184100880800009C"}}) // the second ECU
            EXPECT_EQ(client.exchange(command, reply.size()), reply);
        EXPECT_EQ(server.activeEcu(), 1);

        // A flood of bytes the interface ignores: what a test reads back is the tail, and the
        // history does not grow with the flood.
        for (int i = 0; i < 100; ++i)
            ASSERT_TRUE(client.write(QByteArray(4096, 'x')));
        EXPECT_EQ(client.exchange("900101", 5), "V3.40");
        EXPECT_GE(server.received().size(), Server::kKeptBytes);
        EXPECT_LE(server.received().size(), 2 * Server::kKeptBytes);
        EXPECT_TRUE(server.received().endsWith("xxx900101"));
        EXPECT_EQ(server.commands(),
                  (QStringList{"010009", "900101", "800204", "010009", "900101"}));

        EXPECT_FALSE(server.placeSymlink(plainFile.fileName(), &error));
        EXPECT_TRUE(QFileInfo(plainFile.fileName()).isFile()); // never replaced
    }
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

TEST(SimServerEndToEnd, IdleMarksFollowVehicleContact)
{
    Server server{defaultScenario()};
    ASSERT_TRUE(server.start(nullptr));
    Client client(server.devicePath());
    EXPECT_EQ(client.readUntil([](const QByteArray &text) { return text.size() >= 3; }).left(3),
              "SSS");

    // A mark already on its way may still be an "S"; every one after the first "P" is a "P".
    server.setFaults({.noContact = true});
    const QByteArray marks = client.readUntil([](const QByteArray &text) {
        return text.contains('P') && text.size() - text.indexOf('P') >= 3;
    });
    EXPECT_EQ(marks.mid(marks.indexOf('P')).left(3), "PPP");
    EXPECT_FALSE(client.failed);
}

// Server::hangUp() ends the line under the window's own end-to-end test (WindowEndToEnd); the
// fault hangs up from the server's thread, once the reply before it has been read.
TEST(SimServerEndToEnd, HangUpAfterTheNthReplyFailsTheClientsReads)
{
    Server server({.faults = {.disconnectAfter = 1}});
    ASSERT_TRUE(server.start(nullptr));
    Client client(server.devicePath());
    EXPECT_EQ(client.exchange("900101", 5), "V3.40");
    const QByteArray rest = client.readUntil([](const QByteArray &) { return false; });
    EXPECT_TRUE(client.failed);
    EXPECT_FALSE(rest.contains('S')); // no marks once the interface is gone
    EXPECT_TRUE(eventually([&] { return server.isHungUp(); }));
}

TEST(SimServerEndToEnd, ReplaysARecordingFile)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("adapter.rec"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# Quorvex exchange recording\n# program: Quorvex 3.40\n# adapter: elm327\n"
               "# port: /dev/rfcomm0\n"
               "0.000 > ATZ\\r\n"
               "0.120 < \\r\\rELM327 v1.5\\r\\r>\n"
               "0.300 > 010C\\r\n"
               "0.340 < 41 0C 0B B8\\x20\\r\\r>\n");
    file.close();
    QString error;
    auto replay = std::make_shared<ReplayOptions>();
    replay->recording = readRecordingFile(file.fileName(), &error);
    ASSERT_TRUE(replay->recording) << error.toStdString();
    std::atomic<int> unanswered = 0; // told from the server's thread
    replay->unanswered = [&unanswered](const QByteArray &) { ++unanswered; };
    Options options;
    options.personality = Personality::Replay;
    options.replay = replay;
    Server server(Scenario{}, options);
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    Client client(server.devicePath());
    const auto prompt = [](const QByteArray &text) { return text.endsWith('>'); };
    ASSERT_TRUE(client.write("ATZ\r"));
    EXPECT_EQ(client.readUntil(prompt), "\r\rELM327 v1.5\r\r>");
    ASSERT_TRUE(client.write("ATI\r"));
    EXPECT_TRUE(eventually([&] { return unanswered == 1; }));
    ASSERT_TRUE(client.write("010C\r"));
    EXPECT_EQ(client.readUntil(prompt), "41 0C 0B B8 \r\r>");
    EXPECT_EQ(server.commands(), (QStringList{"ATZ\r", "ATI\r", "010C\r"}));

    // What is no recording is refused with the reason.
    QFile other(dir.filePath("other.rec"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("# Quorvex exchange recording\n# adapter: elm327\nATZ\n");
    other.close();
    EXPECT_EQ(readRecordingFile(other.fileName(), &error), nullptr);
    EXPECT_TRUE(error.endsWith(QStringLiteral("line 3: no time, or one before the last")))
        << error.toStdString();
}
