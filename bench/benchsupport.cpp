#include "benchsupport.h"

#include <QElapsedTimer>

#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace quorvex::bench {

double raw_seconds_per_exchange(const QString &device, const QByteArray &command, int threshold,
                                int count)
{
    const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return 0;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B19200);
    tcsetattr(fd, TCSANOW, &tio);
    char buf[512];
    auto readSome = [&] {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0)
            return ssize_t(0);
        return ::read(fd, buf, sizeof buf);
    };
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i) {
        tcflush(fd, TCIFLUSH);
        for (bool ready = false; !ready;) {
            const ssize_t n = readSome();
            for (ssize_t k = 0; k < n; ++k)
                ready = ready || buf[k] == 'S';
        }
        tcflush(fd, TCIFLUSH);
        if (::write(fd, command.constData(), size_t(command.size())) != command.size())
            break;
        for (ssize_t got = 0; got <= threshold;)
            got += readSome();
    }
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    ::close(fd);
    return seconds / count;
}

double cpu_seconds(bool thread)
{
    rusage ru{};
    getrusage(thread ? RUSAGE_THREAD : RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

long resident_kb()
{
    long pages = 0;
    long resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace quorvex::bench
