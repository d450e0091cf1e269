#pragma once

#include "link/clock.h"
#include "link/link.h"
#include "link/linkstate.h"
#include "link/timing.h"

#include <QList>
#include <QObject>

namespace quorvex {

class Transport;

// Limits on waits the interface could otherwise stretch forever.
struct WaitBounds
{
    int silentMs = 5000; // ready check or reply wait without anything useful arriving
    int retryLimit = 10; // repeats of a request whose reply is marked "not usable"
};

// What the ready marks (and the "not usable" marker) told about the interface, for the
// indicator: contact with the vehicle, none, no marks at all, a request being repeated.
enum class Readiness { Contact, NoContact, Silent, Retrying };

// The link session the main window owns and hands to every service: the link state and
// operations, the wait bounds, the clock every wait and bound reads, and the shared interval
// timer on that clock. It is also the one place where a lost device is noticed: every wait in
// progress ends, every later exchange fails at once with a lost link, and linkLost() tells the
// window, until a new connection is made.
class ObdContext : public QObject
{
    Q_OBJECT
public:
    explicit ObdContext(Clock &clock);

    LinkState state;
    Link link;
    WaitBounds bounds;

    // The transports behind the link; a lost device on either is handled here.
    void attachSerial(Transport *transport);
    void attachUsb(Transport *transport);

    // A connection was made: waits and exchanges may use the link again.
    void linkOpened() { m_lost = false; }
    bool isLost() const { return m_lost; }
    // Counts lost links: a wait that began before a loss ends even when the user has connected
    // again meanwhile.
    int linkEpoch() const { return m_epoch; }

    // Every exchange takes a number when it starts. One that finds a later number when it
    // wakes knows another handler's exchange ran meanwhile (and took its reply off the line).
    int beginExchange() { return ++m_exchanges; }
    int lastExchange() const { return m_exchanges; }

    Clock &clock() const { return m_clock; }
    // The shared interval timer, on the clock.
    Timing &CodeTimer() { return m_codeTimer; }

    // Set while the program ends: every wait returns at once.
    bool closing() const { return m_closing; }
    void beginClosing();

    // Sleeps in the event loop until something arrives or maxMs passes.
    void yield(int maxMs) const;

    // Milliseconds on the clock, for bounds.
    qint64 nowMs() const { return m_clock.nowMs(); }
    // Sleeps in the event loop towards deadlineMs (a nowMs reading) and tells whether it has
    // passed. pause lets window events run for the given seconds (less when the program ends
    // meanwhile).
    bool yieldUntil(qint64 deadlineMs);
    void pause(double seconds);

signals:
    void readinessChanged(quorvex::Readiness readiness);
    // The device went away; reason is the transport's own text for it.
    void linkLost(const QString &reason);

private:
    void watch(Transport *transport);
    void onTransportLost(Transport *transport, const QString &reason);

    Clock &m_clock;
    Timing m_codeTimer;
    QList<Transport *> m_watched;
    bool m_closing = false;
    bool m_lost = false;
    int m_epoch = 0;
    int m_exchanges = 0;
};

} // namespace quorvex
