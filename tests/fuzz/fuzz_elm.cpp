// libFuzzer target over the ELM327 adapter's language on both sides: the program's reading of
// an adapter's answer (elm::parse_answer, elm::interface_reply) and the simulated adapter's
// reading of a host's lines (sim::ElmEngine), driven with made-up times.
//
// Input: a case byte, then the case's bytes.
//   0  answer: a bus byte (Can11, Can29, Iso, Unknown, J1850Pwm, J1850Vpw, Kwp) and a command
//      byte (one of kCommands);
//      the rest is the adapter's answer. The reply is the interface's layout: "R", then for a
//      timed-out reply "S" and zeros, else upper-case hex pairs (codes and results), or the 17
//      VIN characters; a vehicle reply is never shorter than its command asks for.
//   1  adapter: a set-up byte (bus in bits 0, 6 and 7; chip, pacing, faults) then chunks of a clock
//      step and bytes received (15 bytes: a byte choosing the line's speed instead); no
//      output before nextEventUs() says, nothing once hung up.
#include "fuzzsupport.h"

#include "link/elm327/elmtranslate.h"
#include "sim/simelm.h"

using namespace quorvex;
using namespace quorvex::fuzz;

namespace {

const char *const kCommands[] = {"010C07", "010009", "02000A", "030A0A", "070A0A", "040404",
                                 "090208", "050110", "060210", "012009", "010D05", "011307"};

void answer(Input &in)
{
    const elm::Bus buses[] = {elm::Bus::Can11,   elm::Bus::Can29,    elm::Bus::Iso,
                              elm::Bus::Unknown, elm::Bus::J1850Pwm, elm::Bus::J1850Vpw,
                              elm::Bus::Kwp};
    const elm::Bus bus = buses[in.byte() % std::size(buses)];
    const elm::Command command = elm::parse_command(kCommands[in.byte() % std::size(kCommands)]);
    const QByteArray raw = in.rest();
    const elm::Answer parsed = elm::parse_answer(raw, bus, elm::elm_request(command));
    FUZZ_REQUIRE(parsed.status == elm::Answer::Status::Data || parsed.messages.isEmpty());
    for (const elm::Message &m : parsed.messages)
        FUZZ_REQUIRE(m.header.size() == 3 && !m.data.isEmpty());
    const QByteArray reply = elm::interface_reply(command, parsed);
    FUZZ_REQUIRE(reply.startsWith('R'));
    const bool vin = command.service == 0x09;
    const bool o2 = command.service == 0x05 || command.service == 0x06;
    if (reply.size() > 1 && reply.at(1) == 'S') {
        FUZZ_REQUIRE(reply.size() >= 4);
        return;
    }
    if (vin) {
        FUZZ_REQUIRE(reply.size() == 18);
        return;
    }
    for (const char c : reply)
        FUZZ_REQUIRE(isUpperHex(QLatin1Char(c)) || c == 'R');
    if (!o2)
        FUZZ_REQUIRE(reply.size() >= 1 + 2 * command.length + 2);
}

void adapter(Input &in)
{
    const std::uint8_t setUp = in.byte();
    sim::Options options;
    options.personality = sim::Personality::Elm327;
    using Bus = sim::ElmOptions::Bus;
    const Bus buses[] = {Bus::Can11_500, Bus::Iso9141, Bus::J1850Pwm,  Bus::J1850Vpw,
                         Bus::Kwp5Baud,  Bus::KwpFast, Bus::Can11_500, Bus::Iso9141};
    options.elm.bus = buses[(setUp & 1) | ((setUp >> 5) & 6)];
    options.elm.chip = static_cast<sim::ElmOptions::Chip>((setUp >> 1) % 3);
    options.paceBaud = setUp & 8 ? sim::kPaceLine : 0;
    options.elm.speedChange = static_cast<sim::ElmOptions::SpeedChange>(setUp % 3);
    sim::Scenario car = sim::defaultScenario();
    car.faults.noContact = setUp & 16;
    car.faults.disconnectAfter = setUp & 32 ? 2 : -1;
    sim::ElmEngine engine(car, options);
    qint64 now = 0;
    while (in.remaining() > 0) {
        const std::uint8_t chunk = in.byte();
        const qint64 next = engine.nextEventUs();
        now += qint64(chunk >> 4) * 37'000;
        const QByteArray out = engine.take(now);
        FUZZ_REQUIRE(out.isEmpty() || (next >= 0 && next <= now));
        if (engine.hungUp())
            FUZZ_REQUIRE(engine.take(now + 10'000'000).isEmpty());
        if ((chunk & 0x0F) == 0x0F) {
            constexpr int kBauds[] = {0, 38400, 115200, 500000};
            engine.setLineBaud(kBauds[in.byte() % std::size(kBauds)]);
        } else {
            engine.receive(in.bytes(chunk & 0x0F), now);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return runCase(data, size, {answer, adapter});
}
