// The window through an ELM327 adapter (the simulated adapter, serving the same car as the
// simulated scan interface): what the window shows must be what it shows through the scan
// interface, text for text.
#include "windowfixture.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <algorithm>

using namespace quorvex;
using namespace quorvex::test;

namespace {

enum class Route { Interface, ElmCan, ElmIso };

class ElmWindowTest : public WindowTest
{
protected:
    // Starts the window on the car through the route and connects on Com1.
    void connectThrough(Route route, sim::Scenario car)
    {
        sim::Options options;
        if (route != Route::Interface) {
            options.personality = sim::Personality::Elm327;
            options.elm.bus = route == Route::ElmIso ? sim::ElmOptions::Bus::Iso9141
                                                     : sim::ElmOptions::Bus::Can11_500;
        }
        startSim(std::move(car), options);
        window->setAdapterKind(route == Route::Interface ? AdapterKind::ScanInterface
                                                         : AdapterKind::Elm327);
        connectCom(1);
    }
    // Runs `work` on a fresh window through each route; what it read must be the same.
    template <typename Work>
    void expectSameTexts(const sim::Scenario &car, std::initializer_list<Route> routes, Work work)
    {
        QStringList reference;
        for (const Route route : routes) {
            makeWindow();
            connectThrough(route, car);
            ASSERT_EQ(status(), QStringLiteral("ECU Connected")) << static_cast<int>(route);
            const QStringList texts = work();
            if (route == Route::Interface)
                reference = texts;
            else
                EXPECT_EQ(texts, reference) << "route " << static_cast<int>(route);
        }
    }
    // The records a log file holds so far, below its four header lines.
    static qsizetype recordsIn(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        return std::max<qsizetype>(0, file.readAll().count('\n') - 4);
    }
    QPushButton *button(const char *owner, const char *name) const
    {
        return window->findChild<QWidget *>(owner)->findChild<QPushButton *>(QLatin1String(name));
    }
    QString label(const char *owner, const char *name) const
    {
        auto *widget = window->findChild<QWidget *>(owner);
        return widget ? widget->findChild<QLabel *>(QLatin1String(name))->text() : QString();
    }
    using WindowTest::button;
    QLineEdit *in(const char *owner, const char *name) const
    {
        return window->findChild<QWidget *>(owner)->findChild<QLineEdit *>(QLatin1String(name));
    }
};

// The engine with five stored codes and two pending, the transmission with one stored.
sim::Scenario twoEcuCar()
{
    sim::Scenario car = sim::defaultScenario();
    car.ecus[0].mil = true;
    car.ecus[0].storedCodes = {"0301", "0171", "0420", "0300", "C100"};
    car.ecus[0].pendingCodes = {"0442", "0128"};
    car.ecus[1].mil = true;
    car.ecus[1].storedCodes = {"0700"};
    return car;
}

} // namespace

TEST_F(ElmWindowTest, ConnectsShowingTheAdaptersIdentity)
{
    connectThrough(Route::ElmCan, sim::defaultScenario());
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    EXPECT_EQ(statusColor(), kGreen);
    auto *firmware = control<QLabel>(QStringLiteral("Label7"));
    EXPECT_EQ(firmware->text(), QStringLiteral("F/W: E3.40"));
    EXPECT_EQ(firmware->toolTip(), QStringLiteral("ELM327 v1.5"));
    EXPECT_EQ(control<QLineEdit>(QStringLiteral("Text2"))->text(),
              QStringLiteral("VIN= ") + sim::defaultScenario().vin);
    EXPECT_TRUE(button("Mode5")->isVisible());
    EXPECT_TRUE(anyServiceEnabled());
}

TEST_F(ElmWindowTest, CodesOfTwoEcusAndChangeEcuReadAsThroughTheInterface)
{
    expectSameTexts(twoEcuCar(), {Route::Interface, Route::ElmCan, Route::ElmIso}, [this] {
        QStringList texts;
        button("Mode3")->click();
        texts << report() << status();
        button("ChangeECU")->click();
        texts << report() << lines().join('|');
        button("Mode3")->click();
        texts << report() << status();
        // Clearing the chosen ECU's codes, then reading them again.
        button("Mode4")->click();
        texts << report() << status();
        button("Mode3")->click();
        texts << report() << status();
        return texts;
    });
}

TEST_F(ElmWindowTest, O2TestAndServiceSixOnTheOlderBus)
{
    sim::Scenario car = sim::defaultScenario();
    car.ecus[0].o2Tests[0x07] = QByteArray::fromHex("3C0014");
    expectSameTexts(car, {Route::Interface, Route::ElmIso}, [this] {
        QStringList texts;
        button("Mode1")->click();
        button("Mode5")->click();
        auto *sensors = window->findChild<QWidget *>("frmMode5")
                            ->findChild<QComboBox *>(QStringLiteral("cbo02list"));
        sensors->setCurrentIndex(0);
        emit sensors->activated(0);
        window->findChild<QWidget *>("frmMode5")
            ->findChild<QPushButton *>(QStringLiteral("Command3"))
            ->click();
        for (const char *box : {"txtT01", "txtT02", "txtT03", "txtT04", "txtT05", "txtT05min",
                                "txtT05max", "txtT06", "txtT07", "txtT08", "txtT09"})
            texts << in("frmMode5", box)->text();

        action(QStringLiteral("mnuMode6"))->trigger();
        for (const char *id : {"$1A", "1", "5"}) {
            in("frmMode6", "Text1")->setText(QLatin1String(id));
            in("frmMode6", "Text3")->setText(QStringLiteral("1"));
            in("frmMode6", "Text5")->setText(QStringLiteral("0.1"));
            in("frmMode6", "Text7")->setText(QStringLiteral("V"));
            window->findChild<QWidget *>("frmMode6")
                ->findChild<QPushButton *>(QStringLiteral("Command1"))
                ->click();
            for (const char *box : {"Text11", "Text14", "Text16", "Text18", "Text20"})
                texts << in("frmMode6", box)->text();
        }
        return texts;
    });
}

TEST_F(ElmWindowTest, ServiceSixOnCanIsNotAcknowledged)
{
    connectThrough(Route::ElmCan, sim::defaultScenario());
    action(QStringLiteral("mnuMode6"))->trigger();
    in("frmMode6", "Text1")->setText(QStringLiteral("1"));
    in("frmMode6", "Text3")->setText(QStringLiteral("1"));
    in("frmMode6", "Text5")->setText(QStringLiteral("1"));
    window->findChild<QWidget *>("frmMode6")
        ->findChild<QPushButton *>(QStringLiteral("Command1"))
        ->click();
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.boxes[0].text, QStringLiteral("PASS command not acknowledged"));
}

TEST_F(ElmWindowTest, IgnitionOffStaysYellowUntilTheCarAnswers)
{
    sim::Scenario car = sim::defaultScenario();
    car.faults.noContact = true;
    startSim(car, {.personality = sim::Personality::Elm327});
    window->setAdapterKind(AdapterKind::Elm327);
    // The car answers after a while; the set-up waits for it, yellow meanwhile.
    QColor meanwhile;
    QString waiting;
    clock.callAfter(1500, [&] {
        meanwhile = statusColor();
        waiting = status();
        server->setFaults({});
    });
    connectCom(1);
    EXPECT_EQ(meanwhile, kYellow);
    EXPECT_EQ(waiting, QStringLiteral("Waiting for ECU"));
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    EXPECT_EQ(statusColor(), kGreen);
}

TEST_F(ElmWindowTest, AdapterUnpluggedMidRequestIsALostLink)
{
    sim::Scenario car = sim::defaultScenario();
    car.latencyMs = 200;
    connectThrough(Route::ElmCan, car);
    ASSERT_EQ(status(), QStringLiteral("ECU Connected"));
    QStringList before;
    when([this] { return !server->commands().filter(QStringLiteral("010C")).isEmpty(); },
         [&] {
             before = lines();
             server->hangUp();
         });
    button("Mode1")->click();
    EXPECT_EQ(status(), QStringLiteral("ECU Off-Line"));
    EXPECT_EQ(statusColor(), kRed);
    EXPECT_FALSE(anyServiceEnabled());
    EXPECT_TRUE(connectionMenuOffered());
    EXPECT_EQ(lines(), before);
}

TEST_F(ElmWindowTest, RealTimeDisplayThroughTheAdapter)
{
    sim::Scenario car = sim::defaultScenario();
    car.ecus[0].values[0x0C] = QByteArray::fromHex("0BB8"); // 750 RPM, pinned
    connectThrough(Route::ElmCan, car);
    button("Mode1")->click();
    auto *list = control<QListWidget>(QStringLiteral("List1"));
    for (int row = 0; row < list->count(); ++row)
        if (list->item(row)->text().startsWith(QStringLiteral("Engine RPM")))
            list->setCurrentRow(row);
    QWidget *chart = window->findChild<QWidget *>(QStringLiteral("Chart"));
    auto *value = chart->findChild<QLineEdit *>(QStringLiteral("txbValue"));
    when([value] { return !value->text().isEmpty(); },
         [chart] { chart->findChild<QPushButton *>(QStringLiteral("cmdFreeze"))->click(); });
    window->List1_DblClick();
    EXPECT_TRUE(chart->isVisible());
    EXPECT_EQ(value->text(), QStringLiteral("750 RPM"));
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
}

// The data logger, the fuel trim monitor and the air/fuel ratio meter read through the adapter
// what they read through the interface.
TEST_F(ElmWindowTest, MonitoringWindowsReadAsThroughTheInterface)
{
    QTemporaryDir dir;
    int run = 0;
    expectSameTexts(pinned_car(), {Route::Interface, Route::ElmCan, Route::ElmIso}, [&] {
        QStringList texts;
        button("Mode1")->click();
        texts << lines().join('|');
        // Two records of the four items the selectors offer at first, then "Stop Log".
        const QString path = dir.filePath(QStringLiteral("trip%1.log").arg(++run));
        prompts.files = {path};
        action(QStringLiteral("mnuDataLogLog"))->trigger();
        when([&] { return recordsIn(path) >= 2; },
             [this] { button("DataLog", "Command2")->click(); });
        button("DataLog", "Command1")->click();
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = file.readAll().split('\n');
        EXPECT_GE(rows.size(), 4 + 2 + 1);
        EXPECT_TRUE(rows.value(4).startsWith("25,")) << rows.value(4).constData(); // the load
        for (qsizetype r = 0; r < rows.size() && r < 6; ++r) // the time stamp left out
            texts << QString::fromLatin1(r < 4 ? rows[r] : rows[r].left(rows[r].lastIndexOf(',')));

        when([this] { return !label("frmFuel_Trim", "Label2").isEmpty(); },
             [this] { button("frmFuel_Trim", "Command1")->click(); });
        action(QStringLiteral("mnuFTM"))->trigger();
        for (const char *name : {"Label1", "Label2", "Label3", "Label4"})
            texts << label("frmFuel_Trim", name);
        EXPECT_EQ(label("frmFuel_Trim", "Label1"),
                  QStringLiteral("Short Term Fuel Trim B1----  4%"));

        action(QStringLiteral("mnuAF"))->trigger();
        when([this] { return !in("Air_Fuel_Ratio", "Text2")->text().isEmpty(); },
             [&] {
                 texts << in("Air_Fuel_Ratio", "Text1")->text()
                       << in("Air_Fuel_Ratio", "Text2")->text();
                 button("Air_Fuel_Ratio", "Command2")->click();
             });
        button("Air_Fuel_Ratio", "Command1")->click();
        EXPECT_EQ(texts.mid(texts.size() - 2), (QStringList{"14.61 A/F", "750  RPM "}));
        texts << status();
        return texts;
    });
}
