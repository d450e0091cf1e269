#include "link/protocol.h"

#include "link/obdcontext.h"
#include "link/reply.h"

#include <cmath>
#include <optional>

namespace quorvex {

namespace {

// Longer replies are cut: the longest the interface sends is the 111-character VIN.
constexpr qsizetype kMaxReply = 4096;

bool link_gone(const ObdContext &ctx, int epoch)
{
    return ctx.closing() || ctx.isLost() || ctx.linkEpoch() != epoch || !ctx.link.isConnected();
}

// Ready marks that slipped out between the flush and the command (or, in the pass-through
// mode, between the block and its reply) arrive ahead of the answer:
// - a vehicle reply's leading character is never "S", so every "S" ahead of it is a mark;
// - the interface's own answers start with anything: only marks ahead of a letter (the
//   firmware id "V3.40", the acknowledgement "RA1") can be told from them;
// - a raw reply starts with the response header (48, 41, 8x), never with "S" (53) or "P" (50).
QString strip_marks(const QString &text, const ExchangeRequest &request)
{
    qsizetype marks = 0;
    if (request.raw) {
        while (marks < text.size() && (text.at(marks) == u'S' || text.at(marks) == u'P'))
            ++marks;
    } else if (request.vehicleReply) {
        while (marks < text.size() && text.at(marks) == u'S')
            ++marks;
    } else {
        while (marks + 1 < text.size() && text.at(marks) == u'S' && text.at(marks + 1).isLetter())
            ++marks;
    }
    return text.mid(marks);
}

struct Received
{
    ExchangeStatus status = ExchangeStatus::Ok;
    QString text; // as it arrived
};

// Collects the reply: everything waiting is read on each wake, and the reply is complete once
// it is long enough (or the fixed wait is over).
Received receive(ObdContext &ctx, const ExchangeRequest &request, int epoch, int number,
                 qint64 deadlineMs)
{
    Received r;
    const bool fixedWait = request.fixedWaitSeconds >= 0;
    const bool ownLimit = deadlineMs >= 0;
    const qint64 silentUntil = ctx.nowMs() + ctx.bounds.silentMs;
    for (;;) {
        if (link_gone(ctx, epoch)) {
            r.status = ExchangeStatus::LinkLost;
            return r;
        }
        if (ctx.state.StopFlag || ctx.lastExchange() != number) {
            r.status = ExchangeStatus::Stopped;
            return r;
        }
        if (ctx.link.OBDinbuffercount() > 0) {
            const QString input = ctx.link.OBDinput();
            r.text += input.left(kMaxReply - r.text.size());
        }
        if (!fixedWait && strip_marks(r.text, request).size() > request.threshold)
            return r;
        if (ownLimit) {
            if (ctx.yieldUntil(deadlineMs)) {
                // What arrived in the fixed time is the reply; nothing at all is no reply.
                if (fixedWait)
                    r.status = r.text.isEmpty() ? ExchangeStatus::NoReply : ExchangeStatus::Ok;
                else
                    r.status = ExchangeStatus::OverLimit;
                return r;
            }
            continue;
        }
        if (ctx.nowMs() >= silentUntil) {
            r.status = ExchangeStatus::NoReply;
            return r;
        }
        ctx.yield(static_cast<int>(silentUntil - ctx.nowMs()));
    }
}

} // namespace

Exchange exchange_block(ObdContext &ctx, const QByteArray &block, int threshold)
{
    Exchange ex;
    const int epoch = ctx.linkEpoch();
    const int number = ctx.beginExchange();
    ExchangeRequest request;
    request.threshold = threshold;
    request.raw = true;
    ctx.state.StopFlag = false;
    discard_input(ctx);
    ctx.link.EXT_CMD_OUT(block);
    const Received r = receive(ctx, request, epoch, number, -1);
    ex.status = r.status;
    ex.reply = strip_marks(r.text, request);
    ex.received << r.text;
    return ex;
}

bool ends_the_run(ExchangeStatus status)
{
    switch (status) {
    case ExchangeStatus::NoContact:
    case ExchangeStatus::Silent:
    case ExchangeStatus::NoReply:
    case ExchangeStatus::LinkLost:
        return true;
    default:
        return false;
    }
}

bool vehicle_not_reached(ExchangeStatus status)
{
    return ends_the_run(status) && status != ExchangeStatus::LinkLost;
}

bool report_failure(const std::function<void(ExchangeStatus)> &onFailure, ExchangeStatus status)
{
    if (onFailure)
        onFailure(status);
    return ends_the_run(status);
}

bool RunOutcome::accept(ExchangeStatus status)
{
    if (status == ExchangeStatus::Ok)
        return true;
    if (ends_the_run(status)) {
        if (!ended())
            m_endedBy = status;
    } else if (status == ExchangeStatus::Stopped) {
        m_stopped = true;
    } else {
        m_failed = true;
    }
    return false;
}

ExchangeStatus RunOutcome::outcome() const
{
    if (ended())
        return m_endedBy;
    if (m_failed)
        return ExchangeStatus::EcuTimeout;
    return m_stopped ? ExchangeStatus::Stopped : ExchangeStatus::Ok;
}

void discard_input(ObdContext &ctx)
{
    ctx.link.OBDinput();
}

namespace {

// Every form of the check ends at once when the link is gone (or the program ending) or when
// another handler raised StopFlag meanwhile.
std::optional<ReadyResult> ended_early(ObdContext &ctx, int epoch)
{
    if (link_gone(ctx, epoch)) {
        ctx.state.StopFlag = true;
        return ReadyResult::Lost;
    }
    if (ctx.state.StopFlag)
        return ReadyResult::NoContact;
    return std::nullopt;
}

// The USB form of the check: the interface is asked for its sync byte until it reports
// vehicle contact. An interface that only ever answers 0 has no contact; one whose transfers
// all fail is as good as silent.
ReadyResult wait_for_sync(ObdContext &ctx, int epoch, bool announceContact)
{
    LinkState &st = ctx.state;
    ctx.link.OBDsync(); // may still describe the time before the last request
    bool answered = false;
    const qint64 silentUntil = ctx.nowMs() + ctx.bounds.silentMs;
    for (;;) {
        if (const auto ended = ended_early(ctx, epoch))
            return *ended;
        const int sync = ctx.link.OBDsync();
        if (sync > 0 && !link_gone(ctx, epoch) && !st.StopFlag) {
            if (announceContact)
                emit ctx.readinessChanged(Readiness::Contact);
            return ReadyResult::Contact;
        }
        answered = answered || sync == 0;
        if (ctx.nowMs() >= silentUntil) {
            st.StopFlag = true;
            emit ctx.readinessChanged(answered ? Readiness::NoContact : Readiness::Silent);
            return answered ? ReadyResult::NoContact : ReadyResult::Silent;
        }
        ctx.yield(static_cast<int>(silentUntil - ctx.nowMs()));
    }
}

// The ready check; contact is announced only when asked (a repeat keeps the red of its retry
// until it is answered).
ReadyResult check_ready(ObdContext &ctx, bool announceContact)
{
    LinkState &st = ctx.state;
    st.StopFlag = false;
    const int epoch = ctx.linkEpoch();
    if (!st.UseSerial)
        return wait_for_sync(ctx, epoch, announceContact);
    discard_input(ctx);
    QString collected;
    const qint64 silentUntil = ctx.nowMs() + ctx.bounds.silentMs;
    for (;;) {
        if (const auto ended = ended_early(ctx, epoch))
            return *ended;
        if (ctx.nowMs() >= silentUntil) {
            st.StopFlag = true;
            emit ctx.readinessChanged(Readiness::Silent);
            return ReadyResult::Silent;
        }
        if (ctx.link.OBDinbuffercount() == 0) {
            ctx.yield(static_cast<int>(silentUntil - ctx.nowMs()));
            continue;
        }
        collected += ctx.link.OBDinput();
        if (collected.contains(u'S')) {
            if (announceContact)
                emit ctx.readinessChanged(Readiness::Contact);
            return ReadyResult::Contact;
        }
        if (collected.contains(u'P')) {
            st.StopFlag = true;
            emit ctx.readinessChanged(Readiness::NoContact);
            return ReadyResult::NoContact;
        }
        collected.clear();
    }
}

// What the ready check means for exchange `number`: Ok when its command may go out.
ExchangeStatus ready_status(ObdContext &ctx, ReadyResult ready, int number)
{
    if (ready == ReadyResult::Lost)
        return ExchangeStatus::LinkLost;
    if (ctx.lastExchange() != number)
        return ExchangeStatus::Stopped; // another exchange ran during the ready check
    switch (ready) {
    case ReadyResult::Silent:
        return ExchangeStatus::Silent;
    case ReadyResult::NoContact:
        return ExchangeStatus::NoContact;
    default:
        return ExchangeStatus::Ok;
    }
}

} // namespace

ReadyResult wait_for_ECU(ObdContext &ctx)
{
    return check_ready(ctx, true);
}

Exchange exchange(ObdContext &ctx, const ExchangeRequest &request)
{
    Exchange ex;
    const int epoch = ctx.linkEpoch();
    const int number = ctx.beginExchange();
    ex.status = ready_status(ctx, wait_for_ECU(ctx), number);
    if (ex.status == ExchangeStatus::NoContact && request.sendWithoutContact) {
        discard_input(ctx);
        ctx.link.OBDoutput(request.command);
    }
    if (!ex.ok())
        return ex;

    // The exchange's own limit runs from the first send, over any repeats; a fixed wait is the
    // reply time of each send.
    qint64 deadline = -1;
    if (request.limitSeconds >= 0)
        deadline = ctx.nowMs() + std::llround(request.limitSeconds * 1000);
    for (int repeat = 0;; ++repeat) {
        discard_input(ctx);
        ctx.link.OBDoutput(request.command);
        if (request.fixedWaitSeconds >= 0)
            deadline = ctx.nowMs() + std::llround(request.fixedWaitSeconds * 1000);
        const Received r = receive(ctx, request, epoch, number, deadline);
        ex.received << r.text;
        ex.reply = strip_marks(r.text, request);
        ex.status = r.status;
        if (r.status != ExchangeStatus::Ok || !request.vehicleReply)
            return ex;
        if (reply_is(ex.reply, 3, u'S')) {
            if (repeat < ctx.bounds.retryLimit) {
                emit ctx.readinessChanged(Readiness::Retrying);
                // The unusable reply's last characters (its check byte) may still be on the
                // line: the repeat waits until the interface is idle again, as every request
                // does, so that they are not read as the start of the next reply.
                ex.status = ready_status(ctx, check_ready(ctx, false), number);
                if (!ex.ok())
                    return ex;
                continue;
            }
            ex.status = ExchangeStatus::NotUsable;
            return ex;
        }
        if (reply_is(ex.reply, 2, u'S'))
            ex.status = ExchangeStatus::EcuTimeout;
        else if (repeat > 0)
            emit ctx.readinessChanged(Readiness::Contact); // the repeat was answered
        return ex;
    }
}

} // namespace quorvex
