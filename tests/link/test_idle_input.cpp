// Input nobody waits for: an idle interface sends its ready marks for as long as the program is
// open, and the next exchange discards them anyway, so the serial transport keeps only the
// latest few; memory stays flat however long the program runs. The port's own buffer is what
// grew, so the input goes through a real pseudo-terminal, written by the test itself.
#include "link/clock.h"
#include "link/serialtransport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace quorvex;

TEST(IdleInput, EndToEndMarksNobodyReadsAreKeptToASmallBound)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    // A second end of the line, never read: it tells how much input the terminal still holds.
    const int waiting = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(waiting, 0);
    SerialTransport serial;
    QString error;
    ASSERT_TRUE(serial.open({QString::fromLocal8Bit(::ptsname(master)), 19200}, &error))
        << error.toStdString();

    // A long stream of input: the first characters X, the rest a cycle of letters.
    QByteArray stream(100'000, 'X');
    for (qsizetype i = 2048; i < stream.size(); ++i)
        stream[i] = static_cast<char>('a' + i % 26);
    SystemClock clock;
    const qint64 deadline = clock.nowMs() + 60'000; // generous: a busy machine is slow
    qsizetype written = 0;
    int unread = 0;
    while ((written < stream.size() || unread > 0) && clock.nowMs() < deadline) {
        const ssize_t n = ::write(master, stream.constData() + written, stream.size() - written);
        if (n > 0)
            written += n;
        clock.wait(10);
        ::ioctl(waiting, FIONREAD, &unread);
    }
    // The terminal may still be handing over the last few kilobytes, but far more than the
    // bound has arrived: what is kept is the latest input, whole as it came.
    EXPECT_EQ(written, stream.size());
    EXPECT_EQ(unread, 0);
    EXPECT_EQ(serial.bytesAvailable(), SerialTransport::kInputLimit);
    EXPECT_GE(stream.indexOf(serial.readAll(), 2048), 2048);
    serial.close();
    ::close(waiting);
    ::close(master);
}
