#pragma once

#include <QObject>
#include <QtGlobal>

#include <functional>
#include <map>

class QTimer;

namespace quorvex {

// The program's one clock. Every bound, wait and interval reads it and every wait sleeps through
// it, so that the whole program can run on a clock other than the system's (tests run it on
// virtual time, where a 5-second bound costs nothing and a reply arrives when the test says).
class Clock
{
public:
    virtual ~Clock() = default;

    // Milliseconds on a monotonic scale: never jumps with the wall clock, never wraps.
    virtual qint64 nowMs() const = 0;
    // The one wait primitive: sleeps in the event loop until an event arrives (serial data,
    // input, a timer of this clock) or maxMs pass, and runs the handlers of whatever arrived
    // meanwhile, so callers must expect re-entrant handlers. Costs no CPU while nothing happens.
    // maxMs <= 0 only runs what is pending.
    virtual void wait(int maxMs) = 0;
    // Calls fn once, from the event loop, ms milliseconds from now, unless cancelled first.
    // The id is never 0.
    virtual quint64 callAfter(int ms, std::function<void()> fn) = 0;
    virtual void cancel(quint64 id) = 0;
};

// The system's monotonic clock and the GUI event loop.
class SystemClock : public Clock
{
public:
    SystemClock();
    ~SystemClock() override;

    qint64 nowMs() const override;
    void wait(int maxMs) override;
    quint64 callAfter(int ms, std::function<void()> fn) override;
    void cancel(quint64 id) override;

private:
    QObject m_owner; // parent of the timers
    std::map<quint64, QTimer *> m_timers;
    quint64 m_lastId = 0;
};

// A single-shot timer on a clock; stopped when it goes.
class ClockTimer
{
public:
    explicit ClockTimer(Clock &clock) : m_clock(clock) {}
    ~ClockTimer() { stop(); }
    ClockTimer(const ClockTimer &) = delete;
    ClockTimer &operator=(const ClockTimer &) = delete;

    // Starts it again if it runs.
    void start(int ms, std::function<void()> fn);
    void stop();
    bool isActive() const { return m_id != 0; }

private:
    Clock &m_clock;
    quint64 m_id = 0;
};

} // namespace quorvex
