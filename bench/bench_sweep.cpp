// Current-data sweep benchmark, run by hand: one full Mode 1 run (support bitmaps, every
// decoder, MIL, freeze-frame code) on the all-PIDs car.
//  1. unpaced simulator: time per exchange of the sweep against a raw client's time for one
//     exchange on the same kind of pseudo-terminal;
//  2. simulator paced at 19200 baud: the sweep's time against the wire time of the bytes it
//     exchanged (10 bits a character).
#include "benchsupport.h"
#include "diagnostics/freezeframe.h"
#include "link/obdcontext.h"
#include "link/serialtransport.h"
#include "livedata/currentdata.h"
#include "livedata/dispatch.h"
#include "livedata/livestate.h"
#include "livedata/sweep.h"
#include "sim/simserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

using namespace quorvex;
using namespace quorvex::bench;

namespace {

struct Figures
{
    double seconds = 0;
    int exchanges = 0;
    int lines = 0;
    qint64 bytesOut = 0;
    qint64 bytesIn = 0;
};

Figures runSweep(const sim::Scenario &scenario, sim::Options options)
{
    Figures sweep;
    SystemClock clock;
    ObdContext ctx(clock);
    LiveDataState live;
    Sweep found;
    CountingSerial serial;
    ctx.attachSerial(&serial);
    ctx.state.UseSerial = true;
    sim::Server server(scenario, options);
    QString error;
    if (!server.start(&error) || !serial.open({server.devicePath(), 19200}, &error)) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(error));
        return sweep;
    }
    QElapsedTimer t;
    t.start();
    request_current_data(ctx, live, found, diagnostic_hooks());
    sweep.seconds = double(t.nsecsElapsed()) / 1e9;
    sweep.exchanges = int(server.commands().size());
    sweep.lines = int(found.lines().size());
    sweep.bytesOut = server.received().size();
    sweep.bytesIn = serial.bytesRead;
    return sweep;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QFile file(QStringLiteral(QUORVEX_SIM_SCENARIO_DIR "/allpids.json"));
    sim::Scenario scenario;
    QString error;
    if (!file.open(QIODevice::ReadOnly) || !sim::parseScenario(file.readAll(), &scenario, &error)) {
        std::fprintf(stderr, "bench: allpids.json: %s\n", qPrintable(error));
        return 1;
    }

    // The ready check before every request waits for the interface's next mark, so the mark
    // interval sets the pace: the scenario's own, and a brisk 5 ms.
    for (const int markMs : {scenario.markIntervalMs, 5}) {
        scenario.markIntervalMs = markMs;
        const Figures unpaced = runSweep(scenario, sim::Options{});
        double raw = 0;
        {
            sim::Server server(scenario);
            if (!server.start(&error))
                return 1;
            raw = raw_seconds_per_exchange(server.devicePath(), "010C07", 14, 200);
        }
        std::printf(
            "current-data sweep of allpids.json: %d exchanges, %d lines, marks every %d ms\n",
            unpaced.exchanges, unpaced.lines, scenario.markIntervalMs);
        std::printf("unpaced simulator\n");
        std::printf("  sweep          %8.3f s  (%.2f ms per exchange)\n", unpaced.seconds,
                    1000 * unpaced.seconds / unpaced.exchanges);
        std::printf("  raw client     %8.2f ms per exchange\n", 1000 * raw);
        std::printf("  ratio          %8.3f (sweep per exchange / raw per exchange)\n",
                    unpaced.seconds / unpaced.exchanges / raw);

        sim::Options paced;
        paced.paceBaud = sim::kPaceLine;
        const Figures line = runSweep(scenario, paced);
        const double wire = double(line.bytesOut + line.bytesIn) * 10.0 / 19200.0;
        std::printf("simulator paced at the line speed, 19200 baud\n");
        std::printf("  sweep          %8.3f s  (%d exchanges)\n", line.seconds, line.exchanges);
        std::printf("  bytes          %8lld out, %lld in (ready marks included)\n",
                    static_cast<long long>(line.bytesOut), static_cast<long long>(line.bytesIn));
        std::printf("  wire time      %8.3f s\n", wire);
        std::printf("  ratio          %8.3f (sweep / wire time)\n", line.seconds / wire);
    }
    return 0;
}
