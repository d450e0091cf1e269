#pragma once

#include <QChartView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QValueAxis>

#include <initializer_list>

class QWidget;

namespace quorvex {

class Prompts;

// Value axes in a chart's colours: grid lines, labels and title.
inline void colour_axes(std::initializer_list<QValueAxis *> axes, const QColor &grid,
                        const QColor &labels)
{
    for (QValueAxis *axis : axes) {
        axis->setGridLineColor(grid);
        axis->setLabelsColor(labels);
        axis->setTitleBrush(labels);
    }
}

// A chart's view: a rubber band zooms; in pan mode a drag moves the plot. Either tells the
// window that the user moved the view. The pointer over the plot and the arrow keys are
// announced for a window that shows a cursor.
class ChartView : public QChartView
{
    Q_OBJECT
public:
    using QChartView::QChartView;

    void setPanning(bool pan)
    {
        m_panning = pan;
        setRubberBand(pan ? QChartView::NoRubberBand : QChartView::RectangleRubberBand);
    }

signals:
    void userMoved();
    // The pointer moved to x (in the X axis' units) with no button pressed.
    void pointed(double x);
    // Left (-1) or Right (+1) was pressed.
    void stepped(int step);

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        m_last = event->position();
        QChartView::mousePressEvent(event);
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (m_panning && (event->buttons() & Qt::LeftButton)) {
            const QPointF delta = event->position() - m_last;
            m_last = event->position();
            chart()->scroll(-delta.x(), delta.y());
            emit userMoved();
            return;
        }
        if (event->buttons() == Qt::NoButton)
            emit pointed(
                chart()
                    ->mapToValue(chart()->mapFromScene(mapToScene(event->position().toPoint())))
                    .x());
        QChartView::mouseMoveEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QChartView::mouseReleaseEvent(event);
        if (!m_panning)
            emit userMoved(); // a rubber band zoom (or a right-click zoom out)
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
            emit stepped(event->key() == Qt::Key_Left ? -1 : 1);
            return;
        }
        QChartView::keyPressEvent(event);
    }

private:
    bool m_panning = false;
    QPointF m_last;
};

// Writes what `view` shows as a PNG image, or SVG when the name ends in .svg, titled `title`.
// False on failure.
bool save_view_image(QWidget *view, const QString &title, const QString &fileName);

// Asks for an image file and writes the view there; a failure is reported in a box.
void ask_and_save_image(Prompts &prompts, QWidget *view, const QString &title);

} // namespace quorvex
