// Link benchmark, run by hand:
//  1. single-PID exchanges per second through get_ecu_PID against the unpaced simulator,
//     next to a minimal raw client doing the same exchange (wait for the ready mark, send,
//     read until the reply is complete) on the same kind of pseudo-terminal: the ratio is the
//     program's own overhead;
//  2. CPU time the program burns while one request waits out the 5-second bound on a silent
//     interface (goal: under 1% of a core).
#include "currentdata.h"
#include "mainview.h"
#include "obdcontext.h"
#include "prompts.h"
#include "protocol.h"
#include "serialtransport.h"
#include "simserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

using namespace quorvex;

namespace {

class NullView : public MainView
{
public:
    void setStatusText(const QString &) override {}
    void setStatusColor(StatusColor) override {}
    QString reportText() const override { return m_report; }
    void setReportText(const QString &t) override { m_report = t; }
    void setEcuNumber(const QString &) override {}
    void setFirmwareCaption(const QString &) override {}
    void setVinText(const QString &) override {}
    void clearDataList() override {}
    void addDataLine(const QString &) override {}
    void setDataListRed(bool) override {}

private:
    QString m_report;
};

class NullPrompts : public Prompts
{
public:
    void message(const QString &, const QString &, Icon) override {}
    bool question(const QString &, const QString &) override { return false; }
    bool print(const QStringList &, QString *) override { return false; }
};

double cpuSeconds(int who)
{
    rusage ru{};
    getrusage(who, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// The same exchange as get_ecu_PID, with plain POSIX calls and nothing else.
double rawExchangesPerSecond(const QString &device, int count)
{
    const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return 0;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B19200);
    tcsetattr(fd, TCSANOW, &tio);
    char buf[256];
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
        for (bool ready = false; !ready;) { // ready mark
            const ssize_t n = readSome();
            for (ssize_t k = 0; k < n; ++k)
                ready = ready || buf[k] == 'S';
        }
        tcflush(fd, TCIFLUSH);
        if (::write(fd, "010C07", 6) != 6)
            break;
        for (ssize_t got = 0; got <= 14;)
            got += readSome();
    }
    const double seconds = t.elapsed() / 1000.0;
    ::close(fd);
    return count / seconds;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr int kExchanges = 300;
    sim::Scenario scenario = sim::defaultScenario();
    scenario.markIntervalMs = 5;

    NullView view;
    NullPrompts prompts;
    ObdContext ctx(view, prompts);
    SerialTransport serial;
    ctx.link.attachSerial(&serial);
    ctx.state.UseSerial = true;

    double programRate = 0;
    {
        sim::Server server(scenario);
        QString error;
        if (!server.start(&error) || !serial.open({server.devicePath(), 19200}, &error)) {
            std::fprintf(stderr, "bench: %s\n", qPrintable(error));
            return 1;
        }
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < kExchanges; ++i)
            get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0C"), QStringLiteral("07"));
        programRate = kExchanges / (t.elapsed() / 1000.0);
        serial.close();
    }
    double rawRate = 0;
    {
        sim::Server server(scenario);
        QString error;
        if (!server.start(&error))
            return 1;
        rawRate = rawExchangesPerSecond(server.devicePath(), kExchanges);
    }
    std::printf("single-PID exchange (010C07), unpaced simulator, ready mark every %d ms\n",
                scenario.markIntervalMs);
    std::printf("  get_ecu_PID   %8.1f exchanges/s\n", programRate);
    std::printf("  raw client    %8.1f exchanges/s\n", rawRate);
    std::printf("  ratio         %8.3f (program / raw)\n", programRate / rawRate);

    // A request that waits out the bound on a silent interface.
    sim::Scenario silent = sim::defaultScenario();
    silent.faults.silent = true;
    sim::Server server(silent);
    QString error;
    if (!server.start(&error) || !serial.open({server.devicePath(), 19200}, &error))
        return 1;
    const double thread0 = cpuSeconds(RUSAGE_THREAD);
    const double process0 = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer t;
    t.start();
    ctx.bounds.silentMs = 5000;
    wait_for_ECU(ctx);
    const double wall = t.elapsed() / 1000.0;
    const double thread = cpuSeconds(RUSAGE_THREAD) - thread0;
    const double process = cpuSeconds(RUSAGE_SELF) - process0;
    std::printf("ready check on a silent interface: %.2f s wall\n", wall);
    std::printf("  GUI thread CPU  %.4f s (%.3f%% of a core)\n", thread, 100 * thread / wall);
    std::printf("  process CPU     %.4f s (%.3f%% of a core, simulator thread included)\n",
                process, 100 * process / wall);
    return 0;
}
