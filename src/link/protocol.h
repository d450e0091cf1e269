#pragma once

#include <QString>

namespace quorvex {

class ObdContext;

// Status texts of the indicator shared by the services.
inline constexpr char16_t kEcuOffLine[] = u"ECU Off-Line";
inline constexpr char16_t kEcuTimeout[] = u"ECU Timeout";
inline constexpr char16_t kEcuConnected[] = u"ECU Connected";

// Ready check run before every request. The interface sends "S" while it has vehicle
// contact and "P" while it has none; other characters are discarded. "S" wins over "P" in
// one read. "P" raises StopFlag (indicator yellow), "S" leaves it down (indicator green).
// An interface that sends neither within the silent bound, or a link without a device,
// raises StopFlag and shows red "ECU Off-Line".
enum class ReadyResult { Contact, NoContact, Silent };
ReadyResult wait_for_ECU(ObdContext &ctx);

// Reads and drops whatever is waiting (stale marks, the tail of an earlier reply).
void discard_input(ObdContext &ctx);

struct ReplyWait
{
    QString reply;
    bool timedOut = false; // the bound ran out: StopFlag raised, red "ECU Timeout" shown
};

// Polls until more than threshold characters wait, then reads them with one OBDinput.
// Ends early with an empty reply when StopFlag rises (another handler, the ready check, a
// lost device). A wait without a limit of its own passes limitSeconds < 0 and is bounded by
// the silent bound. One with its own limit passes it, measured on the shared timer from the
// call, and handles the expiry itself: timedOut is set, nothing else is changed; a missing
// device or the program ending then gives an empty reply that is not a time-out.
ReplyWait await_reply(ObdContext &ctx, int threshold, double limitSeconds = -1);

// Drops a ready mark that slipped in ahead of a reply.
QString strip_leading_mark(const QString &reply);

} // namespace quorvex
