// The O2 sensor test and service $06 windows as a user drives them, against the simulated car,
// and the pictures they show.
#include "widgets/pictures.h"
#include "windowfixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>

using namespace quorvex;
using namespace quorvex::test;

namespace {

class TestWindowsTest : public WindowTest
{
protected:
    static QColor background(QLineEdit *box) { return box->palette().color(QPalette::Base); }
};

} // namespace

TEST_F(TestWindowsTest, O2SensorTestListsTheSensorsAndShowsTheResults)
{
    sim::Scenario car;
    car.ecus[0].o2Tests[0x07] = QByteArray::fromHex("3C0014"); // .3 V, over its .1 V maximum
    connectTo(car);
    EXPECT_FALSE(button("Mode5")->isEnabled()); // until a current-data request
    button("Mode1")->click();
    ASSERT_TRUE(button("Mode5")->isEnabled());
    window->context().state.DebugMode = true;
    runO2Test(2);
    EXPECT_EQ(
        items(in<QComboBox>("frmMode5", "cbo02list")),
        (QStringList{"Bank1, Sensor1", "Bank1, Sensor2", "Bank2, Sensor1", "Bank2, Sensor2"}));
    EXPECT_TRUE(server->commands().contains(QStringLiteral("050010"))); // bank 2 sensor 1
    EXPECT_EQ(in("frmMode5", "txtT01")->text(), QStringLiteral(" .45 V"));
    EXPECT_EQ(background(in("frmMode5", "txtT01")), QColor(80, 255, 80));
    EXPECT_EQ(in("frmMode5", "txtT05")->text(), QStringLiteral(" .1 S"));
    EXPECT_EQ(in("frmMode5", "txtT05min")->text(), QStringLiteral(" .04 S"));
    EXPECT_EQ(in("frmMode5", "txtT05max")->text(), QStringLiteral(" .2 S"));
    EXPECT_EQ(background(in("frmMode5", "txtT05")), QColor(Qt::white));
    EXPECT_EQ(in("frmMode5", "txtT07")->text(), QStringLiteral(" .3 V"));
    EXPECT_EQ(background(in("frmMode5", "txtT07")), kRed); // outside its limits
    EXPECT_TRUE(report().contains(QStringLiteral("Mode 5, PID 0 = R486B10460010FF8000")))
        << report().toStdString();
}

TEST_F(TestWindowsTest, O2WindowReopenedAfterExitShowsNoResults)
{
    sim::Scenario car;
    car.ecus[0].o2Tests[0x07] = QByteArray::fromHex("3C0014"); // outside its limits: red
    connectTo(car);
    button("Mode1")->click();
    button("Mode5")->click();
    const auto shown = [&] {
        QStringList texts;
        for (const char *name : {"txtT01", "txtT05", "txtT05min", "txtT05max", "txtT07"}) {
            QLineEdit *box = in("frmMode5", name);
            texts << box->text() + u' ' + background(box).name();
        }
        return texts;
    };
    const QStringList fresh = shown();
    runO2Test(0);
    ASSERT_NE(shown(), fresh);
    click("frmMode5", "Command1"); // EXIT
    button("Mode5")->click();
    EXPECT_EQ(in<QComboBox>("frmMode5", "cbo02list")->currentIndex(), -1);
    EXPECT_EQ(shown(), fresh);
}

TEST_F(TestWindowsTest, TestWindowsSayWhenTheVehicleDoesNotAnswer)
{
    connectTo();
    button("Mode1")->click();
    server->setFaults({.noContact = true});
    runO2Test(0);
    runMode6("1");
    click("frmMode6", "Command2"); // the scan
    EXPECT_EQ(boxes(), (QStringList{"ECU not Communicating", "PASS command not acknowledged",
                                    "PASS command not acknowledged"}));
    EXPECT_EQ(statusColor(), kYellow);
}

TEST_F(TestWindowsTest, O2WindowWaitsForTheO2MonitorToComplete)
{
    sim::Scenario car;
    car.ecus[0].monitors = QByteArray::fromHex("076520"); // O2 sensor monitor incomplete
    connectTo(car);
    button("Mode1")->click();
    button("Mode5")->click();
    EXPECT_EQ(boxes(), QStringList{"The O2 test results are not available until the O2 Sensor "
                                   "test has completed. "});
    EXPECT_TRUE(topLevel("frmMode5")->isHidden());
    EXPECT_FALSE(button("Mode5")->isChecked());
}

TEST_F(TestWindowsTest, PicturesLoadFromTheInstalledLocationAndOpenFromTheMenus)
{
    EXPECT_FALSE(Picture(QStringLiteral("missing.svg")).isValid());
    connectTo();
    button("Mode1")->click();
    button("Mode5")->click();
    const std::pair<const char *, const char *> menus[] = {{"mnuO2graph", "frmO2"},
                                                           {"mnuV8", "frmVXdual"},
                                                           {"mnuSingle", "frmVXsingle"},
                                                           {"mnu4cyl", "frmI4sensor"}};
    for (const auto &[menu, name] : menus) {
        topLevel("frmMode5")->findChild<QAction *>(QLatin1String(menu))->trigger();
        ASSERT_NE(topLevel(name), nullptr) << name;
        EXPECT_TRUE(topLevel(name)->isVisible()) << name;
        EXPECT_TRUE(static_cast<PictureWindow *>(topLevel(name))->picture()->isValid()) << name;
    }
    EXPECT_TRUE(in<QLabel>("frmI4sensor", "Label1")->text().startsWith("The B1S1 sensor may"));
}

TEST_F(TestWindowsTest, Mode6TestResultsAndScan)
{
    connectTo();
    runMode6("$1A", "0.1", "V");
    EXPECT_EQ(topLevel("frmMode6")->windowTitle(), QStringLiteral("SAE-J1979 Service $06 "));
    EXPECT_EQ(in("frmMode6", "Text1")->text(), QStringLiteral("&H1A"));
    EXPECT_TRUE(server->received().contains(QByteArray::fromHex("0106686AF1061A01")));
    EXPECT_EQ(in("frmMode6", "Text16")->text(), QStringLiteral("50V"));
    EXPECT_EQ(in("frmMode6", "Text18")->text(), QStringLiteral("45V")); // a minimum
    EXPECT_EQ(in("frmMode6", "Text14")->text(), QStringLiteral("PASS"));
    EXPECT_EQ(background(in("frmMode6", "Text14")), QColor(Qt::white));

    runMode6("1", "0.1", "V"); // test 01: over its maximum
    EXPECT_EQ(in("frmMode6", "Text20")->text(), QStringLiteral("45V"));
    EXPECT_EQ(in("frmMode6", "Text14")->text(), QStringLiteral("FAIL"));
    EXPECT_EQ(background(in("frmMode6", "Text14")), kRed);

    runMode6("5"); // a test the car lacks
    EXPECT_EQ(in("frmMode6", "Text11")->text(), QStringLiteral(" No Response to this message"));

    const qsizetype sent = server->received().size();
    runMode6("300");
    EXPECT_EQ(boxes(),
              QStringList{"Error in one of the Input Fields, please correct and try again"});
    EXPECT_EQ(server->received().size(), sent); // nothing sent

    // Two scans: the list is not cleared, and tests beyond $20 come from a real request.
    for (int scan = 0; scan < 2; ++scan)
        click("frmMode6", "Command2");
    const QStringList once{" 2", " 1", " 32", " 26", " 33"};
    EXPECT_EQ(items(in<QComboBox>("frmMode6", "Combo1")), once + once);
}

TEST_F(TestWindowsTest, Mode6RefusedAndHelp)
{
    sim::Scenario car;
    car.passThrough = -1;
    connectTo(car);
    runMode6("1");
    EXPECT_EQ(boxes(), QStringList{"PASS command not acknowledged"});
    // The help of the labels and the menu, pressed as assistive tools press them.
    prompts.boxes.clear();
    for (QObject *help : std::initializer_list<QObject *>{
             in<QLabel>("frmMode6", "Text2"), in<QLabel>("frmMode6", "Text4"),
             in<QLabel>("frmMode6", "Text6"), in<QLabel>("frmMode6", "Text8"),
             topLevel("frmMode6")->findChild<QAction *>(QStringLiteral("mnuM6HLP"))})
        QAccessible::queryAccessibleInterface(help)->actionInterface()->doAction(
            QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(clock.runUntil([this] { return prompts.boxes.size() == 5; }));
    EXPECT_EQ(boxes(),
              (QStringList{"Enter a value between 0 and 255 or $00 to $FF hex",
                           "Enter a value between 0 and 255 ",
                           "The Scale Factor should be found in the shop manual\r\nValues can be "
                           "any real number",
                           "Units can be found in the shop manual, volts,amps, PSI, etc.",
                           " Mode 6 will allow access to the results of on-board diagnostic "
                           "monitoring\r\nA shop manual with the defined tests is required to "
                           "get meaningfull data"}));
}
