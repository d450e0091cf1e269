#include "currentdata.h"

#include "dispatch.h"
#include "livestate.h"
#include "numberforms.h"
#include "obdcontext.h"
#include "reply.h"
#include "sweep.h"

namespace quorvex {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
constexpr int kSupportThreshold = 18;
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

    ExchangeRequest request;
    request.command = QStringLiteral("010009");
    request.threshold = kSupportThreshold;
    const Exchange ex = exchange(ctx, request);
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
    std::array<int, 4> support{};
    for (size_t i = 0; i < support.size(); ++i) {
        QString pair = reply_byte(ex.reply, 12 + 2 * static_cast<int>(i));
        support[i] = conv_hex(pair);
    }
    SweepRun run{ctx, live, sweep, hooks};
    dispatch_first_range(run, support);
    return result;
}

} // namespace quorvex
