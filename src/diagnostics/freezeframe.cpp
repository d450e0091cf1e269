#include "diagnostics/freezeframe.h"

#include "diagnostics/mil.h"
#include "diagnostics/troublecodes.h"
#include "link/obdcontext.h"
#include "link/reply.h"
#include "livedata/decoders.h"
#include "livedata/dispatch.h"
#include "livedata/items.h"
#include "livedata/livestate.h"
#include "livedata/numberforms.h"
#include "livedata/sweep.h"

namespace quorvex {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kNoFreezeFrame = QStringLiteral(" No Freeze Frame Data Stored");
constexpr int kSupportThreshold = 22; // "02000A" is complete past 22 characters

} // namespace

DispatchHooks diagnostic_hooks()
{
    DispatchHooks hooks;
    hooks.getMIL = get_MIL;
    hooks.getTroubleCodes = get_trouble_codes;
    return hooks;
}

FreezeFrameResult ReadFreezeFrame(ObdContext &ctx, LiveDataState &live, Sweep &sweep)
{
    FreezeFrameResult result;
    live.PIDmode = QStringLiteral("02");
    live.PIDoffset = 1;

    ExchangeRequest request;
    request.command = QStringLiteral("02000A");
    request.threshold = kSupportThreshold;
    const Exchange ex = exchange(ctx, request);
    result.support = ex.status;
    if (!ex.ok())
        return result;
    if (reply_is(ex.reply, 6, u'D')) {
        result.notObd = true;
        sweep.setReport(QString::fromUtf16(kNotObdText));
        return result;
    }
    sweep.setReport(kCrLf + QStringLiteral("ECU #=") + reply_field(ex.reply, 6, 2) + kCrLf);

    const std::array<int, 4> support = support_bytes(ex.reply, 14);
    if (support[0] == 0)
        sweep.setReport(kCrLf + kCrLf + QStringLiteral("Not Supported by this ECU") + kCrLf);
    SweepRun run{ctx, live, sweep, diagnostic_hooks(), true};
    dispatch_first_range(run, support);
    live.NoFreezeFrame = false;
    return result;
}

void get_trouble_codes(SweepRun &run)
{
    LiveDataState &live = run.live;
    live.NoFreezeFrame = false;
    const int offset = live.PIDoffset;
    const Exchange ex = get_ecu_PID(run.ctx, live.PIDmode, QStringLiteral("02"), hex2(7 + offset));
    if (!run.sweep.accept(ex.status))
        return;
    // Data bytes A and B; a service 02 reply carries the frame number ahead of them.
    const QString code = reply_field(ex.reply, 12 + 2 * offset, 4);
    if (code == u"0000") {
        // The freeze-frame run shows this alone; the current-data request keeps its report.
        if (run.freezeFrame)
            run.sweep.setReport(kCrLf);
        run.sweep.appendReport(kCrLf + kNoFreezeFrame + kCrLf);
        live.NoFreezeFrame = true;
        return;
    }
    run.sweep.appendReport(kCrLf + QStringLiteral("Freeze Frame T.C. -") + trouble_code_text(code) +
                           kCrLf);
    run.sweep.listRed = true;
}

} // namespace quorvex
