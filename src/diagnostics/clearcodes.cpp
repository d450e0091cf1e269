#include "clearcodes.h"

#include "mainview.h"
#include "obdcontext.h"
#include "protocol.h"
#include "reply.h"

namespace quorvex {

namespace {
constexpr int kClearThreshold = 9; // more than 9 characters
constexpr int kServiceBytePosition = 8;
} // namespace

void clear_trouble_codes(ObdContext &ctx)
{
    ctx.state.StopFlag = false;
    ctx.view.setReportText(QStringLiteral("\r\n"));
    wait_for_ECU(ctx);
    discard_input(ctx);
    ctx.link.OBDoutput(QStringLiteral("040404"));

    const QString reply = strip_leading_mark(await_reply(ctx, kClearThreshold).reply);
    // Nothing to read (the wait was ended) counts as no answer: the clearing is unconfirmed.
    if (reply.size() < kServiceBytePosition + 1 || reply_is(reply, 2, u'S')) {
        ctx.view.setStatus(QString::fromUtf16(kEcuTimeout), StatusColor::Red);
        return;
    }
    ctx.view.setStatus(QString::fromUtf16(kEcuConnected), StatusColor::Green);
    // The service byte is compared as text: reading it as a number would let characters that
    // are not hex digits add up to 68 and report a clearing that did not happen.
    const bool cleared = reply_field(reply, kServiceBytePosition, 2) == u"44";
    ctx.view.setReportText(cleared ? QStringLiteral("Trouble Codes Cleared")
                                   : QStringLiteral("Operation Failed"));
}

} // namespace quorvex
