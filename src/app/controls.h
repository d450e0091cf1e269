#pragma once

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

namespace quorvex {

// A label that reports a click (the help labels of the main window).
class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            emit clicked();
        QLabel::mouseReleaseEvent(event);
    }
};

// An option button used as a push button: a click runs its service, and the button stays
// down (checked) while the service runs. Pressing one releases the others of its container.
class OptionButton : public QPushButton
{
    Q_OBJECT
public:
    explicit OptionButton(const QString &caption, QWidget *parent = nullptr)
        : QPushButton(caption, parent)
    {
        setCheckable(true);
    }

    // Down while its service runs; the other option buttons of the container are released.
    void press();
    void release() { setChecked(false); }
};

} // namespace quorvex
