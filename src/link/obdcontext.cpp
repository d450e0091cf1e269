#include "obdcontext.h"

#include "eventwait.h"

namespace quorvex {

ObdContext::ObdContext(MainView &v, Prompts &p) : link(state), view(v), prompts(p) {}

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

void ObdContext::yield(int maxMs) const
{
    if (m_closing)
        return;
    wait_for_events(maxMs);
}

} // namespace quorvex
