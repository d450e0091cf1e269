#include "protocol.h"

#include "mainview.h"
#include "obdcontext.h"

#include <QElapsedTimer>

namespace quorvex {

void discard_input(ObdContext &ctx)
{
    ctx.link.OBDinput();
}

ReadyResult wait_for_ECU(ObdContext &ctx)
{
    SharedState &st = ctx.state;
    st.StopFlag = false;
    // The USB form of the check (sync query) comes with the USB link; without a USB device
    // the link has nothing attached and the check ends as for a silent interface.
    discard_input(ctx);
    QString collected;
    QElapsedTimer silent;
    silent.start();
    for (;;) {
        if (st.StopFlag)
            return ReadyResult::NoContact; // raised by another handler meanwhile
        if (!ctx.link.isConnected() || ctx.closing() || silent.elapsed() >= ctx.bounds.silentMs) {
            st.StopFlag = true;
            ctx.view.setStatus(QString::fromUtf16(kEcuOffLine), StatusColor::Red);
            return ReadyResult::Silent;
        }
        if (ctx.link.OBDinbuffercount() == 0) {
            ctx.yield(static_cast<int>(ctx.bounds.silentMs - silent.elapsed()));
            continue;
        }
        collected += ctx.link.OBDinput();
        if (collected.contains(u'S')) {
            ctx.view.setStatusColor(StatusColor::Green);
            return ReadyResult::Contact;
        }
        if (collected.contains(u'P')) {
            st.StopFlag = true;
            ctx.view.setStatusColor(StatusColor::Yellow);
            return ReadyResult::NoContact;
        }
        collected.clear();
    }
}

ReplyWait await_reply(ObdContext &ctx, int threshold, double limitSeconds)
{
    ReplyWait result;
    const bool ownLimit = limitSeconds >= 0;
    const double deadline = ownLimit ? ctx.CodeTimer().CurrentTime() + limitSeconds : 0.0;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (ctx.state.StopFlag)
            return result;
        if (ctx.link.OBDinbuffercount() > threshold) {
            result.reply = ctx.link.OBDinput();
            return result;
        }
        if (ownLimit) {
            if (ctx.closing() || !ctx.link.isConnected())
                return result;
            result.timedOut = ctx.yieldUntil(deadline);
            if (result.timedOut)
                return result;
            continue;
        }
        if (ctx.closing() || !ctx.link.isConnected() || waited.elapsed() >= ctx.bounds.silentMs) {
            result.timedOut = true;
            ctx.state.StopFlag = true;
            ctx.view.setStatus(QString::fromUtf16(kEcuTimeout), StatusColor::Red);
            return result;
        }
        ctx.yield(static_cast<int>(ctx.bounds.silentMs - waited.elapsed()));
    }
}

QString strip_leading_mark(const QString &reply)
{
    if (reply.startsWith(u'S'))
        return reply.mid(1);
    return reply;
}

} // namespace quorvex
