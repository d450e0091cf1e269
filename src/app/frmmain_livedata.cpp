// Handlers of the live-data buttons: the current-data request and the freeze frame.
#include "frmmain.h"

#include "currentdata.h"
#include "dispatch.h"
#include "freezeframe.h"

#include <QPushButton>

namespace quorvex {

void frmMain::Mode1_Click()
{
    pressButton(Mode1);
    const DispatchHooks hooks = diagnostic_hooks();
    request_current_data(m_ctx, [&hooks](ObdContext &ctx, const std::array<int, 4> &support) {
        dispatch_support(ctx, hooks, support);
    });
    // What a successful request opens up belongs to windows that do not exist yet, so it
    // stays off here: the data logger's extra item selectors (and with them SelectorsReady,
    // which means nothing without that window) and its Log menu, the air/fuel ratio meter
    // (wanted once WideO2PID names a wide-range sensor), the fuel trim monitor (wanted once
    // HasSTFTB1 is set) and the O2 sensor test button. Their windows enable them when they
    // join.
    releaseButton(Mode1);
}

void frmMain::Mode2_Click()
{
    pressButton(Mode2);
    ReadFreezeFrame(m_ctx);
    releaseButton(Mode2);
}

} // namespace quorvex
