#include "link/obdcontext.h"

#include "link/transport.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorvex {

ObdContext::ObdContext(Clock &clock)
    : link(state), m_clock(clock), m_codeTimer([&clock] { return clock.nowMs(); })
{
}

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

void ObdContext::beginClosing()
{
    m_closing = true;
    state.StopFlag = true;
}

bool ObdContext::yieldUntil(qint64 deadlineMs)
{
    const qint64 leftMs = deadlineMs - nowMs();
    if (leftMs >= 0)
        yield(static_cast<int>(std::min<qint64>(leftMs + 1, std::numeric_limits<int>::max())));
    return nowMs() > deadlineMs;
}

void ObdContext::pause(double seconds)
{
    const qint64 deadline = nowMs() + std::llround(seconds * 1000);
    while (!m_closing && !yieldUntil(deadline)) {
    }
}

void ObdContext::yield(int maxMs) const
{
    if (m_closing)
        return;
    // Over USB, characters arriving bring no event: the wait looks again every poll interval.
    const int poll = link.pollIntervalMs();
    m_clock.wait(poll > 0 && maxMs > poll ? poll : maxMs);
}

} // namespace quorvex
