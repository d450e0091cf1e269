// ELM327 driver benchmark, run by hand: engine-speed samples per second through the driver
// against the simulated ELM327 adapter paced at 38400 baud with a 10 ms ECU latency, next to
// the limit the line time of what the adapter sent and the latency set (goal: 90 %). The
// simulated adapter takes the program's bytes at once (a pseudo-terminal), so only its own
// output is paced. An argument names the car's bus (can, the default, iso, j1850pwm, j1850vpw,
// kwp5, kwpfast); the simulated bus itself takes no time beyond the ECU's latency.
#include "link/clock.h"
#include "link/elm327/elm327transport.h"
#include "link/obdcontext.h"
#include "link/protocol.h"
#include "link/serialtransport.h"
#include "livedata/items.h"
#include "livedata/livestate.h"
#include "sim/simserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

using namespace quorvex;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr int kBaud = 38400;
    constexpr int kLatencyMs = 10;
    constexpr int kSamples = 300;

    sim::Scenario car = sim::defaultScenario();
    car.latencyMs = kLatencyMs;
    sim::Options options;
    options.personality = sim::Personality::Elm327;
    options.paceBaud = sim::kPaceLine;
    const char *busName = argc > 1 ? argv[1] : "can";
    const auto bus = std::find_if(std::begin(sim::kElmBusNames), std::end(sim::kElmBusNames),
                                  [&](const auto &b) { return qstrcmp(b.first, busName) == 0; });
    if (bus == std::end(sim::kElmBusNames)) {
        std::fprintf(stderr, "bench: no bus \"%s\"\n", busName);
        return 1;
    }
    options.elm.bus = bus->second;
    sim::Server server(car, options);
    QString error;
    SystemClock clock;
    Elm327Transport elm(clock);
    auto line = std::make_unique<SerialTransport>();
    if (!server.start(&error) || !line->open({server.devicePath(), kBaud}, &error)) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(error));
        return 1;
    }
    elm.open(std::move(line));
    ObdContext ctx(clock);
    ctx.attachSerial(&elm);
    ctx.state.UseSerial = true;
    if (wait_for_ECU(ctx) != ReadyResult::Contact) {
        std::fprintf(stderr, "bench: the simulated adapter did not find the car\n");
        return 1;
    }
    LiveDataState live;
    const qint64 sentBefore = server.sentBytes();
    const qint64 receivedBefore = server.received().size();
    QElapsedTimer t;
    t.start();
    int failed = 0;
    for (int i = 0; i < kSamples; ++i)
        if (!read_item(ctx, live, 0x0C).ok())
            ++failed;
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    const qint64 sent = server.sentBytes() - sentBefore;
    const qint64 received = server.received().size() - receivedBefore;
    const double wireSeconds = double(sent) * 10 / kBaud + kSamples * kLatencyMs / 1000.0;
    std::printf("engine speed through the ELM327 driver, %s, %d baud, %d ms ECU latency\n", busName,
                kBaud, kLatencyMs);
    std::printf("  samples         %8d (%d failed)\n", kSamples, failed);
    std::printf("  adapter sent    %8lld bytes (%.1f per sample); the program %lld (%.1f)\n",
                static_cast<long long>(sent), double(sent) / kSamples,
                static_cast<long long>(received), double(received) / kSamples);
    std::printf("  rate            %8.1f samples/s\n", kSamples / seconds);
    std::printf("  limit           %8.1f samples/s (line time and latency)\n",
                kSamples / wireSeconds);
    std::printf("  ratio           %8.3f\n", wireSeconds / seconds);
    return failed == 0 ? 0 : 1;
}
