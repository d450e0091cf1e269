#include "obdcontext.h"

#include "eventwait.h"
#include "transport.h"

#include <algorithm>

namespace quorvex {

ObdContext::ObdContext() : link(state) {}

void ObdContext::attachSerial(Transport *transport)
{
    link.attachSerial(transport);
    watch(transport);
}

void ObdContext::attachUsb(Transport *transport)
{
    link.attachUsb(transport);
    watch(transport);
}

void ObdContext::watch(Transport *transport)
{
    if (!transport || m_watched.contains(transport))
        return;
    m_watched.append(transport);
    connect(transport, &QObject::destroyed, this,
            [this, transport] { m_watched.removeAll(transport); });
    connect(transport, &Transport::lost, this,
            [this, transport](const QString &reason) { onTransportLost(transport, reason); });
}

void ObdContext::onTransportLost(Transport *transport, const QString &reason)
{
    // A device the link is not using (the USB interface after the user chose a serial port)
    // may come and go without ending anything.
    if (transport != link.chosen())
        return;
    m_lost = true;
    ++m_epoch;
    state.StopFlag = true;
    emit linkLost(reason);
}

Timing &ObdContext::CodeTimer()
{
    if (!m_codeTimer)
        m_codeTimer = std::make_unique<Timing>();
    return *m_codeTimer;
}

void ObdContext::beginClosing()
{
    m_closing = true;
    state.StopFlag = true;
}

bool ObdContext::yieldUntil(double deadline)
{
    const double leftMs = (deadline - CodeTimer().CurrentTime()) * 1000.0;
    if (leftMs >= 0)
        yield(static_cast<int>(std::clamp(leftMs + 1.0, 1.0, double(kTimerPollMs))));
    return CodeTimer().CurrentTime() > deadline;
}

void ObdContext::pause(double seconds)
{
    const double deadline = CodeTimer().CurrentTime() + seconds;
    while (!m_closing && !yieldUntil(deadline)) {
    }
}

void ObdContext::yield(int maxMs) const
{
    if (m_closing)
        return;
    // Over USB, characters arriving bring no event: the wait looks again every poll interval.
    const int poll = link.pollIntervalMs();
    wait_for_events(poll > 0 && maxMs > poll ? poll : maxMs);
}

} // namespace quorvex
