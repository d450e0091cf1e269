// The USB link on the simulated interface's own driver kit: the request layouts on the wire,
// the order of requests when handlers overlap, failed and hung transfers, the interface going
// away in the middle of a request, and the ready check and the pass-through exchange over USB.
// The window's tests plug it in again and plug in a second interface (test_usb_window.cpp).
#include "link/obdcontext.h"
#include "link/protocol.h"
#include "link/usb/usblink.h"
#include "sim/simusbkit.h"
#include "support/virtualclock.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::usb;
using quorvex::test::VirtualClock;
using sim::SimUsbKit;

namespace {

SetupPacket packet(quint8 request, quint16 value, quint16 index, quint16 length = 1)
{
    return {kVendorIn, request, value, index, length};
}

class UsbLinkTest : public ::testing::Test
{
protected:
    void SetUp() override { open(); }

    // Registers, takes the attach and opens the device, as the set-up does.
    void open()
    {
        ASSERT_EQ(link.USB_init(SimUsbKit::kId), 0);
        ASSERT_TRUE(clock.runUntil([this] { return link.heldDevice() != 0; }));
        DeviceInfo info;
        ASSERT_EQ(link.connectHeld(&info), 0);
        ASSERT_TRUE(link.isOpen());
        ctx.attachUsb(&link);
        ctx.state.UseSerial = false;
        kit.clearRecords();
    }

    VirtualClock clock;
    SimUsbKit kit{clock, sim::defaultScenario()};
    UsbLink link{kit, clock};
    ObdContext ctx{clock};
};

} // namespace

TEST_F(UsbLinkTest, CommandAndBlockTravelInTheirRequests)
{
    link.USB_CMD_OUT("010009");
    EXPECT_EQ(kit.transfers(),
              (QList<SetupPacket>{packet(0x0C, 0x3130, 0x3030), packet(0x0D, 0x3930, 0x3030),
                                  packet(0x0F, 0x3130, 0x0030)}));
    EXPECT_EQ(kit.device().engine().commands(), QStringList{"010009"});

    kit.clearRecords();
    QByteArray block;
    for (int i = 0; i < 14; ++i)
        block.append(static_cast<char>(0xA0 + i));
    block[6] = 0x12;
    link.EXT_CMD_OUT(block);
    EXPECT_EQ(kit.transfers(),
              (QList<SetupPacket>{packet(0x0C, 0xA1A0, 0xA3A2), packet(0x0D, 0xA5A4, 0x1212),
                                  packet(0x0E, 0xA8A7, 0xAAA9), packet(0x0F, 0xACAB, 0x01AD)}));
}

TEST_F(UsbLinkTest, QueriesReadTheirDataStage)
{
    link.USB_CMD_OUT("900101");
    ASSERT_TRUE(clock.runUntil([this] { return link.USB_INBUF_COUNT() >= 5; }));
    // Five characters arrive from a read of up to 32.
    EXPECT_EQ(link.READ_OBD_BUFFER(), QByteArray("V3.40"));
    EXPECT_EQ(link.USB_INBUF_COUNT(), 0);
    EXPECT_EQ(kit.transfers().last(), packet(0x0B, 0, 0));
    EXPECT_EQ(kit.transfers().at(kit.transfers().size() - 2), packet(0x0A, 0, 0, 32));
}

TEST_F(UsbLinkTest, HandlerStartedMeanwhileQueuesBehindAWholeCommand)
{
    // The device is slow: while the first command's requests wait, another handler sends a
    // command of its own. Its requests must not land between the first one's.
    kit.holdTransfers(true);
    clock.callAfter(5, [this] { link.USB_CMD_OUT("010D00"); });
    clock.callAfter(30, [this] { kit.holdTransfers(false); });
    link.USB_CMD_OUT("010C00");
    EXPECT_EQ(kit.device().engine().commands(), (QStringList{"010C00", "010D00"}));
    ASSERT_EQ(kit.transfers().size(), 6);
    EXPECT_EQ(kit.transfers().at(3), packet(0x0C, 0x3130, 0x4430));
}

TEST_F(UsbLinkTest, FailedTransferReadsAsTheClearedBufferAndIsAnnounced)
{
    QList<std::pair<int, QString>> failures;
    QObject::connect(&link, &UsbLink::transferFailed, [&](int status, const QString &text) {
        failures.append({status, text});
    });
    kit.failTransfers(3, SimUsbKit::kTimeout);
    EXPECT_EQ(link.OBDsync(), -1);
    EXPECT_EQ(link.USB_INBUF_COUNT(), 0);
    EXPECT_EQ(link.READ_OBD_BUFFER(), QByteArray());
    ASSERT_EQ(failures.size(), 3);
    EXPECT_EQ(failures[0].first, SimUsbKit::kTimeout);
    EXPECT_EQ(UsbLink::failureText(failures[0].first, failures[0].second),
              QStringLiteral("ReadWritePipesMenu: WDU_Transfer() failed: error &HFFFFFFF9 "
                             "(Operation timed out)"));
    EXPECT_TRUE(link.isOpen()); // a failure is not a departure
    EXPECT_EQ(link.OBDsync(), 1);
}

TEST_F(UsbLinkTest, HungTransferEndsAtItsTimeOutWhileTheWindowRuns)
{
    kit.holdTransfers(true);
    int ticks = 0;
    for (int ms = 1000; ms <= 29000; ms += 1000)
        clock.callAfter(ms, [&] { ++ticks; });
    QList<int> failures;
    QObject::connect(&link, &UsbLink::transferFailed, [&](int status) { failures << status; });
    const qint64 start = clock.nowMs();
    EXPECT_EQ(link.USB_INBUF_COUNT(), 0);
    EXPECT_EQ(clock.nowMs() - start, kTransferTimeoutMs);
    EXPECT_EQ(ticks, 29); // events ran during the wait
    EXPECT_EQ(failures, QList<int>{SimUsbKit::kTimeout});
}

TEST_F(UsbLinkTest, UnpluggedDuringARequestIsALostLinkOnce)
{
    int lost = 0; // the reason the window shows is its test's (test_usb_window.cpp)
    QObject::connect(&ctx, &ObdContext::linkLost, [&] { ++lost; });
    ExchangeRequest request;
    request.command = QStringLiteral("010C00");
    request.threshold = 8;
    kit.holdTransfers(true);
    clock.callAfter(20, [this] { kit.unplug(); });
    const Exchange ex = exchange(ctx, request);
    EXPECT_EQ(ex.status, ExchangeStatus::LinkLost);
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(link.heldDevice(), 0u);
    EXPECT_FALSE(link.USBAttached());
    // Nothing more goes to the device.
    const qsizetype sent = kit.transfers().size();
    EXPECT_EQ(exchange(ctx, request).status, ExchangeStatus::LinkLost);
    EXPECT_EQ(kit.transfers().size(), sent);
}

TEST_F(UsbLinkTest, ReadyCheckAsksForTheSyncByte)
{
    EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::Contact);
    // The first answer is not trusted; the second is.
    EXPECT_EQ(kit.transfers(), (QList<SetupPacket>{packet(0x09, 0, 0), packet(0x09, 0, 0)}));

    kit.device().engine().setFaults({.noContact = true});
    EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::NoContact);
    EXPECT_TRUE(ctx.state.StopFlag);

    kit.device().engine().setFaults({});
    kit.failTransfers(5000, SimUsbKit::kIo); // more than the bound has polls
    EXPECT_EQ(wait_for_ECU(ctx), ReadyResult::Silent);
}

// The pass-through block of the service $06 tests, answered with 13 raw bytes.
TEST_F(UsbLinkTest, ExchangesOverUsb)
{
    ExchangeRequest enter;
    enter.command = QStringLiteral("F00504");
    enter.threshold = 2;
    enter.vehicleReply = false;
    ASSERT_TRUE(exchange(ctx, enter).ok());
    const QByteArray block = QByteArray::fromHex("0107686AF1060101000000000000");
    const Exchange reply = exchange_block(ctx, block, 12);
    ASSERT_TRUE(reply.ok());
    // The same answer the interface gives on its serial line.
    sim::Engine serial(sim::defaultScenario());
    serial.receive("F00504", 0);
    serial.take(1'000'000);
    serial.receive(block, 1'000'000);
    const QByteArray expected = serial.take(2'000'000).left(13);
    ASSERT_EQ(expected.size(), 13);
    EXPECT_EQ(reply.reply, QString::fromLatin1(expected));
}
