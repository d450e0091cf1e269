#pragma once

#include "link/clock.h"
#include "link/timing.h"

#include <QColor>
#include <QWidget>

#include <memory>

class QAction;
class QChart;
class QChartView;
class QLineSeries;
class QToolBar;
class QValueAxis;

namespace quorvex {

class Prompts;
class ChartView;

// The strip chart: one channel of samples against elapsed seconds, in a chart view with a
// toolbar of its own. Each member the real-time display and SetupChart use is one method here;
// windows never touch Qt Charts directly.
//
// x is the elapsed time in seconds since the last reset (the display's start), on the program's
// clock. While the chart follows the newest sample, the X axis keeps the configured
// span (0-10 s after set-up) in sight and scrolls; samples older than kHistorySeconds behind
// the newest are dropped, so a display left running for a day uses flat memory. Zooming or
// panning stops the following until "Follow" is pressed again.
class StripChart : public QWidget
{
    Q_OBJECT
public:
    static constexpr double kHistorySeconds = 600;

    StripChart(Prompts &prompts, Clock &clock, QWidget *parent = nullptr);
    ~StripChart() override;

    // Member 1: the channel's name and colour (the last two values have no effect here).
    void addChannel(const QString &name, const QColor &color, int, int);
    // Member 58: where the newest sample stays while following, in percent of the X span from
    // the left (100: at the right edge).
    void setFollowPosition(int percent);
    // Members 23, 24, 29, 38, 39, 44: the axes. The X limits are the span shown after a reset.
    // Each limit is kept as set, whatever the other one was when it came (a pass sets both,
    // one after the other); the axis shows them lower first.
    void setXAxisMin(double x);
    void setXAxisMax(double x);
    void setXAxisTitle(const QString &title);
    void setYAxisMin(double y);
    void setYAxisMax(double y);
    void setYAxisTitle(const QString &title);
    // Member 63: the toolbar.
    bool toolbarVisible() const;
    void setToolbarVisible(bool visible);
    // Member 67: the X axis follows the newest sample.
    void setFollowing(bool follow);
    bool following() const { return m_following; }
    // Member 127: smooth (antialiased) lines.
    void setAntialiased(bool on);
    // Member 12: drops every sample.
    void clearData();
    // Member 132: the clock starts again at 0 and the X axis shows its configured span.
    void reset();
    // Members 3 and 4: a sample is added between these two; the view is updated at the end.
    void beginSample();
    void endSample();
    // Member 84: a sample of the channel (only channel 0 exists).
    void addSample(int channel, double x, double y);
    // Member 133: the x of a sample taken now.
    double nextX() const;

    // The samples kept, the title text, the axis ranges as shown (tests, the image saver).
    int sampleCount() const;
    QString titleText() const;
    std::pair<double, double> xRange() const;
    std::pair<double, double> yRange() const;
    QString xTitle() const;
    QString yTitle() const;
    QString channelName() const;
    QColor channelColor() const;

    // Toolbar actions.
    void zoomIn();
    void zoomOut();
    void fitAll();
    // Writes the chart as a PNG image, or SVG when the name ends in .svg. False on failure.
    bool saveImage(const QString &fileName) const;

private:
    void askAndSaveImage();
    void scrollToNewest();

    Prompts &m_prompts;
    QChart *m_chart = nullptr;
    ChartView *m_view = nullptr;
    QLineSeries *m_series = nullptr;
    QValueAxis *m_xAxis = nullptr;
    QValueAxis *m_yAxis = nullptr;
    QToolBar *m_toolbar = nullptr;
    QAction *m_follow = nullptr;
    QAction *m_pan = nullptr;
    Timing m_clock;
    double m_xMin = 0;
    double m_xMax = 10;
    double m_yMin = -10.625;
    double m_yMax = 255;
    int m_followPercent = 100;
    bool m_following = true;
    int m_batch = 0;
};

} // namespace quorvex
