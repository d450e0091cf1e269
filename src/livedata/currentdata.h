#pragma once

#include "link/protocol.h"

#include <QString>

namespace quorvex {

class ObdContext;
class Sweep;
struct DispatchHooks;
struct LiveDataState;

struct CurrentDataResult
{
    // The support request's outcome; when it failed, nothing was listed.
    ExchangeStatus support = ExchangeStatus::Ok;
    QString ecuNumber;   // "ECU #=", the answering ECU's address and CR LF; empty on failure
    bool notObd = false; // the answering ECU (address D0) has no OBD-II data
};

// The current-data request: sets the report to a single line break, switches the decoders to
// service 01, clears the run's facts, asks for PIDs 01-20 ("010009"; in debug mode every reply
// is echoed in the report) and lists every supported item into `sweep` through the
// dispatchers. Before the support request it announces that request and the commands the
// last run's support bytes expect (LiveDataState::SupportRead), which it then replaces. The status
// to show at the end is the support request's failure, else the sweep's outcome.
CurrentDataResult request_current_data(ObdContext &ctx, LiveDataState &live, Sweep &sweep,
                                       const DispatchHooks &hooks);

} // namespace quorvex
