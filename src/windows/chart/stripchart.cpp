#include "windows/chart/stripchart.h"

#include "link/version.h"
#include "widgets/controls.h"
#include "widgets/prompts.h"
#include "windows/chart/chartview.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFileInfo>
#include <QLineSeries>
#include <QPainter>
#include <QSvgGenerator>
#include <QToolBar>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

namespace quorvex {

namespace {
const QColor kChartBackground(0, 0, 0);
const QColor kTitleColor(255, 255, 0); // yellow
const QColor kGridColor(0, 255, 0);    // lime
const QColor kLabelColor(255, 255, 255);
// Samples are dropped from the front in batches, not one by one as they age.
constexpr int kDropBatch = 64;
} // namespace

StripChart::StripChart(Prompts &prompts, Clock &clock, QWidget *parent)
    : QWidget(parent), m_prompts(prompts), m_clock([&clock] { return clock.nowMs(); })
{
    m_chart = new QChart;
    m_chart->legend()->hide();
    m_chart->setBackgroundBrush(kChartBackground);
    m_chart->setTitleBrush(kTitleColor);
    QFont titleFont(QStringLiteral("Courier"));
    titleFont.setStyleHint(QFont::Monospace);
    titleFont.setPixelSize(13);
    m_chart->setTitleFont(titleFont);
    m_chart->setTitle(QStringLiteral("Quorvex Real Time Plot"));

    m_series = new QLineSeries;
    m_series->setName(QStringLiteral("Untitled"));
    m_chart->addSeries(m_series);
    m_xAxis = new QValueAxis;
    m_yAxis = new QValueAxis;
    colour_axes({m_xAxis, m_yAxis}, kGridColor, kLabelColor);
    m_xAxis->setTitleText(QStringLiteral("Sample #"));
    m_yAxis->setTitleText(QStringLiteral("Raw Value"));
    m_xAxis->setRange(0, 10);
    m_yAxis->setRange(m_yMin, m_yMax);
    m_chart->addAxis(m_xAxis, Qt::AlignBottom);
    m_chart->addAxis(m_yAxis, Qt::AlignLeft);
    m_series->attachAxis(m_xAxis);
    m_series->attachAxis(m_yAxis);

    m_view = new ChartView(m_chart, this);
    m_view->setPanning(false);
    connect(m_view, &ChartView::userMoved, this, [this] { setFollowing(false); });

    m_toolbar = new QToolBar(this);
    named(m_toolbar, "chartToolbar");
    m_toolbar->addAction(QStringLiteral("Zoom In"), this, &StripChart::zoomIn);
    m_toolbar->addAction(QStringLiteral("Zoom Out"), this, &StripChart::zoomOut);
    m_pan = m_toolbar->addAction(QStringLiteral("Pan"));
    m_pan->setCheckable(true);
    connect(m_pan, &QAction::toggled, this, [this](bool on) { m_view->setPanning(on); });
    m_toolbar->addAction(QStringLiteral("Fit All"), this, &StripChart::fitAll);
    m_follow = m_toolbar->addAction(QStringLiteral("Follow"));
    m_follow->setCheckable(true);
    m_follow->setChecked(true);
    connect(m_follow, &QAction::toggled, this, &StripChart::setFollowing);
    m_toolbar->addAction(QStringLiteral("Save Image\u2026"), this, &StripChart::askAndSaveImage);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_view, 1);
    m_clock.Start();
}

StripChart::~StripChart() = default;

void StripChart::addChannel(const QString &name, const QColor &color, int, int)
{
    m_series->setName(name);
    m_series->setPen(QPen(color, 1.5));
}

void StripChart::setFollowPosition(int percent)
{
    m_followPercent = std::clamp(percent, 1, 100);
}

namespace {
// Either limit may be set first: the axis shows the two as set, whichever is the lower.
void show_limits(QValueAxis *axis, double a, double b)
{
    axis->setRange(std::min(a, b), std::max(a, b));
}
} // namespace

void StripChart::setXAxisMin(double x)
{
    m_xMin = x;
    show_limits(m_xAxis, m_xMin, m_xMax);
}

void StripChart::setXAxisMax(double x)
{
    m_xMax = x;
    show_limits(m_xAxis, m_xMin, m_xMax);
}

void StripChart::setXAxisTitle(const QString &title)
{
    m_xAxis->setTitleText(title);
}

void StripChart::setYAxisMin(double y)
{
    m_yMin = y;
    show_limits(m_yAxis, m_yMin, m_yMax);
}

void StripChart::setYAxisMax(double y)
{
    m_yMax = y;
    show_limits(m_yAxis, m_yMin, m_yMax);
}

void StripChart::setYAxisTitle(const QString &title)
{
    m_yAxis->setTitleText(title);
}

bool StripChart::toolbarVisible() const
{
    return !m_toolbar->isHidden();
}

void StripChart::setToolbarVisible(bool visible)
{
    m_toolbar->setVisible(visible);
}

void StripChart::setFollowing(bool follow)
{
    if (m_following == follow)
        return;
    m_following = follow;
    m_follow->setChecked(follow);
    if (follow)
        scrollToNewest();
}

void StripChart::setAntialiased(bool on)
{
    m_view->setRenderHint(QPainter::Antialiasing, on);
}

void StripChart::clearData()
{
    m_series->clear();
}

void StripChart::reset()
{
    m_clock.Start();
    m_chart->zoomReset();
    show_limits(m_xAxis, m_xMin, m_xMax);
    setFollowing(true);
}

void StripChart::beginSample()
{
    ++m_batch;
}

void StripChart::endSample()
{
    if (m_batch > 0)
        --m_batch;
    if (m_batch == 0 && m_following)
        scrollToNewest();
}

void StripChart::addSample(int channel, double x, double y)
{
    if (channel != 0)
        return;
    m_series->append(x, y);
    // Samples fall out of the history from the front, a batch at a time.
    const int count = m_series->count();
    if (count > kDropBatch && m_series->at(kDropBatch - 1).x() < x - kHistorySeconds) {
        int drop = kDropBatch;
        while (drop < count && m_series->at(drop).x() < x - kHistorySeconds)
            ++drop;
        m_series->removePoints(0, drop);
    }
    if (m_batch == 0 && m_following)
        scrollToNewest();
}

double StripChart::nextX() const
{
    return m_clock.CurrentTime();
}

void StripChart::scrollToNewest()
{
    const double span = std::max(m_xMax, m_xMin) - std::min(m_xMax, m_xMin);
    double left = std::min(m_xMin, m_xMax);
    if (m_series->count() > 0) {
        const double newest = m_series->at(m_series->count() - 1).x();
        left = std::max(left, newest - span * m_followPercent / 100.0);
    }
    m_xAxis->setRange(left, left + span);
}

int StripChart::sampleCount() const
{
    return m_series->count();
}

QString StripChart::titleText() const
{
    return m_chart->title();
}

std::pair<double, double> StripChart::xRange() const
{
    return {m_xAxis->min(), m_xAxis->max()};
}

std::pair<double, double> StripChart::yRange() const
{
    return {m_yAxis->min(), m_yAxis->max()};
}

QString StripChart::xTitle() const
{
    return m_xAxis->titleText();
}

QString StripChart::yTitle() const
{
    return m_yAxis->titleText();
}

QString StripChart::channelName() const
{
    return m_series->name();
}

QColor StripChart::channelColor() const
{
    return m_series->pen().color();
}

void StripChart::zoomIn()
{
    setFollowing(false);
    m_chart->zoomIn();
}

void StripChart::zoomOut()
{
    setFollowing(false);
    m_chart->zoomOut();
}

void StripChart::fitAll()
{
    setFollowing(false);
    m_chart->zoomReset();
    if (m_series->count() == 0)
        return;
    const QList<QPointF> points = m_series->points();
    const auto [lowX, highX] =
        std::minmax_element(points.begin(), points.end(),
                            [](const QPointF &a, const QPointF &b) { return a.x() < b.x(); });
    const auto [lowY, highY] =
        std::minmax_element(points.begin(), points.end(),
                            [](const QPointF &a, const QPointF &b) { return a.y() < b.y(); });
    const double padY = std::max((highY->y() - lowY->y()) * 0.05, 0.5);
    m_xAxis->setRange(lowX->x(), std::max(highX->x(), lowX->x() + 1e-3));
    m_yAxis->setRange(lowY->y() - padY, highY->y() + padY);
}

bool StripChart::saveImage(const QString &fileName) const
{
    return save_view_image(m_view, m_chart->title(), fileName);
}

void StripChart::askAndSaveImage()
{
    ask_and_save_image(m_prompts, m_view, m_chart->title());
}

bool save_view_image(QWidget *view, const QString &title, const QString &fileName)
{
    if (fileName.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setFileName(fileName);
        svg.setSize(view->size());
        svg.setViewBox(view->rect());
        svg.setTitle(title);
        QPainter painter;
        if (!painter.begin(&svg))
            return false;
        view->render(&painter);
        return painter.end() && QFileInfo(fileName).size() > 0;
    }
    return view->grab().save(fileName, "PNG");
}

void ask_and_save_image(Prompts &prompts, QWidget *view, const QString &title)
{
    const QString fileName = prompts.saveFileName(
        QStringLiteral("Save Image"), QDir::homePath(),
        {QStringLiteral("PNG image (*.png)"), QStringLiteral("SVG image (*.svg)")});
    if (fileName.isEmpty())
        return;
    if (!save_view_image(view, title, fileName))
        prompts.message(QStringLiteral("The image could not be written to %1.").arg(fileName),
                        message_title(), Prompts::Icon::Warning);
}

} // namespace quorvex
