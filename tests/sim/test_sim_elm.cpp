#include "sim/simelm.h"
#include "simtestutil.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <tuple>

using namespace quorvex::sim;
using namespace quorvex::sim::test;
using Bus = ElmOptions::Bus;
using Chip = ElmOptions::Chip;

namespace {

// One ECU at 10 with PIDs 01, 0C and 0D (support bitmap 80 18 00 00), the engine speed pinned
// to 1A F8; a second one at 18 that pins it to 0B B8.
const Ecu kEngine{.pids = {0x01, 0x0C, 0x0D}, .values = {{0x0C, QByteArray::fromHex("1AF8")}}};
const Ecu kSecond{
    .address = 0x18, .pids = {0x01, 0x0C}, .values = {{0x0C, QByteArray::fromHex("0BB8")}}};
const Scenario kOneEcu{.ecus = {kEngine}};
const std::pair<QByteArray, QByteArray> kEchoOff{"ATE0", "ATE0\rOK\r\r>"};

// The adapter with a clock of its own: each line is answered completely, however long the
// answer takes, and the clock stands where the last byte of it was due.
struct Adapter
{
    explicit Adapter(Scenario scenario = kOneEcu, ElmOptions elm = {}, int paceBaud = 0)
        : engine(std::move(scenario),
                 {.paceBaud = paceBaud, .personality = Personality::Elm327, .elm = elm})
    {
    }

    QByteArray ask(const QByteArray &line) { return send(line + '\r'); }

    QByteArray send(const QByteArray &bytes)
    {
        engine.receive(bytes, nowUs);
        QByteArray out = engine.take(nowUs);
        for (int guard = 0; guard < 1000 && engine.nextEventUs() >= 0; ++guard) {
            nowUs = std::max(nowUs, engine.nextEventUs());
            out += engine.take(nowUs);
        }
        return out;
    }

    ElmEngine engine;
    qint64 nowUs = 0;
};

} // namespace

// Echo, echo off and the defaults a reset restores are in the recorded conversations below.
TEST(SimElmFraming, EchoHeadersSpacesAndThePrompt)
{
    runScripts<Adapter>({
        // Echoed as received, less the control characters.
        {"case, blanks and control characters", kOneEcu, {{"a t\t\ni", "a ti\rELM327 v1.5\r\r>"}}},
        // The forms the program's driver sets up (headers on, spaces off).
        {"headers, then spaces off",
         kOneEcu,
         {kEchoOff,
          {"ATH1", "OK\r\r>"},
          {"0100", "SEARCHING...\r7E8 06 41 00 80 18 00 00 \r\r>"},
          {"ATS0", "OK\r\r>"},
          {"010C", "7E804410C1AF8\r\r>"}}},
        {"a bare CR repeats the last command",
         kOneEcu,
         {{"", "\r?\r\r>"}, {"ATI", "ATI\rELM327 v1.5\r\r>"}, {"", "\rELM327 v1.5\r\r>"}}},
    });
}

TEST(SimElmCommands, ChipsUnknownAndMalformed)
{
    // Chip, line, answer (echo off).
    const std::tuple<Chip, QByteArray, QByteArray> rows[] = {
        {Chip::Clone15, "ATI", "ELM327 v1.5"},
        {Chip::Elm14b, "ATI", "ELM327 v1.4b"},
        // What the v1.4 data sheet added, and the STN chips.
        {Chip::Clone15, "ATSS", "?"},
        {Chip::Elm14b, "ATSS", "OK"},
        {Chip::Clone15, "STDI", "?"},
        {Chip::Stn1110, "STDI", "STN1110 v4.2.0"},
        // Unknown and malformed.
        {Chip::Elm14b, "ATXYZ", "?"},
        {Chip::Elm14b, "0", "?"},                // a count hint without a request
        {Chip::Elm14b, "01G0", "?"},             // not hex
        {Chip::Elm14b, "010C0", "?"},            // a count of none
        {Chip::Elm14b, "0100000000000000", "?"}, // eight bytes: more than a frame holds
        {Chip::Elm14b, QByteArray(200, '1'), "?"},
    };
    for (const auto &[chip, line, answer] : rows) {
        Adapter adapter(kOneEcu, {.chip = chip});
        adapter.ask("ATE0");
        EXPECT_EQ(adapter.ask(line), answer + "\r\r>") << line.constData();
    }
}

TEST(SimElmReset, SlowResetLosesInputAndRestoresTheDefaults)
{
    Adapter adapter(kOneEcu, {.resetMs = 800});
    adapter.ask("ATE0");
    adapter.ask("ATH1");
    adapter.engine.receive("ATZ\r", 0);
    adapter.engine.receive("ATI\r", 400 * kMs);                          // lost in the reset
    EXPECT_EQ(dueAt(adapter.engine, 800 * kMs), "\r\rELM327 v1.5\r\r>"); // echo was off
    adapter.nowUs = 900 * kMs;
    // The defaults again: echo on, no headers.
    EXPECT_EQ(adapter.ask("010C1"), "010C1\rSEARCHING...\r41 0C 1A F8 \r\r>");
    EXPECT_EQ(adapter.ask("ATWS"), "ATWS\r\r\rELM327 v1.5\r\r>"); // a warm start is quick
    EXPECT_EQ(adapter.engine.commands(), (QStringList{"ATE0", "ATH1", "ATZ", "010C1", "ATWS"}));
}

namespace {

QByteArray garbled(const QByteArray &text)
{
    QByteArray out;
    for (const char c : text)
        out += PacedLine::garbled(c);
    return out;
}

} // namespace

TEST(SimElmLineSpeed, TheNewSpeedStaysOnlyWhenTheProgramFollowsWithinTheHandshake)
{
    Adapter a(kOneEcu, {.chip = Chip::Elm14b}, kPaceLine);
    a.engine.setLineBaud(38400);
    a.ask("ATE0");
    const qint64 t0 = a.nowUs;
    // "OK" at the old speed; 20 ms later the identity at 4 MHz / 0x23 = 114285 baud, which a
    // line at 115200 reads (0.8 % apart).
    a.engine.receive("ATBRD23\r", t0);
    EXPECT_EQ(a.engine.take(t0 + 1 * kMs), "OK\r");
    a.engine.setLineBaud(115200);
    EXPECT_EQ(a.engine.take(t0 + 25 * kMs), "ELM327 v1.4b\r");
    a.engine.receive("\r", t0 + 30 * kMs);
    EXPECT_EQ(a.engine.take(t0 + 40 * kMs), "OK\r\r>");
    EXPECT_EQ(a.engine.uartBaud(), 114285);
    a.nowUs = t0 + 40 * kMs;
    EXPECT_EQ(a.ask("ATI"), "ELM327 v1.4b\r\r>");

    // A line at the old speed is heard no more, and the warm start keeps the speed.
    a.engine.setLineBaud(38400);
    EXPECT_EQ(a.ask("ATI"), "");
    a.engine.setLineBaud(115200);
    EXPECT_EQ(a.ask("ATWS"), "\r\rELM327 v1.4b\r\r>");
    // The full reset returns to the speed it powered up at: its answer is garbled here.
    EXPECT_EQ(a.ask("ATZ"), "ATZ\r" + garbled("\r\rELM327 v1.4b\r\r>")); // echo on since ATWS
    a.engine.setLineBaud(38400);
    EXPECT_EQ(a.ask("ATI"), "ATI\rELM327 v1.4b\r\r>");
    EXPECT_EQ(a.engine.uartBaud(), 38400);

    // A program that does not follow: the identity is garbled at the old speed, and after the
    // handshake time (ATBRT 05: 25 ms) the prompt comes at the old speed.
    a.ask("ATE0");
    a.ask("ATBRT05");
    const qint64 t1 = a.nowUs;
    a.engine.receive("ATBRD08\r", t1);
    EXPECT_EQ(a.engine.take(t1 + 1 * kMs), "OK\r");
    EXPECT_EQ(a.engine.take(t1 + 25 * kMs), garbled("ELM327 v1.4b\r"));
    EXPECT_EQ(a.engine.take(t1 + 40 * kMs), "");
    EXPECT_EQ(a.engine.take(t1 + 60 * kMs), "\r>");
    a.nowUs = t1 + 60 * kMs;
    EXPECT_EQ(a.ask("ATI"), "ELM327 v1.4b\r\r>");
    EXPECT_EQ(a.engine.uartBaud(), 38400);
}

TEST(SimElmLineSpeed, RefusalsClonesThatStayAndTheStnCommand)
{
    // Setting, chip, line, answer (echo off, line and adapter at 38400).
    using SpeedChange = ElmOptions::SpeedChange;
    const std::tuple<SpeedChange, Chip, QByteArray, QByteArray> rows[] = {
        {SpeedChange::Refused, Chip::Elm14b, "ATBRD23", "?\r\r>"},
        {SpeedChange::Ignored, Chip::Clone15, "ATBRD23", "OK\r\r>"},
        {SpeedChange::Switches, Chip::Elm14b, "ATBRD07", "?\r\r>"}, // faster than 500 kbaud
        {SpeedChange::Switches, Chip::Elm14b, "STSBR115200", "?\r\r>"},
        {SpeedChange::Switches, Chip::Stn1110, "STSBR9000", "?\r\r>"},
        {SpeedChange::Switches, Chip::Stn1110, "STSBR115200", "OK\r" + garbled("STN1110 v4.2.0\r")},
    };
    for (const auto &[change, chip, line, answer] : rows) {
        SCOPED_TRACE(line.toStdString());
        Adapter a(kOneEcu, {.chip = chip, .speedChange = change}, kPaceLine);
        a.engine.setLineBaud(38400);
        a.ask("ATE0");
        const qint64 t0 = a.nowUs;
        a.engine.receive(line + '\r', t0);
        EXPECT_EQ(a.engine.take(t0 + 30 * kMs), answer);
        a.nowUs = t0 + 200 * kMs;
        a.send("");
        EXPECT_EQ(a.engine.uartBaud(), 38400); // nothing changed
    }
    // 4 MHz / 0x11 = 235294 baud still reads at 230400 (2.1 % apart), not at 250000.
    EXPECT_TRUE(PacedLine::speedsMatch(235294, 230400));
    EXPECT_FALSE(PacedLine::speedsMatch(235294, 250000));
}

TEST(SimElmProtocol, SearchBusInitialisationAndNoContact)
{
    const ElmOptions iso{.bus = Bus::Iso9141, .chip = Chip::Elm14b};
    runScripts<Adapter>({
        {"search on CAN, then known until ATPC",
         kOneEcu,
         {kEchoOff,
          {"010C", "SEARCHING...\r41 0C 1A F8 \r\r>"},
          {"010C", "41 0C 1A F8 \r\r>"},
          {"ATDP", "AUTO, ISO 15765-4 (CAN 11/500)\r\r>"},
          {"ATPC", "OK\r\r>"},
          {"010C", "SEARCHING...\r41 0C 1A F8 \r\r>"}}},
        {"fixed ISO protocol: the slow initialisation with its dots",
         kOneEcu,
         {kEchoOff,
          {"ATSP3", "OK\r\r>"},
          {"010C", "BUS INIT: ...OK\r41 0C 1A F8 \r\r>"},
          {"010C", "41 0C 1A F8 \r\r>"}},
         iso},
        {"no contact, searching each time",
         {.noContact = true, .ecus = {kEngine}},
         {kEchoOff,
          {"0100", "SEARCHING...\rUNABLE TO CONNECT\r\r>"},
          {"ATDPN", "A0\r\r>"},
          {"0100", "SEARCHING...\rUNABLE TO CONNECT\r\r>"}}},
        {"the wrong protocol",
         kOneEcu,
         {kEchoOff,
          {"ATSP6", "OK\r\r>"},
          {"0100", "CAN ERROR\r\r>"},
          {"ATSP5", "OK\r\r>"},
          {"0100", "BUS INIT: ERROR\r\r>"}, // the fast initialisation has no dots
          {"ATSP2", "OK\r\r>"},
          {"0100", "NO DATA\r\r>"}},
         iso},
    });
}

// Each bus as the adapter prints it: its header and check byte with headers on (the J1850 CRCs
// and the sums worked by hand), the bare message without; its name; its initialisation.
TEST(SimElmProtocol, EveryBusItsLinesNameAndInitialisation)
{
    const struct
    {
        Bus bus;
        QByteArray search;  // the answer to 0100 with headers on, spaces off
        QByteArray rpm;     // to 010C with headers and spaces on
        QByteArray name;    // ATDP after the search
        QByteArray number;  // ATDPN
        QByteArray busInit; // a fixed protocol's first request, before the answer (the v1.4b)
    } rows[] = {
        {Bus::J1850Pwm, "416B10410080180000BD", "41 6B 10 41 0C 1A F8 3D ", "AUTO, SAE J1850 PWM",
         "A1", ""},
        {Bus::J1850Vpw, "486B10410080180000D7", "48 6B 10 41 0C 1A F8 B2 ", "AUTO, SAE J1850 VPW",
         "A2", ""},
        {Bus::Iso9141, "486B104100801800009C", "48 6B 10 41 0C 1A F8 22 ", "AUTO, ISO 9141-2", "A3",
         "BUS INIT: ...OK\r"},
        {Bus::Kwp5Baud, "86F11041008018000060", "84 F1 10 41 0C 1A F8 E4 ",
         "AUTO, ISO 14230-4 (KWP 5BAUD)", "A4", "BUS INIT: ...OK\r"},
        {Bus::KwpFast, "86F11041008018000060", "84 F1 10 41 0C 1A F8 E4 ",
         "AUTO, ISO 14230-4 (KWP FAST)", "A5", "BUS INIT: OK\r"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.number.constData());
        const ElmOptions elm{.bus = r.bus, .chip = Chip::Elm14b};
        Adapter adapter(kOneEcu, elm);
        adapter.ask("ATE0");
        adapter.ask("ATH1");
        adapter.ask("ATS0");
        EXPECT_EQ(adapter.ask("0100"), "SEARCHING...\r" + r.search + "\r\r>");
        adapter.ask("ATS1");
        EXPECT_EQ(adapter.ask("010C1"), r.rpm + "\r\r>");
        EXPECT_EQ(adapter.ask("ATDP"), r.name + "\r\r>");
        EXPECT_EQ(adapter.ask("ATDPN"), r.number + "\r\r>");
        adapter.ask("ATH0");
        EXPECT_EQ(adapter.ask("010C1"), "41 0C 1A F8 \r\r>");

        // The bus named: a K-line bus initialises, J1850 simply answers.
        Adapter fixed(kOneEcu, elm);
        fixed.ask("ATE0");
        fixed.ask("ATSP" + r.number.mid(1));
        EXPECT_EQ(fixed.ask("010C1"), r.busInit + "41 0C 1A F8 \r\r>");
    }
}

// The VIN in five messages, the codes three to a message; the O2 sensor tests and the on-board
// monitoring tests answered as on ISO 9141-2; only requests with the bus's own header answered.
TEST(SimElmProtocol, OlderBusesMessagesAndHeaders)
{
    Ecu engine = kEngine;
    engine.storedCodes = {"0301", "0171", "0420", "0300"};
    const Scenario car{.vin = "WP0ZZZ99ZTS392124", .ecus = {engine}};
    for (const Bus bus : {Bus::J1850Pwm, Bus::J1850Vpw, Bus::Kwp5Baud, Bus::KwpFast}) {
        SCOPED_TRACE(int(bus));
        Adapter adapter(car, {.bus = bus});
        adapter.ask("ATE0");
        EXPECT_EQ(adapter.ask("0902"),
                  "SEARCHING...\r49 02 01 00 00 00 57 \r49 02 02 50 30 5A 5A \r"
                  "49 02 03 5A 39 39 5A \r49 02 04 54 53 33 39 \r"
                  "49 02 05 32 31 32 34 \r\r>");
        EXPECT_EQ(adapter.ask("03"), "43 03 01 01 71 04 20 \r43 03 00 00 00 00 00 \r\r>");
        for (const QByteArray test : {"0501011", "0601", "0600001"}) {
            Adapter iso(car, {.bus = Bus::Iso9141});
            iso.ask("ATE0");
            iso.ask("0100");
            const QByteArray answer = iso.ask(test);
            EXPECT_NE(answer, "NO DATA\r\r>") << test.constData();
            EXPECT_EQ(adapter.ask(test), answer) << test.constData();
        }

        const bool pwm = bus == Bus::J1850Pwm;
        const bool kwp = bus == Bus::Kwp5Baud || bus == Bus::KwpFast;
        const std::pair<QByteArray, bool> headers[] = {
            {"ATSH616AF1", pwm}, {"ATSH686AF1", !pwm && !kwp}, {"ATSHC133F1", kwp},
            {"ATSHC333F1", kwp}, {"ATSH7E0", false},
        };
        for (const auto &[line, answered] : headers) {
            adapter.ask(line);
            EXPECT_EQ(adapter.ask("010C1"), answered ? "41 0C 1A F8 \r\r>" : "NO DATA\r\r>")
                << line.constData();
        }
    }
}

TEST(SimElmTiming, CountHintAnswersAtOnceOtherwiseTheTimeOutRunsOut)
{
    // Request, then what is due when (milliseconds after the request; the car's latency is 30).
    const std::tuple<const char *, QByteArray, QList<std::pair<qint64, QByteArray>>> rows[] = {
        {"hint met", "010C1", {{30, "41 0C 1A F8 \r\r>"}}},
        {"no hint: the default 200 ms", "010C", {{30, "41 0C 1A F8 \r"}, {230, "\r>"}}},
        {"hint of two, one ECU answers", "010C2", {{30, "41 0C 1A F8 \r"}, {230, "\r>"}}},
        {"no answer: NO DATA after the time-out", "010A1", {{200, "NO DATA\r\r>"}}},
    };
    for (const auto &[name, request, due] : rows) {
        SCOPED_TRACE(name);
        Adapter adapter({.latencyMs = 30, .ecus = {kEngine}});
        adapter.ask("ATE0");
        adapter.ask("0100"); // the search is done
        adapter.engine.receive(request + '\r', adapter.nowUs);
        for (const auto &[ms, text] : due)
            EXPECT_EQ(dueAt(adapter.engine, adapter.nowUs + ms * kMs), text);
    }

    // Two ECUs: both answer without a hint, the first only with a hint of one.
    Adapter adapter({.latencyMs = 30, .ecus = {kEngine, kSecond}});
    adapter.ask("ATE0");
    EXPECT_EQ(adapter.ask("010C"), "SEARCHING...\r41 0C 1A F8 \r41 0C 0B B8 \r\r>");
    EXPECT_EQ(adapter.ask("010C1"), "41 0C 1A F8 \r\r>");
}

TEST(SimElmInterrupt, ACharacterStopsTheAnswerAndItsLineIsLost)
{
    Adapter adapter({.latencyMs = 100, .ecus = {kEngine}});
    adapter.ask("ATE0");
    adapter.engine.receive("010C\r", 0);
    EXPECT_EQ(adapter.engine.take(0), "SEARCHING...\r");
    adapter.engine.receive("ATI\r", 10 * kMs); // the A stops it; "TI" is lost with it
    EXPECT_EQ(adapter.engine.take(10 * kMs), "STOPPED\r\r>");
    EXPECT_EQ(adapter.engine.take(1000 * kMs), ""); // the data never comes
    EXPECT_EQ(adapter.engine.nextEventUs(), -1);
    adapter.nowUs = 1000 * kMs;
    EXPECT_EQ(adapter.ask("ATI"), "ELM327 v1.5\r\r>");

    // Paced, an answer stopped half-way through a line ends that line first; two requests in
    // one write are one request stopped by the next.
    Adapter paced(kOneEcu, {}, kPaceLine);
    paced.engine.setLineBaud(38400);
    paced.ask("ATE0");
    paced.ask("0100");
    paced.engine.receive("010C\r", 2000 * kMs);
    EXPECT_EQ(paced.engine.take(2000 * kMs + 1600), "41 0C "); // 260 us a character
    paced.engine.receive("\r", 2000 * kMs + 1600);
    EXPECT_EQ(paced.send(""), "\rSTOPPED\r\r>");
    EXPECT_EQ(paced.send("010C\r010C\r"), "STOPPED\r\r>");
}

TEST(SimElmFaults, SilentHangUpContactAndEcuFaults)
{
    Adapter silent(kOneEcu);
    silent.engine.setFaults({.silent = true});
    EXPECT_EQ(silent.ask("ATI"), ""); // no echo, no prompt
    EXPECT_EQ(silent.engine.commands(), QStringList{"ATI"});
    silent.engine.setFaults({});
    EXPECT_EQ(silent.ask("ATI"), "ATI\rELM327 v1.5\r\r>");

    // The n-th vehicle request, not the n-th line, hangs up once its answer is out.
    Adapter hangUp({.ecus = {kEngine}, .faults = {.disconnectAfter = 2}});
    hangUp.ask("ATE0");
    EXPECT_EQ(hangUp.ask("010C1"), "SEARCHING...\r41 0C 1A F8 \r\r>");
    EXPECT_EQ(hangUp.ask("ATI"), "ELM327 v1.5\r\r>");
    EXPECT_EQ(hangUp.ask("010C1"), "41 0C 1A F8 \r\r>");
    EXPECT_TRUE(hangUp.engine.hungUp());
    EXPECT_EQ(hangUp.ask("ATI"), "");

    // Rows: the fault, the line, the answer (echo off, the search done).
    const std::tuple<Faults, QByteArray, QByteArray> rows[] = {
        {{.ecuTimeout = true}, "010C1", "NO DATA"},
        {{.clearRejected = true}, "04", "7F 04 22 "},
        {{.noContact = true}, "010C1", "CAN ERROR"},
        {{.noContact = true}, "ATI", "ELM327 v1.5"}, // the adapter itself still answers
    };
    for (const auto &[faults, line, answer] : rows) {
        Adapter adapter(kOneEcu);
        adapter.ask("ATE0");
        adapter.ask("010C1");
        adapter.engine.setFaults(faults);
        EXPECT_EQ(adapter.ask(line), answer + "\r\r>") << line.constData();
    }
}

namespace {

// A recorded conversation: "> " lines sent, each followed by a "< " line of the answer (with
// \r, \n and \xNN escaped); "#" lines name where and how it was recorded.
QList<std::pair<QByteArray, QByteArray>> conversation(const QByteArray &text)
{
    QList<std::pair<QByteArray, QByteArray>> exchanges;
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith("> ")) {
            exchanges.append({line.mid(2), {}});
        } else if (line.startsWith("< ") && !exchanges.isEmpty()) {
            QByteArray &answer = exchanges.back().second = line.mid(2);
            answer.replace("\\r", "\r").replace("\\n", "\n");
            for (qsizetype x; (x = answer.indexOf("\\x")) >= 0;)
                answer.replace(x, 4, QByteArray::fromHex(answer.mid(x + 2, 2)));
        }
    }
    return exchanges;
}

} // namespace

TEST(SimElmFixtures, RealConversationsByteForByte)
{
    // Per file: the car and adapter that reproduce it, and where the real car's data lies
    // outside the scenario model: the fixture's text and what the model answers instead, so
    // that the framing around it is still compared byte for byte.
    struct Case
    {
        const char *file;
        Scenario scenario;
        ElmOptions elm;
        QList<QByteArray> before; // lines that bring the adapter into the conversation's state
        QList<std::pair<QByteArray, QByteArray>> modelled{};
    };
    const Case cases[] = {
        // The battery voltage is fixed in the model; the car answered twice from 7E8.
        {"clone15_can_init.txt",
         {.ecus = {{.pids = pidRange(0x01, 0x20)}}},
         {},
         {"ATE0"},
         {{"11.4V", "12.6V"}, {"7E8 06 41 00 FF FF FF FF \r7E8", "7E8"}}},
        {"stn1110_startup.txt", kOneEcu, {.chip = Chip::Stn1110}, {}},
        // Line noise while resetting is not modelled, nor is the battery voltage.
        {"clone15_iso9141_bus_init.txt",
         {.ecus = {{.address = 0x11,
                    .pids = {0x01, 0x03, 0x04, 0x05, 0x06, 0x07, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11,
                             0x13, 0x14, 0x15, 0x1C}}}},
         {.bus = Bus::Iso9141},
         {"ATE0"},
         {{"\xfc", ""}, {"14.1V", "12.6V"}}},
        {"can_vin_headers.txt",
         {.vin = "WP0ZZZ99ZTS392124", .ecus = {kEngine}},
         {},
         {"ATE0", "ATH1", "0100"}},
        {"clone_protocol_auto.txt", kOneEcu, {}, {}},
        {"clone15_defaults_reset.txt", kOneEcu, {}, {"ATE0"}},
    };
    const QDir dir(QStringLiteral(QUORVEX_ELM_FIXTURE_DIR));
    EXPECT_EQ(dir.entryList({"*.txt"}).size(), std::size(cases)); // every file has its case
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        QFile file(dir.filePath(c.file));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        EXPECT_TRUE(text.startsWith('#') && text.contains("http")) << "the source is named";
        const auto exchanges = conversation(text);
        ASSERT_FALSE(exchanges.isEmpty());
        Adapter adapter(c.scenario, c.elm);
        for (const QByteArray &line : c.before)
            adapter.ask(line);
        for (auto [sent, answered] : exchanges) {
            for (const auto &[real, model] : c.modelled)
                answered.replace(real, model);
            EXPECT_EQ(adapter.ask(sent), answered) << sent.constData();
        }
    }
}
