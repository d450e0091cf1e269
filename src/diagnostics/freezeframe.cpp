#include "freezeframe.h"

#include "currentdata.h"
#include "decoders.h"
#include "dispatch.h"
#include "mainview.h"
#include "mil.h"
#include "numberforms.h"
#include "obdcontext.h"
#include "protocol.h"
#include "reply.h"

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

void ReadFreezeFrame(ObdContext &ctx)
{
    SharedState &st = ctx.state;
    st.StopFlag = false;
    st.PIDcount = 0;
    ctx.view.clearDataList();
    st.LoggerItems.clear(); // the logger's item k is line k of this run
    st.PIDmode = QStringLiteral("02");
    st.PIDoffset = 1;

    QString reply;
    wait_for_ECU(ctx);
    if (!st.StopFlag) {
        discard_input(ctx);
        ctx.link.OBDoutput(QStringLiteral("02000A"));
        reply = await_reply(ctx, kSupportThreshold).reply;
    }
    // No contact, a wait ended or run out, or the ECU's time-out: nobody answered.
    if (reply.isEmpty() || reply_is(reply, 2, u'S')) {
        ctx.view.setStatus(QStringLiteral("ECU Timeout, Freeze Frame not Supported"),
                           StatusColor::Red);
        return;
    }
    ctx.view.setStatus(QString::fromUtf16(kEcuConnected), StatusColor::Green);
    if (reply_is(reply, 6, u'D')) {
        ctx.view.setReportText(QString::fromUtf16(kNotObdText));
        return;
    }
    ctx.view.setReportText(kCrLf);
    ctx.view.appendReport(QStringLiteral("ECU #=") + reply_field(reply, 6, 2) + kCrLf);

    std::array<int, 4> support{};
    for (size_t i = 0; i < support.size(); ++i) {
        QString pair = reply_byte(reply, 14 + 2 * static_cast<int>(i));
        support[i] = conv_hex(pair);
    }
    if (support[0] == 0) {
        ctx.view.setReportText(kCrLf);
        ctx.view.appendReport(kCrLf + QStringLiteral("Not Supported by this ECU"));
        ctx.view.appendReport(kCrLf);
    }
    const DispatchHooks hooks = diagnostic_hooks();
    findPID1(ctx, hooks, support[0], st.PIDcount);
    if (!st.NoFreezeFrame) {
        findPID2(ctx, hooks, support[1], st.PIDcount);
        findPID3(ctx, hooks, support[2], st.PIDcount);
        findPID4(ctx, hooks, support[3], st.PIDcount);
    }
    st.NoFreezeFrame = false;
}

void get_trouble_codes(ObdContext &ctx)
{
    SharedState &st = ctx.state;
    st.NoFreezeFrame = false;
    const int offset = st.PIDoffset;
    const QString reply = get_ecu_PID(ctx, st.PIDmode, QStringLiteral("02"), hex2(7 + offset));
    if (reply_is(reply, 2, u'S')) {
        ctx.view.appendReport(kCrLf + kNoFreezeFrame);
        return;
    }
    // Data bytes A and B; a service 02 reply carries the frame number ahead of them.
    const QString code = reply_field(reply, 12 + 2 * offset, 4);
    if (code == u"0000") {
        ctx.view.setReportText(kCrLf);
        ctx.view.appendReport(kCrLf + kNoFreezeFrame);
        ctx.view.appendReport(kCrLf);
        st.NoFreezeFrame = true;
        return;
    }
    ctx.view.appendReport(kCrLf + QStringLiteral("Freeze Frame T.C. -P") + code);
    ctx.view.appendReport(kCrLf);
    ctx.view.setDataListRed(true);
}

} // namespace quorvex
