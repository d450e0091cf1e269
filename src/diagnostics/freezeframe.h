#pragma once

#include "link/protocol.h"

namespace quorvex {

class ObdContext;
class Sweep;
struct DispatchHooks;
struct LiveDataState;
struct SweepRun;

struct FreezeFrameResult
{
    // The support request's outcome; when it failed ("ECU Timeout, Freeze Frame not
    // Supported"), nothing was listed.
    ExchangeStatus support = ExchangeStatus::Ok;
    bool notObd = false; // the answering ECU's address starts with D: no OBD-II data
};

// The freeze frame (service 02, frame 0): asks "02000A" for the frame's support bitmap of PIDs
// 01-20, switches the decoders to service 02 (PIDmode "02", PIDoffset 1, kept until the next
// current-data request) and lists the frame's values into `sweep` through the support
// dispatchers, the report starting with the ECU line. PIDs a frame does not hold (the service
// 01 ones) show current values. Without a frame only PIDs 01 and 02 are handled.
FreezeFrameResult ReadFreezeFrame(ObdContext &ctx, LiveDataState &live, Sweep &sweep);

// PID 02: the trouble code that caused the freeze frame, asked on service PIDmode with length
// 7 + PIDoffset and read at character 12 + 2 PIDoffset. A code adds "Freeze Frame T.C. -" and
// its code text and turns the run's lines red. Code 0000 sets NoFreezeFrame and adds " No
// Freeze Frame Data Stored"; in a freeze-frame run it first clears the report. A failed
// exchange writes nothing.
void get_trouble_codes(SweepRun &run);

// The PID 01 and 02 actions of the support dispatchers: get_MIL and get_trouble_codes.
DispatchHooks diagnostic_hooks();

} // namespace quorvex
