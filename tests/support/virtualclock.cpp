#include "virtualclock.h"

#include <QCoreApplication>

#include <algorithm>

namespace quorvex::test {

VirtualClock::VirtualClock()
{
    QCoreApplication::instance()->installEventFilter(&m_events);
}

VirtualClock::~VirtualClock()
{
    QCoreApplication::instance()->removeEventFilter(&m_events);
}

void VirtualClock::wait(int maxMs)
{
    const quint64 before = m_events.count;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (m_events.count != before || fireDue() || maxMs <= 0)
        return;
    qint64 target = m_nowMs + maxMs;
    if (!m_timers.empty())
        target = std::min(target, m_timers.begin()->first.first);
    m_nowMs = std::max(m_nowMs, target);
    fireDue();
}

quint64 VirtualClock::callAfter(int ms, std::function<void()> fn)
{
    const quint64 id = ++m_lastId;
    const qint64 due = m_nowMs + std::max(ms, 0);
    m_timers.emplace(std::pair(due, id), std::move(fn));
    m_dueById.emplace(id, due);
    return id;
}

void VirtualClock::cancel(quint64 id)
{
    const auto it = m_dueById.find(id);
    if (it == m_dueById.end())
        return;
    m_timers.erase(std::pair(it->second, id));
    m_dueById.erase(it);
}

bool VirtualClock::fireDue()
{
    bool fired = false;
    while (!m_timers.empty() && m_timers.begin()->first.first <= m_nowMs) {
        const auto first = m_timers.begin();
        const quint64 id = first->first.second;
        std::function<void()> fn = std::move(first->second);
        m_timers.erase(first);
        m_dueById.erase(id);
        fired = true;
        fn(); // may wait itself, and move time on
    }
    return fired;
}

void VirtualClock::run(int ms)
{
    const qint64 until = m_nowMs + ms;
    while (m_nowMs < until)
        wait(static_cast<int>(until - m_nowMs));
    wait(0);
}

bool VirtualClock::runUntil(const std::function<bool()> &pred, int limitMs)
{
    const qint64 until = m_nowMs + limitMs;
    while (!pred() && m_nowMs < until)
        wait(static_cast<int>(until - m_nowMs));
    return pred();
}

void VirtualClock::when(std::function<bool()> done, std::function<void()> then, int ms)
{
    look(std::make_shared<Watch>(Watch{std::move(done), std::move(then), ms}));
}

void VirtualClock::look(std::shared_ptr<Watch> watch)
{
    // The check runs from the clock's own timers, so it sees the program at the same points
    // on every run.
    const int ms = watch->ms;
    callAfter(ms, [this, watch = std::move(watch)] {
        if (watch->done())
            watch->then();
        else
            look(watch);
    });
}

} // namespace quorvex::test
