// USB connection set-up, and what the USB link reports on the way: attaches, departures,
// failed transfers.
#include "windows/main/frmmain.h"

#include "widgets/controls.h"
#include "widgets/indicator.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>

namespace quorvex {

namespace {
constexpr char16_t kEcuConnect[] = u"ECU CONNECT";

QString hex(quint64 value)
{
    return QString::number(value, 16).toUpper();
}

// The udev rule that grants the device to whoever is logged in at the seat.
QString udev_rule(usb::UsbId id)
{
    return QStringLiteral("SUBSYSTEM==\"usb\", ATTRS{idVendor}==\"%1\", "
                          "ATTRS{idProduct}==\"%2\", TAG+=\"uaccess\"")
        .arg(id.vendor, 4, 16, QLatin1Char('0'))
        .arg(id.product, 4, 16, QLatin1Char('0'));
}
} // namespace

void frmMain::setUsbKit(usb::UsbKit *kit)
{
    m_usb = std::make_unique<usb::UsbLink>(*kit, m_ctx.clock());
    m_usbRecording = std::make_unique<RecordingTransport>(*m_usb, m_recorder);
    m_ctx.attachUsb(m_usbRecording.get());
    connect(m_usb.get(), &usb::UsbLink::attached, this, &frmMain::onUsbAttach);
    connect(m_usb.get(), &usb::UsbLink::departed, this, &frmMain::onUsbDeparted);
    connect(m_usb.get(), &usb::UsbLink::transferFailed, this, &frmMain::onUsbTransferFailed);
}

bool frmMain::usbSetupEnded() const
{
    return m_exiting || m_usbSetupCancelled || m_usbDeparted;
}

void frmMain::mnuUSB_Click()
{
    if (m_usbSetupRunning)
        return; // the set-up already running goes on
    if (!m_usb) {
        setReportText(QStringLiteral("USB is not available: no USB driver kit is present."));
        return;
    }
    if (!m_usbId.isSet()) {
        setReportText(QStringLiteral(
            "No USB scan interface is configured.\r\nStart Quorvex once with --usb VVVV:PPPP, "
            "the vendor and product id that lsusb shows for the interface (for example "
            "--usb 1209:0b0d); it is remembered."));
        return;
    }
    m_usbSetupRunning = true;
    m_usbSetupCancelled = false;
    m_usbDeparted = false;
    const auto running = qScopeGuard([this] { m_usbSetupRunning = false; });
    setServiceButtonsEnabled(false);

    // Registration, once: the kit then reports the interface whenever it is plugged in.
    if (!m_usb->isRegistered()) {
        setReportText(QStringLiteral("Please verify that the device is attached...\r\n"));
        const int status = m_usb->USB_init(m_usbId);
        if (status != 0) {
            // Nothing can attach without the kit: the set-up ends instead of waiting. The
            // services are off, and the indicator says so.
            setStatus(QStringLiteral("USB FAILURE"), kRed);
            setReportText(QStringLiteral("Please verify that the device is attached...\r\n"
                                         "The USB driver kit could not start: %1")
                              .arg(m_usb->statusText(status)));
            return;
        }
    } else if (m_usb->heldDevice() == 0) {
        setReportText(QStringLiteral("Please verify that the device is attached...\r\n"));
    }

    // Waits for the attach while the window runs; a serial port chosen meanwhile, Exit, or the
    // interface unplugged ends the wait.
    while (m_usb->heldDevice() == 0) {
        if (usbSetupEnded())
            return;
        m_ctx.yield(1000);
    }

    usb::DeviceInfo info;
    if (m_usb->connectHeld(&info) != 0) {
        setStatus(QStringLiteral("USB Failure"), kRed);
        return;
    }
    if (info.endpoints == 0) {
        setReportText(QStringLiteral("The USB device %1 (%2) has no endpoints besides its "
                                     "control pipe: it is not a scan interface.")
                          .arg(info.id.text(), info.location));
        return;
    }
    m_ctx.state.UseSerial = false;
    m_ctx.linkOpened();
    setStatus(QString::fromUtf16(kEcuConnect), kYellow);
    for (int check = 0; check < 2; ++check)
        if (!awaitUsbContact())
            return;
    if (!get_FWID() || usbSetupEnded())
        return;
    offerServices();
    // The connection menu stays offered: a serial port may still be chosen.
}

bool frmMain::awaitUsbContact()
{
    // As long as the user lets it: an interface without vehicle contact keeps the indicator
    // yellow, one that does not answer shows red until it does.
    LinkState &st = m_ctx.state;
    st.StopFlag = true;
    while (st.StopFlag) {
        if (usbSetupEnded())
            return false;
        if (wait_for_ECU(m_ctx) == ReadyResult::Lost)
            return false;
        m_ctx.yield(0);
    }
    return !usbSetupEnded();
}

void frmMain::onUsbAttach(const usb::AttachEvent &event)
{
    using Kind = usb::AttachEvent::Kind;
    switch (event.kind) {
    case Kind::SecondRejected:
        setReportText(QStringLiteral("DeviceAttach: Received another attach - "
                                     "control is rejected\r\nbecause only one device control "
                                     "is supported"));
        break;
    case Kind::Accepted:
        m_recorder.lineOpened(QStringLiteral("interface"), QStringLiteral("USB ") + m_usbId.text());
        setReportText(
            QStringLiteral("DeviceAttach: Received and accepted attach for \r\n"
                           "vendor ID &H%1 product ID &H%2\r\ndevice handle &H%3")
                .arg(hex(event.info.id.vendor), hex(event.info.id.product), hex(event.device)));
        break;
    case Kind::Refused: {
        QString text =
            QStringLiteral("The USB device %1 (%2) could not be opened: %3.")
                .arg(m_usbId.text(), event.info.location, m_usb->statusText(event.status));
        if (event.status == m_usb->accessDeniedStatus())
            text += QStringLiteral(
                        "\r\nYour user may not use it. Allow it with the device rule: as root, "
                        "put the line\r\n%1\r\ninto /etc/udev/rules.d/70-quorvex-usb.rules "
                        "(a template ships as 70-quorvex-usb.rules), run "
                        "\"udevadm control --reload\", then unplug the interface and plug it "
                        "in again.")
                        .arg(udev_rule(m_usbId));
        else
            text += QStringLiteral("\r\nIs another program using it? Unplug the interface "
                                   "and plug it in again.");
        setReportText(text);
        break;
    }
    }
}

void frmMain::onUsbDeparted(usb::DeviceHandle, bool wasHeld)
{
    // The device in use going away is a lost link (handled where every lost link is); here
    // only a set-up waiting for the interface learns that it was unplugged.
    if (m_usbSetupRunning && (wasHeld || m_usb->heldDevice() == 0))
        m_usbDeparted = true;
}

void frmMain::onUsbTransferFailed(int status, const QString &statusText)
{
    if (m_ctx.state.DebugMode)
        setReportText(usb::UsbLink::failureText(status, statusText));
}

} // namespace quorvex
