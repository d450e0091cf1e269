// The program as a user runs it, end to end: the real serial path (QSerialPort) to the
// simulated interface served by a thread of its own on a pseudo-terminal, and the TCP path to
// the simulated adapter on the loopback address, all on the system clock. Only the program's
// own bounds apply and nothing measures time; a wait for what the simulator's thread does has
// a generous bound.
#include "sim/simserver.h"
#include "support/recording.h"
#include "windows/main/frmmain.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

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

// The Wi-Fi route as a user runs it: the program's TCP line (QTcpSocket) to the simulated
// ELM327 adapter served over TCP on the loopback address by a thread of its own. The adapter
// drops the connection (a lost link), is reached again, and once switched off refuses.
TEST(WifiEndToEnd, ConnectsListsLosesAndReconnectsOverLoopbackTcp)
{
    sim::Options options;
    options.personality = sim::Personality::Elm327;
    sim::Server server(sim::defaultScenario(), options);
    QString error;
    ASSERT_TRUE(server.listen(QStringLiteral("127.0.0.1"), 0, &error)) << error.toStdString();
    const QString address = QStringLiteral("127.0.0.1:%1").arg(server.tcpPort());
    SystemClock clock;
    RecordingPrompts prompts;
    frmMain window(prompts, clock);
    window.setQuitHandler([] {});
    window.Form_Load();
    const auto status = [&] {
        return window.findChild<QLineEdit *>(QStringLiteral("Text1"))->text();
    };
    const auto listed = [&] {
        return !window.findChild<QListWidget *>(QStringLiteral("List1"))
                    ->findItems(QStringLiteral("Engine RPM"), Qt::MatchStartsWith)
                    .isEmpty();
    };
    auto *wifi = window.findChild<QAction *>(QStringLiteral("mnuWifi"));
    const auto offLine = [&] {
        const qint64 until = clock.nowMs() + 30'000;
        while (status() != QStringLiteral("ECU Off-Line") && clock.nowMs() < until)
            clock.wait(100);
        return status() == QStringLiteral("ECU Off-Line");
    };

    for (int round = 0; round < 2; ++round) {
        prompts.texts.push_back(address);
        wifi->trigger();
        ASSERT_EQ(status(), QStringLiteral("ECU Connected")) << round;
        window.findChild<QPushButton *>(QStringLiteral("Mode1"))->click();
        EXPECT_EQ(status(), QStringLiteral("ECU Connected")) << round;
        EXPECT_TRUE(listed()) << round;
        server.dropClient();
        EXPECT_TRUE(offLine()) << round;
        EXPECT_TRUE(wifi->isEnabled()) << round;
        EXPECT_TRUE(window.findChild<QPlainTextEdit *>(QStringLiteral("textECU"))
                        ->toPlainText()
                        .contains(address + QStringLiteral(" closed the connection")));
    }

    server.hangUp();
    prompts.texts.push_back(address);
    wifi->trigger();
    EXPECT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.boxes.value(0).text,
              QStringLiteral("The Wi-Fi adapter at %1 could not be reached: Connection refused")
                  .arg(address));
    EXPECT_TRUE(wifi->isEnabled());
}

// The program ends while the Wi-Fi adapter is connected: the connection closes with the window
// and nothing is announced from a line half taken down (the socket says it disconnects while
// it goes).
TEST(WifiEndToEnd, TheWindowGoesWhileConnected)
{
    sim::Options options;
    options.personality = sim::Personality::Elm327;
    sim::Server server(sim::defaultScenario(), options);
    QString error;
    ASSERT_TRUE(server.listen(QStringLiteral("127.0.0.1"), 0, &error)) << error.toStdString();
    SystemClock clock;
    RecordingPrompts prompts;
    auto window = std::make_unique<frmMain>(prompts, clock);
    window->setQuitHandler([] {});
    window->Form_Load();
    prompts.texts.push_back(QStringLiteral("127.0.0.1:%1").arg(server.tcpPort()));
    window->findChild<QAction *>(QStringLiteral("mnuWifi"))->trigger();
    ASSERT_EQ(window->findChild<QLineEdit *>(QStringLiteral("Text1"))->text(),
              QStringLiteral("ECU Connected"));
    int lost = 0;
    QObject::connect(window->findChild<QPlainTextEdit *>(QStringLiteral("textECU")),
                     &QPlainTextEdit::textChanged, [&] { ++lost; });
    window.reset();
    EXPECT_EQ(lost, 0);
    EXPECT_TRUE(prompts.boxes.isEmpty());
}
