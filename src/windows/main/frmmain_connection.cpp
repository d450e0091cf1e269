// Serial connection set-up, the start-up port probe, the firmware identification, ECU
// switching, and how the window shows the link's state: readiness, outcomes, a lost link.
#include "windows/main/frmmain.h"

#include "diagnostics/vin.h"
#include "link/connection.h"
#include "link/version.h"
#include "widgets/controls.h"
#include "widgets/indicator.h"
#include "widgets/preferences.h"
#include "widgets/prompts.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>

#include <utility>
#include <vector>

namespace quorvex {

namespace {
constexpr double kFirmwareWithO2Test = 3.09;

// The ELM327's line speed: the speed that worked last, and the speeds tried, fastest first (USB
// serial converters take all of them; 4 MHz / 17 is 2 % off 230400, which a UART still reads).
const QString kLineSpeedKey = QStringLiteral("elm/lineSpeed");
const QList<int> kRaisedSpeeds{500000, 230400, 115200};

// Menu items each port's set-up disables while it runs and enables again when it is done
// (1-based port numbers; 0 stands for the USB item).
const std::vector<int> &itemsHeldBy(int port)
{
    static const std::vector<int> held[4] = {{2, 3}, {0, 1, 3}, {2, 1}, {2, 1}};
    return held[port - 1];
}

// Texts that mean contact with the vehicle, which a green indicator always carries.
bool is_contact_text(const QString &text)
{
    return text == QString::fromUtf16(kEcuConnected) || text == u"Sending FWID" ||
           text == u"ECU CONNECT";
}
} // namespace

QAction *frmMain::comItem(int port) const
{
    return port == 0 ? mnuUSB : mnuConnectionCom[static_cast<size_t>(port - 1)];
}

void frmMain::probe_ports()
{
    for (int port = 1; port <= 4; ++port) {
        QAction *item = comItem(port);
        item->setEnabled(false);
        const QString &device = m_comDevices[static_cast<size_t>(port - 1)];
        QString error;
        bool usable = !device.isEmpty();
        if (!usable)
            error = QStringLiteral("no serial device is mapped to this port");
        else
            usable = m_ports->probe(device, &error);
        m_comUsable[static_cast<size_t>(port - 1)] = usable;
        item->setEnabled(usable);
        item->setStatusTip(
            usable ? device
                   : QStringLiteral("Com%1 unavailable: %2%3")
                         .arg(port)
                         .arg(device.isEmpty() ? QString() : device + QStringLiteral(": "))
                         .arg(error));
    }
}

void frmMain::show_waiting()
{
    setStatus(QStringLiteral("Waiting for ECU"), kYellow);
}

void frmMain::showAdapterFigures()
{
    const Elm327Transport::Figures figures = m_elm.figures();
    QStringList lines;
    for (const QString &line : {figures.identity, figures.device, figures.protocol})
        if (!line.isEmpty())
            lines << line;
    if (!figures.battery.isEmpty())
        lines << QStringLiteral("Battery ") + figures.battery;
    if (!figures.speed.isEmpty())
        lines << QStringLiteral("Line ") + figures.speed;
    lblAdapter->setText(lines.join(u'\n'));
    lblAdapter->setVisible(!lines.isEmpty());
}

void frmMain::showReadiness(Readiness readiness)
{
    switch (readiness) {
    case Readiness::Contact:
        if (!is_contact_text(Text1->text()))
            Text1->setText(QString::fromUtf16(kEcuConnected));
        setStatusColor(kGreen);
        break;
    case Readiness::NoContact:
        setStatusColor(kYellow);
        break;
    case Readiness::Silent:
        setStatus(QString::fromUtf16(kEcuOffLine), kRed);
        break;
    case Readiness::Retrying:
        setStatusColor(kRed);
        break;
    }
}

void frmMain::showOutcome(ExchangeStatus outcome, const QString &timeoutText)
{
    switch (outcome) {
    case ExchangeStatus::Ok:
        setStatus(QString::fromUtf16(kEcuConnected), kGreen);
        break;
    case ExchangeStatus::EcuTimeout:
    case ExchangeStatus::NotUsable:
    case ExchangeStatus::NoReply:
    case ExchangeStatus::OverLimit:
        setStatus(timeoutText, kRed);
        break;
    case ExchangeStatus::NoContact: // yellow since the ready check
    case ExchangeStatus::Silent:    // red "ECU Off-Line" since the ready check
    case ExchangeStatus::Stopped:   // another handler's doing
    case ExchangeStatus::LinkLost:  // shown by onLinkLost
        break;
    }
}

std::function<void(ExchangeStatus)> frmMain::outcomeShower()
{
    return [this](ExchangeStatus outcome) { showOutcome(outcome); };
}

void frmMain::offerServices()
{
    for (QPushButton *b : {Mode1, Mode2, Mode3, Mode4})
        b->setEnabled(true);
    PermanentCodes->setEnabled(true);
    mnuVehicleInfo->setEnabled(true);
    if (m_state.FWVersion > kFirmwareWithO2Test)
        Mode5->setVisible(true);
    ChangeECU->setEnabled(true);
}

bool frmMain::get_FWID()
{
    setReportText(QStringLiteral("\r\n"));
    const FirmwareId firmware = exchange_firmware_id(m_ctx);
    switch (firmware.status) {
    case ExchangeStatus::LinkLost:
        return false;
    case ExchangeStatus::NoContact:
        setReportText(QString::fromUtf16(kEcuNotCommunicating));
        return true;
    case ExchangeStatus::Ok:
        Label7->setText(QStringLiteral("F/W: ") + firmware.id);
        // An ELM327 adapter's own name and version go with it.
        Label7->setToolTip(m_ctx.link.chosen() == &m_elm ? m_elm.identity() : QString());
        m_state.FWVersion = firmware.version;
        break;
    default:
        break; // the interface did not identify itself: nothing is shown for it
    }
    const VinResult vin = GetVIN(m_ctx);
    if (vin.status == ExchangeStatus::LinkLost)
        return false;
    if (!vin.text.isEmpty())
        Text2->setText(vin.text);
    mnuMode6->setEnabled(true);
    return true;
}

void frmMain::mnuConnectionCom_Click(int port)
{
    m_usbSetupCancelled = true; // a USB set-up still waiting gives way
    setServiceButtonsEnabled(false);
    for (int item : itemsHeldBy(port))
        comItem(item)->setEnabled(false);

    QString error;
    if (!openSerialLine(port, &error)) {
        for (int item : itemsHeldBy(port))
            comItem(item)->setEnabled(item == 0 || m_comUsable[static_cast<size_t>(item - 1)]);
        m_prompts.message(QStringLiteral("Com%1 (%2) could not be opened: %3")
                              .arg(port)
                              .arg(m_comDevices[static_cast<size_t>(port - 1)], error),
                          message_title(), Prompts::Icon::Critical);
        return;
    }
    if (!completeConnection(port == 1))
        return;
    for (int item : itemsHeldBy(port))
        if (item != 0)
            comItem(item)->setEnabled(m_comUsable[static_cast<size_t>(item - 1)]);
    m_ctx.state.UseSerial = true;
    mnuCom->setEnabled(false);
}

bool frmMain::completeConnection(bool sendingFwid)
{
    LinkState &st = m_ctx.state;
    m_ctx.linkOpened();
    st.UseSerial = true;
    mnuWifi->setEnabled(false);
    show_waiting();

    // Waits for vehicle contact as long as the user lets it: "P" keeps it yellow; a silent
    // interface shows red until it speaks.
    st.StopFlag = true;
    bool wasSilent = false;
    while (st.StopFlag) {
        const ReadyResult ready = wait_for_ECU(m_ctx);
        if (ready == ReadyResult::Lost)
            return false; // ended, or the device went away (the menu is back already)
        if (ready == ReadyResult::Silent) {
            wasSilent = true;
        } else if (ready == ReadyResult::NoContact && wasSilent) {
            show_waiting();
            wasSilent = false;
        }
        m_ctx.yield(0);
    }
    if (sendingFwid)
        Text1->setText(QStringLiteral("Sending FWID"));
    setStatusColor(kGreen);
    if (!get_FWID())
        return false;
    Text1->setText(QString::fromUtf16(kEcuConnected));
    offerServices();
    return true;
}

bool frmMain::openSerialLine(int port, QString *error)
{
    SerialSettings settings;
    settings.device = m_comDevices[static_cast<size_t>(port - 1)];
    if (m_adapter == AdapterKind::Elm327) {
        settings.baud = m_state.BaudRate == 9600 || m_state.BaudRate == 115200
                            ? m_state.BaudRate
                            : Elm327Transport::kDefaultBaud;
        m_ctx.attachSerial(&m_elm);
        if (m_elm.isOpen())
            return true;
        applyLineSpeeds();
        std::unique_ptr<Transport> line = m_ports->open(settings, error);
        if (line)
            m_elm.open(std::move(line));
        return m_elm.isOpen();
    }
    settings.baud = m_state.BaudRate == 9600 ? 9600 : 19200;
    if (!m_line || !m_line->isOpen()) {
        std::unique_ptr<Transport> line = m_ports->open(settings, error);
        if (!line)
            return false;
        m_line = std::move(line);
    }
    m_ctx.attachSerial(m_line.get());
    return true;
}

void frmMain::applyLineSpeeds()
{
    if (mnuRaiseSpeed->isChecked())
        m_elm.setLineSpeeds(kRaisedSpeeds, preference(kLineSpeedKey, 0).toInt());
    else
        m_elm.setLineSpeeds({});
}

void frmMain::mnuRaiseSpeed_Click()
{
    setPreference(QLatin1String(kRaiseSpeedKey), mnuRaiseSpeed->isChecked());
    m_speedAsked = m_elm.isOpen() && m_elm.lineSpeed() > 0; // a network line has no speed
    applyLineSpeeds();
}

void frmMain::onLineSpeedSettled()
{
    if (m_elm.speedChanged())
        setPreference(kLineSpeedKey, m_elm.lineSpeed());
    if (!std::exchange(m_speedAsked, false) || !mnuRaiseSpeed->isChecked() || m_elm.speedChanged())
        return;
    m_prompts.message(
        QStringLiteral("The adapter stays at %1 baud: it did not take a faster line speed.")
            .arg(m_elm.lineSpeed()),
        message_title(), Prompts::Icon::Information);
}

void frmMain::onLinkLost(const QString &reason)
{
    // The adapter went away. Every wait has ended and every exchange now fails; whatever was
    // running stops without showing anything more (the monitoring loops too, a log with every
    // record it completed), and the user may connect again.
    if (m_line)
        m_line->close();
    m_elm.close();
    stopMonitors();
    setStatus(QString::fromUtf16(kEcuOffLine), kRed);
    setServiceButtonsEnabled(false);
    Mode5->setEnabled(false);
    mnuMode6->setEnabled(false);
    mnuCom->setEnabled(true);
    for (int port = 1; port <= 4; ++port)
        comItem(port)->setEnabled(m_comUsable[static_cast<size_t>(port - 1)]);
    mnuUSB->setEnabled(true);
    mnuWifi->setEnabled(true);
    setReportText(QStringLiteral("\r\nThe scan interface was disconnected (%1).").arg(reason));
}

void frmMain::ChangeECU_Click()
{
    ChangeECU->press();
    setReportText(QStringLiteral("\r\n"));
    const ExchangeStatus status = exchange_change_ecu(m_ctx);
    ChangeECU->release();
    if (status == ExchangeStatus::LinkLost)
        return;
    ChangeECU->setText(QStringLiteral("Toggle ECU"));
    Mode1_Click();
}

} // namespace quorvex
