#include "livedata/currentdata.h"

#include "link/obdcontext.h"
#include "link/reply.h"
#include "livedata/dispatch.h"
#include "livedata/items.h"
#include "livedata/livestate.h"
#include "livedata/numberforms.h"
#include "livedata/sweep.h"

#include <utility>

namespace quorvex {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
} // namespace

CurrentDataResult request_current_data(ObdContext &ctx, LiveDataState &live, Sweep &sweep,
                                       const DispatchHooks &hooks)
{
    CurrentDataResult result;
    sweep.setReport(kCrLf);
    live.PIDmode = QStringLiteral("01");
    live.PIDoffset = 0;
    live.NoFreezeFrame = false;
    live.HasSTFTB1 = live.HasSTFTB2 = live.HasLTFTB1 = live.HasLTFTB2 = false;
    // This run keeps what it reads; what the last one read says what it will likely ask.
    SupportRanges expected = std::exchange(live.SupportRead, {});

    const PidRequest support{QStringLiteral("01"), QStringLiteral("00"), QStringLiteral("09")};
    const PassAnnouncement pass(ctx, QStringList{support.command()} +
                                         expected_commands(live, expected, 0x01));
    const Exchange ex = get_ecu_PID(ctx, support);
    if (ctx.state.DebugMode) {
        for (const QString &received : ex.received)
            sweep.appendReport(kCrLf + QStringLiteral("Mode 1, PID 0 = ") + received);
    }
    result.support = ex.status;
    if (!ex.ok())
        return result;
    result.ecuNumber = QStringLiteral("ECU #=") + reply_field(ex.reply, 6, 2) + kCrLf;
    if (reply_field(ex.reply, 6, 2) == u"D0") {
        result.notObd = true;
        sweep.setReport(QString::fromUtf16(kNotObdText));
        return result;
    }
    SweepRun run{ctx, live, sweep, hooks, false, std::move(expected)};
    dispatch_first_range(run, support_bytes(ex.reply, 12));
    return result;
}

} // namespace quorvex
