// An adapter unplugged in the middle of work: whatever was running stops at the lost link, lists
// nothing more, and leaves the window as an unplugged idle adapter does: red "ECU Off-Line", the
// services off, the Connection menu offered again.
#include "windowfixture.h"

using namespace quorvex;
using namespace quorvex::test;

namespace {

using LinkLostTest = WindowTest;

class LinkLostDuringTest : public WindowTest,
                           public ::testing::WithParamInterface<std::pair<Route, const char *>>
{
};

} // namespace

// Unplugged while the support reply is awaited, or while an item's reply is (the car answering
// late; through the adapter, the request for several PIDs that holds 0C): the lines listed
// before stay, no further item is listed (from zeros or otherwise).
INSTANTIATE_TEST_SUITE_P(Replies, LinkLostDuringTest,
                         ::testing::Values(std::pair{Route::Serial, "010009"},
                                           std::pair{Route::Serial, "010C07"},
                                           std::pair{Route::ElmCan, "010B0C"}));

TEST_P(LinkLostDuringTest, CurrentDataRequestStopsAtTheLostLink)
{
    const auto [route, command] = GetParam();
    sim::Scenario car = sim::defaultScenario();
    car.latencyMs = 300;
    connectThrough(route, car);
    ASSERT_EQ(status(), QStringLiteral("ECU Connected"));
    QStringList linesBefore;
    when([this, c = command] { return !server->commands().filter(QLatin1String(c)).isEmpty(); },
         [&] {
             linesBefore = lines();
             server->hangUp();
         });
    button("Mode1")->click();
    expectOffLine(command);
    EXPECT_EQ(lines(), linesBefore);
    EXPECT_FALSE(button("Mode1")->isChecked());
}

TEST_F(LinkLostTest, ConnectionSetUpStopsAtTheLostLink)
{
    // Unplugged during the firmware exchange (the interface has gone quiet before answering)
    // or during the VIN exchange: set-up never reports a connection it does not have.
    for (const bool duringVin : {false, true}) {
        makeWindow();
        startSim();
        load({server->devicePath(), QString(), QString(), QString()});
        if (duringVin) {
            auto *label7 = control<QLabel>(QStringLiteral("Label7"));
            // The firmware id is in: the VIN exchange comes next.
            when([label7] { return !label7->text().isEmpty(); }, [this] { server->hangUp(); });
        } else {
            QObject::connect(control<QLineEdit>(QStringLiteral("Text1")), &QLineEdit::textChanged,
                             [this](const QString &text) {
                                 if (text != QStringLiteral("Sending FWID"))
                                     return;
                                 server->setFaults({.silent = true});
                                 clock.callAfter(50, [this] { server->hangUp(); });
                             });
        }
        action(QStringLiteral("mnuConnectionCom1"))->trigger();
        expectOffLine(duringVin ? "VIN exchange" : "firmware exchange");
    }
}
