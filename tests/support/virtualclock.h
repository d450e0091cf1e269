#pragma once

#include "link/clock.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>

namespace quorvex::test {

// Virtual time for tests. The program waits through this clock like any other; when it waits
// and nothing is due, time jumps to the next timer (a reply or ready mark of the simulator, a
// time-out) or to the end of the wait. So a 5-second bound costs nothing, and the order of
// events is the same on every machine under any load: a test chooses when a reply or a mark
// arrives instead of racing for it.
//
// Each wait first runs what the event loop has pending (queued clicks, the USB kit's queued
// completions) and returns if there was any; else it fires the timers due now, or else moves
// time on to the next one (at most maxMs) and fires it.
class VirtualClock : public Clock
{
public:
    static constexpr qint64 kStartMs = 1'000'000; // as if the machine had been up a while

    VirtualClock();
    ~VirtualClock() override;

    qint64 nowMs() const override { return m_nowMs; }
    void wait(int maxMs) override;
    quint64 callAfter(int ms, std::function<void()> fn) override;
    void cancel(quint64 id) override;

    // Lets ms pass, running whatever falls due.
    void run(int ms);
    // Runs until pred holds or limitMs pass; whether it holds.
    bool runUntil(const std::function<bool()> &pred, int limitMs = 60'000);
    // Calls then once done holds, looking every ms milliseconds (while a handler runs).
    void when(std::function<bool()> done, std::function<void()> then, int ms = 1);

private:
    struct Watch
    {
        std::function<bool()> done;
        std::function<void()> then;
        int ms = 1;
    };
    // Counts the events the event loop delivers.
    class EventCounter : public QObject
    {
    public:
        quint64 count = 0;
        bool eventFilter(QObject *, QEvent *) override
        {
            ++count;
            return false;
        }
    };

    // Fires the timers due by now, earliest first; whether any was.
    bool fireDue();
    void look(std::shared_ptr<Watch> watch);

    EventCounter m_events;
    qint64 m_nowMs = kStartMs;
    quint64 m_lastId = 0;
    std::map<std::pair<qint64, quint64>, std::function<void()>> m_timers; // (due, id)
    std::map<quint64, qint64> m_dueById;
};

} // namespace quorvex::test
