#pragma once

#include "monitor/logreader.h"

#include <QWidget>

#include <array>

class QAction;
class QChart;
class QFileSystemWatcher;
class QLabel;
class QLineSeries;
class QValueAxis;

namespace quorvex {

class ChartView;
class Prompts;

// "Quorvex Log Viewer": a log the data logger wrote, its four items against the seconds from
// the first record in one chart, each series scaled to its own range (0 to 100 % of the
// lowest to the highest value) while the read-out under the chart gives the real values at
// the cursor. The file is read within the log limits; it is followed while it grows (the
// logger may be writing it), read from where the last reading stopped.
class LogViewer : public QWidget
{
    Q_OBJECT
public:
    // `metric`: which units the items' read-out and the CSV header name.
    LogViewer(Prompts &prompts, bool metric, QWidget *parent = nullptr);

    // Reads the log at `path`. False, with one message box saying why, when it cannot be read
    // or is not a log.
    bool open(const QString &path);
    // Reads what the file has gained (the file watcher calls it).
    void follow();

    // Toolbar actions.
    void zoomIn();
    void zoomOut();
    void fitAll();
    void exportCsv();
    bool writeCsv(const QString &fileName);

    // The cursor on the record nearest to x, or `step` records on.
    void pointAt(double x);
    void step(int records);

    const LogData &data() const { return m_data; }
    QChart *chart() const { return m_chart; }
    ChartView *view() const { return m_view; }

private:
    void refused(const QString &reason);
    void showData();
    void redraw();
    void showCursor();
    void showStatus(const QString &extra = QString());

    Prompts &m_prompts;
    bool m_metric = false;
    QString m_path;
    LogData m_data;
    std::array<QString, 4> m_units;
    std::array<std::pair<double, double>, 4> m_ranges{}; // each item's lowest and highest
    qsizetype m_cursor = -1;
    bool m_fitted = true; // the whole log in sight: a followed log keeps it so
    bool m_stopped = false;
    bool m_redrawing = false;

    QChart *m_chart = nullptr;
    ChartView *m_view = nullptr;
    std::array<QLineSeries *, 4> m_series{};
    QLineSeries *m_cursorLine = nullptr;
    QValueAxis *m_xAxis = nullptr;
    QValueAxis *m_yAxis = nullptr;
    QAction *m_pan = nullptr;
    QLabel *lblCursor = nullptr;
    QLabel *lblStatus = nullptr;
    QFileSystemWatcher *m_watcher = nullptr;
};

} // namespace quorvex
