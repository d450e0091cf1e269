// Failures never read as data, and the status texts agree with their colours: the main window
// against simulated cars that misbehave in one way each.
#include "windowfixture.h"

using namespace quorvex;
using namespace quorvex::test;

namespace {

// The engine ECU announcing `pids` (else the built-in ones), the data bytes of some pinned.
sim::Ecu engineEcu(QList<quint8> pids = {},
                   std::initializer_list<std::pair<quint8, const char *>> values = {})
{
    sim::Ecu ecu;
    ecu.address = 0x10;
    ecu.monitors = QByteArray::fromHex("000000");
    if (!pids.isEmpty())
        ecu.pids = pids;
    for (const auto &[pid, hex] : values)
        ecu.values[pid] = QByteArray::fromHex(hex);
    return ecu;
}

sim::Scenario carWith(const sim::Ecu &ecu)
{
    sim::Scenario car;
    car.ecus = {ecu};
    return car;
}

using FailuresTest = WindowTest;

class StrayMarkTest : public FailuresTest, public ::testing::WithParamInterface<const char *>
{
};

// Records the indicator's text and colour whenever either changes.
class IndicatorLog : public QObject
{
public:
    explicit IndicatorLog(QLineEdit *indicator)
    {
        indicator->installEventFilter(this);
        connect(indicator, &QLineEdit::textChanged, this, [this, indicator] { note(indicator); });
    }
    bool eventFilter(QObject *indicator, QEvent *event) override
    {
        if (event->type() == QEvent::PaletteChange)
            note(static_cast<QLineEdit *>(indicator));
        return false;
    }
    void note(const QLineEdit *indicator)
    {
        states.append({indicator->text(), indicator->palette().color(QPalette::Base)});
    }
    QList<std::pair<QString, QColor>> states;
};

} // namespace

TEST_F(FailuresTest, FailedItemExchangesListNothing)
{
    // The ECU announces PIDs 01 and 05 but never answers them: no MIL line (no false all-clear),
    // no coolant line from zero bytes; what did answer is listed, and the request ends red.
    sim::Ecu ecu = engineEcu({0x01, 0x04, 0x05, 0x0C}, {{0x04, "80"}, {0x0C, "0BB8"}});
    ecu.silentPids = {0x01, 0x05};
    connectTo(carWith(ecu));
    button("Mode1")->click();
    EXPECT_EQ(report(), QStringLiteral("\r\n"));
    EXPECT_EQ(lines(),
              (QStringList{"Calculated Load --------  50%", "Engine RPM -------------  750RPM"}));
    EXPECT_EQ(status(), QStringLiteral("ECU Timeout"));
    EXPECT_EQ(statusColor(), kRed);
}

TEST_F(FailuresTest, CurrentDataWithoutAFreezeFrameKeepsTheReportAndEveryPid)
{
    connectTo(carWith(
        engineEcu({0x01, 0x02, 0x03, 0x04, 0x06}, {{0x03, "0200"}, {0x04, "80"}, {0x06, "80"}})));
    button("Mode1")->click();
    EXPECT_EQ(report(), QStringLiteral("\r\nMIL is OFF, 0 stored Trouble Code(s)\r\n"
                                       "\r\n No Freeze Frame Data Stored\r\n"
                                       "Fuel Sys1-Closed Loop Mode\r\n\r\n"
                                       "Short Term Fuel Trim----  0%\r\n"));
    EXPECT_EQ(lines(), QStringList{"Calculated Load --------  50%"});
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
}

TEST_F(FailuresTest, FreezeFrameReadsServiceOneItemsWhereServiceOnePutsThem)
{
    // The wide-range sensor is asked on service 01 in a freeze-frame run too: its bytes sit
    // where a service 01 reply has them, and the fuel economy it corrects stays sensible.
    sim::Ecu ecu = engineEcu({0x0D, 0x10, 0x24}, {{0x0D, "64"}, {0x10, "01F4"}, {0x24, "8000"}});
    ecu.freezeFrame = sim::FreezeFrame{.code = QStringLiteral("0301"),
                                       .pids = {0x02, 0x0D, 0x10, 0x24},
                                       .values = {{0x0D, QByteArray::fromHex("64")}}};
    connectTo(carWith(ecu));
    button("Mode1")->click(); // learns the wide-range sensor the fuel economy uses
    button("Mode2")->click();
    EXPECT_EQ(lines(),
              (QStringList{"Speed ------------------  61MPH", "Air Flow ---------------  5gm/sec",
                           "Gas Mileage ------------  189.MPG",
                           "O2S1 Sensor -----------  .999424 Lambda"}));
}

// A ready mark that slipped out between the flush and the command, ahead of each kind of reply.
INSTANTIATE_TEST_SUITE_P(Replies, StrayMarkTest,
                         ::testing::Values("012009", "014009", "02000A", "010009", "010406"));

TEST_P(StrayMarkTest, StrayMarkAheadOfAnyReplyIsStripped)
{
    sim::Ecu ecu = engineEcu({0x04, 0x21, 0x42}, {{0x04, "80"}, {0x21, "03E8"}, {0x42, "3039"}});
    ecu.freezeFrame = sim::FreezeFrame{.code = QStringLiteral("0301"),
                                       .pids = {0x02, 0x04},
                                       .values = {{0x04, QByteArray::fromHex("33")}}};
    sim::Scenario car = carWith(ecu);
    car.faults.strayMarkBefore = {QLatin1String(GetParam())};
    connectTo(car);
    button("Mode1")->click();
    EXPECT_EQ(lines(),
              (QStringList{"Calculated Load --------  50%", "Distance with MIL -----  610Mi",
                           "Control Mod. Voltage---  12.345Volts"}));
    button("Mode2")->click();
    EXPECT_EQ(lines(), QStringList{"Calculated Load --------  20%"});
}

TEST_F(FailuresTest, TroubleCodeLettersFollowTheFirstTwoBits)
{
    // 0-3 P, 4-7 C, 8-B B, C-F U, for stored, pending and freeze-frame codes alike.
    sim::Ecu ecu = engineEcu({0x01, 0x02});
    ecu.mil = true;
    ecu.storedCodes = {"4123", "8123", "D123"};
    ecu.pendingCodes = {"C123", "7001"};
    ecu.freezeFrame =
        sim::FreezeFrame{.code = QStringLiteral("C123"), .pids = {0x02}, .values = {}};
    connectTo(carWith(ecu));
    button("Mode3")->click();
    for (const char *text : {"TC1 -C0123", "TC2 -B0123", "TC3 -U1123", "Pending Code 1 -U0123--",
                             "Pending Code 2 -C3001--"})
        EXPECT_TRUE(report().contains(QLatin1String(text))) << text << report().toStdString();
    button("Mode2")->click();
    EXPECT_TRUE(report().contains(QStringLiteral("Freeze Frame T.C. -U0123")))
        << report().toStdString();
}

TEST_F(FailuresTest, ClearingIsNotSentAfterAFailedReadyCheck)
{
    struct Row
    {
        const char *name;
        sim::Faults faults;
        QColor color;
    };
    const Row rows[] = {{"no vehicle contact", {.noContact = true}, kYellow},
                        {"silent interface", {.silent = true}, kRed}};
    for (const Row &row : rows) {
        makeWindow();
        connectTo(carWith(engineEcu()));
        server->setFaults(row.faults);
        button("Mode4")->click();
        EXPECT_EQ(sent(QStringLiteral("040404")), 0) << row.name;
        EXPECT_EQ(statusColor(), row.color) << row.name;
        EXPECT_NE(report(), QStringLiteral("Operation Failed")) << row.name;
        EXPECT_FALSE(button("Mode4")->isChecked()) << row.name;
    }
}

TEST_F(FailuresTest, GreenAlwaysCarriesATextThatMeansContact)
{
    // A silent interface shows red "ECU Off-Line" while set-up waits; when it speaks again the
    // indicator turns green, and its text must follow.
    sim::Scenario car;
    car.faults.silent = true;
    startSim(car);
    load({QString(), server->devicePath(), QString(), QString()});
    IndicatorLog log(control<QLineEdit>(QStringLiteral("Text1")));
    clock.callAfter(7000, [this] { server->setFaults(sim::Faults{}); }); // past the 5 s bound
    action(QStringLiteral("mnuConnectionCom2"))->trigger(); // Com2: no "Sending FWID" text
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    bool wasOffLine = false;
    for (const auto &[text, color] : log.states) {
        wasOffLine = wasOffLine || text == u"ECU Off-Line";
        EXPECT_FALSE(color == kGreen && text == u"ECU Off-Line");
    }
    EXPECT_TRUE(wasOffLine);
}

TEST_F(FailuresTest, NotUsableRepliesAreAskedAgainTenTimes)
{
    // "S" at character 3: asked again up to ten times (eleven sends), then a time-out.
    const std::tuple<int, const char *, int> rows[] = {
        {10, "ECU Connected", 11},
        {11, "ECU Timeout", 11},
    };
    for (const auto &[retries, text, sends] : rows) {
        makeWindow();
        connectTo();
        server->setFaults({.retryReplies = retries});
        button("Mode1")->click();
        EXPECT_EQ(status(), QLatin1String(text)) << retries;
        EXPECT_EQ(sent(QStringLiteral("010009")), sends) << retries;
    }
}
