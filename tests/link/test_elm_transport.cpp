// The ELM327 driver on a serial line whose far end plays back an adapter's side of the
// conversation: the set-up it sends, the ready marks it makes, the requests it sends for the
// program's commands and the replies it gives back in the scan interface's layout.
#include "connection.h"
#include "elm327transport.h"
#include "items.h"
#include "obdcontext.h"
#include "protocol.h"
#include "scriptedtty.h"
#include "settle.h"
#include "simreplies.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTimer>

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

// A clone of the common kind: it refuses ATS0 and STDI, and answers on CAN with headers.
QList<ScriptedTty::Turn> cloneSetUp(const QByteArray &search,
                                    const QByteArray &protocol = "A6\r\r>")
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

class ElmTransportTest : public ::testing::Test
{
protected:
    void start(QList<ScriptedTty::Turn> script)
    {
        tty = std::make_unique<ScriptedTty>(std::move(script));
        QString error;
        ASSERT_TRUE(elm.open({tty->devicePath(), 38400}, &error)) << error.toStdString();
        ctx.attachSerial(&elm);
        ctx.state.UseSerial = true;
        ctx.bounds.silentMs = 1500;
        QObject::connect(&ctx, &ObdContext::linkLost, [this] { ++lost; });
    }
    QByteArray vehicle(const char *message, int length)
    {
        return sim::vehicleReply(QByteArray::fromHex(message), length);
    }

    std::unique_ptr<ScriptedTty> tty;
    Elm327Transport elm;
    ObdContext ctx;
    int lost = 0;
};

} // namespace

TEST_F(ElmTransportTest, SetUpThenEveryCommandInTheInterfacesLayout)
{
    QList<ScriptedTty::Turn> script = cloneSetUp(kFound);
    // Two ECUs answered the search: requests go to the first alone, then to the other.
    script += {{"ATSH7E0", "OK\r\r>"},
               {"010C1", "7E8 04 41 0C 1A F8 \r\r>"},
               {"03", "7E8 10 0C 43 05 01 33 01 71 \r7E8 21 04 20 03 00 C1 00 00 \r\r>"},
               {"ATSH7E1", "OK\r\r>"},
               {"010C1", "7E9 04 41 0C 00 64 \r\r>"}};
    start(script);
    // Ready once the adapter is set up and the vehicle found.
    EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    EXPECT_EQ(elm.identity(), QStringLiteral("ELM327 v1.5"));
    EXPECT_EQ(elm.bus(), elm::Bus::Can11);

    const FirmwareId firmware = exchange_firmware_id(ctx);
    EXPECT_EQ(firmware.id, QStringLiteral("E3.40"));
    const Exchange rpm =
        get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0C"), QStringLiteral("07"));
    EXPECT_EQ(rpm.reply, QString::fromLatin1(vehicle("486B10410C1AF8", 7)));

    ExchangeRequest codes;
    codes.command = QStringLiteral("030A0A");
    codes.threshold = 21;
    const Exchange stored = exchange(ctx, codes);
    ASSERT_TRUE(stored.ok());
    EXPECT_TRUE(stored.reply.startsWith(QString::fromLatin1(vehicle("486B1043013301710420", 10) +
                                                            vehicle("486B10430300C1000000", 10))))
        << stored.reply.toStdString();

    // "800204" switches to the other ECU: its answers from now on.
    EXPECT_EQ(exchange_change_ecu(ctx), ExchangeStatus::Ok);
    const Exchange second =
        get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0C"), QStringLiteral("07"));
    EXPECT_EQ(second.reply, QString::fromLatin1(vehicle("486B18410C0064", 7)));
    EXPECT_TRUE(tty->scriptDone());
    EXPECT_TRUE(tty->unexpected().isEmpty()) << tty->unexpected().join('|').toStdString();
}

// An adapter older than the count hint answers "?" to it: the request goes again without it,
// and after three such answers no request carries one.
TEST_F(ElmTransportTest, AdapterThatRefusesTheCountHint)
{
    QList<ScriptedTty::Turn> script = cloneSetUp(kFound);
    script += {{"ATSH7E0", "OK\r\r>"}};
    for (int refused = 0; refused < 3; ++refused)
        script += {{"010C1", "?\r\r>"}, {"010C", "7E8 04 41 0C 1A F8 \r\r>"}};
    script +=
        {{"010C", "7E8 04 41 0C 1A F8 \r\r>"}, {"020000", "7E8 07 42 00 00 7E 1F 80 00 \r\r>"}};
    start(script);
    ASSERT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    for (int n = 0; n < 4; ++n) {
        const Exchange rpm =
            get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0C"), QStringLiteral("07"));
        EXPECT_EQ(rpm.reply, QString::fromLatin1(vehicle("486B10410C1AF8", 7))) << n;
    }
    ExchangeRequest frame;
    frame.command = QStringLiteral("02000A");
    frame.threshold = 21;
    EXPECT_EQ(exchange(ctx, frame).reply, QString::fromLatin1(vehicle("486B104200007E1F8000", 10)));
    EXPECT_TRUE(tty->scriptDone());
    EXPECT_TRUE(tty->unexpected().isEmpty()) << tty->unexpected().join('|').toStdString();
}

TEST_F(ElmTransportTest, WithoutTheVehicleTheMarksSayP)
{
    start(cloneSetUp("SEARCHING...\rUNABLE TO CONNECT\r\r>", "A0\r\r>"));
    EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::NoContact);
    EXPECT_TRUE(ctx.state.StopFlag);
    EXPECT_EQ(elm.bus(), elm::Bus::Unknown);
    EXPECT_TRUE(tty->scriptDone());
}

TEST_F(ElmTransportTest, AdapterUnpluggedMidRequestIsALostLink)
{
    QList<ScriptedTty::Turn> script = cloneSetUp(kFound);
    script += {{"ATSH7E0", "OK\r\r>"}, {"010C1", ""}}; // never answered
    start(script);
    ASSERT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    QTimer::singleShot(100, [this] { tty.reset(); });
    const Exchange rpm =
        get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0C"), QStringLiteral("07"));
    EXPECT_EQ(rpm.status, ExchangeStatus::LinkLost);
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(elm.isOpen());
}

namespace {

// The answers a recorded conversation gave to the lines the driver sends.
QMap<QByteArray, QByteArray> recordedAnswers(const QString &path, bool *iso)
{
    QMap<QByteArray, QByteArray> answers;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return answers;
    QByteArray sent;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("# bus:"))
            *iso = line.contains("iso");
        else if (line.startsWith("> "))
            sent = line.mid(2).toUpper().replace(" ", "");
        else if (line.startsWith("< ") && !answers.contains(sent)) {
            QByteArray raw = line.mid(2);
            raw.replace("\\r", "\r").replace("\\n", "\n");
            answers.insert(sent, raw);
        }
    }
    return answers;
}

} // namespace

// The set-up against what real adapters answered (where a conversation holds the driver's
// line; the usual answer where it does not): the adapter is named, the bus found, the vehicle
// reached.
TEST_F(ElmTransportTest, SetUpOnRecordedAdapters)
{
    const QDir dir(QStringLiteral(QUORVEX_ELM_FIXTURES));
    int used = 0;
    for (const QString &name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files)) {
        bool iso = false;
        const QMap<QByteArray, QByteArray> recorded = recordedAnswers(dir.filePath(name), &iso);
        if (!recorded.contains("0100"))
            continue;
        ++used;
        QList<ScriptedTty::Turn> script;
        for (const char *line : {"ATZ", "ATE0", "ATL0", "ATS0", "ATH1", "ATSP0", "STDI"})
            script.append(ScriptedTty::Turn{
                line,
                recorded.value(line, QByteArray(line).startsWith("ST") ? "?\r\r>" : "OK\r\r>")});
        script.append(ScriptedTty::Turn{"0100", recorded.value("0100")});
        script.append(
            ScriptedTty::Turn{"ATDPN", recorded.value("ATDPN", iso ? "A3\r\r>" : "A6\r\r>")});
        if (!iso)
            script.append(ScriptedTty::Turn{"ATSH7E0", "OK\r\r>"});
        SCOPED_TRACE(name.toStdString());
        start(script);
        EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
        EXPECT_TRUE(elm.identity().startsWith(QStringLiteral("ELM327 v")))
            << elm.identity().toStdString();
        EXPECT_EQ(elm.bus(), iso ? elm::Bus::Iso : elm::Bus::Can11);
        EXPECT_TRUE(wait_until([this] { return tty->scriptDone(); }, 1000));
        EXPECT_TRUE(tty->unexpected().isEmpty());
        elm.close();
    }
    EXPECT_GE(used, 2);
}
