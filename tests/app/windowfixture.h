#pragma once
// The real main window on the offscreen platform, connected through its own menus to the
// simulated interface in the test's process, on virtual time: what a user sees, read back from
// the controls. Whatever the machine's load, a reply or a ready mark arrives when the simulator
// says it is due, so every run of a test sees the same events in the same order.

#include "sim/simusbkit.h"
#include "support/recording.h"
#include "support/simports.h"
#include "support/virtualclock.h"
#include "windows/main/frmmain.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace quorvex::test {

// One ECU whose values stay put, answering late enough for a watcher to act while a reply is
// awaited.
inline sim::Scenario pinned_car()
{
    sim::Scenario car;
    car.markIntervalMs = 2;
    car.latencyMs = 20;
    sim::Ecu ecu;
    ecu.pids = {0x04, 0x05, 0x06, 0x07, 0x0C, 0x0D, 0x16, 0x24};
    ecu.values = {{0x04, QByteArray::fromHex("40")},   {0x05, QByteArray::fromHex("3D")},
                  {0x06, QByteArray::fromHex("86")},   {0x07, QByteArray::fromHex("7F")},
                  {0x0C, QByteArray::fromHex("0BB8")}, {0x0D, QByteArray::fromHex("00")},
                  {0x16, QByteArray::fromHex("5AFF")}, {0x24, QByteArray::fromHex("80000000")}};
    car.ecus = {ecu};
    return car;
}

// How the window reaches the car: the scan interface on a serial line or over USB, or an
// ELM327 adapter on a car of each bus: CAN, ISO 9141-2, SAE J1850 PWM and VPW, ISO 14230-4 KWP
// with the 5-baud and the fast initialisation.
enum class Route { Serial, Usb, ElmCan, ElmIso, ElmPwm, ElmVpw, ElmKwp5, ElmKwpFast };
inline const char *route_name(Route route)
{
    static const char *const names[] = {"Serial", "Usb",    "ElmCan",  "ElmIso",
                                        "ElmPwm", "ElmVpw", "ElmKwp5", "ElmKwpFast"};
    return names[static_cast<int>(route)];
}
// The ELM327 routes on the buses older than CAN, and all of them.
inline constexpr Route kOlderBusRoutes[] = {Route::ElmIso, Route::ElmPwm, Route::ElmVpw,
                                            Route::ElmKwp5, Route::ElmKwpFast};
inline constexpr Route kElmRoutes[] = {Route::ElmCan, Route::ElmIso,  Route::ElmPwm,
                                       Route::ElmVpw, Route::ElmKwp5, Route::ElmKwpFast};
inline sim::ElmOptions::Bus elm_bus(Route route)
{
    using Bus = sim::ElmOptions::Bus;
    switch (route) {
    case Route::ElmIso:
        return Bus::Iso9141;
    case Route::ElmPwm:
        return Bus::J1850Pwm;
    case Route::ElmVpw:
        return Bus::J1850Vpw;
    case Route::ElmKwp5:
        return Bus::Kwp5Baud;
    case Route::ElmKwpFast:
        return Bus::KwpFast;
    default:
        return Bus::Can11_500;
    }
}

class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override { makeWindow(); }
    void TearDown() override
    {
        window.reset(); // before the devices its lines lead to and the USB kit it holds
        kit.reset();
    }

    void makeWindow()
    {
        window = std::make_unique<frmMain>(prompts, clock);
        window->setQuitHandler([this] { ++quits; });
        window->setSerialPorts(ports);
    }
    // The simulated interface's USB kit, for "USB".
    void useUsb(sim::Scenario car = sim::defaultScenario())
    {
        kit = std::make_unique<sim::SimUsbKit>(clock, std::move(car));
        window->setUsbKit(kit.get());
        window->setUsbDevice(sim::SimUsbKit::kId);
    }
    // A simulated device for the next port chosen (connectCom puts it on a Com port).
    void startSim(sim::Scenario scenario = sim::defaultScenario(), sim::Options options = {})
    {
        server = &ports.add(std::move(scenario), options);
    }
    void load(std::array<QString, 4> devices = {})
    {
        window->setComDevices(devices);
        window->Form_Load();
    }
    // Starts the window with the simulator on Com`port` and picks that port.
    void connectCom(int port = 1)
    {
        std::array<QString, 4> devices{};
        devices[static_cast<size_t>(port - 1)] = server->devicePath();
        load(devices);
        action(QStringLiteral("mnuConnectionCom%1").arg(port))->trigger();
    }
    // Connects on Com1 to the simulated interface serving `car`.
    void connectTo(sim::Scenario car = sim::defaultScenario())
    {
        startSim(std::move(car));
        connectCom(1);
        ASSERT_EQ(status(), QStringLiteral("ECU Connected"));
    }
    // Starts the window on `car` through `route` and connects (on Com1 unless over USB).
    void connectThrough(Route route, const sim::Scenario &car)
    {
        if (route == Route::Usb) {
            useUsb(car);
            load();
            action(QStringLiteral("mnuUSB"))->trigger();
            return;
        }
        sim::Options options;
        if (route != Route::Serial) {
            options.personality = sim::Personality::Elm327;
            options.elm.bus = elm_bus(route);
            options.elm.packing = elmPacking;
            options.elm.speedChange = elmSpeedChange;
        }
        startSim(car, options);
        window->setAdapterKind(route == Route::Serial ? AdapterKind::ScanInterface
                                                      : AdapterKind::Elm327);
        connectCom(1);
    }

    // How the simulated adapter's ECUs take requests for several PIDs.
    sim::ElmOptions::Packing elmPacking = sim::ElmOptions::Packing::Answered;
    // What the simulated adapter makes of a request for another line speed.
    sim::ElmOptions::SpeedChange elmSpeedChange = sim::ElmOptions::SpeedChange::Switches;

    // Calls `then` once `done` holds, looking every millisecond (while a handler runs).
    void when(std::function<bool()> done, std::function<void()> then)
    {
        clock.when(std::move(done), std::move(then));
    }
    // How often the simulator has received `command`.
    int sent(const QString &command) const
    {
        return static_cast<int>(server->commands().count(command));
    }

    template <typename T = QWidget> T *control(const QString &name) const
    {
        T *w = window->findChild<T *>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QPushButton *button(const char *name) const { return control<QPushButton>(name); }
    QAction *action(const QString &name) const { return control<QAction>(name); }
    // A window the main window owns, and a control of it.
    QWidget *topLevel(const char *name) const { return control(QLatin1String(name)); }
    template <typename T = QLineEdit> T *in(const char *top, const char *name) const
    {
        T *w = topLevel(top)->findChild<T *>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << top << "/" << name;
        return w;
    }
    void click(const char *top, const char *name) const { in<QPushButton>(top, name)->click(); }
    QString status() const { return control<QLineEdit>(QStringLiteral("Text1"))->text(); }
    QColor statusColor() const
    {
        return control<QLineEdit>(QStringLiteral("Text1"))->palette().color(QPalette::Base);
    }
    // The report window with the CR LF line breaks the program writes.
    QString report() const
    {
        return control<QPlainTextEdit>(QStringLiteral("textECU"))
            ->toPlainText()
            .replace(u'\n', QStringLiteral("\r\n"));
    }
    QStringList lines() const
    {
        const auto *list = control<QListWidget>(QStringLiteral("List1"));
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
    static QStringList items(const QComboBox *box)
    {
        QStringList out;
        for (int i = 0; i < box->count(); ++i)
            out << box->itemText(i);
        return out;
    }
    // The texts of the message boxes shown so far.
    QStringList boxes() const
    {
        QStringList out;
        for (const RecordingPrompts::Box &box : prompts.boxes)
            out << box.text;
        return out;
    }
    // Chooses the vehicle data line that starts with `label`.
    void chooseLine(const char *label)
    {
        const QStringList all = lines();
        for (int i = 0; i < all.size(); ++i)
            if (all[i].startsWith(QLatin1String(label)))
                control<QListWidget>(QStringLiteral("List1"))->setCurrentRow(i);
    }
    // Opens the O2 sensor test window and asks for the tests of sensor line `line`.
    void runO2Test(int line)
    {
        button("Mode5")->click();
        auto *list = in<QComboBox>("frmMode5", "cbo02list");
        list->setCurrentIndex(line);
        emit list->activated(line);
        click("frmMode5", "Command3");
    }
    // Opens the service $06 window and asks for test `test` of component 1.
    void runMode6(const char *test, const char *scale = "1", const char *units = "")
    {
        action(QStringLiteral("mnuMode6"))->trigger();
        in("frmMode6", "Text1")->setText(QLatin1String(test));
        in("frmMode6", "Text3")->setText(QStringLiteral("1"));
        in("frmMode6", "Text5")->setText(QLatin1String(scale));
        in("frmMode6", "Text7")->setText(QLatin1String(units));
        click("frmMode6", "Command1");
    }
    bool anyServiceEnabled() const
    {
        for (const char *name : {"Mode1", "Mode2", "Mode3", "Mode4", "ChangeECU"})
            if (button(name)->isEnabled())
                return true;
        return false;
    }
    // What an unplugged adapter leaves: red "ECU Off-Line", the services off, the Connection
    // menu offered again.
    void expectOffLine(const std::string &what = {}) const
    {
        EXPECT_EQ(status(), QStringLiteral("ECU Off-Line")) << what;
        EXPECT_EQ(statusColor(), kRed) << what;
        EXPECT_TRUE(control<QMenu>(QStringLiteral("mnuCom"))->isEnabled() &&
                    action(QStringLiteral("mnuConnectionCom1"))->isEnabled())
            << what;
        EXPECT_FALSE(anyServiceEnabled()) << what;
    }

    VirtualClock clock;
    SimPorts ports{clock};
    RecordingPrompts prompts;
    std::unique_ptr<frmMain> window;
    SimDevice *server = nullptr; // the device startSim made last
    std::unique_ptr<sim::SimUsbKit> kit;
    int quits = 0;
};

} // namespace quorvex::test
