// The ELM327 driver on a line whose far end plays an adapter's side of the conversation, made up
// or recorded from real adapters: the set-up it sends, the ready marks it makes, the requests it
// sends for the program's commands and the replies it gives back in the scan interface's layout.
#include "link/connection.h"
#include "link/elm327/elm327transport.h"
#include "link/obdcontext.h"
#include "link/protocol.h"
#include "livedata/items.h"
#include "sim/simreplies.h"
#include "support/scriptedline.h"
#include "support/virtualclock.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;
using Turns = QList<ScriptedLine::Turn>;

namespace {

// A clone of the common kind: it refuses ATS0 and STDI, and answers on CAN with headers.
Turns cloneSetUp(const QByteArray &search, const QByteArray &protocol = "A6\r\r>")
{
    return {{"ATZ", "ATZ\r\r\rELM327 v1.5\r\r>"},
            {"ATE0", "ATE0\rOK\r\r>"},
            {"ATL0", "OK\r\r>"},
            {"ATS0", "?\r\r>"},
            {"ATH1", "OK\r\r>"},
            {"ATAT2", "OK\r\r>"},
            {"ATSP0", "OK\r\r>"},
            {"STDI", "?\r\r>"},
            {"0100", search},
            {"ATDPN", protocol}};
}

const QByteArray kFound = "SEARCHING...\r7E8 06 41 00 BE 3F A8 13 \r7E9 06 41 00 98 18 00 01 \r\r>";

QByteArray vehicle(const char *message, int length)
{
    return sim::vehicleReply(QByteArray::fromHex(message), length);
}

class ElmTransportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ctx.attachSerial(&elm);
        ctx.state.UseSerial = true;
        QObject::connect(&ctx, &ObdContext::linkLost, [this] { ++lost; });
    }
    void start(Turns script)
    {
        auto line = std::make_unique<ScriptedLine>(clock);
        line->converse(std::move(script));
        adapter = line.get();
        elm.open(std::move(line));
    }
    void expectScriptPlayed() const
    {
        EXPECT_TRUE(adapter->scriptDone());
        EXPECT_TRUE(adapter->unexpected().isEmpty())
            << adapter->unexpected().join('|').toStdString();
    }
    Exchange rpm()
    {
        return get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0C"), QStringLiteral("07"));
    }

    VirtualClock clock;
    Elm327Transport elm{clock};
    ObdContext ctx{clock};
    ScriptedLine *adapter = nullptr; // owned by elm
    int lost = 0;
};

} // namespace

TEST_F(ElmTransportTest, SetUpEveryCommandAndTheAdapterUnpluggedMidRequest)
{
    // Two ECUs answered the search: requests go to the first alone, then to the other. (The
    // window's tests read codes and change the ECU through the simulated adapter.)
    start(cloneSetUp(kFound) + Turns{{"ATSH7E0", "OK\r\r>"},
                                     {"ATRV", "12.3V\r\r>"},
                                     {"010C1", "7E8 04 41 0C 1A F8 \r\r>"},
                                     {"ATSH7E1", "OK\r\r>"},
                                     {"010C1", "7E9 04 41 0C 00 64 \r\r>"},
                                     {"010C1", ""}}); // never answered
    EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    EXPECT_EQ(elm.identity(), QStringLiteral("ELM327 v1.5"));
    EXPECT_EQ(elm.bus(), elm::Bus::Can11);
    EXPECT_EQ(elm.figures().protocol, QStringLiteral("ISO 15765-4 CAN 11-bit 500 kbaud"));

    EXPECT_EQ(exchange_firmware_id(ctx).id, QStringLiteral("E3.40"));
    EXPECT_EQ(rpm().reply, QString::fromLatin1(vehicle("486B10410C1AF8", 7)));

    // "800204" switches to the other ECU: its answers from now on.
    EXPECT_EQ(exchange_change_ecu(ctx), ExchangeStatus::Ok);
    EXPECT_EQ(rpm().reply, QString::fromLatin1(vehicle("486B18410C0064", 7)));

    // Unplugged while a request waits: a lost link then, not at the silent bound.
    clock.callAfter(100, [this] {
        adapter->close();
        emit adapter->lost(QStringLiteral("unplugged"));
    });
    const qint64 start = clock.nowMs();
    EXPECT_EQ(rpm().status, ExchangeStatus::LinkLost);
    EXPECT_EQ(clock.nowMs() - start, 100);
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(elm.isOpen());
    expectScriptPlayed();
}

// Characters left in the adapter's line by an earlier program make "?" of the first reset: it
// is asked again, and the adapter's identity is known.
TEST_F(ElmTransportTest, AResetAnsweredWithAQuestionMarkIsAskedAgain)
{
    Turns script = cloneSetUp(kFound);
    script.prepend({"ATZ", "?\r\r>"});
    start(script + Turns{{"ATSH7E0", "OK\r\r>"}, {"ATRV", "12.3V\r\r>"}});
    EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    EXPECT_EQ(elm.identity(), QStringLiteral("ELM327 v1.5"));
    expectScriptPlayed();
}

// An adapter older than the count hint answers "?" to it: the request goes again without it,
// and after three such answers no request carries one.
TEST_F(ElmTransportTest, AdapterThatRefusesTheCountHint)
{
    Turns script = cloneSetUp(kFound) + Turns{{"ATSH7E0", "OK\r\r>"}, {"ATRV", "?\r\r>"}};
    for (int refused = 0; refused < Elm327Transport::kHintRefusals; ++refused)
        script += {{"010C1", "?\r\r>"}, {"010C", "7E8 04 41 0C 1A F8 \r\r>"}};
    script +=
        {{"010C", "7E8 04 41 0C 1A F8 \r\r>"}, {"020000", "7E8 07 42 00 00 7E 1F 80 00 \r\r>"}};
    start(script);
    ASSERT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    for (int n = 0; n <= Elm327Transport::kHintRefusals; ++n)
        EXPECT_EQ(rpm().reply, QString::fromLatin1(vehicle("486B10410C1AF8", 7))) << n;
    ExchangeRequest frame;
    frame.command = QStringLiteral("02000A");
    frame.threshold = 21;
    EXPECT_EQ(exchange(ctx, frame).reply, QString::fromLatin1(vehicle("486B104200007E1F8000", 10)));
    expectScriptPlayed();
}

// On the older buses the ECU answers in the bus's own framing, and the service $06 pass-through
// sends the header that the acknowledgement told the program to use, then sets the bus's own
// functional header again (J1850 PWM's is not VPW's).
TEST_F(ElmTransportTest, OlderBusesReadAndThePassThroughKeepsTheBussHeader)
{
    const auto j1850 = [](const char *hex) {
        const QByteArray bytes = QByteArray::fromHex(hex);
        return (bytes + char(elm::j1850_crc(bytes))).toHex(' ').toUpper() + " \r";
    };
    const auto kwp = [](const char *hex) {
        QByteArray bytes = QByteArray::fromHex(hex);
        quint8 sum = 0;
        for (const char b : bytes)
            sum = static_cast<quint8>(sum + static_cast<quint8>(b));
        return (bytes + char(sum)).toHex(' ').toUpper() + " \r";
    };
    const struct
    {
        elm::Bus bus;
        QByteArray protocol; // the ATDPN answer
        QByteArray found;    // the search's answer
        QByteArray rpm;      // an answer to 010C1, and the interface's message for it
        const char *rpmMessage;
        QByteArray acknowledgement;
        std::pair<quint8, quint8> header; // what the program sends after that acknowledgement
        QByteArray headerLine;            // and the driver sets
        QByteArray mode6;                 // the ECU's answer
        QByteArray functional;            // the bus's header again
    } rows[] = {
        {elm::Bus::J1850Pwm,
         "A1\r\r>",
         "SEARCHING...\r" + j1850("416B104100BE1FB810"),
         j1850("416B10410C1AF8"),
         "416B10410C1AF8",
         "RA4",
         {0x61, 0x6A},
         "ATSH616AF1",
         j1850("416B104600012C0258"),
         "ATSH616AF1"},
        {elm::Bus::J1850Vpw,
         "A2\r\r>",
         "SEARCHING...\r" + j1850("486B104100BE1FB810"),
         j1850("486B10410C1AF8"),
         "486B10410C1AF8",
         "RA1",
         {0x68, 0x6A},
         "ATSH686AF1",
         j1850("486B104600012C0258"),
         "ATSH686AF1"},
        {elm::Bus::Kwp,
         "A5\r\r>",
         "SEARCHING...\r" + kwp("86F1104100BE1FB810"),
         kwp("84F110410C1AF8"),
         "84F110410C1AF8",
         "RA8",
         {0xC3, 0x33},
         "ATSHC333F1",
         kwp("86F1104600012C0258"),
         "ATSHC133F1"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(int(r.bus));
        start(cloneSetUp(r.found + "\r>", r.protocol) + Turns{{"ATRV", "?\r\r>"},
                                                              {"010C1", r.rpm + "\r>"},
                                                              {r.headerLine, "OK\r\r>"},
                                                              {"0601001", r.mode6 + "\r>"},
                                                              {r.functional, "OK\r\r>"},
                                                              {"010C1", r.rpm + "\r>"}});
        ASSERT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
        EXPECT_EQ(elm.bus(), r.bus);
        EXPECT_EQ(rpm().reply, QString::fromLatin1(vehicle(r.rpmMessage, 7)));

        ExchangeRequest enter;
        enter.command = QStringLiteral("F00504");
        enter.threshold = 2;
        enter.vehicleReply = false;
        EXPECT_EQ(exchange(ctx, enter).reply, QString::fromLatin1(r.acknowledgement));
        QByteArray block(14, '\0');
        const quint8 head[] = {1, 6, r.header.first, r.header.second, 0xF1, 0x06, 0x01, 0x00};
        for (int i = 0; i < 8; ++i)
            block[i] = static_cast<char>(head[i]);
        const Exchange message = exchange_block(ctx, block, 12);
        ASSERT_TRUE(message.ok());
        // The header, 46, the limit type, the value 01 2C and the limit 02 58, zeros to 13.
        const QByteArray raw = message.reply.toLatin1();
        EXPECT_EQ(raw.toHex().toUpper(), QByteArray::fromHex(r.mode6.left(27).replace(' ', ""))
                                             .leftJustified(13, '\0')
                                             .toHex()
                                             .toUpper());
        EXPECT_EQ(rpm().reply, QString::fromLatin1(vehicle(r.rpmMessage, 7)));
        expectScriptPlayed();
    }
}

// Off CAN every ECU hears every request: the count hint is how many answered it the last time
// (at first, how many answered the search), so a PID only the engine has waits out the adapter's
// time-out once, not on every request.
TEST_F(ElmTransportTest, OffCanTheHintIsHowManyAnsweredTheRequestBefore)
{
    const QByteArray found = "SEARCHING...\r48 6B 10 41 00 BE 1F B8 10 58 \r"
                             "48 6B 18 41 00 88 18 00 00 99 \r\r>";
    const QByteArray engineRpm = "48 6B 10 41 0C 1A F8 B2 \r\r>";
    start(cloneSetUp(found, "A2\r\r>") + Turns{{"ATRV", "?\r\r>"},
                                               {"010C2", engineRpm},
                                               {"010C1", engineRpm},
                                               {"01002", found.mid(13)},
                                               {"010C1", engineRpm},
                                               // the adapter's time-out learned meanwhile
                                               {"ATST08", "OK\r\r>"},
                                               {"010C1", engineRpm},
                                               {"010C2", engineRpm}});
    ASSERT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    for (int n = 0; n < 2; ++n)
        EXPECT_EQ(rpm().reply, QString::fromLatin1(vehicle("486B10410C1AF8", 7)));
    EXPECT_EQ(
        get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("00"), QStringLiteral("09")).reply,
        QString::fromLatin1(vehicle("486B104100BE1FB810", 9)));
    EXPECT_EQ(rpm().reply, QString::fromLatin1(vehicle("486B10410C1AF8", 7)));

    // The program switches to the other ECU: the engine's answer alone is no answer for it, and
    // the next request waits for both ECUs again.
    EXPECT_EQ(exchange_change_ecu(ctx), ExchangeStatus::Ok);
    EXPECT_EQ(rpm().status, ExchangeStatus::EcuTimeout);
    EXPECT_EQ(rpm().status, ExchangeStatus::EcuTimeout);
    expectScriptPlayed();
}

namespace {

// A conversation recorded from a real adapter: what the host sent and what the adapter
// answered, in order, and the bus of the car.
struct Recorded
{
    QString name;
    elm::Bus bus = elm::Bus::Unknown;
    Turns turns;

    // The first answer to a line however the host spelt it ("AT Z" is "ATZ"), else `otherwise`.
    QByteArray answerTo(const QByteArray &line, const QByteArray &otherwise) const
    {
        for (const ScriptedLine::Turn &t : turns)
            if (QByteArray(t.line).replace(' ', "").toUpper() == line)
                return t.answer;
        return otherwise;
    }
};

// The recordings write CR as \r, LF as \n and other bytes as \xNN.
QByteArray unescaped(QByteArray text)
{
    text.replace("\\r", "\r").replace("\\n", "\n");
    for (qsizetype i; (i = text.indexOf("\\x")) >= 0;)
        text.replace(i, 4, QByteArray::fromHex(text.mid(i + 2, 2)));
    return text;
}

QList<Recorded> recorded()
{
    QList<Recorded> all;
    const QDir dir(QStringLiteral(QUORVEX_ELM_FIXTURES));
    for (const QString &name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        Recorded r{name, elm::Bus::Unknown, {}};
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith("# bus:"))
                r.bus = line.contains("iso") ? elm::Bus::Iso : elm::Bus::Can11;
            else if (line.startsWith("> "))
                r.turns.append({line.mid(2), {}});
            else if (line.startsWith("< ") && !r.turns.isEmpty())
                r.turns.back().answer = unescaped(line.mid(2));
        }
        all << r;
    }
    return all;
}

} // namespace

// Conversations recorded from real adapters. Every vehicle answer in them reads as the vehicle's
// messages, the interface's exact replies where the car is known. Where one holds the search,
// the set-up runs on what the adapter answered (the usual answer to a line it does not hold):
// the adapter is named, the bus found, the vehicle reached.
TEST_F(ElmTransportTest, RecordedAdapters)
{
    const QMap<QString, std::pair<const char *, QByteArray>> known{
        {"clone15_can_init.txt", {"010009", vehicle("486B104100FFFFFFFF", 9)}},
        {"clone15_iso9141_bus_init.txt", {"010009", vehicle("486B114100BE1FB810", 9)}},
        {"can_vin_headers.txt", {"090208", "RWP0ZZZ99ZTS392124"}},
    };
    int answers = 0;
    int setUps = 0;
    for (const Recorded &r : recorded()) {
        SCOPED_TRACE(r.name.toStdString());
        for (const auto &[sent, answer] : r.turns) {
            if (sent.toUpper().startsWith("AT") || sent.toUpper().startsWith("ST"))
                continue;
            ++answers;
            const elm::Answer parsed =
                elm::parse_answer(answer.left(answer.indexOf('>')), r.bus, sent);
            EXPECT_EQ(parsed.status, elm::Answer::Status::Data) << sent.constData();
            if (known.contains(r.name)) {
                const auto &[command, expected] = known.value(r.name);
                EXPECT_EQ(elm::interface_reply(elm::parse_command(command), parsed), expected);
            }
        }
        const QByteArray search = r.answerTo("0100", {});
        if (search.isEmpty())
            continue;
        ++setUps;
        const bool iso = r.bus == elm::Bus::Iso;
        Turns script;
        for (const char *line : {"ATZ", "ATE0", "ATL0", "ATS0", "ATH1", "ATAT2", "ATSP0"})
            script += {line, r.answerTo(line, "OK\r\r>")};
        script += {{"STDI", r.answerTo("STDI", "?\r\r>")},
                   {"0100", search},
                   {"ATDPN", r.answerTo("ATDPN", iso ? "A3\r\r>" : "A6\r\r>")}};
        if (!iso)
            script += ScriptedLine::Turn{"ATSH7E0", "OK\r\r>"};
        script += ScriptedLine::Turn{"ATRV", r.answerTo("ATRV", "?\r\r>")};
        start(script);
        EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
        EXPECT_EQ(elm.identity(), QStringLiteral("ELM327 v1.5"));
        EXPECT_EQ(elm.bus(), r.bus);
        expectScriptPlayed();
    }
    EXPECT_GE(answers, 3);
    EXPECT_GE(setUps, 2);
}

namespace {

// An ISO 9141 answer with headers: the bytes, their checksum, the prompt. Without bytes, the
// engine's support answer.
QByteArray iso_line_answer(const QByteArray &hex = "48 6B 10 41 00 BE 3F A8 13")
{
    QByteArray bytes = QByteArray::fromHex(QByteArray(hex).replace(' ', QByteArray()));
    quint8 sum = 0;
    for (const char b : bytes)
        sum = static_cast<quint8>(sum + static_cast<quint8>(b));
    bytes.append(static_cast<char>(sum));
    return bytes.toHex(' ').toUpper() + " \r\r>";
}

// The set-up of a clone on CAN, with the engine (7E8) supporting 01, 03-07, 0B-11, 13, 15, 1C,
// 1F, 20: requests go to it alone from then on.
Turns canSetUp()
{
    return cloneSetUp(kFound) + Turns{{"ATSH7E0", "OK\r\r>"}, {"ATRV", "12.3V\r\r>"}};
}

} // namespace

// The commands of a pass go to the ECU in one request, whose answer (several frames) gives each
// command its own reply; while the pass lasts a command asked again is answered from it. After
// the pass every command is asked again.
TEST_F(ElmTransportTest, ThePassesCommandsInOneRequest)
{
    start(canSetUp() +
          Turns{{"010C0D0F1", "7E8 10 08 41 0D 32 0C 1A F8 0F \r7E8 21 50 00 00 00 00 00 00 \r\r>"},
                // after the pass: alone, and the PID 0A the ECU did not announce alone too
                {"010C1", "7E8 04 41 0C 1B 00 \r\r>"},
                {"010C0F1", "7E8 06 41 0C 1B 00 0F 51 \r\r>"},
                {"010A1", "NO DATA\r\r>"}});
    ASSERT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    {
        const PassAnnouncement pass(ctx, {"010C07", "010D06", "010F06"});
        EXPECT_EQ(rpm().reply, QString::fromLatin1(vehicle("486B10410C1AF8", 7)));
        EXPECT_EQ(get_ecu_PID(ctx, "01", "0F", "06").reply,
                  QString::fromLatin1(vehicle("486B10410F50", 6)));
        EXPECT_EQ(get_ecu_PID(ctx, "01", "0D", "06").reply,
                  QString::fromLatin1(vehicle("486B10410D32", 6)));
        EXPECT_EQ(rpm().reply, QString::fromLatin1(vehicle("486B10410C1AF8", 7)));
    }
    EXPECT_EQ(rpm().reply, QString::fromLatin1(vehicle("486B10410C1B00", 7)));
    {
        // 0A is not supported: it goes alone, after the others.
        const PassAnnouncement pass(ctx, {"010C07", "010A06", "010F06"});
        EXPECT_EQ(rpm().status, ExchangeStatus::Ok);
        EXPECT_EQ(get_ecu_PID(ctx, "01", "0A", "06").status, ExchangeStatus::EcuTimeout);
        EXPECT_EQ(get_ecu_PID(ctx, "01", "0F", "06").reply,
                  QString::fromLatin1(vehicle("486B10410F51", 6)));
    }
    expectScriptPlayed();
}

// A pass told again part way keeps the replies in hand for the commands it names again; PID 00
// goes with the others, and what its answer says the ECU supports counts from then on (here 12,
// which the search's answer did not have). The empty list ends the pass, whatever came before.
TEST_F(ElmTransportTest, APassToldAgainKeepsItsRepliesAndPid00GoesWithTheOthers)
{
    start(canSetUp() +
          Turns{{"01000C0D0F1", "7E8 10 0D 41 00 BE 3F E8 13 \r7E8 21 0C 1A F8 0D 32 0F 50 \r\r>"},
                {"0112131", "7E8 05 41 12 04 13 03 \r\r>"},
                {"010F1", "7E8 03 41 0F 51 \r\r>"}, // not named again: asked again
                {"010C1", "7E8 04 41 0C 1B 00 \r\r>"}});
    ASSERT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    {
        const PassAnnouncement pass(ctx, {"010009", "010C07", "010D06", "010F06"});
        EXPECT_EQ(get_ecu_PID(ctx, "01", "00", "09").reply,
                  QString::fromLatin1(vehicle("486B104100BE3FE813", 9)));
        {
            const PassAnnouncement rest(ctx, {"010C07", "010D06", "011206", "011306"});
            EXPECT_EQ(rpm().reply, QString::fromLatin1(vehicle("486B10410C1AF8", 7)));
            EXPECT_EQ(get_ecu_PID(ctx, "01", "0D", "06").reply,
                      QString::fromLatin1(vehicle("486B10410D32", 6)));
            EXPECT_EQ(get_ecu_PID(ctx, "01", "12", "06").reply,
                      QString::fromLatin1(vehicle("486B10411204", 6)));
            EXPECT_EQ(get_ecu_PID(ctx, "01", "13", "06").reply,
                      QString::fromLatin1(vehicle("486B10411303", 6)));
            EXPECT_EQ(get_ecu_PID(ctx, "01", "0F", "06").reply,
                      QString::fromLatin1(vehicle("486B10410F51", 6)));
        }
        EXPECT_EQ(rpm().reply, QString::fromLatin1(vehicle("486B10410C1B00", 7)));
    }
    expectScriptPlayed();
}

// A PID the ECU left out of its answer is that item's failure; the others are read.
TEST_F(ElmTransportTest, APidMissingFromTheAnswerIsThatItemsFailure)
{
    start(canSetUp() + Turns{{"010C0D0F1", "7E8 06 41 0C 1A F8 0F 50 \r\r>"}});
    ASSERT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    const PassAnnouncement pass(ctx, {"010C07", "010D06", "010F06"});
    EXPECT_EQ(rpm().status, ExchangeStatus::Ok);
    EXPECT_EQ(get_ecu_PID(ctx, "01", "0D", "06").status, ExchangeStatus::EcuTimeout);
    EXPECT_EQ(get_ecu_PID(ctx, "01", "0F", "06").status, ExchangeStatus::Ok);
    expectScriptPlayed();
}

// An ECU that refuses a request for several PIDs, answers only the first, or answers in a layout
// that does not add up: its commands are asked one a request until the next connection, and
// none of them fails for it.
TEST_F(ElmTransportTest, EcusThatTakeOnePidARequest)
{
    for (const QByteArray &answer :
         {QByteArray("7E8 03 7F 01 12 \r\r>"), QByteArray("NO DATA\r\r>"),
          QByteArray("7E8 05 41 0C 1A 0D 32 \r\r>")}) {
        SCOPED_TRACE(answer.constData());
        start(canSetUp() + Turns{{"010C0D1", answer},
                                 {"010C1", "7E8 04 41 0C 1A F8 \r\r>"},
                                 {"010D1", "7E8 03 41 0D 32 \r\r>"},
                                 {"010C1", "7E8 04 41 0C 1A F8 \r\r>"}});
        ASSERT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
        for (int pass = 0; pass < 2; ++pass) {
            const PassAnnouncement announced(ctx, {"010C07", "010D06"});
            EXPECT_EQ(rpm().reply, QString::fromLatin1(vehicle("486B10410C1AF8", 7)));
            if (pass == 0) {
                EXPECT_EQ(get_ecu_PID(ctx, "01", "0D", "06").reply,
                          QString::fromLatin1(vehicle("486B10410D32", 6)));
            }
        }
        expectScriptPlayed();
    }

    // The first PID alone: that one is read from it, the rest asked alone.
    start(canSetUp() + Turns{{"010C0D1", "7E8 04 41 0C 1A F8 \r\r>"},
                             {"010D1", "7E8 03 41 0D 32 \r\r>"},
                             {"010C1", "7E8 04 41 0C 1A F8 \r\r>"}});
    ASSERT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    {
        const PassAnnouncement announced(ctx, {"010C07", "010D06"});
        EXPECT_EQ(rpm().status, ExchangeStatus::Ok);
        EXPECT_EQ(get_ecu_PID(ctx, "01", "0D", "06").status, ExchangeStatus::Ok);
    }
    const PassAnnouncement again(ctx, {"010C07", "010D06"});
    EXPECT_EQ(rpm().status, ExchangeStatus::Ok);
    expectScriptPlayed();
}

// The older buses take one PID a request, whatever the pass.
TEST_F(ElmTransportTest, IsoAsksOnePidARequest)
{
    start(cloneSetUp(iso_line_answer(), "A3\r\r>") +
          Turns{{"ATRV", "12.3V\r\r>"},
                {"010C1", iso_line_answer("48 6B 10 41 0C 1A F8")},
                {"010D1", iso_line_answer("48 6B 10 41 0D 32")}});
    ASSERT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    const PassAnnouncement pass(ctx, {"010C07", "010D06"});
    EXPECT_EQ(rpm().status, ExchangeStatus::Ok);
    EXPECT_EQ(get_ecu_PID(ctx, "01", "0D", "06").status, ExchangeStatus::Ok);
    expectScriptPlayed();
}

// The adapter's time-out follows the answers seen once there are enough of them; a request
// that finds no answer under it is asked again with the default before the ECU counts as not
// answering. An adapter that refuses ATST keeps its own.
TEST_F(ElmTransportTest, LearnedTimeOutNeverCostsAnAnswer)
{
    const QByteArray answer = "7E8 04 41 0C 1A F8 \r\r>";
    Turns script = canSetUp();
    for (int n = 0; n < Elm327Transport::kTimedAnswers; ++n)
        script += {"010C1", answer};
    script +=
        {{"ATST08", "OK\r\r>"}, {"010C1", "NO DATA\r\r>"}, // too slow for the learned time-out
         {"ATST32", "OK\r\r>"}, {"010C1", answer},
         {"ATST08", "OK\r\r>"}, {"010C1", "NO DATA\r\r>"}, // no answer at all
         {"ATST32", "OK\r\r>"}, {"010C1", "NO DATA\r\r>"}};
    start(script);
    ASSERT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    for (int n = 0; n < Elm327Transport::kTimedAnswers; ++n)
        EXPECT_EQ(rpm().status, ExchangeStatus::Ok);
    EXPECT_EQ(rpm().reply, QString::fromLatin1(vehicle("486B10410C1AF8", 7)));
    EXPECT_EQ(elm.timeoutUnits(), Elm327Transport::kDefaultTimeoutUnits);
    EXPECT_EQ(rpm().status, ExchangeStatus::EcuTimeout);
    expectScriptPlayed();

    script = canSetUp();
    for (int n = 0; n < Elm327Transport::kTimedAnswers; ++n)
        script += {"010C1", answer};
    script += {{"ATST08", "?\r\r>"}, {"010C1", "NO DATA\r\r>"}, {"010C1", answer}};
    start(script);
    ASSERT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    for (int n = 0; n < Elm327Transport::kTimedAnswers; ++n)
        EXPECT_EQ(rpm().status, ExchangeStatus::Ok);
    EXPECT_EQ(rpm().status, ExchangeStatus::EcuTimeout); // the default was never left
    EXPECT_EQ(rpm().status, ExchangeStatus::Ok);
    expectScriptPlayed();
}

// What the adapter says of itself: its identity, an STN chip's, the bus in words, the battery
// voltage again when asked; a clone that refuses a command leaves that item out.
TEST_F(ElmTransportTest, TheAdaptersFigures)
{
    int changes = 0;
    QObject::connect(&elm, &Elm327Transport::figuresChanged, [&] { ++changes; });
    Turns script = canSetUp();
    script[7] = {"STDI", "STN1110 v4.2.0\r\r>"};
    start(script + Turns{{"ATRV", "13.9V\r\r>"}, {"ATRV", "?\r\r>"}});
    ASSERT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    EXPECT_TRUE(clock.runUntil([this] { return !elm.figures().battery.isEmpty(); }));
    Elm327Transport::Figures f = elm.figures();
    EXPECT_EQ(f.identity, QStringLiteral("ELM327 v1.5"));
    EXPECT_EQ(f.device, QStringLiteral("STN1110 v4.2.0"));
    EXPECT_EQ(f.protocol, QStringLiteral("ISO 15765-4 CAN 11-bit 500 kbaud"));
    EXPECT_EQ(f.battery, QStringLiteral("12.3 V"));
    const int before = changes;
    elm.refreshBattery();
    clock.runUntil([this] { return elm.figures().battery == QStringLiteral("13.9 V"); });
    EXPECT_GT(changes, before);
    elm.refreshBattery();
    EXPECT_TRUE(clock.runUntil([this] { return elm.figures().battery.isEmpty(); }));
    expectScriptPlayed();
    elm.close();
    EXPECT_TRUE(elm.figures().identity.isEmpty());
}
