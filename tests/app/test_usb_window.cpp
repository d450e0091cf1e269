// The USB connection of the real window, on the simulated interface's own driver kit: the
// set-up and its texts, a second interface, failed transfers in debug mode, the interface
// unplugged in the middle of work and plugged in again, and a set-up that has nothing to wait
// for or is ended by the user.
#include "sim/simusbkit.h"
#include "windowfixture.h"

#include <QLabel>

using namespace quorvex;
using namespace quorvex::test;
using sim::SimUsbKit;

namespace {

const QString kAccepted = QStringLiteral("DeviceAttach: Received and accepted attach for \r\n"
                                         "vendor ID &H1209 product ID &HB0D\r\n"
                                         "device handle &H1");
const QString kVerify = QStringLiteral("Please verify that the device is attached...\r\n");

class UsbWindowTest : public WindowTest
{
protected:
    void connectUsb()
    {
        load();
        action(QStringLiteral("mnuUSB"))->trigger();
    }
    bool connected() const
    {
        return status() == u"ECU CONNECT" && statusColor() == kGreen && anyServiceEnabled();
    }
};

} // namespace

TEST_F(UsbWindowTest, SetUpConnectsAndTheServicesWorkOverUsb)
{
    useUsb();
    connectUsb();
    EXPECT_TRUE(connected());
    EXPECT_EQ(control<QLabel>(QStringLiteral("Label7"))->text(), QStringLiteral("F/W: V3.40"));
    for (const char *name : {"Mode1", "Mode2", "Mode3", "Mode4", "ChangeECU"})
        EXPECT_TRUE(button(name)->isEnabled()) << name;
    EXPECT_TRUE(button("Mode5")->isVisible());
    EXPECT_TRUE(action(QStringLiteral("mnuMode6"))->isEnabled());
    // No serial port was chosen: the connection menu stays offered.
    EXPECT_TRUE(control<QMenu>(QStringLiteral("mnuCom"))->isEnabled());
    EXPECT_FALSE(window->context().state.UseSerial);

    // The other services are read over USB in the live-data window test.
    button("Mode4")->click();
    EXPECT_EQ(report(), QStringLiteral("Trouble Codes Cleared"));
    EXPECT_TRUE(kit->device().engine().commands().contains(QStringLiteral("040404")));

    // Leaving releases the kit.
    window->Form_Unload();
    EXPECT_FALSE(kit->isRegistered());
    EXPECT_EQ(kit->openDevices(), 0);
}

TEST_F(UsbWindowTest, AttachTextsAndASecondInterfaceWhileTheFirstIsInUse)
{
    useUsb();
    kit->device().engine().setFaults({.noContact = true});
    QString attachText, rejectText;
    QColor waiting;
    clock.callAfter(300, [&] {
        // Attached, waiting for vehicle contact.
        attachText = report();
        waiting = statusColor();
        kit->plugSecond();
        clock.runUntil([&] { return report() != attachText; });
        rejectText = report();
        kit->device().engine().setFaults({});
    });
    connectUsb();
    EXPECT_EQ(attachText, kAccepted);
    EXPECT_EQ(waiting, kYellow);
    EXPECT_EQ(rejectText, QStringLiteral("DeviceAttach: Received another attach - control is "
                                         "rejected\r\nbecause only one device control is "
                                         "supported"));
    EXPECT_TRUE(connected());
    button("Mode1")->click();
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    EXPECT_EQ(kit->openDevices(), 1);
}

TEST_F(UsbWindowTest, FailedTransfersShowOnlyInDebugMode)
{
    useUsb();
    connectUsb();
    ASSERT_TRUE(connected());
    const QString before = report();
    kit->failTransfers(1, SimUsbKit::kPipe);
    EXPECT_EQ(window->context().link.OBDinbuffercount(), 0);
    EXPECT_EQ(report(), before);

    action(QStringLiteral("mnuDebugMode"))->trigger();
    kit->failTransfers(1, SimUsbKit::kPipe);
    EXPECT_EQ(window->context().link.OBDinbuffercount(), 0);
    EXPECT_EQ(report(),
              QStringLiteral("ReadWritePipesMenu: WDU_Transfer() failed: error &HFFFFFFF7 "
                             "(Pipe error)"));
}

TEST_F(UsbWindowTest, UnpluggedDuringWorkIsALostLinkAndConnectsAgain)
{
    sim::Scenario car = sim::defaultScenario();
    car.latencyMs = 100;
    useUsb(car);
    connectUsb();
    ASSERT_TRUE(connected());
    QStringList linesBefore;
    // Engine speed asked for, its reply still on its way: pulled out in the middle of a
    // transfer, which ends with the no-device status.
    when(
        [&] {
            const QStringList sent = kit->device().engine().commands();
            return !sent.isEmpty() && sent.last().startsWith(QStringLiteral("010C"));
        },
        [&] {
            linesBefore = lines();
            kit->holdTransfers(true);
            clock.callAfter(5, [this] { kit->unplug(); });
        });
    button("Mode1")->click();
    EXPECT_EQ(status(), QStringLiteral("ECU Off-Line"));
    EXPECT_EQ(statusColor(), kRed);
    EXPECT_FALSE(anyServiceEnabled());
    EXPECT_TRUE(control<QMenu>(QStringLiteral("mnuCom"))->isEnabled());
    EXPECT_TRUE(action(QStringLiteral("mnuUSB"))->isEnabled());
    EXPECT_EQ(lines(), linesBefore);
    EXPECT_EQ(report(), QStringLiteral("\r\nThe scan interface was disconnected (the USB device "
                                       "1209:0b0d was unplugged)."));

    // Plugged in again, "USB" connects it again.
    kit->holdTransfers(false);
    kit->plug();
    action(QStringLiteral("mnuUSB"))->trigger();
    EXPECT_TRUE(connected());
    button("Mode1")->click();
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
}

TEST_F(UsbWindowTest, UsbChosenAgainAfterATimedOutTransferConnectsAgain)
{
    useUsb();
    connectUsb();
    ASSERT_TRUE(connected());
    kit->failTransfers(1, SimUsbKit::kTimeout);
    EXPECT_EQ(window->context().link.OBDinbuffercount(), 0);
    // Set up again over the same interface: the services come back with the green indicator.
    action(QStringLiteral("mnuUSB"))->trigger();
    EXPECT_TRUE(connected());
    button("Mode1")->click();
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
}

TEST_F(UsbWindowTest, WaitForTheInterfaceEndsWhenTheUserChoosesASerialPort)
{
    useUsb();
    kit->unplug();
    startSim();
    QString waitingText;
    clock.callAfter(200, [&] {
        waitingText = report();
        action(QStringLiteral("mnuConnectionCom1"))->trigger();
    });
    load({server->devicePath(), QString(), QString(), QString()});
    action(QStringLiteral("mnuUSB"))->trigger();
    EXPECT_EQ(waitingText, kVerify);
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    EXPECT_TRUE(window->context().state.UseSerial);
    button("Mode1")->click();
    EXPECT_EQ(status(), QStringLiteral("ECU Connected"));
    EXPECT_TRUE(kit->device().engine().commands().isEmpty());
}

TEST_F(UsbWindowTest, RefusedInterfaceIsExplainedAndItsUnpluggingEndsTheWait)
{
    useUsb();
    kit->setOpenStatus(SimUsbKit::kAccess);
    QString refusal;
    clock.callAfter(200, [&] {
        refusal = report();
        kit->unplug();
    });
    connectUsb(); // returns: the interface waited for went away
    EXPECT_TRUE(refusal.startsWith(QStringLiteral(
        "The USB device 1209:0b0d (simulated bus 1 device 2) could not be opened: Access "
        "denied (insufficient permissions).")))
        << refusal.toStdString();
    EXPECT_TRUE(refusal.contains(
        QStringLiteral("SUBSYSTEM==\"usb\", ATTRS{idVendor}==\"1209\", ATTRS{idProduct}==\"0b0d\", "
                       "TAG+=\"uaccess\"")));
    EXPECT_FALSE(anyServiceEnabled());

    // Allowed and plugged in again, it connects.
    kit->setOpenStatus(0);
    kit->plug();
    action(QStringLiteral("mnuUSB"))->trigger();
    EXPECT_TRUE(connected());
}

TEST_F(UsbWindowTest, NothingToWaitFor)
{
    // No interface configured: nothing is registered.
    useUsb();
    window->setUsbDevice({});
    connectUsb();
    EXPECT_TRUE(report().startsWith(QStringLiteral("No USB scan interface is configured.")));
    EXPECT_FALSE(kit->isRegistered());

    // The kit does not start: the set-up ends at once, and may be tried again.
    window->setUsbDevice(SimUsbKit::kId);
    kit->setInitStatus(SimUsbKit::kIo);
    action(QStringLiteral("mnuUSB"))->trigger();
    EXPECT_EQ(status(), QStringLiteral("USB FAILURE"));
    EXPECT_TRUE(report().startsWith(kVerify));
    kit->setInitStatus(0);
    action(QStringLiteral("mnuUSB"))->trigger();
    EXPECT_TRUE(connected());
}
