#pragma once

#include <QString>

#include <array>
#include <functional>

namespace quorvex {

class ObdContext;

// The single-PID exchange of services 01 and 02: sends mode & PID & length (hex texts) and
// returns the reply as the interface sent it, a leading ready mark removed. Without vehicle
// contact the result is 22 zeros; when the wait is ended by StopFlag it is empty. Fields past
// the end of what arrived read as zero bytes.
QString get_ecu_PID(ObdContext &ctx, const QString &mode, const QString &pid,
                    const QString &length);

// "OBDII" in the report window for PID 1C.
void get_OBD(ObdContext &ctx);

struct CurrentDataResult
{
    bool contact = false;         // the ready check found vehicle contact
    bool timedOut = false;        // the ECU did not answer the support request
    bool notObd = false;          // the answering ECU (address D0) has no OBD-II data
    std::array<int, 4> support{}; // the four support bytes for PIDs 01-20
};

// Receives the four support bytes of the first range and lists the supported items.
using SupportDispatch = std::function<void(ObdContext &, const std::array<int, 4> &)>;

// The current-data request up to and including the listing of supported items: clears the
// windows and the run's facts, asks for PIDs 01-20 ("010009"), shows the ECU status and
// number, and hands the support bytes to dispatch unless the ECU timed out or is not OBD-II.
CurrentDataResult request_current_data(ObdContext &ctx, const SupportDispatch &dispatch);

} // namespace quorvex
