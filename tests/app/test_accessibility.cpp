// What screen readers and GUI test tools reach through the accessibility tree: every control's
// default action does what a mouse click does, and returns at once; the work it starts runs
// afterwards from the event loop, so a message box it opens never blocks the caller.
#include "windowfixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>

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

TEST_F(WindowTest, ServiceButtonsArePressedAsAMouseClickPressesThem)
{
    startSim();
    connectCom(1);
    ASSERT_EQ(status(), QStringLiteral("ECU Connected"));
    const std::pair<const char *, QString> rows[] = {
        {"Mode1", "010009"}, {"Mode2", "02000A"},     {"Mode3", "010109"},
        {"Mode4", "040404"}, {"ChangeECU", "800204"},
    };
    for (const auto &[name, command] : rows) {
        QPushButton *b = button(name);
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(b);
        ASSERT_NE(iface, nullptr) << name;
        EXPECT_EQ(iface->role(), QAccessible::Button) << name;
        ASSERT_EQ(defaultAction(b), QAccessibleActionInterface::pressAction()) << name;
        const qsizetype before = server->commands().count(command);
        actions(b)->doAction(QAccessibleActionInterface::pressAction());
        // Returned before the handler ran: nothing was sent yet.
        EXPECT_EQ(server->commands().count(command), before) << name;
        EXPECT_TRUE(wait_until([&, c = command] { return server->commands().count(c) > before; }))
            << name;
        EXPECT_TRUE(wait_until([b] { return !b->isChecked(); })) << name;
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
        const QString name = object->objectName();
        ASSERT_EQ(defaultAction(object), QAccessibleActionInterface::pressAction())
            << name.toStdString();
        prompts.boxes.clear();
        actions(object)->doAction(QAccessibleActionInterface::pressAction());
        EXPECT_TRUE(prompts.boxes.isEmpty()) << name.toStdString();
        ASSERT_TRUE(wait_until([this] { return !prompts.boxes.isEmpty(); })) << name.toStdString();
        EXPECT_TRUE(prompts.boxes.first().text.startsWith(text)) << name.toStdString();
    }
}
