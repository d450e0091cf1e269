// Log viewer and recording benchmark, run by hand:
//  1. single-PID exchanges per second against the unpaced simulator, with and without the
//     exchanges recorded (goal: no measurable difference), in alternating rounds;
//  2. the log viewer on a log of 1,000,000 records (a day at 12 records a second): seconds
//     from opening to the first picture (goal: under 2 s), resident memory (goal: under
//     200 MB), and the milliseconds a zoom step or a pan takes to draw (goal: fluid).
#include "benchsupport.h"
#include "link/obdcontext.h"
#include "link/protocol.h"
#include "link/recording.h"
#include "link/serialtransport.h"
#include "livedata/items.h"
#include "monitor/datalogger.h"
#include "sim/simserver.h"
#include "support/recording.h"
#include "windows/logview/logviewer.h"

#include <QApplication>
#include <QChart>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

using namespace quorvex;
using namespace quorvex::bench;

namespace {

double exchange_rate(ObdContext &ctx, int count)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i)
        get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0C"), QStringLiteral("07"));
    return count / (double(t.nsecsElapsed()) / 1e9);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SystemClock clock;

    // 1. Exchanges with and without the recorder.
    {
        constexpr int kExchanges = 500;
        constexpr int kRounds = 4;
        sim::Scenario scenario = sim::defaultScenario();
        scenario.markIntervalMs = 5;
        sim::Server server(scenario);
        auto serial = std::make_unique<SerialTransport>();
        QString error;
        if (!server.start(&error) || !serial->open({server.devicePath(), 19200}, &error)) {
            std::fprintf(stderr, "bench: %s\n", qPrintable(error));
            return 1;
        }
        ExchangeRecorder recorder(clock);
        RecordingTransport line(std::move(serial), recorder);
        ObdContext ctx(clock);
        ctx.attachSerial(&line);
        ctx.state.UseSerial = true;
        exchange_rate(ctx, 50); // warm up
        const QString path = dir.filePath(QStringLiteral("bench.rec"));
        double plain = 0;
        double recorded = 0;
        std::printf("single-PID exchange (010C07), unpaced simulator, %d per round\n", kExchanges);
        for (int round = 0; round < kRounds; ++round) {
            const double a = exchange_rate(ctx, kExchanges);
            if (!recorder.start(path, &error)) {
                std::fprintf(stderr, "bench: %s\n", qPrintable(error));
                return 1;
            }
            const double b = exchange_rate(ctx, kExchanges);
            recorder.stop();
            std::printf("  round %d  without %8.1f/s  recorded %8.1f/s\n", round + 1, a, b);
            plain += a / kRounds;
            recorded += b / kRounds;
        }
        std::printf("  mean     without %8.1f/s  recorded %8.1f/s  ratio %.3f; last recording "
                    "%lld bytes\n",
                    plain, recorded, recorded / plain, static_cast<long long>(QFile(path).size()));
    }

    // 2. The viewer on a day's log.
    constexpr int kRecords = 1'000'000;
    const QString path = dir.filePath(QStringLiteral("day.log"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray bytes = log_header({"Calculated Load -------- ", "Engine RPM ------------- ",
                                       "Coolant Temp -----------  ", "Speed ------------------ "});
        bytes.reserve(48 * kRecords);
        for (int i = 0; i < kRecords; ++i) {
            const double t = i / 12.0;
            bytes += log_record({std::round(50 + 40 * std::sin(t / 60)),
                                 std::round(2000 + 1200 * std::sin(t / 7) + (i % 97)),
                                 std::round(80 + 10 * std::sin(t / 3600)),
                                 std::round(60 + 50 * std::sin(t / 300))},
                                t);
        }
        file.write(bytes);
    }
    const long before = resident_kb();
    test::RecordingPrompts prompts;
    QElapsedTimer t;
    t.start();
    auto *viewer = new LogViewer(prompts, false);
    if (!viewer->open(path))
        return 1;
    viewer->resize(1200, 700);
    viewer->show();
    const QPixmap first = viewer->grab();
    const double firstSeconds = double(t.nsecsElapsed()) / 1e9;
    std::printf("log viewer, %lld records (%lld MB file)\n",
                static_cast<long long>(viewer->data().records()),
                static_cast<long long>(QFile(path).size() / (1024 * 1024)));
    std::printf("  to the first picture  %.3f s (%dx%d)\n", firstSeconds, first.width(),
                first.height());
    std::printf("  resident              %ld MB (%ld MB before opening)\n", resident_kb() / 1024,
                before / 1024);

    constexpr int kSteps = 10;
    auto timed = [&](const char *what, const std::function<void()> &step) {
        QElapsedTimer s;
        s.start();
        for (int i = 0; i < kSteps; ++i) {
            step();
            viewer->grab();
        }
        std::printf("  %-20s  %.1f ms a step, drawn\n", what,
                    double(s.nsecsElapsed()) / 1e6 / kSteps);
    };
    timed("zoom in", [viewer] { viewer->zoomIn(); });
    timed("pan", [viewer] { viewer->chart()->scroll(40, 0); });
    timed("zoom out", [viewer] { viewer->zoomOut(); });
    timed("fit all", [viewer] { viewer->fitAll(); });
    std::printf("  resident after        %ld MB\n", resident_kb() / 1024);
    delete viewer;
    return 0;
}
