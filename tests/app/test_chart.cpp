// The strip chart window: its Y axis from item to item, its five buttons, the toolbar, and
// the chart's memory in a display left running.
#include "support/recording.h"
#include "support/virtualclock.h"
#include "windows/chart/chartwindow.h"
#include "windows/chart/stripchart.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

class ChartTest : public ::testing::Test
{
protected:
    void SetUp() override { chart.SetupChart(); }
    template <typename T = QPushButton> T *find(const char *name)
    {
        T *w = chart.findChild<T *>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    VirtualClock clock;
    RecordingPrompts prompts;
    Chart chart{prompts, clock};
};

} // namespace

// Each pass sets the item's Y limits, the maximum first. Both are the item's after the pass,
// whatever range the previous item left: a limit clamped against that range would show a wrong
// axis for a whole pass, and for good when the display is frozen during it.
TEST_F(ChartTest, EachPassShowsExactlyTheItemsYRange)
{
    StripChart *c = chart.strip();
    EXPECT_EQ(c->xRange(), (std::pair<double, double>{0, 10})); // as set up
    EXPECT_EQ(c->yRange(), (std::pair<double, double>{0, 255}));
    const auto sample = [](int code) {
        return realtime_sample(*item_display(code), code, PidItem{1, " 1", "", "Label"});
    };
    const struct
    {
        const char *name;
        int before, after;
    } rows[] = {
        {"Engine RPM, then Calculated Load below its minimum", 0x0C, 0x04},
        {"Coolant, then Ignition Advance below its minimum", 0x05, 0x0E},
        {"Calculated Load, then Engine RPM above its maximum", 0x04, 0x0C},
        {"O2 sensor, then EVAP pressure around it", 0x14, 0x32},
        {"EVAP pressure, then O2 sensor within it", 0x32, 0x14},
    };
    for (const auto &r : rows) {
        chart.showSample(sample(r.before));
        chart.showSample(sample(r.after));
        const ItemDisplay *row = item_display(r.after);
        EXPECT_EQ(c->yRange(), (std::pair<double, double>{row->yMin, row->yMax})) << r.name;
    }
}

TEST_F(ChartTest, TheFiveButtons)
{
    // The window tests press Freeze and STOP while a display runs.
    chart.beginDisplay();
    EXPECT_FALSE(chart.stopRequested());
    chart.showSample({0, 100, "RPM", "Engine RPM", "750 RPM", 75});
    find("cmdFreeze")->click();
    find("cmdFreeze")->click(); // back down, nothing restarted
    EXPECT_FALSE(chart.stopRequested());
    EXPECT_EQ(chart.strip()->sampleCount(), 1);

    const bool toolbar = chart.strip()->toolbarVisible();
    find("cmdShowHideToolbar")->click();
    EXPECT_NE(chart.strip()->toolbarVisible(), toolbar);
    find("cmdShowHideToolbar")->click();
    EXPECT_EQ(chart.strip()->toolbarVisible(), toolbar);

    find("cmdClearData")->click();
    EXPECT_EQ(chart.strip()->sampleCount(), 0);
    chart.showSample({0, 100, "RPM", "Engine RPM", "750 RPM", 75});
    clock.run(2500);
    EXPECT_EQ(chart.strip()->nextX(), 2.5);
    find("cmdResetChart")->click();
    EXPECT_EQ(chart.strip()->sampleCount(), 0);
    EXPECT_EQ(chart.strip()->nextX(), 0); // the clock starts again

    find("Stop1")->click(); // while no loop runs: hidden, the flag stays up
    EXPECT_TRUE(chart.isHidden());
    EXPECT_TRUE(chart.stopRequested());
    // A click on the flag option sets it; a second click leaves it set.
    chart.beginDisplay();
    find<QRadioButton>("optFlag")->click();
    find<QRadioButton>("optFlag")->click();
    EXPECT_TRUE(chart.stopRequested());
}

TEST_F(ChartTest, TheViewFollowsTheNewestTenSecondsAndOldSamplesGo)
{
    StripChart *c = chart.strip();
    for (int i = 0; i <= 1000; ++i) { // one sample a second for 1000 s
        c->beginSample();
        c->addSample(0, i, i % 7);
        c->endSample();
    }
    EXPECT_EQ(c->xRange(), (std::pair<double, double>{990, 1000}));
    // Ten minutes are kept (give or take one batch of dropped samples).
    EXPECT_LE(c->sampleCount(), int(StripChart::kHistorySeconds) + 65);
    EXPECT_GE(c->sampleCount(), int(StripChart::kHistorySeconds));
    // Zooming stops the following; "Follow" brings it back to the newest samples.
    c->zoomIn();
    EXPECT_FALSE(c->following());
    c->addSample(0, 1001, 1);
    EXPECT_NE(c->xRange(), (std::pair<double, double>{991, 1001}));
    c->setFollowing(true);
    EXPECT_EQ(c->xRange(), (std::pair<double, double>{991, 1001}));
    c->fitAll();
    EXPECT_EQ(c->xRange().second, 1001);
    EXPECT_LE(c->xRange().first, 1001 - StripChart::kHistorySeconds + 65);
}

TEST_F(ChartTest, SaveImageAsPngOrSvg)
{
    QTemporaryDir dir;
    chart.resize(640, 400);
    chart.show();
    chart.showSample({0, 100, "RPM", "Engine RPM", "750 RPM", 75});
    const QString png = dir.filePath(QStringLiteral("chart.png"));
    const QString svg = dir.filePath(QStringLiteral("chart.svg"));
    prompts.files = {png, svg};
    QAction *save = nullptr;
    for (QAction *a : chart.findChild<QToolBar *>(QStringLiteral("chartToolbar"))->actions())
        if (a->text().startsWith(QStringLiteral("Save Image")))
            save = a;
    ASSERT_NE(save, nullptr);
    save->trigger();
    save->trigger();
    for (const auto &[name, start] : {std::pair{png, "\x89PNG"}, {svg, "<?xml"}}) {
        QFile file(name);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly) && file.read(5).startsWith(start)) << start;
    }
    // A file that cannot be written says so.
    prompts.files = {dir.filePath(QStringLiteral("missing/chart.png"))};
    save->trigger();
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_TRUE(prompts.boxes[0].text.contains(QStringLiteral("missing/chart.png")));
}
