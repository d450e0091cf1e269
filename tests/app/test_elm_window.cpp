// The window through an ELM327 adapter (the simulated adapter, serving the same car as the
// simulated scan interface): what the window shows must be what it shows through the scan
// interface, text for text.
#include "windowfixture.h"

#include "link/elm327/elmtranslate.h"
#include "widgets/preferences.h"

#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>

using namespace quorvex;
using namespace quorvex::test;

namespace {

class ElmWindowTest : public WindowTest
{
protected:
    // Runs `work` on a fresh window through each route; what it read must be what it read
    // through the first.
    template <typename Work>
    void expectSameTexts(const sim::Scenario &car, std::initializer_list<Route> routes, Work work)
    {
        QStringList reference;
        for (const Route route : routes) {
            makeWindow();
            connectThrough(route, car);
            ASSERT_EQ(status(), QStringLiteral("ECU Connected")) << route_name(route);
            const QStringList texts = work();
            if (route == *routes.begin())
                reference = texts;
            else
                EXPECT_EQ(texts, reference) << route_name(route);
        }
    }
};

// The tests that run on every bus the adapter speaks, and those for the buses before CAN (the
// O2 sensor tests and the service $06 pass-through exist there only).
class ElmEveryBus : public ElmWindowTest, public ::testing::WithParamInterface<Route>
{
};
class ElmOlderBus : public ElmWindowTest, public ::testing::WithParamInterface<Route>
{
};
INSTANTIATE_TEST_SUITE_P(Buses, ElmEveryBus, ::testing::ValuesIn(kElmRoutes),
                         [](const auto &param) { return route_name(param.param); });
INSTANTIATE_TEST_SUITE_P(Buses, ElmOlderBus, ::testing::ValuesIn(kOlderBusRoutes),
                         [](const auto &param) { return route_name(param.param); });

} // namespace

TEST_P(ElmEveryBus, CodesOfTwoEcusAndChangeEcuReadAsThroughTheInterface)
{
    // The engine with five stored codes and two pending, the transmission with one stored.
    sim::Scenario car = sim::defaultScenario();
    car.ecus[0].mil = true;
    car.ecus[0].storedCodes = {"0301", "0171", "0420", "0300", "C100"};
    car.ecus[0].pendingCodes = {"0442", "0128"};
    car.ecus[1].mil = true;
    car.ecus[1].storedCodes = {"0700"};
    expectSameTexts(car, {Route::Serial, GetParam()}, [this] {
        QStringList texts;
        button("Mode3")->click();
        texts << report() << status();
        button("ChangeECU")->click();
        texts << report() << lines().join('|');
        // The other ECU's codes; then cleared and read again.
        for (const char *name : {"Mode3", "Mode4", "Mode3"}) {
            button(name)->click();
            texts << report() << status();
        }
        return texts;
    });
}

TEST_P(ElmOlderBus, O2TestAndServiceSix)
{
    sim::Scenario car = sim::defaultScenario();
    car.ecus[0].o2Tests[0x07] = QByteArray::fromHex("3C0014");
    expectSameTexts(car, {Route::Serial, GetParam()}, [this] {
        QStringList texts;
        button("Mode1")->click();
        runO2Test(0);
        for (const char *box : {"txtT01", "txtT02", "txtT03", "txtT04", "txtT05", "txtT05min",
                                "txtT05max", "txtT06", "txtT07", "txtT08", "txtT09"})
            texts << in("frmMode5", box)->text();
        for (const char *test : {"$1A", "1", "5"}) {
            runMode6(test, "0.1", "V");
            for (const char *box : {"Text11", "Text14", "Text16", "Text18", "Text20"})
                texts << in("frmMode6", box)->text();
        }
        // The reference route's results are there too: no ready mark shifts them away.
        EXPECT_EQ(texts.mid(12, 3), (QStringList{"PASS", "50V", "45V"}));
        return texts;
    });
}

// With the ignition off the set-up waits for the car in yellow; then the adapter's identity
// shows, and a CAN car refuses the service $06 pass-through.
TEST_F(ElmWindowTest, ConnectsOnceTheCarAnswersShowingTheAdaptersIdentity)
{
    sim::Scenario car = sim::defaultScenario();
    car.faults.noContact = true;
    QColor meanwhile;
    QString waiting;
    clock.callAfter(1500, [&] {
        meanwhile = statusColor();
        waiting = status();
        server->setFaults({});
    });
    connectThrough(Route::ElmCan, car);
    EXPECT_EQ(meanwhile, kYellow);
    EXPECT_EQ(waiting, QStringLiteral("Waiting for ECU"));
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    EXPECT_EQ(statusColor(), kGreen);
    auto *firmware = control<QLabel>(QStringLiteral("Label7"));
    EXPECT_EQ(firmware->text(), QStringLiteral("F/W: E3.40"));
    EXPECT_EQ(firmware->toolTip(), QStringLiteral("ELM327 v1.5"));
    // What the adapter reports of itself goes under it.
    EXPECT_EQ(control<QLabel>(QStringLiteral("lblAdapter"))->text(),
              QStringLiteral("ELM327 v1.5\nISO 15765-4 CAN 11-bit 500 kbaud\nBattery 12.6 V"));
    EXPECT_EQ(control<QLineEdit>(QStringLiteral("Text2"))->text(),
              QStringLiteral("VIN= ") + car.vin);
    EXPECT_TRUE(button("Mode5")->isVisible());
    EXPECT_TRUE(anyServiceEnabled());

    runMode6("1");
    EXPECT_EQ(boxes(), QStringList{"PASS command not acknowledged"});
}

// The real-time display, the data logger, the fuel trim monitor and the air/fuel ratio meter
// read through the adapter what they read through the interface.
TEST_P(ElmEveryBus, MonitoringWindowsReadAsThroughTheInterface)
{
    QTemporaryDir dir;
    int run = 0;
    expectSameTexts(pinned_car(), {Route::Serial, GetParam()}, [&] {
        QStringList texts;
        button("Mode1")->click();
        texts << lines().join('|');
        chooseLine("Engine RPM");
        when([this] { return !in("Chart", "txbValue")->text().isEmpty(); },
             [this] { click("Chart", "cmdFreeze"); });
        window->List1_DblClick();
        texts << in("Chart", "txbValue")->text();

        // Two records of the four items the selectors offer at first, then "Stop Log".
        const QString path = dir.filePath(QStringLiteral("trip%1.log").arg(++run));
        QFile file(path);
        prompts.files = {path};
        action(QStringLiteral("mnuDataLogLog"))->trigger();
        when(
            [&] {
                QFile f(path);
                return f.open(QIODevice::ReadOnly) && f.readAll().count('\n') >= 4 + 2;
            },
            [this] { click("DataLog", "Command2"); });
        click("DataLog", "Command1");
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = file.readAll().split('\n');
        EXPECT_TRUE(rows.value(4).startsWith("25,")) << rows.value(4).constData(); // the load
        for (qsizetype r = 0; r < rows.size() && r < 6; ++r) // the time stamp left out
            texts << QString::fromLatin1(r < 4 ? rows[r] : rows[r].left(rows[r].lastIndexOf(',')));

        when([this] { return !in<QLabel>("frmFuel_Trim", "Label2")->text().isEmpty(); },
             [this] { click("frmFuel_Trim", "Command1"); });
        action(QStringLiteral("mnuFTM"))->trigger();
        for (const char *name : {"Label1", "Label2", "Label3", "Label4"})
            texts << in<QLabel>("frmFuel_Trim", name)->text();

        action(QStringLiteral("mnuAF"))->trigger();
        when([this] { return !in("Air_Fuel_Ratio", "Text2")->text().isEmpty(); },
             [&] {
                 texts << in("Air_Fuel_Ratio", "Text1")->text()
                       << in("Air_Fuel_Ratio", "Text2")->text();
                 click("Air_Fuel_Ratio", "Command2");
             });
        click("Air_Fuel_Ratio", "Command1");
        texts << status();
        return texts;
    });
}

namespace {

// The adapter's requests for several PIDs of service 01 (with the count hint: odd lengths; the
// interface's commands are six characters).
int packed_requests(const QStringList &commands)
{
    int n = 0;
    for (const QString &c : commands)
        n += c.startsWith(QLatin1String("01")) && c.size() >= 7 && c.size() % 2 == 1;
    return n;
}

} // namespace

// Through an adapter on CAN the current-data request and the logger ask several PIDs a request
// and read what they read through the interface; so they do with ECUs that refuse such requests
// or answer their first PID alone (asked one PID a request after the first try). The adapter's
// figures show on its route only.
TEST_F(ElmWindowTest, SeveralPidsARequestWhateverTheEcuMakesOfIt)
{
    using Packing = sim::ElmOptions::Packing;
    sim::Scenario car = pinned_car();
    sim::Ecu &ecu = car.ecus[0];
    for (const int pid : {0x0B, 0x0E, 0x0F, 0x11}) {
        ecu.pids << static_cast<quint8>(pid);
        ecu.values[static_cast<quint8>(pid)] = QByteArray(1, '\x40');
    }
    QTemporaryDir dir;
    int run = 0;
    for (const Packing packing : {Packing::Answered, Packing::Refused, Packing::FirstOnly}) {
        SCOPED_TRACE(static_cast<int>(packing));
        elmPacking = packing;
        bool elm = false;
        expectSameTexts(car, {Route::Serial, Route::ElmCan}, [&] {
            EXPECT_EQ(control<QLabel>(QStringLiteral("lblAdapter"))->isHidden(), !elm);
            button("Mode1")->click();
            QStringList texts{lines().join('|'), report(), status()};
            const int afterList = packed_requests(server->commands());
            if (elm) {
                // The first range in two requests; after a refusal or the first PID alone, one
                // try.
                EXPECT_EQ(afterList, packing == Packing::Answered ? 2 : 1);
            }

            // Three records of the first four items.
            const QString path = dir.filePath(QStringLiteral("trip%1.log").arg(++run));
            prompts.files = {path};
            action(QStringLiteral("mnuDataLogLog"))->trigger();
            int item = 0;
            for (const char *selector : {"cboRTD(0)", "cboRTD(1)", "cboRTD(2)", "cboRTD(3)"}) {
                auto *box = in<QComboBox>("DataLog", selector);
                box->setCurrentIndex(item);
                emit box->activated(item++); // as the user's choice
            }
            when(
                [&] {
                    QFile f(path);
                    return f.open(QIODevice::ReadOnly) && f.readAll().count('\n') >= 4 + 3;
                },
                [this] { click("DataLog", "Command2"); });
            click("DataLog", "Command1");
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::ReadOnly));
            const QList<QByteArray> rows = file.readAll().split('\n');
            texts << QString::fromLatin1(rows.mid(0, 4).join('|'));
            const int logged = packed_requests(server->commands()) - afterList;
            if (elm) {
                EXPECT_EQ(logged >= 3, packing == Packing::Answered) << logged;
            }
            elm = true;
            return texts;
        });
    }
}

// The line to the adapter raised on request while connected, with the window reading the same
// texts; the speed that worked is tried first at the next connection; an adapter that does not
// take it is reported once, and the line stays where it was.
TEST_F(ElmWindowTest, TheLineRaisedOnRequestAndRememberedForTheNextConnection)
{
    const sim::Scenario car = pinned_car();
    connectThrough(Route::ElmCan, car);
    button("Mode1")->click();
    const QStringList before{lines().join('|'), report()};
    QAction *raise = action(QStringLiteral("mnuRaiseSpeed"));
    EXPECT_FALSE(raise->isChecked());
    // Where a user reaches it while connected.
    EXPECT_TRUE(control<QMenu>(QStringLiteral("mnuOpt"))->isEnabled());
    EXPECT_TRUE(control<QMenu>(QStringLiteral("mnuOpt"))->actions().contains(raise));
    raise->trigger();
    button("Mode1")->click();
    EXPECT_EQ((QStringList{lines().join('|'), report()}), before);
    EXPECT_EQ(server->lineBaud(), 500000);
    EXPECT_TRUE(
        control<QLabel>(QStringLiteral("lblAdapter"))->text().endsWith(u"\nLine 500000 baud"));
    EXPECT_EQ(preference(QStringLiteral("elm/lineSpeed")).toInt(), 500000);
    EXPECT_TRUE(boxes().isEmpty());

    // The next run starts with the setting on and asks for the speed that worked first.
    makeWindow();
    connectThrough(Route::ElmCan, car);
    EXPECT_TRUE(action(QStringLiteral("mnuRaiseSpeed"))->isChecked());
    EXPECT_EQ(server->lineBaud(), 500000);
    EXPECT_EQ(sent(QStringLiteral("ATBRD08")), 1);
    button("Mode1")->click();
    EXPECT_EQ((QStringList{lines().join('|'), report()}), before);

    // A clone that answers OK and stays: the user hears of it when asking, not at connecting.
    action(QStringLiteral("mnuRaiseSpeed"))->trigger(); // off again
    elmSpeedChange = sim::ElmOptions::SpeedChange::Ignored;
    makeWindow();
    connectThrough(Route::ElmCan, car);
    action(QStringLiteral("mnuRaiseSpeed"))->trigger();
    button("Mode1")->click();
    EXPECT_EQ((QStringList{lines().join('|'), report()}), before);
    EXPECT_EQ(server->lineBaud(), 38400);
    EXPECT_EQ(boxes(),
              QStringList{"The adapter stays at 38400 baud: it did not take a faster line speed."});
    setPreference(QStringLiteral("elm/raiseSpeed"), false);
}

// Through an adapter on CAN a current-data list after the first asks the whole list about six
// PIDs a request, across the support ranges (the first list told the program what to expect).
// With the other ECU chosen the list expected is the first ECU's, wrong, and every list still
// reads as through the interface; so does the first ECU's again after the other's.
TEST_F(ElmWindowTest, LaterListsPackAcrossTheRangesAndAWrongExpectationCostsNoItem)
{
    // The built-in car with its values pinned (the monitors and the freeze frame's code, PIDs
    // 01 and 02, stay put as they are), so that both routes read the same whenever they ask.
    sim::Scenario car = sim::defaultScenario();
    for (sim::Ecu &ecu : car.ecus)
        for (const quint8 pid : ecu.pids)
            if (pid > 0x02)
                ecu.values[pid] = QByteArray(elm::pid_data_size(pid), '\x40');
    int commands = 0; // the second list's through the interface
    expectSameTexts(car, {Route::Serial, Route::ElmCan}, [&] {
        QStringList texts;
        button("Mode1")->click();
        texts << lines().join('|') << report() << status();
        const qsizetype before = server->commands().size();
        button("Mode1")->click();
        texts << lines().join('|') << report() << status();
        int requests = 0;
        for (const QString &c : server->commands().mid(before))
            requests += !c.startsWith(QLatin1String("AT")) && !c.startsWith(QLatin1String("ST"));
        if (commands == 0) {
            commands = requests;
        } else {
            EXPECT_LE(requests, (commands + 5) / 6 + 1) << commands;
        }
        for (const char *name : {"ChangeECU", "Mode1", "ChangeECU", "Mode1"}) {
            button(name)->click();
            texts << lines().join('|') << report() << status();
        }
        return texts;
    });
    EXPECT_GT(commands, 30); // the list reaches into the later ranges
}
