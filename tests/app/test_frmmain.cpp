// The main window: its controls and menus, start-up state, help texts, print and exit, and
// the connection set-up driven through the real menus against the simulated interface.
#include "frmmain.h"
#include "recording.h"
#include "simserver.h"

#include <QAccessible>
#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace quorvex;
using namespace quorvex::test;

namespace {

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<frmMain>(prompts);
        window->setQuitHandler([this] { ++quits; });
        window->context().bounds.silentMs = 1500;
    }
    void TearDown() override
    {
        window.reset();
        server.reset();
    }

    void startSim(sim::Scenario scenario = sim::defaultScenario())
    {
        server = std::make_unique<sim::Server>(std::move(scenario));
        QString error;
        ASSERT_TRUE(server->start(&error)) << error.toStdString();
    }
    void load(std::array<QString, 4> devices = {})
    {
        window->setComDevices(devices);
        window->Form_Load();
    }
    void connectCom(int port)
    {
        std::array<QString, 4> devices{};
        devices[static_cast<size_t>(port - 1)] = server->devicePath();
        load(devices);
        action(QStringLiteral("mnuConnectionCom%1").arg(port))->trigger();
    }

    template <typename T = QWidget> T *control(const QString &name) const
    {
        T *w = window->findChild<T *>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QAction *action(const QString &name) const { return control<QAction>(name); }
    QString status() const { return control<QLineEdit>(QStringLiteral("Text1"))->text(); }
    QColor statusColor() const
    {
        return control<QLineEdit>(QStringLiteral("Text1"))->palette().color(QPalette::Base);
    }

    RecordingPrompts prompts;
    std::unique_ptr<frmMain> window;
    std::unique_ptr<sim::Server> server;
    int quits = 0;
};

const QColor kRed(255, 0, 0);
const QColor kYellow(255, 255, 0);
const QColor kGreen(0, 255, 0);

} // namespace

TEST_F(MainWindowTest, EveryControlCarriesItsNameCaptionAndAccessibleTexts)
{
    struct Row
    {
        const char *name;
        QString caption;    // button or label text
        QString accessible; // accessible name of text boxes and lists
    };
    const Row buttons[] = {
        {"Mode1", "Request Current Powertrain Diagnostic Data", {}},
        {"Mode2", "Get Freeze Frame Data", {}},
        {"Mode3", "Request Diagnostic Trouble Codes", {}},
        {"Mode4", "Clear/Reset Diagnostic Trouble Codes", {}},
        {"Mode5", "O2 Sensor Test", {}},
        {"ChangeECU", "Change ECU", {}},
        {"Command1", "Exit", {}},
        {"Command2", "Print", {}},
    };
    for (const Row &r : buttons) {
        auto *b = control<QPushButton>(QLatin1String(r.name));
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), r.caption) << r.name;
        EXPECT_EQ(b->accessibleDescription(), QLatin1String(r.name));
        EXPECT_TRUE(b->accessibleName().isEmpty()) << r.name << ": keeps its caption";
    }
    const Row labels[] = {
        {"Label1", "ECU Status", {}},
        {"Label2",
         "Vehicle Test Status/Trouble Code Window           use the scroll bar to see more data",
         {}},
        {"Label3", "Vehicle Data", {}},
        {"Label5", "Vehicle Data Window, Double Click Item for Real Time Display", {}},
    };
    for (const Row &r : labels) {
        auto *l = control<QLabel>(QLatin1String(r.name));
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->text(), r.caption) << r.name;
        EXPECT_EQ(l->accessibleDescription(), QLatin1String(r.name));
    }
    const Row boxes[] = {
        {"Text1", "ECU Not Ready", "ECU Status"},
        {"Text2", "", "Vehicle Data"},
    };
    for (const Row &r : boxes) {
        auto *t = control<QLineEdit>(QLatin1String(r.name));
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->text(), r.caption) << r.name;
        EXPECT_EQ(t->accessibleName(), r.accessible) << r.name;
        EXPECT_EQ(t->accessibleDescription(), QLatin1String(r.name));
    }
    EXPECT_EQ(control<QPlainTextEdit>(QStringLiteral("textECU"))->accessibleName(),
              QStringLiteral("Vehicle Test Status/Trouble Code Window"));
    EXPECT_EQ(control<QListWidget>(QStringLiteral("List1"))->accessibleName(),
              QStringLiteral("Vehicle Data Window"));
    EXPECT_EQ(control<QGroupBox>(QStringLiteral("Frame1"))->title(),
              QStringLiteral("Comand/Status"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quorvex  OBD-II Interface Version 3.40  R5"));

    const std::pair<const char *, const char *> menus[] = {
        {"mnuLog", "&Data Log"},          {"mnuDataLogLog", "&Log"},
        {"mnuCom", "&Connection"},        {"mnuUSB", "USB"},
        {"mnuConnectionCom1", "Com1"},    {"mnuConnectionCom4", "Com4"},
        {"mnu9600", "9600 baud"},         {"mnu19200", "19200 baud"},
        {"mnuMode6", "&Mode 6 Tests"},    {"mnuOpt", "&Options"},
        {"mnuFTM", "&Fuel Trim Monitor"}, {"mnuAF", "&Air/Fuel Ratio Meter"},
        {"mnuUnits", "&Units"},           {"mnuUnitsEnglish", "&English"},
        {"mnuUnitsMetric", "&Metric"},    {"mnuDebugMode", "&Debug Mode On/Off"},
    };
    for (const auto &[name, text] : menus) {
        QAction *a = action(QLatin1String(name));
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(), QLatin1String(text)) << name;
        EXPECT_FALSE(a->isCheckable()) << name;
        // What the accessibility tree shows: the caption as the name, the program name as
        // the description (Qt's own menu items report no description at all).
        QAccessibleInterface *item = QAccessible::queryAccessibleInterface(a);
        ASSERT_NE(item, nullptr) << name;
        EXPECT_EQ(item->text(QAccessible::Description), QLatin1String(name));
        EXPECT_EQ(item->text(QAccessible::Name), QString(QLatin1String(text)).remove(u'&'));
        EXPECT_EQ(item->role(), QAccessible::MenuItem) << name;
    }
}

TEST_F(MainWindowTest, StartUpState)
{
    load({QString(), QStringLiteral("/nonexistent/tty-quorvex"), QString(), QString()});
    EXPECT_EQ(status(), QStringLiteral("ECU Off-Line"));
    EXPECT_EQ(statusColor(), kRed);
    for (const char *name : {"Mode1", "Mode2", "Mode3", "Mode4", "Mode5", "ChangeECU"})
        EXPECT_FALSE(control<QPushButton>(QLatin1String(name))->isEnabled()) << name;
    EXPECT_TRUE(control<QPushButton>(QStringLiteral("Mode5"))->isHidden());
    for (const char *name : {"mnuDataLogLog", "mnuMode6", "mnuAF", "mnuFTM"})
        EXPECT_FALSE(action(QLatin1String(name))->isEnabled()) << name;
    for (int port = 1; port <= 4; ++port)
        EXPECT_FALSE(action(QStringLiteral("mnuConnectionCom%1").arg(port))->isEnabled());
    // A device that cannot be opened says which and why.
    EXPECT_TRUE(action(QStringLiteral("mnuConnectionCom2"))
                    ->statusTip()
                    .contains(QStringLiteral("/nonexistent/tty-quorvex")));
    const SharedState &st = window->context().state;
    EXPECT_EQ(st.BaudRate, 19200);
    EXPECT_FALSE(st.UseSerial || st.DebugMode || st.StopFlag || st.UnitsMetric);
}

TEST_F(MainWindowTest, ProbeOffersOnlyPortsThatOpen)
{
    startSim();
    load({QString(), server->devicePath(), QString(), QStringLiteral("/nonexistent/tty")});
    EXPECT_FALSE(action(QStringLiteral("mnuConnectionCom1"))->isEnabled());
    EXPECT_TRUE(action(QStringLiteral("mnuConnectionCom2"))->isEnabled());
    EXPECT_FALSE(action(QStringLiteral("mnuConnectionCom3"))->isEnabled());
    EXPECT_FALSE(action(QStringLiteral("mnuConnectionCom4"))->isEnabled());
}

TEST_F(MainWindowTest, HelpLabelsAndSwitches)
{
    load();
    window->Label1_Click();
    window->Label3_Click();
    window->mnuDebugMode_Click();
    window->mnuDebugMode_Click();
    window->mnuDebugMode_Click();
    ASSERT_EQ(prompts.boxes.size(), 5);
    EXPECT_EQ(prompts.boxes[0].text,
              QStringLiteral("Red=No coommunication with scan tool,\r\nYellow=Communication "
                             "with scan tool, not with vehicle\r\nGreen=Communication with "
                             "vehicle"));
    EXPECT_EQ(prompts.boxes[0].title, QStringLiteral("Quorvex V3.40"));
    EXPECT_EQ(prompts.boxes[0].icon, Prompts::Icon::Information);
    EXPECT_EQ(prompts.boxes[1].text,
              QStringLiteral("VIN will be shown here if available and Scan F/W is 4.00 or "
                             "higher, user entry is also allowed"));
    EXPECT_EQ(prompts.boxes[1].title, QStringLiteral("Quorvex 3.40"));
    EXPECT_EQ(prompts.boxes[2].text, QStringLiteral("Debug Mode is turned ON"));
    EXPECT_EQ(prompts.boxes[3].text, QStringLiteral("Debug Mode is turned OFF"));
    EXPECT_EQ(prompts.boxes[4].text, QStringLiteral("Debug Mode is turned ON"));
    EXPECT_TRUE(window->context().state.DebugMode);

    action(QStringLiteral("mnuUnitsMetric"))->trigger();
    EXPECT_TRUE(window->context().state.UnitsMetric);
    action(QStringLiteral("mnuUnitsEnglish"))->trigger();
    EXPECT_FALSE(window->context().state.UnitsMetric);
}

TEST_F(MainWindowTest, PrintSendsTheThreeAreasInOrder)
{
    load();
    control<QLineEdit>(QStringLiteral("Text2"))->setText(QStringLiteral("VIN= 1XV0A12345R000001"));
    window->setReportText(QStringLiteral("\r\nMIL is OFF\r\n"));
    window->Command2_Click();
    window->addDataLine(QStringLiteral("Engine RPM -------------  750RPM"));
    window->addDataLine(QStringLiteral("Speed ------------------  0MPH"));
    window->Command2_Click();
    ASSERT_EQ(prompts.printed.size(), 2);
    EXPECT_EQ(prompts.printed[0], (QStringList{QStringLiteral("VIN= 1XV0A12345R000001"),
                                               QStringLiteral("\r\nMIL is OFF\r\n")}));
    EXPECT_EQ(prompts.printed[1].size(), 4);
    EXPECT_EQ(prompts.printed[1][3], QStringLiteral("Speed ------------------  0MPH"));

    prompts.printerAvailable = false;
    window->Command2_Click();
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_TRUE(prompts.boxes[0].text.contains(QStringLiteral("No printer")));
}

TEST_F(MainWindowTest, ExitWithoutSerialConnectionPausesTwoSeconds)
{
    load();
    QElapsedTimer t;
    t.start();
    window->Command1_Click();
    EXPECT_GE(t.elapsed(), 2000);
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->context().closing());
}

TEST_F(MainWindowTest, ExitWithSerialConnectionEndsAtOnceAndFrameCloseExitsToo)
{
    startSim();
    connectCom(1);
    ASSERT_EQ(status(), QStringLiteral("ECU Connected"));
    QElapsedTimer t;
    t.start();
    window->close(); // closing by the frame runs Exit
    EXPECT_LT(t.elapsed(), 500);
    EXPECT_EQ(quits, 1);
    window->Command1_Click();
    EXPECT_EQ(quits, 1); // ends once
}

TEST_F(MainWindowTest, ConnectingShowsEachStageAndEnablesTheServices)
{
    struct Row
    {
        int port;
        bool sendingFwid;
    };
    for (const Row r : {Row{1, true}, Row{2, false}}) {
        SetUp();
        startSim();
        std::array<QString, 4> devices{};
        devices[static_cast<size_t>(r.port - 1)] = server->devicePath();
        load(devices);
        QStringList texts;
        QObject::connect(control<QLineEdit>(QStringLiteral("Text1")), &QLineEdit::textChanged,
                         [&](const QString &t) { texts << t; });
        action(QStringLiteral("mnuConnectionCom%1").arg(r.port))->trigger();
        EXPECT_EQ(texts.first(), QStringLiteral("Waiting for ECU")) << r.port;
        EXPECT_EQ(texts.contains(QStringLiteral("Sending FWID")), r.sendingFwid) << r.port;
        EXPECT_EQ(texts.last(), QStringLiteral("ECU Connected")) << r.port;
        EXPECT_EQ(statusColor(), kGreen);
        EXPECT_EQ(control<QLabel>(QStringLiteral("Label7"))->text(), QStringLiteral("F/W: V3.40"));
        EXPECT_EQ(control<QLineEdit>(QStringLiteral("Text2"))->text(),
                  QStringLiteral("VIN= 1XV0A12345R000001"));
        for (const char *name : {"Mode1", "Mode2", "Mode3", "Mode4", "ChangeECU"})
            EXPECT_TRUE(control<QPushButton>(QLatin1String(name))->isEnabled()) << name;
        EXPECT_FALSE(control<QPushButton>(QStringLiteral("Mode5"))->isHidden()); // 3.40 > 3.09
        EXPECT_FALSE(control<QMenu>(QStringLiteral("mnuCom"))->isEnabled());
        EXPECT_EQ(server->lineBaud(), 19200);
        TearDown();
    }
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
    EXPECT_TRUE(control<QPushButton>(QStringLiteral("Mode5"))->isHidden());
}

TEST_F(MainWindowTest, SetUpHoldsItsMenuItemsWhileWaitingForContact)
{
    // Which items each port's set-up holds while it waits: Com2 also holds USB.
    const std::pair<int, QStringList> table[] = {
        {1, {"mnuConnectionCom2", "mnuConnectionCom3"}},
        {2, {"mnuUSB", "mnuConnectionCom1", "mnuConnectionCom3"}},
        {3, {"mnuConnectionCom2", "mnuConnectionCom1"}},
        {4, {"mnuConnectionCom2", "mnuConnectionCom1"}},
    };
    for (const auto &[port, held] : table) {
        SetUp();
        sim::Scenario s = sim::defaultScenario();
        s.faults.noContact = true;
        startSim(s);
        std::array<QString, 4> devices;
        devices.fill(server->devicePath()); // every port opens
        load(devices);
        QStringList disabledWhileWaiting;
        QString colourWhileWaiting;
        QTimer::singleShot(300, [&, p = port] {
            for (const char *name : {"mnuUSB", "mnuConnectionCom1", "mnuConnectionCom2",
                                     "mnuConnectionCom3", "mnuConnectionCom4"})
                if (!action(QLatin1String(name))->isEnabled() &&
                    QLatin1String(name) != QStringLiteral("mnuConnectionCom%1").arg(p) &&
                    QLatin1String(name) != QLatin1String("mnuUSB"))
                    disabledWhileWaiting << QLatin1String(name);
            colourWhileWaiting = statusColor() == kYellow ? QStringLiteral("yellow") : QString();
            server->setFaults(sim::Faults{}); // the car is reached
        });
        action(QStringLiteral("mnuConnectionCom%1").arg(port))->trigger();
        QStringList expected = held;
        expected.removeAll(QStringLiteral("mnuUSB")); // USB is unavailable from the start
        disabledWhileWaiting.sort();
        expected.sort();
        EXPECT_EQ(disabledWhileWaiting, expected) << port;
        EXPECT_EQ(colourWhileWaiting, QStringLiteral("yellow")) << port;
        EXPECT_EQ(status(), QStringLiteral("ECU Connected")) << port;
        EXPECT_FALSE(control<QMenu>(QStringLiteral("mnuCom"))->isEnabled()) << port;
        TearDown();
    }
}

TEST_F(MainWindowTest, SilentInterfaceDuringSetUpShowsRed)
{
    sim::Scenario s = sim::defaultScenario();
    s.faults.silent = true;
    startSim(s);
    window->context().bounds.silentMs = 300;
    QColor seen;
    QString seenText;
    QTimer::singleShot(700, [&] {
        seen = statusColor();
        seenText = status();
        server->setFaults(sim::Faults{});
    });
    connectCom(3);
    EXPECT_EQ(seen, kRed);
    EXPECT_EQ(seenText, QStringLiteral("ECU Off-Line"));
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
}

TEST_F(MainWindowTest, UnpluggedAdapterOffersTheConnectionMenuAgain)
{
    startSim();
    connectCom(1);
    ASSERT_EQ(status(), QStringLiteral("ECU Connected"));
    server->hangUp();
    QElapsedTimer t;
    t.start();
    while (status() != QStringLiteral("ECU Off-Line") && t.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(status(), QStringLiteral("ECU Off-Line"));
    EXPECT_EQ(statusColor(), kRed);
    EXPECT_TRUE(window->context().state.StopFlag);
    EXPECT_TRUE(control<QMenu>(QStringLiteral("mnuCom"))->isEnabled());
    EXPECT_TRUE(action(QStringLiteral("mnuConnectionCom1"))->isEnabled());
    EXPECT_FALSE(control<QPushButton>(QStringLiteral("Mode1"))->isEnabled());
}

TEST_F(MainWindowTest, CurrentDataAndChangeEcuButtons)
{
    startSim();
    connectCom(1);
    auto *mode1 = control<QPushButton>(QStringLiteral("Mode1"));
    mode1->click();
    EXPECT_EQ(control<QLabel>(QStringLiteral("Label6"))->text(), QStringLiteral("ECU #=10\r\n"));
    EXPECT_FALSE(mode1->isChecked()); // released at the end
    auto *change = control<QPushButton>(QStringLiteral("ChangeECU"));
    change->click();
    EXPECT_EQ(change->text(), QStringLiteral("Toggle ECU"));
    EXPECT_FALSE(change->isChecked());
    EXPECT_EQ(control<QLabel>(QStringLiteral("Label6"))->text(), QStringLiteral("ECU #=18\r\n"));
    EXPECT_TRUE(server->commands().contains(QStringLiteral("800204")));
}
