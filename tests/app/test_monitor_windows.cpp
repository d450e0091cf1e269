// The monitoring windows as a user drives them from the main window, against a simulated car
// whose values are pinned: the real-time display, the data logger, the fuel trim monitor and
// the air/fuel ratio meter, and a lost link while they run.
#include "preferences.h"
#include "windowfixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QComboBox>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>

using namespace quorvex;
using namespace quorvex::test;

namespace {

class MonitorWindowsTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        startSim(pinned_car());
        connectCom(1);
        ASSERT_EQ(status(), QStringLiteral("ECU Connected"));
        button("Mode1")->click();
    }
    QWidget *topLevel(const char *name) const
    {
        return window->findChild<QWidget *>(QLatin1String(name));
    }
    template <typename T = QPushButton> T *in(const char *top, const char *name) const
    {
        T *w = topLevel(top)->findChild<T *>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << top << "/" << name;
        return w;
    }
    // Chooses the vehicle data line that starts with `label`.
    void chooseLine(const char *label)
    {
        const QStringList all = lines();
        for (int i = 0; i < all.size(); ++i)
            if (all[i].startsWith(QLatin1String(label)))
                control<QListWidget>(QStringLiteral("List1"))->setCurrentRow(i);
    }
    int sent(const QString &command) const
    {
        return static_cast<int>(server->commands().count(command));
    }
    QLineEdit *txbValue() const { return in<QLineEdit>("Chart", "txbValue"); }
};

} // namespace

TEST_F(MonitorWindowsTest, RealTimeDisplayUntilFreezeThenStop)
{
    // Without a line chosen a double-click does nothing.
    control<QListWidget>(QStringLiteral("List1"))->setCurrentRow(-1);
    window->List1_DblClick();
    EXPECT_TRUE(topLevel("Chart")->isHidden());

    chooseLine("Engine RPM");
    // Three passes, then "Freeze": the loop ends, the chart keeps its samples and stays.
    when([this] { return sent("010C07") >= 3 && !txbValue()->text().isEmpty(); },
         [this] { in("Chart", "cmdFreeze")->click(); });
    window->List1_DblClick();
    QWidget *chart = topLevel("Chart");
    EXPECT_TRUE(chart->isVisible());
    EXPECT_EQ(txbValue()->text(), QStringLiteral("750 RPM"));
    EXPECT_EQ(in<QLabel>("Chart", "lblValText")->text(),
              QStringLiteral("Engine RPM ------------- "));
    const int asked = sent("010C07");
    settle(50);
    EXPECT_EQ(sent("010C07"), asked); // nothing more is asked

    // The load: percent with one decimal; "STOP" hides the chart.
    chooseLine("Calculated Load");
    when([this] { return sent("010406") >= 2; }, [this] { in("Chart", "Stop1")->click(); });
    window->List1_DblClick();
    EXPECT_TRUE(chart->isHidden());
    EXPECT_EQ(txbValue()->text(), QStringLiteral("25.0%"));
}

TEST_F(MonitorWindowsTest, NestedDoubleClickEndsBothDisplays)
{
    // A double-click on another line while a display runs starts a display inside the first;
    // when the inner one is stopped, the outer one ends at the head of its next pass.
    chooseLine("Engine RPM");
    bool innerRan = false;
    when([this] { return sent("010C07") >= 2; },
         [this, &innerRan] {
             chooseLine("O2 Sensor3 Val");
             when([this] { return sent("011606") >= 2; },
                  [this] { in("Chart", "cmdFreeze")->click(); });
             window->List1_DblClick();
             innerRan = true;
         });
    window->List1_DblClick();
    EXPECT_TRUE(innerRan);
    EXPECT_EQ(txbValue()->text(), QStringLiteral("0.450  Volts"));
    const int asked = static_cast<int>(server->commands().size());
    settle(50);
    EXPECT_EQ(server->commands().size(), asked);
}

TEST_F(MonitorWindowsTest, LoggerWritesTheChosenItemsUntilStopLog)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trip.log"));
    ASSERT_TRUE(action(QStringLiteral("mnuDataLogLog"))->isEnabled());
    action(QStringLiteral("mnuDataLogLog"))->trigger();
    QWidget *log = topLevel("DataLog");
    ASSERT_TRUE(log->isVisible());
    // Slot 0 untouched (line 0, the load); the others chosen.
    const std::pair<const char *, int> choices[] = {
        {"cboRTD(1)", 2}, {"cboRTD(2)", 1}, {"cboRTD(3)", 4}};
    for (const auto &[name, line] : choices) {
        auto *box = in<QComboBox>("DataLog", name);
        ASSERT_EQ(box->count(), lines().size());
        box->setCurrentIndex(line);
        emit box->activated(line);
    }
    prompts.files = {path};
    // "Stop Log" while the third pass waits for its second item: that pass is still written.
    const int before = sent("010C07");
    when([this, before] { return sent("010C07") >= before + 3; },
         [this] { in("DataLog", "Command2")->click(); });
    in("DataLog", "Command1")->click();
    EXPECT_TRUE(log->isHidden());
    EXPECT_EQ(in("DataLog", "Command1")->text(), QStringLiteral("Start Log"));
    EXPECT_TRUE(in("DataLog", "Command1")->isEnabled());
    EXPECT_EQ(in<QLineEdit>("DataLog", "Display2_name")->text(),
              QStringLiteral("Engine RPM ------------- "));
    EXPECT_EQ(in<QLineEdit>("DataLog", "Display4_value")->text(), QStringLiteral(" .45  Volts"));
    EXPECT_EQ(prompts.fileFilters.last(),
              (QStringList{"OBD-II log files (*.log)", "All files (*)"}));

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = file.readAll().split('\n');
    ASSERT_EQ(rows.size(), 4 + 3 + 1) << "four header lines, three records";
    EXPECT_EQ(rows[0], "Calculated Load -------- \r");
    EXPECT_EQ(rows[3], "O2 Sensor3 Val --------- \r");
    for (int r = 4; r < 7; ++r)
        EXPECT_TRUE(rows[r].startsWith("25,750,70,0.45,")) << rows[r].constData();

    // A second log on the same file starts it again; its dialog starts in the folder of the
    // first, as will the next run's.
    prompts.files = {path};
    when([this, before] { return sent("010C07") >= before + 4; },
         [this] { in("DataLog", "Command2")->click(); });
    in("DataLog", "Command1")->click();
    EXPECT_EQ(prompts.fileFolders.last(), dir.path());
    EXPECT_EQ(preference(QStringLiteral("datalog/folder")).toString(), dir.path());
    file.close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().split('\n').size(), 4 + 1 + 1);
}

TEST_F(MonitorWindowsTest, LoggerThatCannotStart)
{
    action(QStringLiteral("mnuDataLogLog"))->trigger();
    // Cancelled: no log, the button reads "Start Log" again.
    in("DataLog", "Command1")->click();
    EXPECT_EQ(in("DataLog", "Command1")->text(), QStringLiteral("Start Log"));
    EXPECT_EQ(prompts.fileFilters.size(), 1);
    // A file that cannot be opened is named with the reason.
    prompts.files = {QStringLiteral("/nonexistent/folder/trip.log")};
    in("DataLog", "Command1")->click();
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_TRUE(prompts.boxes[0].text.contains(QStringLiteral("/nonexistent/folder/trip.log")));
    EXPECT_EQ(in("DataLog", "Command1")->text(), QStringLiteral("Start Log"));
    // A request that lists nothing leaves nothing to log: said once, no file asked for.
    server->setFaults({.ecuTimeout = true});
    button("Mode1")->click();
    prompts.boxes.clear();
    in("DataLog", "Command1")->click();
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.boxes[0].text, QStringLiteral("No Data Selected"));
    EXPECT_EQ(prompts.fileFilters.size(), 2);
}

TEST_F(MonitorWindowsTest, FuelTrimMonitorUntilExitAndAgain)
{
    ASSERT_TRUE(action(QStringLiteral("mnuFTM"))->isEnabled());
    topLevel("Chart")->show();
    for (int run = 0; run < 2; ++run) {
        when([this, run] { return sent("010706") >= 2 * (run + 1); },
             [this] { in("frmFuel_Trim", "Command1")->click(); });
        action(QStringLiteral("mnuFTM"))->trigger();
        EXPECT_EQ(in<QLabel>("frmFuel_Trim", "Label1")->text(),
                  QStringLiteral("Short Term Fuel Trim B1----  4%"));
        EXPECT_EQ(in<QLabel>("frmFuel_Trim", "Label2")->text(),
                  QStringLiteral("Long  Term Fuel Trim B1---- -1%"));
        EXPECT_TRUE(in<QLabel>("frmFuel_Trim", "Label3")->text().isEmpty()); // bank 2 unsupported
        EXPECT_TRUE(topLevel("frmFuel_Trim")->isHidden());
        EXPECT_TRUE(topLevel("Chart")->isHidden());
    }
}

TEST_F(MonitorWindowsTest, AirFuelMeterUntilExit)
{
    ASSERT_TRUE(action(QStringLiteral("mnuAF"))->isEnabled());
    action(QStringLiteral("mnuAF"))->trigger();
    QWidget *meter = topLevel("Air_Fuel_Ratio");
    EXPECT_EQ(meter->windowTitle(), QString(50, u' ') + QStringLiteral("Air/Fuel Ratio"));
    QString ratio;
    QString speed;
    when([this] { return !in<QLineEdit>("Air_Fuel_Ratio", "Text2")->text().isEmpty(); },
         [&] {
             ratio = in<QLineEdit>("Air_Fuel_Ratio", "Text1")->text();
             speed = in<QLineEdit>("Air_Fuel_Ratio", "Text2")->text();
             in("Air_Fuel_Ratio", "Command2")->click();
         });
    in("Air_Fuel_Ratio", "Command1")->click();
    EXPECT_EQ(ratio, QStringLiteral("14.61 A/F"));
    EXPECT_EQ(speed, QStringLiteral("750  RPM "));
    EXPECT_TRUE(in<QLineEdit>("Air_Fuel_Ratio", "Text1")->text().isEmpty());
    EXPECT_TRUE(meter->isHidden());
}

TEST_F(MonitorWindowsTest, LostLinkEndsARunningLogWithItsRecords)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lost.log"));
    action(QStringLiteral("mnuDataLogLog"))->trigger();
    prompts.files = {path};
    // Every slot logs line 0 (the load): four exchanges a pass. Unplugged in the third pass.
    const int before = sent("010406");
    when([this, before] { return sent("010406") >= before + 9; }, [this] { server->hangUp(); });
    in("DataLog", "Command1")->click();
    EXPECT_EQ(status(), QStringLiteral("ECU Off-Line"));
    EXPECT_TRUE(connectionMenuOffered());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray contents = file.readAll();
    EXPECT_TRUE(contents.endsWith("\r\n"));
    EXPECT_EQ(contents.count('\n'), 4 + 2);
}

TEST_F(MonitorWindowsTest, EveryControlWorksThroughTheAccessibilityTree)
{
    action(QStringLiteral("mnuDataLogLog"))->trigger();
    action(QStringLiteral("mnuAF"))->trigger();
    action(QStringLiteral("mnuMode6"))->trigger();
    button("Mode5")->click();
    window->findChild<QWidget *>(QStringLiteral("Chart"))->show();
    QStringList unnamed;
    QStringList noAction;
    for (const char *name : {"Chart", "DataLog", "Air_Fuel_Ratio", "frmMode5", "frmMode6"}) {
        ASSERT_NE(topLevel(name), nullptr) << name;
        for (QWidget *w : topLevel(name)->findChildren<QWidget *>()) {
            const QString n = w->objectName();
            if (n.isEmpty() || n.startsWith(u"qt_"))
                continue;
            if (w->accessibleDescription() != n)
                unnamed << n;
            if (qobject_cast<QAbstractButton *>(w) && w->isEnabled()) {
                QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
                const QStringList actions = iface->actionInterface()->actionNames();
                if (actions.value(0) != QAccessibleActionInterface::pressAction() &&
                    actions.value(0) != QAccessibleActionInterface::toggleAction())
                    noAction << n;
                EXPECT_NE(iface->role(), QAccessible::CheckBox) << n.toStdString();
            }
        }
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(u' ').toStdString();
    EXPECT_TRUE(noAction.isEmpty()) << noAction.join(u' ').toStdString();
    // "Freeze" pressed through the tree returns at once and then toggles the flag.
    auto *freeze = in("Chart", "cmdFreeze");
    auto *flag = in<QRadioButton>("Chart", "optFlag");
    const bool before = flag->isChecked();
    QAccessible::queryAccessibleInterface(freeze)->actionInterface()->doAction(
        QAccessibleActionInterface::pressAction());
    EXPECT_EQ(flag->isChecked(), before);
    EXPECT_TRUE(wait_until([&] { return flag->isChecked() != before; }));
}
