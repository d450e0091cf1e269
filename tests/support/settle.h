#pragma once

#include "eventwait.h"

#include <QElapsedTimer>

namespace quorvex::test {

// Runs the event loop for `ms` milliseconds, whatever arrives meanwhile (the program's wait
// primitive returns at the first event).
inline void settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        wait_for_events(static_cast<int>(ms - t.elapsed()));
}

// Runs the event loop until pred holds or ms pass; whether it holds.
template <typename Pred> bool wait_until(Pred pred, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms)
        wait_for_events(10);
    return pred();
}

} // namespace quorvex::test
