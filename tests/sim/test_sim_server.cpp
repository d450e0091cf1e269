#include "simserver.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

using namespace quorvex::sim;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// The program's side of the line, opened with plain POSIX calls as a serial port would be.
class Client
{
public:
    explicit Client(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios tio{};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~Client()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    bool isOpen() const { return m_fd >= 0; }

    bool setSpeed(speed_t speed)
    {
        termios tio{};
        return ::tcgetattr(m_fd, &tio) == 0 && ::cfsetospeed(&tio, speed) == 0 &&
               ::cfsetispeed(&tio, speed) == 0 && ::tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }

    void discardInput() { ::tcflush(m_fd, TCIFLUSH); }

    bool write(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), bytes.size()) == bytes.size();
    }

    // Reads until `done` holds for what has arrived, the line fails, or the time is up.
    // *failed reports a read that returned end-of-file or an error other than "try again".
    QByteArray readUntil(const std::function<bool(const QByteArray &)> &done,
                         std::chrono::milliseconds limit, bool *failed = nullptr)
    {
        QByteArray text;
        const auto deadline = Clock::now() + limit;
        while (!done(text) && Clock::now() < deadline) {
            pollfd fd{m_fd, POLLIN, 0};
            ::poll(&fd, 1, 10);
            std::array<char, 256> buffer{};
            const ssize_t count = ::read(m_fd, buffer.data(), buffer.size());
            if (count > 0) {
                text.append(buffer.data(), count);
            } else if (count == 0 || errno != EAGAIN) {
                if (failed)
                    *failed = true;
                break;
            }
        }
        return text;
    }

    QByteArray readFor(std::chrono::milliseconds span, bool *failed = nullptr)
    {
        return readUntil([](const QByteArray &) { return false; }, span, failed);
    }

private:
    int m_fd = -1;
};

// A ready mark may slip in between the flush and the command; the program strips it too.
QByteArray withoutLeadingMarks(QByteArray text)
{
    while (text.startsWith('S'))
        text.remove(0, 1);
    return text;
}

QByteArray exchange(Client &client, const QByteArray &command, int replySize)
{
    client.discardInput();
    if (!client.write(command))
        return {};
    return withoutLeadingMarks(client.readUntil(
        [replySize](const QByteArray &text) {
            return withoutLeadingMarks(text).size() >= replySize;
        },
        2s));
}

bool waitFor(const std::function<bool()> &condition, std::chrono::milliseconds limit = 2s)
{
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

double processCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

TEST(SimServer, ExchangesCommandsOverThePty)
{
    Server server{defaultScenario()};
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    Client client(server.devicePath());
    ASSERT_TRUE(client.isOpen());

    struct Row
    {
        QByteArray command;
        QByteArray reply;
    };
    const Row rows[] = {
        {"010009", "R486B104100FE3FB8130C"},
        {"900101", "V3.40"},
        {"800204", "OK2"},
        {"010009", "R486B184100880800009C"}, // the second ECU: 01, 05 and 0D
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.command.constData());
        EXPECT_EQ(exchange(client, row.command, static_cast<int>(row.reply.size())), row.reply);
    }
    EXPECT_EQ(server.commands(), (QStringList{"010009", "900101", "800204", "010009"}));
    EXPECT_EQ(server.received(), "010009900101800204010009");
    EXPECT_EQ(server.activeEcu(), 1);
}

TEST(SimServer, LineBaudFollowsTheClient)
{
    Server server{defaultScenario()};
    ASSERT_TRUE(server.start(nullptr));
    Client client(server.devicePath());
    for (const auto &[speed, baud] : {std::pair{B9600, 9600}, std::pair{B19200, 19200}}) {
        SCOPED_TRACE(baud);
        ASSERT_TRUE(client.setSpeed(speed));
        EXPECT_TRUE(waitFor([&] { return server.lineBaud() == baud; }));
    }
}

TEST(SimServer, RepliesArePacedAtTheClientsLineSpeed)
{
    for (const auto &[speed, minimum] : {std::pair{B9600, 21875us}, std::pair{B19200, 10937us}}) {
        SCOPED_TRACE(minimum.count());
        Server server(defaultScenario(), Options{kPaceLine});
        ASSERT_TRUE(server.start(nullptr));
        Client client(server.devicePath());
        ASSERT_TRUE(client.setSpeed(speed));
        ASSERT_TRUE(waitFor([&] { return server.lineBaud() > 0; }));
        const auto sent = Clock::now();
        EXPECT_EQ(exchange(client, "010009", 21).size(), 21);
        // The server cannot see the command before it was written, so the reply can be no
        // quicker than its line time.
        EXPECT_GE(Clock::now() - sent, minimum);
    }
}

TEST(SimServer, IdleMarksFollowVehicleContact)
{
    Server server{defaultScenario()};
    ASSERT_TRUE(server.start(nullptr));
    Client client(server.devicePath());
    const QByteArray marks = client.readFor(150ms);
    EXPECT_GE(marks.size(), 3);
    EXPECT_EQ(marks, QByteArray(marks.size(), 'S'));

    Faults faults;
    faults.noContact = true;
    server.setFaults(faults);
    client.readFor(30ms); // a mark already on its way may still be an "S"
    const QByteArray noContact = client.readFor(100ms);
    EXPECT_GE(noContact.size(), 2);
    EXPECT_EQ(noContact, QByteArray(noContact.size(), 'P'));
}

TEST(SimServer, HangUpFailsTheClientsReads)
{
    for (const bool byFault : {false, true}) {
        SCOPED_TRACE(byFault ? "disconnect after one command" : "hangUp()");
        Scenario scenario;
        scenario.faults.disconnectAfter = byFault ? 1 : -1;
        Server server(scenario);
        ASSERT_TRUE(server.start(nullptr));
        Client client(server.devicePath());
        if (byFault)
            EXPECT_EQ(exchange(client, "900101", 5), "V3.40");
        else
            server.hangUp();

        bool failed = false;
        const QByteArray rest = client.readFor(1s, &failed);
        EXPECT_TRUE(failed);
        EXPECT_FALSE(rest.contains('S')); // no marks once the interface is gone
        EXPECT_TRUE(waitFor([&] { return server.isHungUp(); }));
    }
}

TEST(SimServer, SymlinkLeadsToTheDeviceWhileTheServerLives)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("obd");
    const QString plainFile = dir.filePath("taken");
    {
        QFile file(plainFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    {
        Server server{defaultScenario()};
        ASSERT_TRUE(server.start(nullptr));
        QString error;
        ASSERT_TRUE(server.placeSymlink(link, &error)) << error.toStdString();
        EXPECT_EQ(QFile::symLinkTarget(link), server.devicePath());
        Client client(link);
        EXPECT_EQ(exchange(client, "900101", 5), "V3.40");

        EXPECT_FALSE(server.placeSymlink(plainFile, &error));
        EXPECT_TRUE(QFile::exists(plainFile));
    }
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

TEST(SimServer, IdleThreadDoesNotSpin)
{
    Server server{defaultScenario()};
    ASSERT_TRUE(server.start(nullptr));
    Client client(server.devicePath());
    const double before = processCpuSeconds();
    const auto start = Clock::now();
    std::this_thread::sleep_for(400ms);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    // Twenty wake-ups a second for marks; a thread polling with a zero timeout would burn a
    // whole core here.
    EXPECT_LT(processCpuSeconds() - before, 0.25 * wall);
}
