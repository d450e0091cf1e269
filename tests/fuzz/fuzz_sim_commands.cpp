// libFuzzer target over the simulated interface's command parser and scheduler
// (sim::Engine::receive and take), driven with made-up times.
//
// Input: a set-up byte, a fault byte, then chunks. Set-up: bits 0-1 the car (below), bits 2-3
// the pacing (none, the line's speed, 9600, 19200), bit 4 no ready marks (the USB
// personality), bit 5 a 100 ms mark interval. The fault byte switches faults on (faultsOf). Each
// chunk starts with a byte: its high nibble how far the clock moves first (kSteps), its low
// nibble how many bytes follow for receive(); 15 instead takes one more byte and switches the
// faults to it (odd) or sets the line speed from it (even).
//
// After every chunk: no output before the time nextEventUs() announces, none at all when it
// announces none, nothing after a hang-up, and a ready mark of S, P or none. Without the
// pass-through mode (car 1), the commands heard are exactly the input's upper-case hex
// characters in sixes.
#include "fuzzsupport.h"

#include "sim/simengine.h"

using namespace quorvex::sim;
using namespace quorvex::fuzz;

namespace {

constexpr qint64 kMs = 1000;
// Clock steps: around the mark interval, and either side of the pass-through's one second.
constexpr qint64 kSteps[16] = {0,         1,         500,        kMs,       2 * kMs,  5 * kMs,
                               10 * kMs,  19 * kMs,  20 * kMs,   21 * kMs,  50 * kMs, 100 * kMs,
                               300 * kMs, 999 * kMs, 1001 * kMs, 1200 * kMs};

// The cars: 0 the built-in one, 1 the same without the pass-through mode, 2 a long VIN, an
// ECU whose announced PIDs stay silent, latency and the pass-through's other header, 3 no ECU
// at all.
const Scenario &car(int which)
{
    static const Scenario cars[4] = {
        Scenario{},
        Scenario{.passThrough = -1},
        Scenario{.vinForm = VinForm::Long,
                 .latencyMs = 5,
                 .passThrough = 4,
                 .ecus = {Ecu{.address = 0x10,
                              .pids = {0x01, 0x0C, 0x0D, 0x13},
                              .silentPids = {0x0D},
                              .o2Service05 = false},
                          Ecu{.address = 0x18}}},
        Scenario{.vinForm = VinForm::None, .passThrough = 8, .ecus = {}},
    };
    return cars[which];
}

Faults faultsOf(std::uint8_t bits)
{
    Faults f;
    f.silent = bits & 0x01;
    f.noContact = bits & 0x02;
    f.ecuTimeout = bits & 0x04;
    f.garbage = bits & 0x08;
    f.retryReplies = bits & 0x10 ? 2 : 0;
    f.strayLeadingS = bits & 0x20 ? 2 : 0;
    f.blankAt10 = bits & 0x40 ? 2 : 0;
    f.disconnectAfter = bits & 0x80 ? 3 : -1;
    f.clearRejected = (bits & 0x0F) == 0x0F;
    f.codesLatencyMs = bits & 0x40 ? 50 : 0;
    f.strayMarkBefore = bits & 0x20 ? QStringList{QStringLiteral("010C0A")} : QStringList{};
    return f;
}

// What may come out of the interface between now and nextEventUs(), on a copy so that looking
// does not move the engine's own clock.
void checkSchedule(const Engine &engine, qint64 nowUs)
{
    const qint64 next = engine.nextEventUs();
    Engine probe = engine;
    if (next < 0)
        FUZZ_REQUIRE(probe.take(nowUs + 3600 * 1000 * kMs).isEmpty());
    else if (next > nowUs)
        FUZZ_REQUIRE(probe.take(next - 1).isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input in(data, size);
    const std::uint8_t setup = in.byte();
    const int which = setup & 3;
    Options options;
    constexpr int kPace[] = {0, kPaceLine, 9600, 19200};
    options.paceBaud = kPace[setup >> 2 & 3];
    options.readyMarks = !(setup & 0x10);
    options.markIntervalUs = setup & 0x20 ? 100 * kMs : 0;
    Scenario scenario = car(which);
    scenario.faults = faultsOf(in.byte());
    Engine engine(scenario, options);

    qint64 now = 0;
    QByteArray heard; // every command character fed to receive()
    bool hungUp = false;
    while (in.remaining() > 0) {
        const std::uint8_t head = in.byte();
        now += kSteps[head >> 4];
        const int length = head & 0x0F;
        if (length == 0x0F) {
            const std::uint8_t value = in.byte();
            if (value & 1)
                engine.setFaults(faultsOf(value));
            else
                engine.setLineBaud(value * 100);
        } else {
            const QByteArray piece = in.bytes(static_cast<std::size_t>(length));
            engine.receive(piece, now);
            for (const char c : piece) {
                if (isUpperHex(QLatin1Char(c)))
                    heard.append(c);
            }
        }
        const QByteArray out = engine.take(now);
        FUZZ_REQUIRE(!hungUp || out.isEmpty());
        hungUp = engine.hungUp();
        const char mark = engine.readyMark(now);
        FUZZ_REQUIRE(mark == 0 || mark == 'S' || mark == 'P');
        FUZZ_REQUIRE(engine.activeEcu() == 0 || engine.activeEcu() < engine.scenario().ecus.size());
        checkSchedule(engine, now);
    }

    if (which == 1) {
        const QStringList commands = engine.commands();
        FUZZ_REQUIRE(commands.size() == heard.size() / 6);
        for (qsizetype i = 0; i < commands.size(); ++i)
            FUZZ_REQUIRE(commands[i] == QString::fromLatin1(heard.mid(6 * i, 6)));
    }
    return 0;
}
