// One short session on the USB link, run twice: on the simulated interface's kit, which writes
// what went over the wire as a usbmon capture (--record FILE), and on libusb under umockdev,
// which replays that capture as the device (--replay). Set-up, the ready check, the firmware
// id and one current-data request; what each step learnt is printed, one line per step, so the
// two runs can be compared.
#include "link/clock.h"
#include "link/connection.h"
#include "link/obdcontext.h"
#include "link/protocol.h"
#include "link/usb/libusbkit.h"
#include "link/usb/usblink.h"
#include "livedata/items.h"
#include "sim/simusbkit.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <memory>

using namespace quorvex;
using namespace quorvex::usb;

namespace {

QStringList session(UsbKit &kit, Clock &clock)
{
    QStringList out;
    UsbLink link(kit, clock);
    link.setTransferTimeoutMs(3000); // a request the capture does not hold fails soon
    ObdContext ctx(clock);
    ctx.attachUsb(&link);
    ctx.state.UseSerial = false;
    QObject::connect(&link, &UsbLink::attached, [&](const AttachEvent &event) {
        out << QStringLiteral("attach %1 status %2")
                   .arg(static_cast<int>(event.kind))
                   .arg(event.status);
    });
    out << QStringLiteral("init %1").arg(link.USB_init(sim::SimUsbKit::kId));
    const qint64 deadline = clock.nowMs() + 5000;
    while (link.heldDevice() == 0 && clock.nowMs() < deadline)
        clock.wait(50);
    if (link.heldDevice() == 0) {
        out << QStringLiteral("no attach");
        return out;
    }
    DeviceInfo info;
    const int status = link.connectHeld(&info);
    out << QStringLiteral("device %1 endpoints %2 status %3")
               .arg(info.id.text())
               .arg(info.endpoints)
               .arg(status);
    ctx.linkOpened();
    for (int i = 0; i < 2; ++i)
        out << QStringLiteral("ready %1").arg(static_cast<int>(wait_for_ECU(ctx)));
    const FirmwareId firmware = exchange_firmware_id(ctx);
    out << QStringLiteral("firmware %1 %2").arg(static_cast<int>(firmware.status)).arg(firmware.id);
    const Exchange rpm =
        get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0C"), QStringLiteral("02"));
    out << QStringLiteral("rpm %1 %2").arg(static_cast<int>(rpm.status)).arg(rpm.reply);
    link.release();
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool record = args.size() == 2 && args[0] == u"--record";
    if (!record && args != QStringList{QStringLiteral("--replay")}) {
        std::fputs("usage: usb_session --record FILE | --replay\n", stderr);
        return 2;
    }
    SystemClock clock;
    QStringList transcript;
    if (record) {
        sim::SimUsbKit kit(clock, sim::defaultScenario());
        transcript = session(kit, clock);
        QFile file(args[1]);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(sim::usbmon_pcap(kit.records(), sim::SimUsbKit::kBus,
                                        sim::SimUsbKit::kDeviceNumber)) < 0) {
            std::fprintf(stderr, "usb_session: %s\n", qPrintable(file.errorString()));
            return 1;
        }
    } else {
        LibusbKit kit;
        transcript = session(kit, clock);
    }
    std::fputs(qPrintable(transcript.join(u'\n') + u'\n'), stdout);
    return 0;
}
