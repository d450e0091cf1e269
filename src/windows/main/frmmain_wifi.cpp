// Wi-Fi connection set-up: an ELM327 adapter reached over TCP, then everything as on a Com
// port through the same driver.
#include "windows/main/frmmain.h"

#include "link/version.h"
#include "widgets/preferences.h"
#include "widgets/prompts.h"

#include <QAction>
#include <QMenu>

namespace quorvex {

namespace {
// Where the address used last is kept, and what is offered before there is one (where most
// Wi-Fi clones listen).
const QString kAddressKey = QStringLiteral("wifi/address");
constexpr char kFactoryAddress[] = "192.168.0.10:35000";
} // namespace

void frmMain::mnuWifi_Click()
{
    const QString text = m_prompts.textInput(
        QStringLiteral("Address of the Wi-Fi adapter (HOST:PORT):"), message_title(),
        preference(kAddressKey, QLatin1String(kFactoryAddress)).toString());
    if (text.isNull())
        return;
    NetworkAddress address;
    QString error;
    if (!NetworkAddress::parse(text, &address, &error)) {
        m_prompts.message(error, message_title(), Prompts::Icon::Critical);
        return;
    }
    connectWifi(address);
}

void frmMain::connectWifi(const NetworkAddress &address)
{
    setPreference(kAddressKey, address.text());
    m_usbSetupCancelled = true; // a USB set-up still waiting gives way
    setServiceButtonsEnabled(false);
    mnuWifi->setEnabled(false);
    // No other connection starts during the (bounded) connect.
    mnuCom->setEnabled(false);
    QString error;
    std::unique_ptr<Transport> line = connect_network(m_ctx, *m_network, address, &error);
    mnuCom->setEnabled(true);
    if (!line) {
        mnuWifi->setEnabled(true);
        if (!m_ctx.closing())
            m_prompts.message(QStringLiteral("The Wi-Fi adapter at %1 could not be reached: %2")
                                  .arg(address.text(), error),
                              message_title(), Prompts::Icon::Critical);
        return;
    }
    m_ctx.attachSerial(&m_elm);
    m_elm.open(std::move(line));
    if (!completeConnection(false))
        return;
    m_ctx.state.UseSerial = true;
    mnuCom->setEnabled(false);
}

} // namespace quorvex
