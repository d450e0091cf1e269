// The ELM327 translation: the program's commands in the adapter's language, and every style of
// adapter answer read back into the scan interface's reply layout, checked against the
// interface simulator's own framing of the same vehicle message. (The recorded adapters'
// answers are read in test_elm_transport.cpp.)
#include "link/elm327/elmtranslate.h"
#include "sim/simreplies.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::elm;

namespace {

// An ISO 9141 line as the adapter shows it with headers on: the bytes and their checksum.
QByteArray iso_line(const QByteArray &hex)
{
    QByteArray bytes = QByteArray::fromHex(hex);
    unsigned sum = 0;
    for (const char b : bytes)
        sum += static_cast<quint8>(b);
    bytes.append(static_cast<char>(sum & 0xFF));
    return bytes.toHex(' ').toUpper();
}

QByteArray reply(const char *command, const QByteArray &answer, Bus bus, quint32 source = 0)
{
    const Command c = parse_command(command);
    return interface_reply(c, parse_answer(answer, bus, elm_request(c)), source);
}

QByteArray vehicle(const char *message, int length)
{
    return sim::vehicleReply(QByteArray::fromHex(message), length);
}

} // namespace

TEST(ElmCommands, RequestsAndBuses)
{
    // A command and the adapter's request for it; none: not a command.
    const std::pair<const char *, const char *> rows[] = {
        {"010C07", "010C1"},   // one answer: no waiting for the time-out
        {"02000A", "0200001"}, // freeze frame 0
        {"030A0A", "03"},      // however many messages the codes take
        {"040404", "041"},     {"090208", "0902"},  {"050110", "0501101"}, // O2 test: TID, sensor
        {"0G0000", nullptr},   {"A00000", nullptr}, {"01000", nullptr},
    };
    for (const auto &[command, request] : rows) {
        const Command c = parse_command(command);
        EXPECT_EQ(c.kind, request ? Command::Kind::Vehicle : Command::Kind::Invalid) << command;
        if (request) {
            EXPECT_EQ(elm_request(c), QByteArray(request)) << command;
        }
    }
    const std::pair<const char *, Bus> buses[] = {{"A6", Bus::Can11},   {"6", Bus::Can11},
                                                  {"A7", Bus::Can29},   {"A3", Bus::Iso},
                                                  {"A0", Bus::Unknown}, {"2", Bus::Unknown}};
    for (const auto &[answer, bus] : buses)
        EXPECT_EQ(bus_from_protocol_number(answer), bus) << answer;
}

TEST(ElmAnswers, SingleMessagesInEveryStyle)
{
    const QByteArray rpm = vehicle("486B10410C1AF8", 7);
    const struct
    {
        const char *name;
        QByteArray answer;
        Bus bus;
    } rows[] = {
        {"CAN, spaces", "SEARCHING...\r7E8 04 41 0C 1A F8 \r\r", Bus::Can11},
        {"CAN, no spaces", "7E804410C1AF8\r\r", Bus::Can11},
        {"CAN, echo left on", "010C1\r7E8 04 41 0C 1A F8\r\r", Bus::Can11},
        {"CAN, line feeds", "7E8 04 41 0C 1A F8\r\n\r\n", Bus::Can11},
        {"CAN 29-bit", "18DAF110 04 41 0C 1A F8\r\r", Bus::Can29},
        {"ISO, spaces", "BUS INIT: ...OK\r" + iso_line("486B10410C1AF8") + "\r\r", Bus::Iso},
    };
    for (const auto &r : rows)
        EXPECT_EQ(reply("010C07", r.answer, r.bus), rpm) << r.name;

    // Short messages are padded, long ones cut, to the length asked for. (The window's tests
    // read every item, the freeze frame and the codes, and clear them, through the simulated
    // adapter on both buses.)
    EXPECT_EQ(reply("010009", "7E8 06 41 00 BE 3F A8 13\r", Bus::Can11),
              vehicle("486B104100BE3FA813", 9));
    EXPECT_EQ(reply("010D05", "7E8 03 41 0D 28\r", Bus::Can11), vehicle("486B10410D", 5));
}

TEST(ElmAnswers, NothingFromTheVehicle)
{
    const QByteArray timedOut = sim::timeoutReply(7);
    const struct
    {
        const char *name;
        QByteArray answer;
        Bus bus;
        Answer::Status status;
    } rows[] = {
        {"no data", "NO DATA\r\r", Bus::Can11, Answer::Status::NoData},
        {"search failed", "SEARCHING...\rUNABLE TO CONNECT\r\r", Bus::Unknown,
         Answer::Status::NoContact},
        {"ISO bus init", "BUS INIT: ...ERROR\r\r", Bus::Iso, Answer::Status::NoContact},
        {"CAN error", "CAN ERROR\r\r", Bus::Can11, Answer::Status::NoContact},
        {"not understood", "?\r\r", Bus::Can11, Answer::Status::Refused},
        {"interrupted", "STOPPED\r\r", Bus::Can11, Answer::Status::Stopped},
        {"garbled ISO checksum", "48 6B 10 41 0C 1A F8 00\r\r", Bus::Iso, Answer::Status::NoData},
        {"CAN frames missing", "7E8 10 14 49 02 01 31 47 31\r\r", Bus::Can11,
         Answer::Status::NoData},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(parse_answer(r.answer, r.bus, "010C1").status, r.status) << r.name;
        EXPECT_EQ(reply("010C07", r.answer, r.bus), timedOut) << r.name;
    }
}

TEST(ElmAnswers, MessagesOfSeveralFrames)
{
    // The VIN on ISO: five messages of four bytes, three fill bytes (the recorded adapters hold
    // one on CAN).
    const QByteArray vin = "1GJC5444R7252367B";
    QByteArray isoVin;
    const QByteArray fields = QByteArray(3, '\0') + vin;
    for (int n = 1; n <= 5; ++n)
        isoVin += iso_line("486B104902" + QByteArray::number(n, 16).rightJustified(2, '0') +
                           fields.mid((n - 1) * 4, 4).toHex()) +
                  "\r";
    EXPECT_EQ(reply("090208", isoVin, Bus::Iso), "R" + vin);

    // Five stored codes, from an ECU that leaves the count out (the message then has an odd
    // length): two replies of three slots, in the order the ECU sent them.
    EXPECT_EQ(
        reply("030A0A", "7E8 10 0B 43 01 33 01 71 04\r7E8 21 20 03 00 C1 00 00 00\r", Bus::Can11),
        vehicle("486B1043013301710420", 10) + vehicle("486B10430300C1000000", 10));
}

TEST(ElmAnswers, TheEcuTheProgramSwitchedTo)
{
    const QByteArray two = "7E8 06 41 00 BE 3F A8 13\r7E9 06 41 00 98 18 00 01\r\r";
    EXPECT_EQ(reply("010009", two, Bus::Can11), vehicle("486B104100BE3FA813", 9));
    EXPECT_EQ(reply("010009", two, Bus::Can11, 0x7E9), vehicle("486B18410098180001", 9));
    // The ECU switched to did not answer this one: no answer, never the other ECU's.
    EXPECT_EQ(reply("010009", "7E8 06 41 00 BE 3F A8 13\r", Bus::Can11, 0x7E9),
              sim::timeoutReply(9));
    EXPECT_EQ(can_ecu_address(0x7EA), 0x20);
}

// Permanent codes read as the stored ones, a refusal passed on as the ECU sent it; the rest of
// service 09 from every ECU, a CAN message cut into numbered messages of four data bytes (the
// support bytes without a count), an older bus's messages as they came.
TEST(ElmAnswers, PermanentCodesAndVehicleInformation)
{
    EXPECT_EQ(parse_command("0A0A0A").kind, Command::Kind::Vehicle);
    EXPECT_EQ(elm_request(parse_command("0A0A0A")), QByteArray("0A"));
    EXPECT_EQ(reply("0A0A0A", "7E8 06 4A 02 03 01 04 20 \r", Bus::Can11),
              vehicle("486B104A030104200000", 10));
    EXPECT_EQ(reply("0A0A0A", "7E8 03 7F 0A 11 \r", Bus::Can11), vehicle("486B107F0A11", 10));
    EXPECT_EQ(reply("0A0A0A", iso_line("486B104A000000000000"), Bus::Iso),
              vehicle("FF6B104A000000000000", 10));

    EXPECT_EQ(reply("09060A", "7E8 07 49 06 01 1A 2B 3C 4D \r7E9 03 7F 09 12 \r", Bus::Can11),
              vehicle("486B104906011A2B3C4D", 10) + vehicle("486B187F0912", 10).mid(1));
    EXPECT_EQ(reply("09000A", "7E8 06 49 00 54 40 00 00 \r", Bus::Can11),
              vehicle("486B10490001544000", 10));
    EXPECT_EQ(reply("090A0A",
                    iso_line("486B10490A0145434D00") + "\r" + iso_line("486B10490A022D454E47"),
                    Bus::Iso),
              vehicle("486B10490A0145434D00", 10) + vehicle("486B10490A022D454E47", 10).mid(1));
}
