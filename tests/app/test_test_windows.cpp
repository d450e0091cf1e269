// The O2 sensor test and service $06 windows as a user drives them, against the simulated car,
// and the pictures they show.
#include "pictures.h"
#include "windowfixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QComboBox>
#include <QFileInfo>

using namespace quorvex;
using namespace quorvex::test;

namespace {

class TestWindowsTest : public WindowTest
{
protected:
    void connectTo(sim::Scenario car = sim::defaultScenario())
    {
        startSim(std::move(car));
        connectCom(1);
        ASSERT_EQ(status(), QStringLiteral("ECU Connected"));
    }
    QWidget *top(const char *name) const { return window->findChild<QWidget *>(name); }
    template <typename T = QLineEdit> T *in(const char *owner, const char *name) const
    {
        T *w = top(owner)->findChild<T *>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << owner << "/" << name;
        return w;
    }
    QColor background(QLineEdit *box) const { return box->palette().color(QPalette::Base); }
    // Opens the O2 window and asks for the tests of sensor line `line`.
    void runO2Test(int line)
    {
        button("Mode5")->click();
        auto *list = in<QComboBox>("frmMode5", "cbo02list");
        list->setCurrentIndex(line);
        emit list->activated(line);
        in<QPushButton>("frmMode5", "Command3")->click();
    }
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
    QComboBox *list = in<QComboBox>("frmMode5", "cbo02list");
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->itemText(i);
    EXPECT_EQ(lines, (QStringList{"Bank1, Sensor1", "Bank1, Sensor2", "Bank2, Sensor1",
                                  "Bank2, Sensor2"}));
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
    const QStringList boxes{"txtT01", "txtT05", "txtT05min", "txtT05max", "txtT07"};
    const auto shown = [&] {
        QStringList texts;
        for (const QString &name : boxes) {
            QLineEdit *box = top("frmMode5")->findChild<QLineEdit *>(name);
            texts << box->text() + u' ' + background(box).name();
        }
        return texts;
    };
    const QStringList fresh = shown();
    runO2Test(0);
    ASSERT_NE(shown(), fresh);
    in<QPushButton>("frmMode5", "Command1")->click(); // EXIT
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
    action(QStringLiteral("mnuMode6"))->trigger();
    in("frmMode6", "Text1")->setText(QStringLiteral("1"));
    in("frmMode6", "Text3")->setText(QStringLiteral("1"));
    in<QPushButton>("frmMode6", "Command1")->click();
    in<QPushButton>("frmMode6", "Command2")->click();
    QStringList texts;
    for (const auto &box : prompts.boxes)
        texts << box.text;
    EXPECT_EQ(texts, (QStringList{"ECU not Communicating", "PASS command not acknowledged",
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
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.boxes[0].text, QStringLiteral("The O2 test results are not available until "
                                                    "the O2 Sensor test has completed. "));
    EXPECT_TRUE(top("frmMode5")->isHidden());
    EXPECT_FALSE(button("Mode5")->isChecked());
}

TEST_F(TestWindowsTest, PicturesLoadFromTheInstalledLocationAndOpenFromTheMenus)
{
    for (const char *file :
         {"o2-test.svg", "v-dual-exhaust.svg", "v-single-exhaust.svg", "i4.svg"}) {
        EXPECT_TRUE(QFileInfo::exists(picture_path(QLatin1String(file)))) << file;
        EXPECT_TRUE(Picture(QLatin1String(file)).isValid()) << file;
    }
    EXPECT_FALSE(Picture(QStringLiteral("missing.svg")).isValid());
    connectTo();
    button("Mode1")->click();
    button("Mode5")->click();
    const std::pair<const char *, const char *> menus[] = {{"mnuO2graph", "frmO2"},
                                                           {"mnuV8", "frmVXdual"},
                                                           {"mnuSingle", "frmVXsingle"},
                                                           {"mnu4cyl", "frmI4sensor"}};
    for (const auto &[menu, name] : menus) {
        top("frmMode5")->findChild<QAction *>(QLatin1String(menu))->trigger();
        ASSERT_NE(top(name), nullptr) << name;
        EXPECT_TRUE(top(name)->isVisible()) << name;
        EXPECT_TRUE(static_cast<PictureWindow *>(top(name))->picture()->isValid()) << name;
    }
    EXPECT_TRUE(in<QLabel>("frmI4sensor", "Label1")->text().startsWith("The B1S1 sensor may"));
}

TEST_F(TestWindowsTest, Mode6TestResultsAndScan)
{
    connectTo();
    ASSERT_TRUE(action(QStringLiteral("mnuMode6"))->isEnabled());
    action(QStringLiteral("mnuMode6"))->trigger();
    QWidget *mode6 = top("frmMode6");
    ASSERT_TRUE(mode6->isVisible());
    EXPECT_EQ(mode6->windowTitle(), QStringLiteral("SAE-J1979 Service $06 "));
    in("frmMode6", "Text1")->setText(QStringLiteral("$1A"));
    in("frmMode6", "Text3")->setText(QStringLiteral("1"));
    in("frmMode6", "Text5")->setText(QStringLiteral("0.1"));
    in("frmMode6", "Text7")->setText(QStringLiteral("V"));
    in<QPushButton>("frmMode6", "Command1")->click();
    EXPECT_EQ(in("frmMode6", "Text1")->text(), QStringLiteral("&H1A"));
    EXPECT_TRUE(server->received().contains(QByteArray::fromHex("0106686AF1061A01")));
    EXPECT_EQ(in("frmMode6", "Text16")->text(), QStringLiteral("50V"));
    EXPECT_EQ(in("frmMode6", "Text18")->text(), QStringLiteral("45V")); // a minimum
    EXPECT_EQ(in("frmMode6", "Text14")->text(), QStringLiteral("PASS"));
    EXPECT_EQ(background(in("frmMode6", "Text14")), QColor(Qt::white));

    in("frmMode6", "Text1")->setText(QStringLiteral("1")); // test 01: over its maximum
    in<QPushButton>("frmMode6", "Command1")->click();
    EXPECT_EQ(in("frmMode6", "Text20")->text(), QStringLiteral("45V"));
    EXPECT_EQ(in("frmMode6", "Text14")->text(), QStringLiteral("FAIL"));
    EXPECT_EQ(background(in("frmMode6", "Text14")), kRed);

    in("frmMode6", "Text1")->setText(QStringLiteral("5")); // a test the car lacks
    in<QPushButton>("frmMode6", "Command1")->click();
    EXPECT_EQ(in("frmMode6", "Text11")->text(), QStringLiteral(" No Response to this message"));

    const qsizetype sent = server->received().size();
    in("frmMode6", "Text1")->setText(QStringLiteral("300"));
    in<QPushButton>("frmMode6", "Command1")->click();
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.boxes[0].text,
              QStringLiteral("Error in one of the Input Fields, please correct and try again"));
    EXPECT_EQ(server->received().size(), sent); // nothing sent

    // Two scans: the list is not cleared, and tests beyond $20 come from a real request.
    for (int scan = 0; scan < 2; ++scan)
        in<QPushButton>("frmMode6", "Command2")->click();
    QComboBox *tests = in<QComboBox>("frmMode6", "Combo1");
    QStringList listed;
    for (int i = 0; i < tests->count(); ++i)
        listed << tests->itemText(i);
    const QStringList once{" 2", " 1", " 32", " 26", " 33"};
    EXPECT_EQ(listed, once + once);
}

TEST_F(TestWindowsTest, Mode6RefusedAndHelp)
{
    sim::Scenario car;
    car.passThrough = -1;
    connectTo(car);
    action(QStringLiteral("mnuMode6"))->trigger();
    in("frmMode6", "Text1")->setText(QStringLiteral("1"));
    in("frmMode6", "Text3")->setText(QStringLiteral("1"));
    in<QPushButton>("frmMode6", "Command1")->click();
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.boxes[0].text, QStringLiteral("PASS command not acknowledged"));
    // The help of the labels and the menu, pressed as assistive tools press them.
    prompts.boxes.clear();
    for (const char *name : {"Text2", "Text4", "Text6", "Text8"}) {
        QAccessibleInterface *label =
            QAccessible::queryAccessibleInterface(in<QLabel>("frmMode6", name));
        label->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    }
    QAccessible::queryAccessibleInterface(
        top("frmMode6")->findChild<QAction *>(QStringLiteral("mnuM6HLP")))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(wait_until([this] { return prompts.boxes.size() == 5; }));
    QStringList texts;
    for (const auto &box : prompts.boxes)
        texts << box.text;
    EXPECT_EQ(texts,
              (QStringList{"Enter a value between 0 and 255 or $00 to $FF hex",
                           "Enter a value between 0 and 255 ",
                           "The Scale Factor should be found in the shop manual\r\nValues can be "
                           "any real number",
                           "Units can be found in the shop manual, volts,amps, PSI, etc.",
                           " Mode 6 will allow access to the results of on-board diagnostic "
                           "monitoring\r\nA shop manual with the defined tests is required to "
                           "get meaningfull data"}));
}
