// The main window: control names for assistive tools, start-up state, help texts, print and
// exit, and the connection set-up driven through the real menus against the simulated
// interface.
#include "windowfixture.h"

#include <QAccessible>
#include <QGroupBox>

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

// Every control and menu item carries its program name where the accessibility tree shows it;
// a control added without one, or a text box without the caption of the label beside it, is
// what this catches.
TEST_F(MainWindowTest, ControlsAndMenusAreNamedForAssistiveTools)
{
    QStringList unnamed;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        const QString name = w->objectName();
        if (!name.isEmpty() && !name.startsWith(u"qt_") && w->accessibleDescription() != name)
            unnamed << w->objectName();
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(u' ').toStdString();
    for (const char *name : {"Mode1", "Mode2", "Mode3", "Mode4", "Mode5", "ChangeECU", "Text1",
                             "Text2", "textECU", "List1", "Label1", "Label3", "Command1"})
        EXPECT_NE(control(QLatin1String(name)), nullptr) << name;
    EXPECT_EQ(control<QLineEdit>(QStringLiteral("Text1"))->accessibleName(),
              QStringLiteral("ECU Status"));
    EXPECT_EQ(control<QPlainTextEdit>(QStringLiteral("textECU"))->accessibleName(),
              QStringLiteral("Vehicle Test Status/Trouble Code Window"));
    EXPECT_EQ(control<QListWidget>(QStringLiteral("List1"))->accessibleName(),
              QStringLiteral("Vehicle Data Window"));

    // Qt's own menu items report no description at all: ours give the program name, and the
    // caption without its access key as the name.
    for (const char *name : {"mnuLog", "mnuDataLogLog", "mnuCom", "mnuUSB", "mnuConnectionCom1",
                             "mnu9600", "mnuMode6", "mnuUnits", "mnuUnitsMetric", "mnuDebugMode"}) {
        QAction *a = action(QLatin1String(name));
        ASSERT_NE(a, nullptr) << name;
        EXPECT_FALSE(a->isCheckable()) << name;
        QAccessibleInterface *item = QAccessible::queryAccessibleInterface(a);
        ASSERT_NE(item, nullptr) << name;
        EXPECT_EQ(item->text(QAccessible::Description), QLatin1String(name));
        EXPECT_EQ(item->text(QAccessible::Name), QString(a->text()).remove(u'&')) << name;
        EXPECT_EQ(item->role(), QAccessible::MenuItem) << name;
    }
}

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
    EXPECT_EQ(window->mainState().BaudRate, 19200);
    EXPECT_FALSE(window->context().state.UseSerial || window->context().state.DebugMode ||
                 window->context().state.StopFlag || window->liveData().UnitsMetric);
}

TEST_F(MainWindowTest, DebugModeAlternatesAndUnitsOnlySwitch)
{
    load();
    for (const char *text :
         {"Debug Mode is turned ON", "Debug Mode is turned OFF", "Debug Mode is turned ON"}) {
        window->mnuDebugMode_Click();
        EXPECT_EQ(prompts.boxes.last().text, QLatin1String(text));
    }
    EXPECT_TRUE(window->context().state.DebugMode);
    action(QStringLiteral("mnuUnitsMetric"))->trigger();
    EXPECT_TRUE(window->liveData().UnitsMetric);
    action(QStringLiteral("mnuUnitsEnglish"))->trigger();
    EXPECT_FALSE(window->liveData().UnitsMetric);
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
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_TRUE(prompts.boxes[0].text.contains(QStringLiteral("No printer")));
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
    startSim();
    connectCom(1);
    ASSERT_EQ(status(), QStringLiteral("ECU Connected"));
    start = clock.nowMs();
    window->close(); // closing by the frame runs Exit
    EXPECT_EQ(clock.nowMs(), start);
    EXPECT_EQ(quits, 1);
    window->Command1_Click();
    EXPECT_EQ(quits, 1); // ends once
}

TEST_P(MainWindowPortTest, ConnectingShowsEachStageAndEnablesTheServices)
{
    const int port = GetParam();
    startSim();
    std::array<QString, 4> devices{};
    devices[static_cast<size_t>(port - 1)] = server->devicePath();
    load(devices);
    QStringList texts;
    QObject::connect(control<QLineEdit>(QStringLiteral("Text1")), &QLineEdit::textChanged,
                     [&](const QString &t) { texts << t; });
    action(QStringLiteral("mnuConnectionCom%1").arg(port))->trigger();
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

TEST_P(MainWindowPortTest, SetUpHoldsItsMenuItemsWhileWaitingForContact)
{
    // Which items each port's set-up holds while it waits (Com2 holds USB too, which is
    // unavailable from the start).
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
    QStringList disabledWhileWaiting;
    QColor colourWhileWaiting;
    clock.callAfter(300, [&] {
        for (int other = 1; other <= 4; ++other) {
            const QString name = QStringLiteral("mnuConnectionCom%1").arg(other);
            if (other != port && !action(name)->isEnabled())
                disabledWhileWaiting << name;
        }
        colourWhileWaiting = statusColor();
        server->setFaults(sim::Faults{}); // the car is reached
    });
    action(QStringLiteral("mnuConnectionCom%1").arg(port))->trigger();
    EXPECT_EQ(disabledWhileWaiting, held[port - 1]);
    EXPECT_EQ(colourWhileWaiting, kYellow);
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
}

TEST_F(MainWindowTest, UnpluggedIdleAdapterOffersTheConnectionMenuAgain)
{
    startSim();
    connectCom(1);
    ASSERT_EQ(status(), QStringLiteral("ECU Connected"));
    server->hangUp();
    EXPECT_EQ(status(), QStringLiteral("ECU Off-Line"));
    EXPECT_EQ(statusColor(), kRed);
    EXPECT_TRUE(connectionMenuOffered());
    EXPECT_FALSE(anyServiceEnabled());
    // The event that closed the line, on the device the user chose.
    EXPECT_EQ(report(), "\r\nThe scan interface was disconnected (" + server->devicePath() +
                            " became unavailable: the device was removed or stopped working).");
}

TEST_F(MainWindowTest, CurrentDataAndChangeEcuButtons)
{
    startSim();
    connectCom(1);
    button("Mode1")->click();
    EXPECT_EQ(control<QLabel>(QStringLiteral("Label6"))->text(), QStringLiteral("ECU #=10\r\n"));
    EXPECT_FALSE(button("Mode1")->isChecked()); // released at the end
    EXPECT_EQ(window->ListPID().size(), lines().size());
    button("ChangeECU")->click();
    EXPECT_EQ(button("ChangeECU")->text(), QStringLiteral("Toggle ECU"));
    EXPECT_FALSE(button("ChangeECU")->isChecked());
    EXPECT_EQ(control<QLabel>(QStringLiteral("Label6"))->text(), QStringLiteral("ECU #=18\r\n"));
    EXPECT_TRUE(server->commands().contains(QStringLiteral("800204")));
}
