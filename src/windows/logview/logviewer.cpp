#include "windows/logview/logviewer.h"

#include "files/safefile.h"
#include "link/version.h"
#include "monitor/datalogger.h"
#include "widgets/controls.h"
#include "widgets/preferences.h"
#include "widgets/prompts.h"
#include "windows/chart/chartview.h"

#include <QAction>
#include <QChart>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QToolBar>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

namespace quorvex {

namespace {
const QColor kBackground(0, 0, 0);
const QColor kGridColor(0, 96, 0);
const QColor kLabelColor(255, 255, 255);
const std::array<QColor, 4> kColors{QColor(0, 255, 0), QColor(0, 200, 255), QColor(255, 96, 255),
                                    QColor(255, 176, 0)};

std::pair<double, double> value_range(const std::vector<double> &values)
{
    if (values.empty())
        return {0, 0};
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return {*low, *high};
}

QString number_text(double x)
{
    return QString::fromLatin1(record_number(x));
}
} // namespace

LogViewer::LogViewer(Prompts &prompts, bool metric, QWidget *parent)
    : QWidget(parent, Qt::Window), m_prompts(prompts), m_metric(metric)
{
    setObjectName(QStringLiteral("LogViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Quorvex Log Viewer"));

    m_chart = new QChart;
    m_chart->setBackgroundBrush(kBackground);
    m_chart->legend()->setLabelColor(kLabelColor);
    m_chart->legend()->setAlignment(Qt::AlignTop);
    m_xAxis = new QValueAxis;
    m_yAxis = new QValueAxis;
    colour_axes({m_xAxis, m_yAxis}, kGridColor, kLabelColor);
    m_chart->addAxis(m_xAxis, Qt::AlignBottom);
    m_chart->addAxis(m_yAxis, Qt::AlignLeft);
    m_xAxis->setTitleText(QStringLiteral("Seconds from the first record"));
    m_yAxis->setTitleText(QStringLiteral("% of the item's range"));
    m_yAxis->setRange(-5, 105);
    for (size_t k = 0; k < m_series.size(); ++k) {
        m_series[k] = new QLineSeries;
        m_series[k]->setPen(QPen(kColors[k], 1.5));
    }
    m_cursorLine = new QLineSeries;
    m_cursorLine->setPen(QPen(kLabelColor, 1, Qt::DashLine));
    for (QLineSeries *series : {m_series[0], m_series[1], m_series[2], m_series[3], m_cursorLine}) {
        m_chart->addSeries(series);
        series->attachAxis(m_xAxis);
        series->attachAxis(m_yAxis);
    }
    m_chart->legend()->markers(m_cursorLine).constFirst()->setVisible(false);

    m_view = named(new ChartView(m_chart), "chartView", QStringLiteral("Log plot"));
    m_view->setPanning(false);
    m_view->setMouseTracking(true);
    m_view->setFocusPolicy(Qt::StrongFocus);
    connect(m_view, &ChartView::userMoved, this, [this] { m_fitted = false; });
    connect(m_view, &ChartView::pointed, this, &LogViewer::pointAt);
    connect(m_view, &ChartView::stepped, this, &LogViewer::step);
    connect(m_xAxis, &QValueAxis::rangeChanged, this, [this] { redraw(); });
    connect(m_chart, &QChart::plotAreaChanged, this, [this] { redraw(); });

    auto *toolbar = named(new QToolBar, "logToolbar");
    auto add = [this, toolbar](const char *name, const QString &text, auto slot) {
        return namedAction(toolbar->addAction(text, this, slot), name);
    };
    add("actZoomIn", QStringLiteral("Zoom In"), &LogViewer::zoomIn);
    add("actZoomOut", QStringLiteral("Zoom Out"), &LogViewer::zoomOut);
    m_pan = namedAction(toolbar->addAction(QStringLiteral("Pan")), "actPan");
    m_pan->setCheckable(true);
    connect(m_pan, &QAction::toggled, this, [this](bool on) { m_view->setPanning(on); });
    add("actFitAll", QStringLiteral("Fit All"), &LogViewer::fitAll);
    add("actSaveImage", QStringLiteral("Save Image\u2026"),
        [this] { ask_and_save_image(m_prompts, m_view, windowTitle()); });
    add("actExportCsv", QStringLiteral("Export CSV\u2026"), &LogViewer::exportCsv);

    lblCursor = named(new QLabel, "lblCursor");
    lblCursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblStatus = named(new QLabel, "lblStatus");
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(toolbar);
    layout->addWidget(m_view, 1);
    layout->addWidget(lblCursor);
    layout->addWidget(lblStatus);
    resize(900, 560);
    keep_geometry(this);

    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &LogViewer::follow);
}

bool LogViewer::open(const QString &path)
{
    m_path = path;
    const SafeFileRead file = read_regular_file(path, kMaxLogBytes);
    if (!file.ok()) {
        refused(file.describe(path, kMaxLogBytes));
        return false;
    }
    const LogFeed feed = feed_log(m_data, file.contents);
    if (feed == LogFeed::TooLong) {
        refused(QStringLiteral("%1 has more than %2 lines.").arg(path).arg(kMaxLogLines));
        return false;
    }
    if (feed == LogFeed::NotALog || m_data.lines < 4) {
        refused(QStringLiteral("%1 is not a log of the data logger: it does not begin with four "
                               "item names followed by records of four values and the seconds.")
                    .arg(path));
        return false;
    }
    setWindowTitle(QStringLiteral("Quorvex Log Viewer - %1").arg(QFileInfo(path).fileName()));
    for (size_t k = 0; k < 4; ++k) {
        m_units[k] = log_item_units(m_data.labels[k], m_metric);
        const QString name = log_item_name(m_data.labels[k]);
        m_series[k]->setName(
            m_units[k].isEmpty() ? name : name + QStringLiteral(" (") + m_units[k] + u')');
    }
    m_watcher->addPath(path);
    showData();
    return true;
}

void LogViewer::refused(const QString &reason)
{
    m_prompts.message(reason, message_title(), Prompts::Icon::Warning);
}

void LogViewer::follow()
{
    if (m_stopped || m_path.isEmpty())
        return;
    SafeFileRead file = read_regular_file(m_path, kMaxLogBytes, m_data.consumed);
    if (file.ok() && QFileInfo(m_path).size() < m_data.consumed) {
        // The file was started again (a new log under the same name): read it from the top.
        m_data = LogData();
        file = read_regular_file(m_path, kMaxLogBytes);
    }
    if (!file.ok()) {
        m_stopped = true;
        showStatus(
            QStringLiteral("no longer followed: %1").arg(file.describe(m_path, kMaxLogBytes)));
        return;
    }
    const LogFeed feed = feed_log(m_data, file.contents);
    if (feed != LogFeed::Ok) {
        m_stopped = true;
        showStatus(feed == LogFeed::TooLong
                       ? QStringLiteral("no longer followed: more than %1 lines").arg(kMaxLogLines)
                       : QStringLiteral("no longer followed: the file is no log any more"));
    }
    // A watcher loses a file that was replaced; look for it again.
    if (!m_stopped && !m_watcher->files().contains(m_path))
        m_watcher->addPath(m_path);
    showData();
}

void LogViewer::showData()
{
    for (size_t k = 0; k < 4; ++k)
        m_ranges[k] = value_range(m_data.values[k]);
    if (m_fitted)
        fitAll(); // redraws
    else
        redraw();
    showCursor();
    if (!m_stopped)
        showStatus();
}

void LogViewer::showStatus(const QString &extra)
{
    QStringList parts{m_data.records() == 1 ? QStringLiteral("1 record")
                                            : QStringLiteral("%1 records").arg(m_data.records())};
    if (m_data.damaged == 1)
        parts << QStringLiteral("1 line could not be read");
    else if (m_data.damaged > 1)
        parts << QStringLiteral("%1 lines could not be read").arg(m_data.damaged);
    if (!extra.isEmpty())
        parts << extra;
    lblStatus->setText(parts.join(QStringLiteral("; ")));
}

void LogViewer::redraw()
{
    if (m_redrawing)
        return;
    m_redrawing = true;
    const double first = m_data.seconds.empty() ? 0 : m_data.seconds.front();
    // Times from the first record: shifted copies would double the memory, so the axis is
    // shifted instead while the data keep the file's seconds.
    const double x0 = m_xAxis->min() + first;
    const double x1 = m_xAxis->max() + first;
    const int columns = std::max(static_cast<int>(m_chart->plotArea().width()), 200);
    for (size_t k = 0; k < 4; ++k) {
        const auto [low, high] = m_ranges[k];
        const double scale = high > low ? 100 / (high - low) : 1;
        const double offset = high > low ? low : low - 50;
        QList<QPointF> points =
            decimate(m_data.seconds, m_data.values[k], x0, x1, columns, offset, scale);
        for (QPointF &p : points)
            p.rx() -= first;
        m_series[k]->replace(points);
    }
    m_redrawing = false;
}

void LogViewer::zoomIn()
{
    m_fitted = false;
    m_chart->zoomIn();
}

void LogViewer::zoomOut()
{
    m_fitted = false;
    m_chart->zoomOut();
}

void LogViewer::fitAll()
{
    m_fitted = true;
    m_chart->zoomReset();
    const double span = m_data.seconds.empty() ? 0 : m_data.seconds.back() - m_data.seconds.front();
    m_yAxis->setRange(-5, 105);
    const double right = std::max(span, 1e-3);
    if (m_xAxis->min() == 0 && m_xAxis->max() == right)
        redraw(); // the same span, data of other ranges perhaps
    else
        m_xAxis->setRange(0, right); // redraws
}

void LogViewer::pointAt(double x)
{
    if (m_data.seconds.empty())
        return;
    m_cursor = nearest_record(m_data.seconds, x + m_data.seconds.front());
    showCursor();
}

void LogViewer::step(int records)
{
    if (m_data.seconds.empty())
        return;
    m_cursor =
        std::clamp<qsizetype>(m_cursor < 0 ? 0 : m_cursor + records, 0, m_data.records() - 1);
    showCursor();
}

void LogViewer::showCursor()
{
    if (m_cursor < 0 || m_cursor >= m_data.records()) {
        m_cursorLine->clear();
        lblCursor->setText(QStringLiteral("Point at the plot or press Left and Right for the "
                                          "values at a time."));
        return;
    }
    const size_t i = static_cast<size_t>(m_cursor);
    const double x = m_data.seconds[i] - m_data.seconds.front();
    m_cursorLine->replace({QPointF(x, -5), QPointF(x, 105)});
    QStringList parts{QStringLiteral("%1 s").arg(number_text(x))};
    for (size_t k = 0; k < 4; ++k) {
        QString part = log_item_name(m_data.labels[k]) + u' ' + number_text(m_data.values[k][i]);
        if (!m_units[k].isEmpty())
            part += u' ' + m_units[k];
        parts << part;
    }
    lblCursor->setText(parts.join(QStringLiteral("   ")));
}

void LogViewer::exportCsv()
{
    const QFileInfo log(m_path);
    const QString fileName = m_prompts.saveFileName(
        QStringLiteral("Export CSV"),
        log.absoluteDir().filePath(log.completeBaseName() + QStringLiteral(".csv")),
        {QStringLiteral("CSV files (*.csv)"), QStringLiteral("All files (*)")});
    if (fileName.isEmpty())
        return;
    if (!writeCsv(fileName))
        m_prompts.message(QStringLiteral("The CSV file %1 could not be written.").arg(fileName),
                          message_title(), Prompts::Icon::Warning);
}

bool LogViewer::writeCsv(const QString &fileName)
{
    QFile file(fileName);
    const QByteArray csv = log_csv(m_data, m_units);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(csv) == csv.size() &&
           file.flush();
}

} // namespace quorvex
