// The window through a Wi-Fi adapter: the simulated ELM327 adapter behind the network seam, on
// virtual time. Once connected it must read what the same adapter reads on a Com port; a
// connection that cannot be made says where and why; a connection the adapter closes is a lost
// link like an unplugged one.
#include "windowfixture.h"

#include <QSettings>

using namespace quorvex;
using namespace quorvex::test;

namespace {

const QString kAddress = QStringLiteral("127.0.0.1:35000");

sim::Options elm_can()
{
    sim::Options options;
    options.personality = sim::Personality::Elm327;
    return options;
}

class WifiWindowTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        window->setNetworkConnector(network);
        QSettings().remove(QStringLiteral("wifi/address"));
    }
    void freshWindow()
    {
        makeWindow();
        window->setNetworkConnector(network);
    }
    // Connection -> Wi-Fi adapter..., the prompt answered with `address`.
    void chooseWifi(const QString &address)
    {
        prompts.texts.push_back(address);
        action(QStringLiteral("mnuWifi"))->trigger();
    }
    bool offeredAgain() const
    {
        return control<QMenu>(QStringLiteral("mnuCom"))->isEnabled() &&
               action(QStringLiteral("mnuWifi"))->isEnabled() && !anyServiceEnabled();
    }

    SimNetwork network{clock};
};

} // namespace

// The same car through the same adapter, on Com1 and then over the network: the same lines and
// report; the address typed is offered the next time.
TEST_F(WifiWindowTest, ConnectsAndListsAsOnAComPortAndRemembersTheAddress)
{
    connectThrough(Route::ElmCan, pinned_car());
    ASSERT_EQ(status(), QStringLiteral("ECU Connected"));
    button("Mode1")->click();
    const QStringList reference = lines();
    const QString referenceReport = report();
    ASSERT_GE(reference.size(), 5);

    freshWindow();
    SimDevice &adapter = network.add(kAddress, pinned_car(), elm_can());
    load();
    chooseWifi(kAddress);
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    EXPECT_EQ(statusColor(), kGreen);
    EXPECT_TRUE(adapter.commands().contains(QStringLiteral("ATZ")));
    // The adapter's identity, although the serial ports lead to the scan interface.
    EXPECT_EQ(control<QLabel>(QStringLiteral("Label7"))->toolTip(), QStringLiteral("ELM327 v1.5"));
    EXPECT_FALSE(control<QMenu>(QStringLiteral("mnuCom"))->isEnabled());
    button("Mode1")->click();
    EXPECT_EQ(lines(), reference);
    EXPECT_EQ(report(), referenceReport);
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    // A network line has no speed to raise: nothing is asked of the adapter, nothing reported.
    action(QStringLiteral("mnuRaiseSpeed"))->trigger();
    button("Mode1")->click();
    EXPECT_EQ(lines(), reference);
    action(QStringLiteral("mnuRaiseSpeed"))->trigger();
    EXPECT_FALSE(adapter.commands().join(u' ').contains(u"BRD"));
    ASSERT_EQ(prompts.textPrompts.size(), 1);
    EXPECT_EQ(prompts.textPrompts[0].initial, QStringLiteral("192.168.0.10:35000"));

    // The next run offers the address used; cancelling the prompt connects nothing.
    freshWindow();
    load();
    action(QStringLiteral("mnuWifi"))->trigger();
    ASSERT_EQ(prompts.textPrompts.size(), 2);
    EXPECT_EQ(prompts.textPrompts[1].initial, kAddress);
    EXPECT_EQ(network.attempts(), QStringList{kAddress});
    EXPECT_EQ(status(), QStringLiteral("ECU Off-Line"));
    EXPECT_TRUE(boxes().isEmpty());
}

// The adapter closes the connection in the middle of a current-data request: no line more, the
// window as after an unplugged adapter, and the adapter reached again. Switched off, it refuses.
TEST_F(WifiWindowTest, AClosedConnectionIsALostLinkAndReconnectingWorks)
{
    sim::Scenario car = pinned_car();
    car.latencyMs = 300;
    SimDevice &adapter = network.add(kAddress, car, elm_can());
    load();
    chooseWifi(kAddress);
    ASSERT_EQ(status(), QStringLiteral("ECU Connected"));
    button("Mode1")->click();
    const QStringList full = lines();
    ASSERT_GE(full.size(), 5);

    QStringList linesBefore;
    // The run's second request sent (the run before told the program what to expect: the two
    // ranges take two requests), its reply awaited.
    const qsizetype asked = adapter.commands().size();
    when([&] { return adapter.commands().size() > asked + 1; },
         [&] {
             linesBefore = lines();
             network.closeConnection();
         });
    button("Mode1")->click();
    EXPECT_EQ(status(), QStringLiteral("ECU Off-Line"));
    EXPECT_EQ(statusColor(), kRed);
    EXPECT_TRUE(offeredAgain());
    EXPECT_EQ(lines(), linesBefore);
    EXPECT_LT(linesBefore.size(), full.size()); // closed while the run went on
    EXPECT_TRUE(report().contains(QStringLiteral("127.0.0.1:35000 closed the connection")))
        << report().toStdString();

    chooseWifi(kAddress);
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    button("Mode1")->click();
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    EXPECT_EQ(lines(), full);

    adapter.hangUp();
    EXPECT_TRUE(clock.runUntil([this] { return status() == QStringLiteral("ECU Off-Line"); }));
    EXPECT_TRUE(offeredAgain());
    chooseWifi(kAddress);
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("The Wi-Fi adapter at 127.0.0.1:35000 could "
                                                  "not be reached: Connection refused")});
    EXPECT_EQ(network.attempts().size(), 3);
}

// Nothing listening, or nothing answering at all: one box naming the address and the reason,
// after the refusal or after the 5-second bound, and the menu offered again.
TEST_F(WifiWindowTest, ARefusedOrUnansweredConnectionSaysWhereAndWhy)
{
    const struct
    {
        SimNetwork::Answer answer;
        const char *reason;
        qint64 afterMs;
    } rows[] = {
        {SimNetwork::Answer::Refuse, "Connection refused", SimNetwork::kAcceptMs},
        {SimNetwork::Answer::Nothing, "timed out after 5 s", 5000},
    };
    for (const auto &row : rows) {
        freshWindow();
        prompts.boxes.clear();
        network.setAnswer(QStringLiteral("10.0.0.9:35000"), row.answer);
        load();
        const qint64 start = clock.nowMs();
        // Meanwhile no other connection can be started.
        bool heldMeanwhile = false;
        clock.callAfter(
            1, [&] { heldMeanwhile = !control<QMenu>(QStringLiteral("mnuCom"))->isEnabled(); });
        chooseWifi(QStringLiteral("10.0.0.9:35000"));
        const qint64 took = clock.nowMs() - start;
        EXPECT_GE(took, row.afterMs) << row.reason;
        EXPECT_LE(took, row.afterMs + 10) << row.reason;
        ASSERT_EQ(prompts.boxes.size(), 1) << row.reason;
        EXPECT_EQ(prompts.boxes[0].text,
                  QStringLiteral("The Wi-Fi adapter at 10.0.0.9:35000 could not be reached: ") +
                      QLatin1String(row.reason));
        EXPECT_EQ(prompts.boxes[0].icon, Prompts::Icon::Critical);
        EXPECT_EQ(status(), QStringLiteral("ECU Off-Line")) << row.reason;
        EXPECT_TRUE(offeredAgain()) << row.reason;
        EXPECT_TRUE(heldMeanwhile) << row.reason;
    }
}

// What is not HOST:PORT is refused before any connection is tried.
TEST_F(WifiWindowTest, AnAddressThatIsNotHostAndPortConnectsNothing)
{
    load();
    for (const char *typed : {"192.168.0.10", "192.168.0.10:", ":35000", "adapter:0",
                              "adapter:65536", "adapter:35o00", "::1:35000", "my adapter:35000"}) {
        prompts.boxes.clear();
        chooseWifi(QLatin1String(typed));
        ASSERT_EQ(prompts.boxes.size(), 1) << typed;
        EXPECT_EQ(prompts.boxes[0].text,
                  QStringLiteral("\"%1\" is not an adapter's address: give HOST:PORT, e.g. "
                                 "192.168.0.10:35000")
                      .arg(QLatin1String(typed)));
    }
    EXPECT_TRUE(network.attempts().isEmpty());
    // Names and bracketed IPv6 addresses (with a scope too) are addresses.
    for (const char *typed : {" obd-wifi.local:35000 ", "[::1]:35000", "[fe80::1%2]:35000"})
        chooseWifi(QLatin1String(typed));
    EXPECT_EQ(network.attempts(),
              (QStringList{QStringLiteral("obd-wifi.local:35000"), QStringLiteral("[::1]:35000"),
                           QStringLiteral("[fe80::1%2]:35000")}));
}

// Exit while a connection is still being made: the wait ends with the program, before its
// bound, and nothing is reported about a connection nobody waits for any more.
TEST_F(WifiWindowTest, ExitWhileConnectingEndsTheWaitWithoutABox)
{
    network.setAnswer(kAddress, SimNetwork::Answer::Nothing);
    load();
    const qint64 start = clock.nowMs();
    clock.callAfter(1000, [this] { button("Command1")->click(); });
    chooseWifi(kAddress);
    EXPECT_EQ(quits, 1);
    EXPECT_LT(clock.nowMs() - start, kConnectMs);
    EXPECT_TRUE(boxes().isEmpty()) << boxes().join(u'|').toStdString();
}

// The scan interface on a Com port, in a window that also offers Wi-Fi: the connection sends
// the firmware and VIN requests and nothing else, and a current-data request the support
// requests and one request per item, byte for byte, the first time and the next.
TEST_F(WifiWindowTest, TheScanInterfaceRouteSendsWhatItAlwaysSent)
{
    connectTo(pinned_car());
    EXPECT_EQ(server->received(), "900101090208");
    EXPECT_EQ(control<QLabel>(QStringLiteral("Label7"))->toolTip(), QString());
    const qsizetype before = server->received().size();
    button("Mode1")->click();
    EXPECT_EQ(server->received().mid(before), "010009"
                                              "010406010506010606010706010C07010D06011606"
                                              "012009"
                                              "012409");
    // The next request, which tells the line what the first one read, sends the same.
    const qsizetype first = server->received().size();
    button("Mode1")->click();
    EXPECT_EQ(server->received().mid(first), server->received().mid(before, first - before));
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    EXPECT_FALSE(control<QMenu>(QStringLiteral("mnuCom"))->isEnabled());
    EXPECT_TRUE(network.attempts().isEmpty());
}
