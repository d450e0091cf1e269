#pragma once

#include <QtGlobal>

#include <functional>

namespace quorvex {

// Interval timer measuring seconds from a millisecond tick count. The ticks are the program's
// clock (Clock::nowMs: monotonic, in 64 bits), so intervals never wrap or jump with the wall
// clock.
class Timing
{
public:
    using TickSource = std::function<qint64()>;

    explicit Timing(TickSource ticks);

    void Start();
    void Finish();
    // Seconds between the last Start and the last Finish; 0 before any Finish.
    double ElapsedTime() const;
    // Seconds since the last Start; since the clock's origin when Start was never called.
    double CurrentTime() const;

private:
    TickSource m_ticks;
    qint64 m_startTick = 0;
    qint64 m_finishTick = 0;
    qint64 m_elapsedTicks = 0;
};

} // namespace quorvex
