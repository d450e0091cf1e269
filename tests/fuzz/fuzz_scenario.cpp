// libFuzzer target over the scenario loader (sim::parseScenario). The first byte chooses where
// the rest of the input goes, so the fuzzer reaches the nested readers without first having to
// write the JSON around them:
//   0  the whole scenario        1  the ECU list's entries: {"ecus":[REST]}
//   2  inside an ECU              3  the faults object: {"faults":REST}
//   4  an ECU's freeze frame
//
// A rejected scenario leaves the target untouched and says why. An accepted one is the same
// whatever the target held before (keys left out take the built-in car's values), keeps every
// rule the simulator relies on, and serves a session of every kind of command.
#include "fuzzsupport.h"

#include "sim/simengine.h"
#include "sim/simscenario.h"

#include <algorithm>

using namespace quorvex::sim;
using namespace quorvex::fuzz;

namespace {

QByteArray wrapped(std::uint8_t where, const QByteArray &rest)
{
    static const std::pair<QByteArray, QByteArray> around[] = {
        {"", ""},
        {R"({"ecus":[)", "]}"},
        {R"({"ecus":[{"address":"10",)", "}]}"},
        {R"({"faults":)", "}"},
        {R"({"ecus":[{"address":"10","pids":["01","0C"],"freezeFrame":)", "}]}"},
    };
    const auto &[before, after] = around[where % std::size(around)];
    return before + rest + after;
}

// A target scenario that differs from the built-in car in every top-level value.
const Scenario kSentinel{.name = "sentinel",
                         .firmware = "X9.99",
                         .vin = "SENTINEL000000000",
                         .vinForm = VinForm::None,
                         .markIntervalMs = 7,
                         .latencyMs = 3,
                         .noContact = true,
                         .passThrough = 6,
                         .ecus = {Ecu{.address = 0x33}},
                         .faults = {.silent = true}};

bool isPrintable(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() >= 0x21 && c.unicode() <= 0x7E; });
}

bool isHexText(const QString &text, qsizetype length)
{
    return text.size() == length && std::all_of(text.cbegin(), text.cend(), isUpperHex);
}

bool areHexTexts(const QStringList &texts, qsizetype length)
{
    return std::all_of(texts.cbegin(), texts.cend(),
                       [&](const QString &t) { return isHexText(t, length); });
}

bool arePids(const QList<quint8> &pids)
{
    for (qsizetype i = 0; i < pids.size(); ++i) {
        if (pids[i] < 0x01 || pids[i] > 0xA6 || pids.indexOf(pids[i]) != i)
            return false;
    }
    return true;
}

template <typename T> bool within(const QList<T> &some, const QList<T> &all)
{
    return std::all_of(some.cbegin(), some.cend(), [&](const T &x) { return all.contains(x); });
}

void checkEcu(const Ecu &ecu)
{
    FUZZ_REQUIRE(arePids(ecu.pids) && within(ecu.silentPids, ecu.pids));
    FUZZ_REQUIRE(within(ecu.values.keys(), ecu.pids));
    FUZZ_REQUIRE(areHexTexts(ecu.storedCodes, 4) && areHexTexts(ecu.pendingCodes, 4));
    FUZZ_REQUIRE(ecu.monitors.size() == 3);
    if (const auto &frame = ecu.freezeFrame) {
        FUZZ_REQUIRE(isHexText(frame->code, 4) && arePids(frame->pids));
        FUZZ_REQUIRE(within(frame->values.keys(), frame->pids + QList<quint8>{0x02}));
    }
    FUZZ_REQUIRE(!ecu.freezeFrameSupport || ecu.freezeFrameSupport->size() == 4);
    for (auto it = ecu.o2Tests.cbegin(); it != ecu.o2Tests.cend(); ++it)
        FUZZ_REQUIRE(it.key() >= 1 && it.key() <= 9 && it->size() == (it.key() >= 5 ? 3 : 1));
    for (const Mode6Test &test : ecu.mode6Tests)
        FUZZ_REQUIRE(test.tid % 0x20 != 0);
}

void checkAccepted(const Scenario &s)
{
    FUZZ_REQUIRE(s.firmware.size() >= 5 && s.firmware.at(0).isLetter() && isPrintable(s.firmware));
    FUZZ_REQUIRE(s.vin.size() == 17 && isPrintable(s.vin));
    FUZZ_REQUIRE(s.markIntervalMs >= 1 && s.latencyMs >= 0 && s.passThrough >= -1);
    FUZZ_REQUIRE(!s.ecus.isEmpty() && s.ecus.size() <= kMaxEcus);
    for (const Ecu &ecu : s.ecus)
        checkEcu(ecu);
    const Faults &f = s.faults;
    FUZZ_REQUIRE(f.retryReplies >= 0 && f.strayLeadingS >= 0 && f.disconnectAfter >= -1 &&
                 f.latencyMs >= 0 && f.codesLatencyMs >= 0 && f.blankAt10 >= 0);
    FUZZ_REQUIRE(areHexTexts(f.strayMarkBefore, 6));
}

// One session of every kind of command, the pass-through block included. The clock moves a
// millisecond per command, so a fast mark interval costs only a few marks.
void serve(const Scenario &scenario)
{
    Engine engine(scenario);
    qint64 now = 0;
    const char *const commands[] = {"900101", "010009", "010109", "010C0A", "012009",
                                    "014009", "02000A", "020209", "030A0A", "070A0A",
                                    "090208", "050009", "050109", "060509", "800204",
                                    "010009", "040000", "010109", "F00504"};
    for (const char *command : commands) {
        engine.receive(command, now);
        now += 1000;
        engine.take(now);
    }
    // The block of the pass-through mode; bytes that are no command characters otherwise.
    engine.receive(QByteArray::fromHex("0105686AF1060000000000000000"), now);
    engine.take(now + 100 * 1000);
    FUZZ_REQUIRE(engine.commands().size() == std::ssize(commands));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input in(data, size);
    const std::uint8_t where = in.byte();
    const QByteArray json = wrapped(where, in.rest());

    Scenario scenario = kSentinel;
    QString error;
    if (!parseScenario(json, &scenario, &error)) {
        FUZZ_REQUIRE(scenario == kSentinel && !error.isEmpty());
        return 0;
    }
    Scenario fromDefault;
    QString unused;
    FUZZ_REQUIRE(parseScenario(json, &fromDefault, &unused) && fromDefault == scenario);
    checkAccepted(scenario);
    serve(scenario);
    return 0;
}
