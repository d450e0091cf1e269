#include "widgets/accessible.h"

#include "widgets/controls.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleWidget>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>

namespace quorvex {

namespace {

QString stripAccessKey(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'&')
            text.remove(i, 1); // "&&" keeps one ampersand
    }
    return text;
}

// An item of a QMenu or QMenuBar, backed by its QAction.
class MenuItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    MenuItemAccessible(QAction *action, QWidget *owner) : m_action(action), m_owner(owner) {}

    bool isValid() const override { return m_action && m_owner; }
    QObject *object() const override { return m_action; }
    QWindow *window() const override { return m_owner ? m_owner->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_owner);
    }
    QAccessibleInterface *child(int index) const override
    {
        if (index == 0 && m_action->menu())
            return QAccessible::queryAccessibleInterface(m_action->menu());
        return nullptr;
    }
    int childCount() const override { return m_action->menu() ? 1 : 0; }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == m_action->menu() ? 0 : -1;
    }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return stripAccessKey(m_action->text());
        case QAccessible::Description:
            return m_action->objectName();
        case QAccessible::Help:
            return m_action->statusTip();
        default:
            return QString();
        }
    }
    void setText(QAccessible::Text, const QString &) override {}

    QRect rect() const override
    {
        QRect r;
        if (auto *menu = qobject_cast<QMenu *>(m_owner))
            r = menu->actionGeometry(m_action);
        else if (auto *bar = qobject_cast<QMenuBar *>(m_owner))
            r = bar->actionGeometry(m_action);
        return r.translated(m_owner->mapToGlobal(QPoint(0, 0)));
    }
    QAccessible::Role role() const override
    {
        if (m_action->isSeparator())
            return QAccessible::Separator;
        return QAccessible::MenuItem;
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.disabled = !m_action->isEnabled();
        s.invisible = !m_action->isVisible() || !m_owner->isVisible();
        s.focusable = m_action->isEnabled();
        s.hasPopup = m_action->menu() != nullptr;
        if (auto *menu = qobject_cast<QMenu *>(m_owner))
            s.focused = menu->activeAction() == m_action;
        return s;
    }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this)
                                                 : nullptr;
    }
    QStringList actionNames() const override
    {
        if (!m_action->isEnabled())
            return {};
        return {m_action->menu() ? showMenuAction() : pressAction()};
    }
    void doAction(const QString &name) override
    {
        if (!m_action->isEnabled() || !actionNames().contains(name))
            return;
        // Queued: the handler may open a modal box, which must not block the caller.
        QTimer::singleShot(0, m_action, [action = m_action, owner = m_owner] {
            if (!action || !owner || !action->isEnabled())
                return;
            if (auto *bar = qobject_cast<QMenuBar *>(owner)) {
                bar->setActiveAction(action);
                if (!action->menu())
                    action->trigger();
                return;
            }
            auto *menu = static_cast<QMenu *>(owner.data());
            menu->setActiveAction(action);
            if (QMenu *sub = action->menu())
                sub->popup(menu->mapToGlobal(menu->actionGeometry(action).topRight()));
            else
                action->trigger();
        });
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<QAction> m_action;
    QPointer<QWidget> m_owner;
};

// A widget whose default action is a click, run queued.
class PressableAccessible : public QAccessibleWidget
{
public:
    PressableAccessible(QWidget *widget, QAccessible::Role role, QString (*caption)(QWidget *))
        : QAccessibleWidget(widget, role), m_caption(caption)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return stripAccessKey(m_caption(widget()));
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (auto *b = qobject_cast<OptionButton *>(widget()))
            s.pressed = b->isChecked();
        if (auto *f = qobject_cast<FlagOption *>(widget())) {
            s.checkable = true;
            s.checked = f->isChecked();
        }
        return s;
    }
    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (widget()->isEnabled())
            names.prepend(pressAction());
        return names;
    }
    void doAction(const QString &name) override
    {
        if (name != pressAction()) {
            QAccessibleWidget::doAction(name);
            return;
        }
        if (!widget()->isEnabled())
            return;
        // Queued, as a mouse click arrives: the handler runs from the event loop afterwards.
        QTimer::singleShot(0, widget(), [w = QPointer<QWidget>(widget())] {
            if (!w || !w->isEnabled())
                return;
            if (auto *b = qobject_cast<QAbstractButton *>(w))
                b->click();
            else if (auto *l = qobject_cast<ClickLabel *>(w))
                emit l->clicked();
        });
    }

private:
    QString (*m_caption)(QWidget *);
};

QAccessibleInterface *factory(const QString &, QObject *object)
{
    if (auto *button = qobject_cast<OptionButton *>(object))
        return new PressableAccessible(button, QAccessible::Button, [](QWidget *w) {
            return static_cast<QPushButton *>(w)->text();
        });
    if (auto *flag = qobject_cast<FlagOption *>(object))
        return new PressableAccessible(flag, QAccessible::RadioButton, [](QWidget *w) {
            return static_cast<QRadioButton *>(w)->text();
        });
    // Plain push buttons too: Qt's own "Press" animates a click that ends on a timer of its
    // own 100 ms later; this one clicks from the event loop at once, like every other control.
    if (auto *button = qobject_cast<QPushButton *>(object))
        return new PressableAccessible(button, QAccessible::Button, [](QWidget *w) {
            return static_cast<QPushButton *>(w)->text();
        });
    if (auto *label = qobject_cast<ClickLabel *>(object))
        return new PressableAccessible(label, QAccessible::StaticText,
                                       [](QWidget *w) { return static_cast<QLabel *>(w)->text(); });
    auto *action = qobject_cast<QAction *>(object);
    if (!action)
        return nullptr;
    for (QObject *w : action->associatedObjects()) {
        if (qobject_cast<QMenu *>(w) || qobject_cast<QMenuBar *>(w))
            return new MenuItemAccessible(action, static_cast<QWidget *>(w));
    }
    return nullptr;
}

} // namespace

void install_accessibility()
{
    static bool installed = false;
    if (!installed) {
        QAccessible::installFactory(factory);
        installed = true;
    }
}

} // namespace quorvex
