#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace quorvex {

class ObdContext;

// Ready check run before every request. The interface sends "S" while it has vehicle contact
// and "P" while it has none; other characters are discarded, and "S" wins over "P" in one read.
// "P" raises StopFlag. An interface that sends neither within the silent bound raises StopFlag
// too; a link without a device, or one lost meanwhile, ends the check at once. Over USB the
// interface is asked for its sync byte instead, until it is non-zero (contact); only zeros
// within the silent bound mean no contact, only failed queries silence. The outcome is
// also announced as the context's readiness (except a lost link, which the context announces
// itself).
enum class ReadyResult { Contact, NoContact, Silent, Lost };
ReadyResult wait_for_ECU(ObdContext &ctx);

// How an exchange ended. Only Ok carries a reply to decode.
enum class ExchangeStatus {
    Ok,
    NoContact,  // the ready check heard "P": no vehicle contact, nothing was sent
    Silent,     // the ready check heard nothing within the bound, nothing was sent
    NoReply,    // the command went out, but its reply was not complete within the bound
    Stopped,    // another handler raised StopFlag while the reply was awaited
    EcuTimeout, // "S" at character 2: the ECU did not answer
    NotUsable,  // "S" at character 3 on the request and on every repeat
    OverLimit,  // the exchange's own time limit ran out
    LinkLost,   // the device went away (or the program is ending)
};

// Failures that say the interface or the link is gone rather than one ECU answer: whatever
// service is running ends at them instead of asking for more.
bool ends_the_run(ExchangeStatus status);

// Failures that say the vehicle was not reached at all: no contact, a silent interface, no
// reply. (A lost link and another handler's stop are told elsewhere.)
bool vehicle_not_reached(ExchangeStatus status);

// Hands a failed exchange's status to `onFailure` (when there is one to tell); whether the
// failure ends the run.
bool report_failure(const std::function<void(ExchangeStatus)> &onFailure, ExchangeStatus status);

struct ExchangeRequest
{
    QString command; // six characters
    // The reply is complete once more than this many characters arrived (a stray mark ahead
    // of it not counted).
    int threshold = 0;
    // A vehicle reply: "S" at character 3 is asked again (up to the retry limit), "S" at
    // character 2 is an ECU time-out, and any "S" ahead of the reply is a stray ready mark.
    // The interface's own answers are read as they come, except that "S"s ahead of one that
    // starts with a letter (the firmware id, the pass-through acknowledgement) are stray marks
    // too.
    bool vehicleReply = true;
    // Sent even when the ready check heard "P" (the exchange then ends at once, NoContact).
    bool sendWithoutContact = false;
    // A limit of the exchange's own, on the clock from the first send (OverLimit);
    // otherwise the silent bound applies (NoReply).
    double limitSeconds = -1;
    // Instead of a length: whatever arrived within this many seconds is the reply.
    double fixedWaitSeconds = -1;
    // Raw bytes (the pass-through reply): no marker is tested; only ready marks ("S", "P")
    // ahead of it are dropped, as no response header starts with either.
    bool raw = false;
};

struct Exchange
{
    ExchangeStatus status = ExchangeStatus::Ok;
    QString reply;        // the last reply, stray marks removed; decode it only when ok()
    QStringList received; // each reply as it arrived, one per send
    bool ok() const { return status == ExchangeStatus::Ok; }
};

// How a service's exchanges went, for the status indicator at its end. A failure that ends the
// run ends it at once; any other failure costs only what that exchange was for.
class RunOutcome
{
public:
    // Takes note of an exchange's outcome; true when its reply may be decoded.
    bool accept(ExchangeStatus status);
    bool ended() const { return m_endedBy != ExchangeStatus::Ok; }
    // The failure that ended the run, else EcuTimeout when an exchange failed, else Stopped
    // when another handler ended a wait (which says nothing about the ECU), else Ok.
    ExchangeStatus outcome() const;

private:
    ExchangeStatus m_endedBy = ExchangeStatus::Ok;
    bool m_failed = false;
    bool m_stopped = false;
};

// The one exchange every service uses: ready check, stale input dropped, command sent, reply
// awaited, stray marks stripped, markers tested, repeats on "not usable".
Exchange exchange(ObdContext &ctx, const ExchangeRequest &request);

// The pass-through mode's message, once the interface has acknowledged "F00504": stale input
// dropped, the raw block written, the reply taken as bytes (each character of the reply is one
// byte, a 0x00 among them) once more than `threshold` bytes arrived, marks ahead of it not
// counted. No ready check: the interface is waiting for the block, not idle.
Exchange exchange_block(ObdContext &ctx, const QByteArray &block, int threshold);

// Reads and drops whatever is waiting (stale marks, the tail of an earlier reply).
void discard_input(ObdContext &ctx);

} // namespace quorvex
