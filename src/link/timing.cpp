#include "link/timing.h"

namespace quorvex {

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
