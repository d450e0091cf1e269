#include "simserver.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>
#include <tuple>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace quorvex::sim;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

QByteArray withoutLeadingMarks(QByteArray text)
{
    while (text.startsWith('S'))
        text.remove(0, 1);
    return text;
}

// The program's side of the line, opened with plain POSIX calls as a serial port would be.
class Client
{
public:
    explicit Client(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios tio{};
        if (::tcgetattr(m_fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~Client() { ::close(m_fd); }

    bool setSpeed(speed_t speed)
    {
        termios tio{};
        return ::tcgetattr(m_fd, &tio) == 0 && ::cfsetospeed(&tio, speed) == 0 &&
               ::cfsetispeed(&tio, speed) == 0 && ::tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }

    // Reads for up to `limit`, or until `enough` characters have come after any leading ready
    // marks, or until a read fails with end-of-file or an error other than "try again".
    QByteArray read(std::chrono::milliseconds limit, qsizetype enough = -1)
    {
        QByteArray text;
        const auto deadline = Clock::now() + limit;
        while (Clock::now() < deadline &&
               (enough < 0 || withoutLeadingMarks(text).size() < enough)) {
            pollfd fd{m_fd, POLLIN, 0};
            ::poll(&fd, 1, 10);
            char buffer[256];
            const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
            if (count > 0) {
                text.append(buffer, count);
            } else if (count == 0 || errno != EAGAIN) {
                failed = true;
                break;
            }
        }
        return text;
    }

    // As the program does: flush, write, and strip a ready mark that slipped in ahead.
    QByteArray exchange(const QByteArray &command, qsizetype replySize)
    {
        ::tcflush(m_fd, TCIFLUSH);
        if (::write(m_fd, command.constData(), command.size()) != command.size())
            return {};
        return withoutLeadingMarks(read(2s, replySize));
    }

    // Writes all of bytes, waiting while the line is full.
    bool write(const QByteArray &bytes)
    {
        qsizetype done = 0;
        const auto deadline = Clock::now() + 5s;
        while (done < bytes.size() && Clock::now() < deadline) {
            const ssize_t n =
                ::write(m_fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
            if (n > 0) {
                done += n;
            } else if (n < 0 && errno == EAGAIN) {
                pollfd fd{m_fd, POLLOUT, 0};
                ::poll(&fd, 1, 10);
            } else {
                return false;
            }
        }
        return done == bytes.size();
    }

    bool failed = false; // a read has failed

private:
    int m_fd = -1;
};

template <typename Condition> bool waitFor(Condition condition)
{
    const auto deadline = Clock::now() + 2s;
    while (!condition()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

} // namespace

TEST(SimServer, ServesThePtyThroughItsSymlinkWhileItLives)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("obd");
    QFile plainFile(dir.filePath("taken"));
    ASSERT_TRUE(plainFile.open(QIODevice::WriteOnly));
    {
        Server server{defaultScenario()};
        QString error;
        ASSERT_TRUE(server.start(&error)) << error.toStdString();
        ASSERT_TRUE(server.placeSymlink(link, &error)) << error.toStdString();
        EXPECT_EQ(QFile::symLinkTarget(link), server.devicePath());
        Client client(link);
        for (const auto &[command, reply] :
             {std::pair<QByteArray, QByteArray>{"010009", "R486B104100FE3FB8130C"},
              {"900101", "V3.40"},
              {"800204", "OK2"},
              {"010009", "R486B184100880800009C"}}) // the second ECU
            EXPECT_EQ(client.exchange(command, reply.size()), reply);
        EXPECT_EQ(server.commands(), (QStringList{"010009", "900101", "800204", "010009"}));
        EXPECT_EQ(server.received(), "010009900101800204010009");
        EXPECT_EQ(server.activeEcu(), 1);

        EXPECT_FALSE(server.placeSymlink(plainFile.fileName(), &error));
        EXPECT_TRUE(QFileInfo(plainFile.fileName()).isFile()); // never replaced
    }
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

TEST(SimServer, LineSpeedFollowsTheClientAndPacesTheReplies)
{
    for (const auto &[speed, baud, minimum] :
         {std::tuple{B9600, 9600, 21875us}, std::tuple{B19200, 19200, 10937us}}) {
        SCOPED_TRACE(baud);
        Server server(defaultScenario(), Options{kPaceLine});
        ASSERT_TRUE(server.start(nullptr));
        Client client(server.devicePath());
        ASSERT_TRUE(client.setSpeed(speed));
        ASSERT_TRUE(waitFor([&] { return server.lineBaud() == baud; }));
        const auto sent = Clock::now();
        EXPECT_EQ(client.exchange("010009", 21).size(), 21);
        // The reply can come no sooner than its line time after the command was written.
        EXPECT_GE(Clock::now() - sent, minimum);
    }
}

TEST(SimServer, IdleMarksFollowVehicleContactWithoutSpinning)
{
    Server server{defaultScenario()};
    ASSERT_TRUE(server.start(nullptr));
    Client client(server.devicePath());
    const std::clock_t cpuBefore = std::clock(); // every thread of the process
    const auto start = Clock::now();
    const QByteArray marks = client.read(400ms);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    // Twenty wake-ups a second for marks; a thread polling with a zero timeout would burn a
    // whole core here.
    EXPECT_LT(double(std::clock() - cpuBefore) / CLOCKS_PER_SEC, 0.25 * wall);
    EXPECT_GE(marks.size(), 8);
    EXPECT_EQ(marks, QByteArray(marks.size(), 'S'));

    server.setFaults({.noContact = true});
    client.read(30ms); // a mark already on its way may still be an "S"
    const QByteArray noContact = client.read(100ms);
    EXPECT_GE(noContact.size(), 2);
    EXPECT_EQ(noContact, QByteArray(noContact.size(), 'P'));
}

TEST(SimServer, HangUpFailsTheClientsReads)
{
    for (const bool byFault : {false, true}) {
        SCOPED_TRACE(byFault ? "disconnect after one command" : "hangUp()");
        Server server({.faults = {.disconnectAfter = byFault ? 1 : -1}});
        ASSERT_TRUE(server.start(nullptr));
        Client client(server.devicePath());
        if (byFault)
            EXPECT_EQ(client.exchange("900101", 5), "V3.40");
        else
            server.hangUp();

        const QByteArray rest = client.read(1s);
        EXPECT_TRUE(client.failed);
        EXPECT_FALSE(rest.contains('S')); // no marks once the interface is gone
        EXPECT_TRUE(waitFor([&] { return server.isHungUp(); }));
    }
}

TEST(SimServer, KeepsOnlyTheLatestOfWhatItReceived)
{
    // A flood of bytes the interface ignores, then one command: what a test reads back is the
    // tail, and the history does not grow with the flood.
    Server server({});
    ASSERT_TRUE(server.start(nullptr));
    Client client(server.devicePath());
    const QByteArray flood(4096, 'x');
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(client.write(flood));
    EXPECT_EQ(client.exchange("900101", 5), "V3.40");
    const QByteArray received = server.received();
    EXPECT_LE(received.size(), 2 * Server::kKeptBytes);
    EXPECT_GE(received.size(), Server::kKeptBytes);
    EXPECT_TRUE(received.endsWith("xxx900101"));
    EXPECT_EQ(server.commands(), QStringList{"900101"});
}
