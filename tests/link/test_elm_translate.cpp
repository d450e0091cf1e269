// The ELM327 translation: the program's commands in the adapter's language, and every style of
// adapter answer read back into the scan interface's reply layout, checked against the
// interface simulator's own framing of the same vehicle message. (The recorded adapters'
// answers are read in test_elm_transport.cpp.)
#include "link/elm327/elmtranslate.h"
#include "sim/simreplies.h"

#include <gtest/gtest.h>

#include <tuple>

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

// The SAE J1850 CRC worked the long way, as the remainder of a polynomial division: the message
// with its first eight bits inverted (the all-ones start) and eight zero bits appended, divided
// by x^8 + x^4 + x^3 + x^2 + 1 (1 1D); the remainder inverted.
quint8 crc_by_division(const QByteArray &message)
{
    QList<int> bits;
    for (qsizetype i = 0; i < message.size(); ++i) {
        const int byte = static_cast<quint8>(message.at(i)) ^ (i == 0 ? 0xFF : 0x00);
        for (int bit = 7; bit >= 0; --bit)
            bits << ((byte >> bit) & 1);
    }
    bits << QList<int>(8, 0);
    const int divisor[] = {1, 0, 0, 0, 1, 1, 1, 0, 1};
    for (qsizetype i = 0; i + 8 < bits.size(); ++i)
        if (bits[i])
            for (int d = 0; d < 9; ++d)
                bits[i + d] ^= divisor[d];
    int remainder = 0;
    for (qsizetype i = bits.size() - 8; i < bits.size(); ++i)
        remainder = (remainder << 1) | bits[i];
    return static_cast<quint8>(~remainder);
}

// A line of a bus other than CAN as the adapter shows it with headers on: the bytes and their
// check byte (the J1850 CRC, worked the long way, or the sum).
QByteArray bus_line(Bus bus, const QByteArray &hex)
{
    QByteArray bytes = QByteArray::fromHex(hex);
    if (bus == Bus::J1850Pwm || bus == Bus::J1850Vpw) {
        bytes.append(static_cast<char>(crc_by_division(bytes)));
        return bytes.toHex(' ').toUpper();
    }
    return iso_line(hex);
}

QByteArray reply(const char *command, const QByteArray &answer, Bus bus, quint32 source = 0)
{
    const Command c = parse_command(command);
    return interface_reply(c, parse_answer(answer, bus, elm_request(c)), source);
}

QByteArray vehicle(const QByteArray &message, int length)
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
    const std::pair<const char *, Bus> buses[] = {
        {"A6", Bus::Can11},   {"6", Bus::Can11},     {"A7", Bus::Can29}, {"A3", Bus::Iso},
        {"1", Bus::J1850Pwm}, {"A2", Bus::J1850Vpw}, {"A4", Bus::Kwp},   {"5", Bus::Kwp},
        {"A0", Bus::Unknown}, {"A", Bus::Unknown},   {"B", Bus::Unknown}};
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

namespace {

QList<Command> commands(std::initializer_list<const char *> texts)
{
    QList<Command> list;
    for (const char *t : texts)
        list << parse_command(t);
    return list;
}

PackedAnswer packed(const QList<Command> &asked, const QByteArray &answer, quint32 source = 0)
{
    return split_packed(asked, parse_answer(answer, Bus::Can11, "010C0D0F1"), source);
}

} // namespace

// A request for several PIDs: the answer, several frames long, taken apart by the data length
// of each PID asked, in whatever order the ECU gives them; each part reads as the interface's
// reply to that PID's own command.
TEST(ElmPacked, TakenApartIntoTheRepliesOfEachCommand)
{
    const QList<Command> asked = commands({"010C07", "010D06", "010F06"});
    const PackedAnswer p =
        packed(asked, "7E8 10 08 41 0D 32 0C 1A F8 0F \r7E8 21 50 00 00 00 00 00 00 \r");
    ASSERT_EQ(p.layout, PackedAnswer::Layout::Taken);
    ASSERT_EQ(p.answers.size(), 3);
    EXPECT_EQ(interface_reply(asked[0], p.answers[0]), vehicle("486B10410C1AF8", 7));
    EXPECT_EQ(interface_reply(asked[1], p.answers[1]), vehicle("486B10410D32", 6));
    EXPECT_EQ(interface_reply(asked[2], p.answers[2]), vehicle("486B10410F50", 6));

    // Each PID's data is as long as the ECU makes it, whatever the program reads of it (the
    // first O2 sensor's voltage, not its trim).
    const QList<Command> sensor = commands({"011406", "010C07"});
    const PackedAnswer o2 = packed(sensor, "7E8 07 41 14 5A 80 0C 1A F8 \r");
    ASSERT_EQ(o2.layout, PackedAnswer::Layout::Taken);
    EXPECT_EQ(interface_reply(sensor[0], o2.answers[0]), vehicle("486B1041145A", 6));
    EXPECT_EQ(interface_reply(sensor[1], o2.answers[1]), vehicle("486B10410C1AF8", 7));

    // A PID left out is that PID's failure alone.
    const PackedAnswer missing = packed(asked, "7E8 06 41 0C 1A F8 0F 50 \r");
    ASSERT_EQ(missing.layout, PackedAnswer::Layout::Taken);
    EXPECT_EQ(missing.answers[1].status, Answer::Status::NoData);
    EXPECT_EQ(interface_reply(asked[1], missing.answers[1]).at(1), 'S');
    EXPECT_EQ(interface_reply(asked[2], missing.answers[2]), vehicle("486B10410F50", 6));

    // The first PID alone: an ECU that takes one PID a request.
    EXPECT_EQ(packed(asked, "7E8 04 41 0C 1A F8 \r").layout, PackedAnswer::Layout::FirstOnly);
    // Another PID alone is the others' failure, not that.
    EXPECT_EQ(packed(asked, "7E8 03 41 0D 32 \r").layout, PackedAnswer::Layout::Taken);

    // Only the ECU asked counts: the other's message is not read.
    const PackedAnswer other = packed(asked, "7E9 03 41 0D 10 \r7E8 04 41 0C 1A F8 \r", 0x7E8);
    EXPECT_EQ(other.layout, PackedAnswer::Layout::FirstOnly);
}

// The data sizes the answers are taken apart by, at the ends of the table and beyond it.
TEST(ElmPacked, DataSizesOfThePids)
{
    const std::pair<int, int> sizes[] = {{0x00, 4}, {0x01, 4}, {0x0C, 2}, {0x0D, 1}, {0x14, 2},
                                         {0x1F, 2}, {0x24, 4}, {0x4F, 4}, {0x5E, 2}, {0x60, 4},
                                         {0x63, 2}, {0x67, 3}, {0x80, 4}, {0xA0, 4}, {0xA6, 4},
                                         {0x64, 0}, {0x7F, 0}, {0xA5, 0}, {0xFF, 0}};
    for (const auto &[pid, size] : sizes)
        EXPECT_EQ(pid_data_size(static_cast<quint8>(pid)), size) << pid;
}

TEST(ElmPacked, LayoutsThatDoNotAddUpAreUnreadable)
{
    const QList<Command> asked = commands({"010C07", "010D06"});
    for (const char *answer : {
             "7E8 05 41 0C 1A F8 0D \r",    // data cut short
             "7E8 05 41 0C 1A 0D 32 \r",    // the wrong length for 0C: 0D is not where it is
             "7E8 04 41 0D 32 0D \r",       // a PID twice (and cut short)
             "7E8 06 41 0D 32 0D 32 00 \r", // a PID twice
             "7E8 03 41 11 32 \r",          // a PID not asked
             "7E8 03 7F 01 12 \r",          // refused
             "7E8 01 41 \r",                // nothing after the service
             "NO DATA\r",
             "CAN ERROR\r",
         }) {
        EXPECT_EQ(packed(asked, answer).layout, PackedAnswer::Layout::Unreadable) << answer;
    }
}

TEST(ElmFigures, ProtocolNamesAndBatteryVoltage)
{
    EXPECT_EQ(protocol_name("A6"), QStringLiteral("ISO 15765-4 CAN 11-bit 500 kbaud"));
    EXPECT_EQ(protocol_name("3"), QStringLiteral("ISO 9141-2 5-baud init 10.4 kbaud"));
    EXPECT_EQ(protocol_name("A1"), QStringLiteral("SAE J1850 PWM 41.6 kbaud"));
    EXPECT_EQ(protocol_name("9"), QStringLiteral("ISO 15765-4 CAN 29-bit 250 kbaud"));
    for (const char *none : {"", "0", "A", "?", "B", "C", "66", "AX"})
        EXPECT_TRUE(protocol_name(none).isEmpty()) << none;

    EXPECT_EQ(battery_voltage("12.6V"), QStringLiteral("12.6 V"));
    EXPECT_EQ(battery_voltage(" 9.8V "), QStringLiteral("9.8 V"));
    for (const char *none : {"", "?", "V", "12.6", "ABCV", "-1.0V", "123456.0V"})
        EXPECT_TRUE(battery_voltage(none).isEmpty()) << none;
}

// Which adapters may change their line speed, and how each is asked: the ELM327 divides 4 MHz
// (the nearest divisor, 08 at the fastest), the STN chip takes the speed itself.
TEST(ElmFigures, LineSpeedCommands)
{
    for (const char *yes :
         {"ELM327 v1.2", "ELM327 v1.4b", "ELM327 v1.5", "ELM327 v2.1", "STN1110 v4.2.0"})
        EXPECT_TRUE(takes_speed_change(QString::fromLatin1(yes))) << yes;
    for (const char *no : {"ELM327 v1.0", "ELM327 v1.1", "", "OBDII v1.5", "ELM327"})
        EXPECT_FALSE(takes_speed_change(QString::fromLatin1(no))) << no;

    EXPECT_EQ(speed_command(false, 115200), "ATBRD23"); // 4 MHz / 35 = 114285
    EXPECT_EQ(speed_command(false, 38400), "ATBRD68");  // 4 MHz / 104 = 38461
    EXPECT_EQ(speed_command(false, 500000), "ATBRD08");
    EXPECT_EQ(speed_command(false, 2000000), "ATBRD08"); // no faster divisor
    EXPECT_EQ(speed_command(false, 9600), "ATBRDFF");    // 417 does not fit: the slowest
    EXPECT_EQ(speed_command(true, 230400), "STSBR230400");

    EXPECT_EQ(identity_end("OK\r"), -1);
    EXPECT_EQ(identity_end("\xff\xfe"
                           "ELM327 v1.4b"),
              -1); // not yet whole
    EXPECT_EQ(identity_end("ELM327 v1.4b\r"), 12);
    EXPECT_EQ(identity_end("\rSTN1110 v4.2.0\r"), 15);
}

// The J1850 CRC two ways (a byte at a time in the driver, the long division here) on the
// functional requests of both J1850 buses, worked by hand: 61 6A F1 01 00 gives 0A, 68 6A F1 01
// 00 gives 17 (the VPW frame as bus logs show it); and the catalogue's check value of the
// CRC-8/SAE J1850, 4B for "123456789".
TEST(ElmBuses, TheJ1850Crc)
{
    const std::pair<QByteArray, quint8> rows[] = {
        {QByteArray::fromHex("616AF10100"), 0x0A},
        {QByteArray::fromHex("686AF10100"), 0x17},
        {"123456789", 0x4B},
    };
    for (const auto &[bytes, crc] : rows) {
        EXPECT_EQ(j1850_crc(bytes), crc) << bytes.toHex().constData();
        EXPECT_EQ(crc_by_division(bytes), crc) << bytes.toHex().constData();
    }
    for (const char *hex : {"416B104100BE1FB810", "486B10490201000000", "00", "FF"})
        EXPECT_EQ(j1850_crc(QByteArray::fromHex(hex)), crc_by_division(QByteArray::fromHex(hex)))
            << hex;
}

TEST(ElmBuses, HeadersAndThePassThroughPerBus)
{
    const std::tuple<Bus, QByteArray, QByteArray> rows[] = {
        {Bus::J1850Pwm, "616AF1", "RA4"}, {Bus::J1850Vpw, "686AF1", "RA1"},
        {Bus::Iso, "686AF1", "RA1"},      {Bus::Kwp, "C133F1", "RA8"},
        {Bus::Can11, "", "RN0"},          {Bus::Can29, "", "RN0"},
        {Bus::Unknown, "", "RN0"},
    };
    for (const auto &[bus, header, acknowledgement] : rows) {
        EXPECT_EQ(functional_header(bus), header) << int(bus);
        EXPECT_EQ(pass_through_acknowledgement(bus), acknowledgement) << int(bus);
    }
}

// One message on each bus: the bus's own header and check byte, the interface's reply with that
// header (the ECU's address where the interface shows it).
TEST(ElmBuses, SingleMessagesOnTheOlderBuses)
{
    const struct
    {
        const char *name;
        QByteArray answer;
        Bus bus;
        const char *message; // the vehicle's, as the interface shows it
    } rows[] = {
        {"J1850 PWM", bus_line(Bus::J1850Pwm, "416B10410C1AF8"), Bus::J1850Pwm, "416B10410C1AF8"},
        {"J1850 VPW", bus_line(Bus::J1850Vpw, "486B10410C1AF8"), Bus::J1850Vpw, "486B10410C1AF8"},
        {"J1850 VPW, no spaces", bus_line(Bus::J1850Vpw, "486B10410C1AF8").replace(' ', ""),
         Bus::J1850Vpw, "486B10410C1AF8"},
        {"KWP, fast init", "BUS INIT: OK\r" + bus_line(Bus::Kwp, "84F110410C1AF8"), Bus::Kwp,
         "84F110410C1AF8"},
        // A format byte without a length: the length byte follows the source.
        {"KWP, length byte", bus_line(Bus::Kwp, "80F11004410C1AF8"), Bus::Kwp, "80F110410C1AF8"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(reply("010C07", r.answer + "\r\r", r.bus), vehicle(r.message, 7)) << r.name;
}

// A line garbled on the bus, or read with the other bus's check, is no message: the interface's
// timed-out reply, never the bytes.
TEST(ElmBuses, GarbledLinesAreNoAnswer)
{
    const QByteArray good = bus_line(Bus::J1850Pwm, "416B10410C1AF8");
    QByteArray flipped = good;
    flipped[flipped.size() - 4] = flipped.at(flipped.size() - 4) == '0' ? '1' : '0';
    const struct
    {
        const char *name;
        QByteArray answer;
        Bus bus;
    } rows[] = {
        {"J1850, a data bit flipped", flipped, Bus::J1850Pwm},
        {"J1850 with a sum", iso_line("416B10410C1AF8"), Bus::J1850Pwm},
        {"ISO with a CRC", good, Bus::Iso},
        {"KWP, one byte fewer than the format says", bus_line(Bus::Kwp, "85F110410C1AF8"),
         Bus::Kwp},
        {"KWP, one byte more", bus_line(Bus::Kwp, "83F110410C1AF8"), Bus::Kwp},
        {"KWP, a length byte of none", bus_line(Bus::Kwp, "80F11000410C1AF8"), Bus::Kwp},
        {"KWP without addresses", bus_line(Bus::Kwp, "04F110410C1AF8"), Bus::Kwp},
        {"KWP checksum", "84 F1 10 41 0C 1A F8 00", Bus::Kwp},
        {"too short for a message", bus_line(Bus::J1850Vpw, "486B10"), Bus::J1850Vpw},
    };
    for (const auto &r : rows) {
        const Answer parsed = parse_answer(r.answer + "\r\r", r.bus, "010C1");
        EXPECT_EQ(parsed.status, Answer::Status::NoData) << r.name;
        EXPECT_TRUE(parsed.messages.isEmpty()) << r.name;
        EXPECT_EQ(reply("010C07", r.answer + "\r\r", r.bus), sim::timeoutReply(7)) << r.name;
    }
}

// The VIN in five messages and codes three to a message, as on ISO 9141; one garbled message of
// the VIN loses the VIN, never shifts its characters.
TEST(ElmBuses, MessagesOfSeveralLinesOnEachBus)
{
    const QByteArray vin = "1GJC5444R7252367B";
    const QByteArray fields = QByteArray(3, '\0') + vin;
    const std::pair<Bus, QByteArray> buses[] = {
        {Bus::J1850Pwm, "416B10"}, {Bus::J1850Vpw, "486B10"}, {Bus::Kwp, "87F110"}};
    for (const auto &[bus, header] : buses) {
        SCOPED_TRACE(int(bus));
        QList<QByteArray> lines;
        for (int n = 1; n <= 5; ++n)
            lines << bus_line(bus, header + "4902" +
                                       QByteArray::number(n, 16).rightJustified(2, '0') +
                                       fields.mid((n - 1) * 4, 4).toHex());
        EXPECT_EQ(reply("090208", lines.join('\r') + "\r", bus), "R" + vin);
        lines[2] = lines[2].left(lines[2].size() - 2) + "00";
        EXPECT_EQ(reply("090208", lines.join('\r') + "\r", bus), sim::timeoutReply(8));

        // Five stored codes in two messages: two replies of three slots.
        const QByteArray codes = bus_line(bus, header + "43013301710420") + "\r" +
                                 bus_line(bus, header + "430300C1000000") + "\r";
        EXPECT_EQ(reply("030A0A", codes, bus),
                  vehicle(header + "43013301710420", 10) + vehicle(header + "430300C1000000", 10));
    }
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
