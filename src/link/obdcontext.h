#pragma once

#include "link.h"
#include "sharedstate.h"
#include "timing.h"

#include <memory>

namespace quorvex {

class MainView;
class Prompts;

// Limits on waits the interface could otherwise stretch forever.
struct WaitBounds
{
    int silentMs = 5000; // ready check or reply wait without anything useful arriving
    int retryLimit = 10; // repeats on a "not usable" reply before it counts as a time-out
};

// The small context the main window owns and hands to every service: the shared state, the
// link operations, the window's outputs, the dialog seam and the shared interval timer.
class ObdContext
{
public:
    ObdContext(MainView &view, Prompts &prompts);

    SharedState state;
    Link link;
    MainView &view;
    Prompts &prompts;
    WaitBounds bounds;
    PidItem PIDitem;

    // The shared interval timer, created on first use.
    Timing &CodeTimer();
    // Substitutes the tick source of the shared timer (tests).
    void setCodeTimer(std::unique_ptr<Timing> timer) { m_codeTimer = std::move(timer); }

    // Set while the program ends: every wait returns at once.
    bool closing() const { return m_closing; }
    void beginClosing();

    // Sleeps in the event loop until something arrives or maxMs passes.
    void yield(int maxMs) const;

    // Waits measured on the shared timer, for the waits that carry a limit of their own.
    // yieldUntil sleeps in the event loop towards deadline (a CurrentTime reading) and tells
    // whether it has passed; it wakes at least every kTimerPollMs so a substituted tick source
    // is honoured. pause lets window events run for the given seconds (less when the program
    // ends meanwhile).
    static constexpr int kTimerPollMs = 50;
    bool yieldUntil(double deadline);
    void pause(double seconds);

private:
    std::unique_ptr<Timing> m_codeTimer;
    bool m_closing = false;
};

} // namespace quorvex
