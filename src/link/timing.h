#pragma once

#include <QtGlobal>

#include <functional>

namespace quorvex {

// Interval timer measuring seconds from a millisecond tick count. The tick source is the
// monotonic clock (milliseconds since boot), kept in 64 bits, so intervals never wrap or jump
// with the wall clock. Tests may substitute the tick source.
class Timing
{
public:
    using TickSource = std::function<qint64()>;

    Timing();
    explicit Timing(TickSource ticks);

    void Start();
    void Finish();
    // Seconds between the last Start and the last Finish; 0 before any Finish.
    double ElapsedTime() const;
    // Seconds since the last Start; since boot when Start was never called.
    double CurrentTime() const;

    static qint64 monotonicMs();

private:
    TickSource m_ticks;
    qint64 m_startTick = 0;
    qint64 m_finishTick = 0;
    qint64 m_elapsedTicks = 0;
};

} // namespace quorvex
