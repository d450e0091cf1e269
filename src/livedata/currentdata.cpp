#include "currentdata.h"

#include "mainview.h"
#include "numberforms.h"
#include "obdcontext.h"
#include "protocol.h"
#include "reply.h"

namespace quorvex {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
const QString kNoContactReply(22, u'0');
constexpr int kSupportThreshold = 18;

int hex_value(const QString &hex)
{
    bool ok = false;
    const int v = hex.toInt(&ok, 16);
    return ok ? v : 0;
}
} // namespace

QString get_ecu_PID(ObdContext &ctx, const QString &mode, const QString &pid, const QString &length)
{
    const int bytes = hex_value(length);
    ctx.state.StopFlag = false;
    wait_for_ECU(ctx);
    if (ctx.state.StopFlag)
        return kNoContactReply;

    QString reply;
    for (int attempt = 0;; ++attempt) {
        discard_input(ctx);
        ctx.link.OBDoutput(mode + pid + length);
        const ReplyWait wait = await_reply(ctx, 2 * bytes);
        if (wait.timedOut)
            return QString(); // indicator already shows red "ECU Timeout"
        reply = wait.reply;
        if (!reply_is(reply, 3, u'S'))
            break;
        // Not usable: ask again, indicator red while retrying, up to the retry limit.
        ctx.view.setStatusColor(StatusColor::Red);
        if (attempt + 1 >= ctx.bounds.retryLimit) {
            ctx.view.setStatus(QString::fromUtf16(kEcuTimeout), StatusColor::Red);
            return QString();
        }
    }
    if (reply_is(reply, 1, u'S'))
        reply = reply.mid(1, 2 * bytes + 1);
    ctx.view.setStatusColor(StatusColor::Green);
    return reply;
}

void get_OBD(ObdContext &ctx)
{
    ctx.view.appendReport(QStringLiteral("OBDII") + kCrLf);
}

CurrentDataResult request_current_data(ObdContext &ctx, const SupportDispatch &dispatch)
{
    SharedState &st = ctx.state;
    CurrentDataResult result;
    st.StopFlag = false;
    st.PIDcount = 0;
    ctx.view.setReportText(kCrLf);
    ctx.view.clearDataList();
    st.LoggerItems.clear(); // the logger's item k is line k of this run
    ctx.view.setDataListRed(false);
    st.PIDmode = QStringLiteral("01");
    st.PIDoffset = 0;
    st.NoFreezeFrame = false;
    st.HasSTFTB1 = st.HasSTFTB2 = st.HasLTFTB1 = st.HasLTFTB2 = false;

    wait_for_ECU(ctx);
    if (st.StopFlag)
        return result;
    result.contact = true;

    QString reply;
    for (int attempt = 0;; ++attempt) {
        discard_input(ctx);
        ctx.link.OBDoutput(QStringLiteral("010009"));
        const ReplyWait wait = await_reply(ctx, kSupportThreshold);
        reply = wait.reply;
        if (st.DebugMode)
            ctx.view.appendReport(kCrLf + QStringLiteral("Mode 1, PID 0 = ") + reply);
        if (wait.timedOut) {
            result.timedOut = true;
            break;
        }
        if (!reply_is(reply, 3, u'S'))
            break;
        if (attempt + 1 >= ctx.bounds.retryLimit) {
            result.timedOut = true;
            break;
        }
    }
    if (reply_is(reply, 1, u'S'))
        reply = reply.mid(1, 19);
    if (result.timedOut || reply_is(reply, 2, u'S')) {
        result.timedOut = true;
        ctx.view.setStatus(QString::fromUtf16(kEcuTimeout), StatusColor::Red);
    } else {
        ctx.view.setStatus(QString::fromUtf16(kEcuConnected), StatusColor::Green);
    }
    ctx.view.setEcuNumber(QStringLiteral("ECU #=") + reply.mid(5, 2) + kCrLf);
    if (result.timedOut)
        return result;

    if (reply_field(reply, 6, 2) == u"D0") {
        result.notObd = true;
        ctx.view.setReportText(QStringLiteral(
            "The ECU communicating does not support OBD-II data, you can read/clear it's "
            "trouble codes or Click 'Change ECU' "));
        return result;
    }
    for (int i = 0; i < 4; ++i) {
        QString byte = reply_byte(reply, 12 + 2 * i);
        result.support[static_cast<size_t>(i)] = conv_hex(byte);
    }
    if (dispatch)
        dispatch(ctx, result.support);
    return result;
}

} // namespace quorvex
