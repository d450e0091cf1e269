#pragma once

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>

namespace quorvex {

// A font by family name, with the generic kind to fall back on where the family is missing.
inline QFont family(const QString &name, QFont::StyleHint hint)
{
    QFont font(name);
    font.setStyleHint(hint);
    return font;
}

// Every control carries its program name as objectName and, because the accessibility tree
// does not show objectName, as its accessible description too. Text boxes and lists take the
// caption of the label beside them as their accessible name (`accessibleName`); buttons and
// labels keep their own text.
template <typename W>
W *named(W *widget, const QString &name, const QString &accessibleName = QString())
{
    widget->setObjectName(name);
    widget->setAccessibleDescription(name);
    if (!accessibleName.isEmpty())
        widget->setAccessibleName(accessibleName);
    return widget;
}

template <typename W>
W *named(W *widget, const char *name, const QString &accessibleName = QString())
{
    return named(widget, QString::fromLatin1(name), accessibleName);
}

// A menu item carries its program name as objectName.
inline QAction *namedAction(QAction *action, const char *name)
{
    action->setObjectName(QLatin1String(name));
    return action;
}

// A menu named like a control; its item in the menu bar carries the name as well.
inline QMenu *namedMenu(QMenu *menu, const char *name)
{
    named(menu, name);
    menu->menuAction()->setObjectName(QLatin1String(name));
    return menu;
}

// A text box's background colour.
inline void paint(QLineEdit *box, const QColor &background)
{
    QPalette pal = box->palette();
    pal.setColor(QPalette::Base, background);
    box->setPalette(pal);
}

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

// An option button whose value is a flag: a click sets it (a second click leaves it set), the
// program may clear it. The stop flags of the chart window and the fuel trim monitor.
class FlagOption : public QRadioButton
{
    Q_OBJECT
public:
    explicit FlagOption(const QString &caption, QWidget *parent = nullptr)
        : QRadioButton(caption, parent)
    {
        setAutoExclusive(false);
    }

protected:
    void nextCheckState() override { setChecked(true); }
};

} // namespace quorvex
