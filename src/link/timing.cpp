#include "timing.h"

#include <chrono>

namespace quorvex {

qint64 Timing::monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Timing::Timing() : m_ticks(&Timing::monotonicMs) {}

Timing::Timing(TickSource ticks) : m_ticks(std::move(ticks)) {}

void Timing::Start()
{
    m_startTick = m_ticks();
    m_finishTick = 0;
    m_elapsedTicks = 0;
}

void Timing::Finish()
{
    m_finishTick = m_ticks();
    m_elapsedTicks = m_finishTick - m_startTick;
}

double Timing::ElapsedTime() const
{
    return static_cast<double>(m_elapsedTicks) / 1000.0;
}

double Timing::CurrentTime() const
{
    return static_cast<double>(m_ticks() - m_startTick) / 1000.0;
}

} // namespace quorvex
