#include "diagnostics/clearcodes.h"

#include "link/obdcontext.h"
#include "link/reply.h"

namespace quorvex {

namespace {
constexpr int kClearThreshold = 9; // more than 9 characters
constexpr int kServiceBytePosition = 8;
} // namespace

ClearResult clear_trouble_codes(ObdContext &ctx)
{
    ClearResult result;
    result.report = QStringLiteral("\r\n");
    ExchangeRequest request;
    request.command = QStringLiteral("040404");
    request.threshold = kClearThreshold;
    const Exchange ex = exchange(ctx, request);
    RunOutcome outcome;
    if (outcome.accept(ex.status)) {
        // The service byte is compared as text: reading it as a number would let characters
        // that are not hex digits add up to 68 and report a clearing that did not happen.
        const bool cleared = reply_field(ex.reply, kServiceBytePosition, 2) == u"44";
        result.report =
            cleared ? QStringLiteral("Trouble Codes Cleared") : QStringLiteral("Operation Failed");
    }
    result.status = outcome.outcome();
    return result;
}

} // namespace quorvex
