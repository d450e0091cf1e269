#include "link/clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <utility>

namespace quorvex {

SystemClock::SystemClock() = default;

SystemClock::~SystemClock() = default; // the timers go with m_owner

qint64 SystemClock::nowMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::wait(int maxMs)
{
    if (maxMs <= 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // A precise timer bounds the sleep: a coarse one may fire up to 5% early, which turns a
    // deadline into a flaky one.
    QTimer deadline;
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.setSingleShot(true);
    deadline.start(maxMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

quint64 SystemClock::callAfter(int ms, std::function<void()> fn)
{
    const quint64 id = ++m_lastId;
    auto *timer = new QTimer(&m_owner);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, &m_owner, [this, id, fn = std::move(fn)] {
        const auto it = m_timers.find(id);
        if (it == m_timers.end())
            return;
        it->second->deleteLater();
        m_timers.erase(it);
        fn();
    });
    m_timers.emplace(id, timer);
    timer->start(std::max(ms, 0));
    return id;
}

void SystemClock::cancel(quint64 id)
{
    const auto it = m_timers.find(id);
    if (it == m_timers.end())
        return;
    it->second->stop();
    it->second->deleteLater();
    m_timers.erase(it);
}

void ClockTimer::start(int ms, std::function<void()> fn)
{
    stop();
    m_id = m_clock.callAfter(ms, [this, fn = std::move(fn)] {
        m_id = 0;
        fn();
    });
}

void ClockTimer::stop()
{
    if (m_id != 0)
        m_clock.cancel(std::exchange(m_id, 0));
}

} // namespace quorvex
