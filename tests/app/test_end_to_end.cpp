// The program as a user runs it, end to end: the real serial path (QSerialPort) to the
// simulated interface served by a thread of its own on a pseudo-terminal, all on the system
// clock. Only the program's own bounds apply and nothing measures time; a wait for what the
// simulator's thread does has a generous bound.
#include "sim/simserver.h"
#include "support/recording.h"
#include "windows/main/frmmain.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

TEST(WindowEndToEnd, ConnectsListsAndLosesTheInterfaceOnAPseudoTerminal)
{
    sim::Server server(sim::defaultScenario());
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    SystemClock clock;
    RecordingPrompts prompts;
    frmMain window(prompts, clock);
    window.setQuitHandler([] {});
    window.setComDevices({server.devicePath(), QString(), QString(), QString()});
    window.Form_Load();
    const auto status = [&] {
        return window.findChild<QLineEdit *>(QStringLiteral("Text1"))->text();
    };

    window.findChild<QAction *>(QStringLiteral("mnuConnectionCom1"))->trigger();
    ASSERT_EQ(status(), QStringLiteral("ECU Connected"));
    window.findChild<QPushButton *>(QStringLiteral("Mode1"))->click();
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    const auto *list = window.findChild<QListWidget *>(QStringLiteral("List1"));
    EXPECT_GT(list->count(), 5);
    EXPECT_FALSE(list->findItems(QStringLiteral("Engine RPM"), Qt::MatchStartsWith).isEmpty());

    server.hangUp();
    const qint64 until = clock.nowMs() + 30'000;
    while (status() != QStringLiteral("ECU Off-Line") && clock.nowMs() < until)
        clock.wait(100);
    EXPECT_EQ(status(), QStringLiteral("ECU Off-Line"));
    EXPECT_TRUE(window.findChild<QAction *>(QStringLiteral("mnuConnectionCom1"))->isEnabled());
}
