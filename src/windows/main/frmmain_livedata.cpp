// Handlers of the live-data buttons: the current-data request and the freeze frame.
#include "windows/main/frmmain.h"

#include "diagnostics/freezeframe.h"
#include "livedata/currentdata.h"
#include "livedata/dispatch.h"
#include "livedata/sweep.h"
#include "widgets/controls.h"
#include "windows/datalog/datalogwindow.h"

#include <QLabel>

namespace quorvex {

void frmMain::Mode1_Click()
{
    Mode1->press();
    // The battery voltage an ELM327 adapter measures goes with each current-data request.
    if (m_adapter == AdapterKind::Elm327)
        m_elm.refreshBattery();
    clearDataList();
    setDataListRed(false);
    Sweep sweep;
    render(sweep);
    const CurrentDataResult result = request_current_data(m_ctx, m_live, sweep, diagnostic_hooks());
    if (!result.ecuNumber.isEmpty())
        Label6->setText(result.ecuNumber);
    const ExchangeStatus outcome =
        result.support == ExchangeStatus::Ok ? sweep.outcome() : result.support;
    showOutcome(outcome);
    if (outcome != ExchangeStatus::LinkLost) {
        offerMonitors(result.support == ExchangeStatus::Ok);
        Mode5->setEnabled(true);
    }
    Mode1->release();
}

void frmMain::Mode2_Click()
{
    Mode2->press();
    clearDataList();
    Sweep sweep(reportText());
    render(sweep);
    const FreezeFrameResult result = ReadFreezeFrame(m_ctx, m_live, sweep);
    if (result.support != ExchangeStatus::Ok)
        showOutcome(result.support, QStringLiteral("ECU Timeout, Freeze Frame not Supported"));
    else
        showOutcome(sweep.outcome());
    // The logger offers the frame's lines.
    if (m_dataLog && result.support != ExchangeStatus::LinkLost &&
        sweep.outcome() != ExchangeStatus::LinkLost)
        m_dataLog->setItems(m_listItems);
    Mode2->release();
}

} // namespace quorvex
