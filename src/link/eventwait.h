#pragma once

namespace quorvex {

// The program's one wait primitive. Sleeps in the GUI event loop until an event arrives
// (serial data, input, a timer) or maxMs milliseconds have passed, and runs the handlers of
// whatever arrived meanwhile, so callers must expect re-entrant handlers. Costs no CPU while
// nothing happens. maxMs <= 0 only runs pending events.
void wait_for_events(int maxMs);

} // namespace quorvex
