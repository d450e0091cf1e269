#pragma once
// The real main window on the offscreen platform, connected through its own menus to the
// simulated interface in the test's process, on virtual time: what a user sees, read back from
// the controls. Whatever the machine's load, a reply or a ready mark arrives when the simulator
// says it is due, so every run of a test sees the same events in the same order.

#include "frmmain.h"
#include "recording.h"
#include "simports.h"
#include "simusbkit.h"
#include "virtualclock.h"

#include <QAction>
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
                  {0x16, QByteArray::fromHex("5A")},   {0x24, QByteArray::fromHex("8000")}};
    car.ecus = {ecu};
    return car;
}

class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        quits = 0;
        makeWindow();
    }
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

    // Calls `then` once `done` holds, looking every millisecond (while a handler runs).
    void when(std::function<bool()> done, std::function<void()> then)
    {
        clock.when(std::move(done), std::move(then));
    }
    // Lets ms of virtual time pass; runs until pred holds (or the limit passes).
    void settle(int ms) { clock.run(ms); }
    bool wait_until(const std::function<bool()> &pred, int ms = 60'000)
    {
        return clock.runUntil(pred, ms);
    }

    template <typename T = QWidget> T *control(const QString &name) const
    {
        T *w = window->findChild<T *>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QPushButton *button(const char *name) const { return control<QPushButton>(name); }
    QAction *action(const QString &name) const { return control<QAction>(name); }
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
    bool connectionMenuOffered() const
    {
        return control<QMenu>(QStringLiteral("mnuCom"))->isEnabled() &&
               action(QStringLiteral("mnuConnectionCom1"))->isEnabled();
    }
    bool anyServiceEnabled() const
    {
        for (const char *name : {"Mode1", "Mode2", "Mode3", "Mode4", "ChangeECU"})
            if (button(name)->isEnabled())
                return true;
        return false;
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
