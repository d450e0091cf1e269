// Link benchmark, run by hand:
//  1. single-PID exchanges per second through get_ecu_PID against the unpaced simulator,
//     next to a minimal raw client doing the same exchange (wait for the ready mark, send,
//     read until the reply is complete) on the same kind of pseudo-terminal: the ratio is the
//     program's own overhead;
//  2. CPU time the program burns while one request waits out the 5-second bound on a silent
//     interface (goal: under 1% of a core);
//  3. resident memory while connected and idle, the interface sending a ready mark every
//     millisecond that nobody reads (goal: flat);
//  4. resident memory over 100,000 exchanges, a long day of current-data requests, the
//     simulator in the same process (goal: flat, the simulator's history included).
#include "benchsupport.h"
#include "link/clock.h"
#include "link/obdcontext.h"
#include "link/protocol.h"
#include "link/serialtransport.h"
#include "livedata/items.h"
#include "sim/simserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace quorvex;
using namespace quorvex::bench;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr int kExchanges = 300;
    sim::Scenario scenario = sim::defaultScenario();
    scenario.markIntervalMs = 5;

    SystemClock clock;
    ObdContext ctx(clock);
    SerialTransport serial;
    ctx.attachSerial(&serial);
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
        programRate = kExchanges / (double(t.nsecsElapsed()) / 1e9);
        serial.close();
    }
    double rawRate = 0;
    {
        sim::Server server(scenario);
        QString error;
        if (!server.start(&error))
            return 1;
        rawRate = 1.0 / raw_seconds_per_exchange(server.devicePath(), "010C07", 14, kExchanges);
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
    const double thread0 = cpu_seconds(true);
    const double process0 = cpu_seconds(false);
    QElapsedTimer t;
    t.start();
    ctx.bounds.silentMs = 5000;
    wait_for_ECU(ctx);
    const double wall = double(t.nsecsElapsed()) / 1e9;
    const double thread = cpu_seconds(true) - thread0;
    const double process = cpu_seconds(false) - process0;
    std::printf("ready check on a silent interface: %.2f s wall\n", wall);
    std::printf("  GUI thread CPU  %.4f s (%.3f%% of a core)\n", thread, 100 * thread / wall);
    std::printf("  process CPU     %.4f s (%.3f%% of a core, simulator thread included)\n", process,
                100 * process / wall);
    serial.close();

    // Connected and idle: marks arrive every millisecond, and nobody reads them. Resident
    // memory every 20 s; the first seconds hold the allocations that happen once.
    constexpr int kIdleSeconds = 100;
    sim::Options marks;
    marks.markIntervalUs = 1000;
    sim::Server idle(sim::defaultScenario(), marks);
    if (!idle.start(&error) || !serial.open({idle.devicePath(), 19200}, &error))
        return 1;
    std::printf("idle with a ready mark every ms, nobody reading\n");
    QElapsedTimer idleTime;
    idleTime.start();
    for (int seconds = 0; seconds <= kIdleSeconds; seconds += 20) {
        while (idleTime.elapsed() < seconds * 1000)
            clock.wait(100);
        std::printf("  %3d s  %7lld marks  resident %ld kB  held by the transport %lld bytes\n",
                    seconds, static_cast<long long>(idle.sentBytes()), resident_kb(),
                    static_cast<long long>(serial.bytesAvailable()));
        std::fflush(stdout);
    }
    serial.close();

    constexpr int kLongRun = 100000;
    sim::Server busy(scenario);
    if (!busy.start(&error) || !serial.open({busy.devicePath(), 19200}, &error))
        return 1;
    std::printf("%d exchanges (010C07)\n", kLongRun);
    QElapsedTimer run;
    run.start();
    int failed = 0;
    for (int i = 0; i <= kLongRun; ++i) {
        if (i % 20000 == 0) {
            std::printf("  %6d  resident %ld kB  simulator history %lld bytes, %lld commands  "
                        "%.0f s\n",
                        i, resident_kb(), static_cast<long long>(busy.received().size()),
                        static_cast<long long>(busy.commands().size()),
                        double(run.elapsed()) / 1000);
            std::fflush(stdout);
        }
        if (i < kLongRun &&
            !get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0C"), QStringLiteral("07"))
                 .ok())
            ++failed;
    }
    std::printf("  failed exchanges: %d\n", failed);
    return 0;
}
