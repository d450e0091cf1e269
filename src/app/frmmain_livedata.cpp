// Handlers of the live-data buttons: the current-data request and the freeze frame.
#include "frmmain.h"

#include "currentdata.h"

#include <QPushButton>

namespace quorvex {

void frmMain::Mode1_Click()
{
    pressButton(Mode1);
    // Listing the supported items, the logger's selectors and the meters' menus join here
    // with the decoders and their windows.
    request_current_data(m_ctx, SupportDispatch());
    releaseButton(Mode1);
}

} // namespace quorvex
