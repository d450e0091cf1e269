// The main window: start-up state, help texts, print and exit, and the connection set-up driven
// through the real menus against the simulated interface.
#include "windowfixture.h"

using namespace quorvex;
using namespace quorvex::test;

namespace {
using MainWindowTest = WindowTest;
// The same on each Com port.
class MainWindowPortTest : public WindowTest, public ::testing::WithParamInterface<int>
{
};
INSTANTIATE_TEST_SUITE_P(Ports, MainWindowPortTest, ::testing::Values(1, 2, 3, 4));
} // namespace

TEST_F(MainWindowTest, StartUpStateAndThePortsThatOpen)
{
    startSim();
    load({QString(), QStringLiteral("/nonexistent/tty-quorvex"), server->devicePath(), QString()});
    EXPECT_EQ(status(), QStringLiteral("ECU Off-Line"));
    EXPECT_EQ(statusColor(), kRed);
    EXPECT_FALSE(anyServiceEnabled());
    EXPECT_FALSE(button("Mode5")->isEnabled());
    EXPECT_TRUE(button("Mode5")->isHidden());
    for (const char *name : {"mnuDataLogLog", "mnuMode6", "mnuAF", "mnuFTM"})
        EXPECT_FALSE(action(QLatin1String(name))->isEnabled()) << name;
    for (int port = 1; port <= 4; ++port)
        EXPECT_EQ(action(QStringLiteral("mnuConnectionCom%1").arg(port))->isEnabled(), port == 3);
    // A device that cannot be opened says which and why.
    EXPECT_TRUE(action(QStringLiteral("mnuConnectionCom2"))
                    ->statusTip()
                    .contains(QStringLiteral("/nonexistent/tty-quorvex")));
}

TEST_F(MainWindowTest, DebugModeAlternates)
{
    load();
    for (int click = 0; click < 3; ++click)
        window->mnuDebugMode_Click();
    EXPECT_EQ(boxes(), (QStringList{"Debug Mode is turned ON", "Debug Mode is turned OFF",
                                    "Debug Mode is turned ON"}));
    EXPECT_TRUE(window->context().state.DebugMode);
}

TEST_F(MainWindowTest, PrintSendsTheThreeAreasInOrder)
{
    startSim();
    connectCom(1);
    window->Command2_Click(); // nothing listed yet: the VIN and the report only
    button("Mode1")->click();
    window->Command2_Click();
    ASSERT_EQ(prompts.printed.size(), 2);
    EXPECT_EQ(prompts.printed[0].size(), 2);
    EXPECT_EQ(prompts.printed[1], (QStringList{"VIN= 1XV0A12345R000001", report()} + lines()));

    prompts.printerAvailable = false;
    window->Command2_Click();
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_TRUE(boxes()[0].contains(QStringLiteral("No printer")));
}

TEST_F(MainWindowTest, ExitPausesTwoSecondsOnlyWithoutASerialConnection)
{
    load();
    qint64 start = clock.nowMs();
    window->Command1_Click();
    EXPECT_EQ(clock.nowMs() - start, 2001); // until more than two seconds have passed
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(window->isVisible());

    makeWindow();
    quits = 0;
    connectTo();
    start = clock.nowMs();
    window->close(); // closing by the frame runs Exit
    EXPECT_EQ(clock.nowMs(), start);
    EXPECT_EQ(quits, 1);
    window->Command1_Click();
    EXPECT_EQ(quits, 1); // ends once
}

// Set-up waits for vehicle contact in yellow, holding the other ports' menu items (Com2 holds
// USB too, which is unavailable from the start), then shows each stage and enables the services.
TEST_P(MainWindowPortTest, SetUpWaitsForContactShowsEachStageAndEnablesTheServices)
{
    const QStringList held[] = {{"mnuConnectionCom2", "mnuConnectionCom3"},
                                {"mnuConnectionCom1", "mnuConnectionCom3"},
                                {"mnuConnectionCom1", "mnuConnectionCom2"},
                                {"mnuConnectionCom1", "mnuConnectionCom2"}};
    const int port = GetParam();
    sim::Scenario s = sim::defaultScenario();
    s.faults.noContact = true;
    startSim(s);
    std::array<QString, 4> devices;
    devices.fill(server->devicePath()); // every port opens
    load(devices);
    QStringList texts;
    QObject::connect(control<QLineEdit>(QStringLiteral("Text1")), &QLineEdit::textChanged,
                     [&](const QString &t) { texts << t; });
    QStringList heldWhileWaiting;
    QColor colourWhileWaiting;
    clock.callAfter(300, [&] {
        for (int other = 1; other <= 4; ++other) {
            const QString name = QStringLiteral("mnuConnectionCom%1").arg(other);
            if (other != port && !action(name)->isEnabled())
                heldWhileWaiting << name;
        }
        colourWhileWaiting = statusColor();
        server->setFaults(sim::Faults{}); // the car is reached
    });
    action(QStringLiteral("mnuConnectionCom%1").arg(port))->trigger();
    EXPECT_EQ(heldWhileWaiting, held[port - 1]);
    EXPECT_EQ(colourWhileWaiting, kYellow);
    EXPECT_EQ(texts.first(), QStringLiteral("Waiting for ECU"));
    EXPECT_EQ(texts.contains(QStringLiteral("Sending FWID")), port == 1);
    EXPECT_EQ(texts.last(), QStringLiteral("ECU Connected"));
    EXPECT_EQ(statusColor(), kGreen);
    EXPECT_EQ(control<QLabel>(QStringLiteral("Label7"))->text(), QStringLiteral("F/W: V3.40"));
    EXPECT_EQ(control<QLineEdit>(QStringLiteral("Text2"))->text(),
              QStringLiteral("VIN= 1XV0A12345R000001"));
    EXPECT_TRUE(button("Mode1")->isEnabled() && button("ChangeECU")->isEnabled());
    EXPECT_FALSE(button("Mode5")->isHidden()); // 3.40 > 3.09
    EXPECT_FALSE(control<QMenu>(QStringLiteral("mnuCom"))->isEnabled());
    EXPECT_EQ(server->lineBaud(), 19200);
}

TEST_F(MainWindowTest, SpeedChoiceAndOldFirmware)
{
    sim::Scenario s = sim::defaultScenario();
    s.firmware = QStringLiteral("V3.09");
    startSim(s);
    load({server->devicePath(), QString(), QString(), QString()});
    action(QStringLiteral("mnu9600"))->trigger();
    action(QStringLiteral("mnuConnectionCom1"))->trigger();
    EXPECT_EQ(server->lineBaud(), 9600);
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    EXPECT_TRUE(button("Mode5")->isHidden());
}

TEST_F(MainWindowTest, UnpluggedIdleAdapterOffersTheConnectionMenuAgain)
{
    connectTo();
    server->hangUp();
    expectOffLine();
    // The event that closed the line, on the device the user chose.
    EXPECT_EQ(report(), "\r\nThe scan interface was disconnected (" + server->devicePath() +
                            " became unavailable: the device was removed or stopped working).");
}

TEST_F(MainWindowTest, CurrentDataAndChangeEcuButtons)
{
    connectTo();
    button("Mode1")->click();
    EXPECT_EQ(control<QLabel>(QStringLiteral("Label6"))->text(), QStringLiteral("ECU #=10\r\n"));
    button("ChangeECU")->click();
    EXPECT_EQ(button("ChangeECU")->text(), QStringLiteral("Toggle ECU"));
    EXPECT_FALSE(button("ChangeECU")->isChecked());
    EXPECT_EQ(control<QLabel>(QStringLiteral("Label6"))->text(), QStringLiteral("ECU #=18\r\n"));
    EXPECT_TRUE(server->commands().contains(QStringLiteral("800204")));
}
