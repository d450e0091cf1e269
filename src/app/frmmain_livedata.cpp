// Handlers of the live-data buttons: the current-data request and the freeze frame.
#include "frmmain.h"

#include "controls.h"
#include "currentdata.h"
#include "dispatch.h"
#include "freezeframe.h"
#include "sweep.h"

#include <QLabel>

namespace quorvex {

void frmMain::Mode1_Click()
{
    Mode1->press();
    clearDataList();
    setDataListRed(false);
    Sweep sweep;
    render(sweep);
    const CurrentDataResult result = request_current_data(m_ctx, m_live, sweep, diagnostic_hooks());
    if (!result.ecuNumber.isEmpty())
        Label6->setText(result.ecuNumber);
    showOutcome(result.support == ExchangeStatus::Ok ? sweep.outcome() : result.support,
                QStringLiteral("ECU Timeout"));
    // What a successful request opens up belongs to windows that do not exist yet, so it
    // stays off here: the data logger's item selectors and its Log menu, the air/fuel ratio
    // meter (wanted once WideO2PID names a wide-range sensor), the fuel trim monitor (wanted
    // once HasSTFTB1 is set) and the O2 sensor test button. Their windows enable them when
    // they join.
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
        showOutcome(sweep.outcome(), QStringLiteral("ECU Timeout"));
    Mode2->release();
}

} // namespace quorvex
