// What screen readers and GUI test tools reach through the accessibility tree: every control
// carries its program name, and its default action does what a mouse click does and returns at
// once; the work it starts runs afterwards from the event loop, so a message box it opens never
// blocks the caller.
#include "windowfixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QRadioButton>

using namespace quorvex;
using namespace quorvex::test;

namespace {

QAccessibleActionInterface *actions(QObject *object)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->actionInterface() : nullptr;
}

// The default action is the first one offered.
QString defaultAction(QObject *object)
{
    QAccessibleActionInterface *a = actions(object);
    return a ? a->actionNames().value(0) : QString();
}

} // namespace

// A control added without its name, a text box without the caption of the label beside it, or
// a button that reads as a check box (whose "Toggle" runs nothing) is what this catches, in the
// main window and every window it opens.
TEST_F(WindowTest, EveryControlAndMenuItemIsNamedForAssistiveTools)
{
    connectTo(pinned_car());
    button("Mode1")->click();
    for (const char *menu : {"mnuDataLogLog", "mnuAF", "mnuMode6", "mnuVehicleInfo"})
        action(QLatin1String(menu))->trigger();
    button("Mode5")->click();
    topLevel("Chart")->show();
    QStringList unnamed;
    QStringList noPress;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        const QString n = w->objectName();
        if (n.isEmpty() || n.startsWith(u"qt_") || w->isWindow())
            continue;
        if (w->accessibleDescription() != n)
            unnamed << n;
        if (qobject_cast<QAbstractButton *>(w) && w->isEnabled()) {
            const QString first = defaultAction(w);
            if (first != QAccessibleActionInterface::pressAction() &&
                first != QAccessibleActionInterface::toggleAction())
                noPress << n;
            EXPECT_NE(QAccessible::queryAccessibleInterface(w)->role(), QAccessible::CheckBox)
                << n.toStdString();
        }
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(u' ').toStdString();
    EXPECT_TRUE(noPress.isEmpty()) << noPress.join(u' ').toStdString();
    EXPECT_EQ(control<QLineEdit>(QStringLiteral("Text1"))->accessibleName(),
              QStringLiteral("ECU Status"));
    EXPECT_EQ(control<QPlainTextEdit>(QStringLiteral("textECU"))->accessibleName(),
              QStringLiteral("Vehicle Test Status/Trouble Code Window"));
    EXPECT_EQ(control<QListWidget>(QStringLiteral("List1"))->accessibleName(),
              QStringLiteral("Vehicle Data Window"));

    // Qt's own menu items report no description at all: ours give the program name, and the
    // caption without its access key as the name.
    for (const char *name :
         {"mnuLog", "mnuDataLogLog", "mnuCom", "mnuUSB", "mnuConnectionCom1", "mnuWifi", "mnu9600",
          "mnuMode6", "mnuUnits", "mnuUnitsMetric", "mnuDebugMode"}) {
        QAction *a = action(QLatin1String(name));
        ASSERT_NE(a, nullptr) << name;
        EXPECT_FALSE(a->isCheckable()) << name;
        QAccessibleInterface *item = QAccessible::queryAccessibleInterface(a);
        ASSERT_NE(item, nullptr) << name;
        EXPECT_EQ(item->text(QAccessible::Description), QLatin1String(name));
        EXPECT_EQ(item->text(QAccessible::Name), QString(a->text()).remove(u'&')) << name;
        EXPECT_EQ(item->role(), QAccessible::MenuItem) << name;
    }
}

TEST_F(WindowTest, ServiceButtonsArePressedAsAMouseClickPressesThem)
{
    connectTo();
    const std::pair<const char *, QString> rows[] = {
        {"Mode1", "010009"}, {"Mode2", "02000A"},     {"Mode3", "010109"},
        {"Mode4", "040404"}, {"ChangeECU", "800204"}, {"PermanentCodes", "0A0A0A"},
    };
    for (const auto &[name, command] : rows) {
        QPushButton *b = button(name);
        ASSERT_NE(QAccessible::queryAccessibleInterface(b), nullptr) << name;
        EXPECT_EQ(QAccessible::queryAccessibleInterface(b)->role(), QAccessible::Button) << name;
        ASSERT_EQ(defaultAction(b), QAccessibleActionInterface::pressAction()) << name;
        const int before = sent(command);
        actions(b)->doAction(QAccessibleActionInterface::pressAction());
        // Returned before the handler ran: nothing was sent yet.
        EXPECT_EQ(sent(command), before) << name;
        EXPECT_TRUE(clock.runUntil([&, c = command] { return sent(c) > before; })) << name;
        EXPECT_TRUE(clock.runUntil([b] { return !b->isChecked(); })) << name;
    }
}

TEST_F(WindowTest, MenuItemsAndHelpLabelsReturnBeforeTheirBoxIsShown)
{
    load();
    const std::pair<QObject *, QString> rows[] = {
        {action(QStringLiteral("mnuDebugMode")), QStringLiteral("Debug Mode is turned ON")},
        {control<QLabel>(QStringLiteral("Label1")), QStringLiteral("Red=No coommunication")},
        {control<QLabel>(QStringLiteral("Label3")), QStringLiteral("VIN will be shown here")},
    };
    for (const auto &[object, text] : rows) {
        const std::string name = object->objectName().toStdString();
        ASSERT_EQ(defaultAction(object), QAccessibleActionInterface::pressAction()) << name;
        prompts.boxes.clear();
        actions(object)->doAction(QAccessibleActionInterface::pressAction());
        EXPECT_TRUE(prompts.boxes.isEmpty()) << name;
        ASSERT_TRUE(clock.runUntil([this] { return !prompts.boxes.isEmpty(); })) << name;
        EXPECT_TRUE(boxes().first().startsWith(text)) << name;
    }
}

// The windows' plain buttons too: pressed through the tree they return at once and click from
// the event loop right after, as the service buttons do; never after an animation on a timer
// of the window system's own.
TEST_F(WindowTest, PlainButtonsArePressedAsAMouseClickPressesThem)
{
    connectTo(pinned_car());
    auto *chart = topLevel("Chart");
    auto *flag = in<QRadioButton>("Chart", "optFlag");
    const std::pair<QPushButton *, std::function<bool()>> rows[] = {
        {in<QPushButton>("Chart", "cmdFreeze"),
         [flag, was = flag->isChecked()] { return flag->isChecked() != was; }},
        {button("Command2"), [this] { return prompts.printed.size() == 1; }}, // Print
    };
    ASSERT_NE(chart, nullptr);
    for (const auto &[b, clicked] : rows) {
        ASSERT_EQ(defaultAction(b), QAccessibleActionInterface::pressAction())
            << b->objectName().toStdString();
        actions(b)->doAction(QAccessibleActionInterface::pressAction());
        EXPECT_FALSE(clicked()) << b->objectName().toStdString();
        EXPECT_TRUE(clock.runUntil(clicked, 1)) << b->objectName().toStdString();
    }
}
