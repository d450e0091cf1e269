// Serial connection set-up, the start-up port probe and the firmware identification.
#include "frmmain.h"

#include "connection.h"
#include "prompts.h"
#include "protocol.h"
#include "vin.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>

#include <vector>

namespace quorvex {

namespace {
constexpr double kFirmwareWithO2Test = 3.09;

// Menu items each port's set-up disables while it runs and enables again when it is done
// (1-based port numbers; 0 stands for the USB item).
const std::vector<int> &itemsHeldBy(int port)
{
    static const std::vector<int> held[4] = {{2, 3}, {0, 1, 3}, {2, 1}, {2, 1}};
    return held[port - 1];
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
            usable = SerialTransport::probe(device, &error);
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
    setStatus(QStringLiteral("Waiting for ECU"), StatusColor::Yellow);
}

void frmMain::get_FWID()
{
    if (!exchange_firmware_id(m_ctx))
        return;
    GetVIN(m_ctx);
    // The mode 6 tests menu is enabled here once its window exists.
}

void frmMain::mnuConnectionCom_Click(int port)
{
    SharedState &st = m_ctx.state;
    setServiceButtonsEnabled(false);
    for (int item : itemsHeldBy(port))
        comItem(item)->setEnabled(false);

    if (!m_serial.isOpen()) {
        SerialSettings settings;
        settings.device = m_comDevices[static_cast<size_t>(port - 1)];
        settings.baud = st.BaudRate == 9600 ? 9600 : 19200;
        QString error;
        if (!m_serial.open(settings, &error)) {
            for (int item : itemsHeldBy(port))
                comItem(item)->setEnabled(item == 0 ? false
                                                    : m_comUsable[static_cast<size_t>(item - 1)]);
            m_ctx.prompts.message(QStringLiteral("Com%1 (%2) could not be opened: %3")
                                      .arg(port)
                                      .arg(settings.device, error),
                                  QStringLiteral("Quorvex 3.40"), Prompts::Icon::Critical);
            return;
        }
    }
    st.UseSerial = true;
    show_waiting();

    // Waits for vehicle contact as long as the user lets it: "P" keeps it yellow; a silent
    // interface shows red until it speaks.
    st.StopFlag = true;
    bool wasSilent = false;
    while (st.StopFlag) {
        const ReadyResult ready = wait_for_ECU(m_ctx);
        if (m_ctx.closing() || !m_serial.isOpen())
            return; // ended, or the device went away (the menu is back already)
        if (ready == ReadyResult::Silent) {
            wasSilent = true;
        } else if (ready == ReadyResult::NoContact && wasSilent) {
            show_waiting();
            wasSilent = false;
        }
        m_ctx.yield(0);
    }
    if (port == 1)
        setStatusText(QStringLiteral("Sending FWID"));
    setStatusColor(StatusColor::Green);
    get_FWID();
    if (m_ctx.closing())
        return;
    setStatusText(QString::fromUtf16(kEcuConnected));
    for (QPushButton *b : {Mode1, Mode2, Mode3, Mode4})
        b->setEnabled(true);
    if (st.FWVersion > kFirmwareWithO2Test)
        Mode5->setVisible(true);
    ChangeECU->setEnabled(true);
    for (int item : itemsHeldBy(port))
        if (item != 0)
            comItem(item)->setEnabled(m_comUsable[static_cast<size_t>(item - 1)]);
    st.UseSerial = true;
    mnuCom->setEnabled(false);
}

void frmMain::onLinkLost(const QString &reason)
{
    // The adapter went away: every wait ends, and the user may connect again.
    m_ctx.state.StopFlag = true;
    setStatus(QString::fromUtf16(kEcuOffLine), StatusColor::Red);
    setServiceButtonsEnabled(false);
    mnuCom->setEnabled(true);
    for (int port = 1; port <= 4; ++port)
        comItem(port)->setEnabled(m_comUsable[static_cast<size_t>(port - 1)]);
    setReportText(QStringLiteral("\r\nThe scan interface was disconnected (%1).").arg(reason));
}

} // namespace quorvex
