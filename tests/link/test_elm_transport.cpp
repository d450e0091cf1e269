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
                                     {"010C1", "7E8 04 41 0C 1A F8 \r\r>"},
                                     {"ATSH7E1", "OK\r\r>"},
                                     {"010C1", "7E9 04 41 0C 00 64 \r\r>"},
                                     {"010C1", ""}}); // never answered
    EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    EXPECT_EQ(elm.identity(), QStringLiteral("ELM327 v1.5"));
    EXPECT_EQ(elm.bus(), elm::Bus::Can11);

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

// An adapter older than the count hint answers "?" to it: the request goes again without it,
// and after three such answers no request carries one.
TEST_F(ElmTransportTest, AdapterThatRefusesTheCountHint)
{
    Turns script = cloneSetUp(kFound) + Turns{{"ATSH7E0", "OK\r\r>"}};
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
        for (const char *line : {"ATZ", "ATE0", "ATL0", "ATS0", "ATH1", "ATSP0"})
            script += {line, r.answerTo(line, "OK\r\r>")};
        script += {{"STDI", r.answerTo("STDI", "?\r\r>")},
                   {"0100", search},
                   {"ATDPN", r.answerTo("ATDPN", iso ? "A3\r\r>" : "A6\r\r>")}};
        if (!iso)
            script += ScriptedLine::Turn{"ATSH7E0", "OK\r\r>"};
        start(script);
        EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
        EXPECT_EQ(elm.identity(), QStringLiteral("ELM327 v1.5"));
        EXPECT_EQ(elm.bus(), r.bus);
        expectScriptPlayed();
    }
    EXPECT_GE(answers, 3);
    EXPECT_GE(setUps, 2);
}
