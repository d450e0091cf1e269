// The monitoring windows as a user drives them from the main window, against a simulated car
// whose values are pinned: the real-time display, the data logger, the fuel trim monitor and
// the air/fuel ratio meter, and a lost link while they run.
#include "widgets/preferences.h"
#include "windowfixture.h"

#include <QFile>
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
        connectTo(pinned_car());
        button("Mode1")->click();
    }
    QString chartValue() const { return in("Chart", "txbValue")->text(); }
    QString startLogText() const { return in<QPushButton>("DataLog", "Command1")->text(); }
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
    when([this] { return sent("010C07") >= 3 && !chartValue().isEmpty(); },
         [this] { click("Chart", "cmdFreeze"); });
    window->List1_DblClick();
    EXPECT_TRUE(topLevel("Chart")->isVisible());
    EXPECT_EQ(chartValue(), QStringLiteral("750 RPM"));
    EXPECT_EQ(in<QLabel>("Chart", "lblValText")->text(),
              QStringLiteral("Engine RPM ------------- "));
    const int asked = sent("010C07");
    clock.run(50);
    EXPECT_EQ(sent("010C07"), asked); // nothing more is asked

    // The load: percent with one decimal; "STOP" hides the chart.
    chooseLine("Calculated Load");
    when([this] { return sent("010406") >= 2; }, [this] { click("Chart", "Stop1"); });
    window->List1_DblClick();
    EXPECT_TRUE(topLevel("Chart")->isHidden());
    EXPECT_EQ(chartValue(), QStringLiteral("25.0%"));
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
             when([this] { return sent("011606") >= 2; }, [this] { click("Chart", "cmdFreeze"); });
             window->List1_DblClick();
             innerRan = true;
         });
    window->List1_DblClick();
    EXPECT_TRUE(innerRan);
    EXPECT_EQ(chartValue(), QStringLiteral("0.450  Volts"));
    const qsizetype asked = server->commands().size();
    clock.run(50);
    EXPECT_EQ(server->commands().size(), asked);
}

TEST_F(MonitorWindowsTest, LoggerWritesTheChosenItemsUntilStopLog)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trip.log"));
    action(QStringLiteral("mnuDataLogLog"))->trigger();
    ASSERT_TRUE(topLevel("DataLog")->isVisible());
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
         [this] { click("DataLog", "Command2"); });
    click("DataLog", "Command1");
    EXPECT_TRUE(topLevel("DataLog")->isHidden());
    EXPECT_EQ(startLogText(), QStringLiteral("Start Log"));
    EXPECT_EQ(in("DataLog", "Display2_name")->text(), QStringLiteral("Engine RPM ------------- "));
    EXPECT_EQ(in("DataLog", "Display4_value")->text(), QStringLiteral(" .45  Volts"));
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
         [this] { click("DataLog", "Command2"); });
    click("DataLog", "Command1");
    EXPECT_EQ(prompts.fileFolders.last(), dir.path());
    EXPECT_EQ(preference(QStringLiteral("datalog/folder")).toString(), dir.path());
    file.close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count('\n'), 4 + 1);
}

TEST_F(MonitorWindowsTest, LoggerThatCannotStart)
{
    action(QStringLiteral("mnuDataLogLog"))->trigger();
    // Cancelled: no log, the button reads "Start Log" again.
    click("DataLog", "Command1");
    EXPECT_EQ(startLogText(), QStringLiteral("Start Log"));
    // A file that cannot be opened is named with the reason.
    prompts.files = {QStringLiteral("/nonexistent/folder/trip.log")};
    click("DataLog", "Command1");
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_TRUE(boxes()[0].contains(QStringLiteral("/nonexistent/folder/trip.log")));
    EXPECT_EQ(startLogText(), QStringLiteral("Start Log"));
    // A request that lists nothing leaves nothing to log: said once, no file asked for.
    server->setFaults({.ecuTimeout = true});
    button("Mode1")->click();
    prompts.boxes.clear();
    click("DataLog", "Command1");
    EXPECT_EQ(boxes(), QStringList{"No Data Selected"});
    EXPECT_EQ(prompts.fileFilters.size(), 2);
}

TEST_F(MonitorWindowsTest, MetersUntilExitAndAgain)
{
    // The fuel trim monitor, twice; its "EXIT" hides the chart too.
    topLevel("Chart")->show();
    for (int run = 0; run < 2; ++run) {
        when([this, run] { return sent("010706") >= 2 * (run + 1); },
             [this] { click("frmFuel_Trim", "Command1"); });
        action(QStringLiteral("mnuFTM"))->trigger();
        EXPECT_EQ(in<QLabel>("frmFuel_Trim", "Label1")->text(),
                  QStringLiteral("Short Term Fuel Trim B1----  4%"));
        EXPECT_EQ(in<QLabel>("frmFuel_Trim", "Label2")->text(),
                  QStringLiteral("Long  Term Fuel Trim B1---- -1%"));
        EXPECT_TRUE(in<QLabel>("frmFuel_Trim", "Label3")->text().isEmpty()); // bank 2 unsupported
        EXPECT_TRUE(topLevel("frmFuel_Trim")->isHidden());
        EXPECT_TRUE(topLevel("Chart")->isHidden());
    }

    action(QStringLiteral("mnuAF"))->trigger();
    EXPECT_EQ(topLevel("Air_Fuel_Ratio")->windowTitle(),
              QString(50, u' ') + QStringLiteral("Air/Fuel Ratio"));
    QStringList shown;
    when([this] { return !in("Air_Fuel_Ratio", "Text2")->text().isEmpty(); },
         [&] {
             shown << in("Air_Fuel_Ratio", "Text1")->text()
                   << in("Air_Fuel_Ratio", "Text2")->text();
             click("Air_Fuel_Ratio", "Command2");
         });
    click("Air_Fuel_Ratio", "Command1");
    EXPECT_EQ(shown, (QStringList{"14.61 A/F", "750  RPM "}));
    EXPECT_TRUE(in("Air_Fuel_Ratio", "Text1")->text().isEmpty());
    EXPECT_TRUE(topLevel("Air_Fuel_Ratio")->isHidden());
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
    click("DataLog", "Command1");
    expectOffLine();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray contents = file.readAll();
    EXPECT_TRUE(contents.endsWith("\r\n"));
    EXPECT_EQ(contents.count('\n'), 4 + 2);
}
