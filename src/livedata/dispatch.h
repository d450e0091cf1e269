#pragma once

#include "livedata/livestate.h"

#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace quorvex {

class ObdContext;
class Sweep;
struct SweepRun;

// The report text for an answering ECU at address D0, which has no OBD-II data.
inline constexpr char16_t kNotObdText[] =
    u"The ECU communicating does not support OBD-II data, you can read/clear it's trouble codes "
    u"or Click 'Change ECU' ";

// The actions of PIDs 01 and 02, which belong to the diagnostic services: the MIL and monitor
// report, and the freeze-frame trouble code (which may set NoFreezeFrame). An empty hook does
// nothing.
struct DispatchHooks
{
    std::function<void(SweepRun &)> getMIL;
    std::function<void(SweepRun &)> getTroubleCodes;
};

// A current-data or freeze-frame run under way: what the dispatchers work with.
struct SweepRun
{
    ObdContext &ctx;
    LiveDataState &live;
    Sweep &sweep;
    DispatchHooks hooks;
    // In a freeze-frame run, PID 02 finding no frame ends the first range's dispatch.
    bool freezeFrame = false;
    // What the current-data run before read of each range (LiveDataState::SupportRead as this
    // run began): the later ranges' commands each range announces. Empty in a freeze-frame run.
    SupportRanges expected{};
};

// The support dispatch of one bitmap byte `a` whose bit 7 stands for firstPid and bit 0 for
// firstPid + 7: for every supported PID, in ascending order, that PID's action. A value PID
// becomes one line of the run (label & value text & units) when its exchange went well. Bits
// are tested from the top by comparison and subtraction (thresholds 127, 63, 31, 15, 7, 3, 1,
// then a remainder above 0). Nothing more is asked once the run has ended or its lines are
// full.
//   PIDs 01-20: 02 in a freeze-frame run without a frame skips the rest of its byte; 10 is
//               followed by the fuel-economy line while air flows; 20 chains to
//               get_PIDs_21_40.
//   PIDs 21-40: 40 chains to get_PIDs_41_60.
//   PIDs 41-60: 41 has no action; 60 chains to the bitmap of PIDs 61-80, whose 80 chains to
//               81-A0, whose A0 chains to A1-C0 (each "01" & PID & "09" as the others).
//   A value PID whose reply says it has nothing to report (PidItem::available) is not listed.
// The four support bytes of a support reply, read from character `first` on.
std::array<int, 4> support_bytes(const QString &reply, int first);

void dispatch_byte(SweepRun &run, int firstPid, int a);

// The four support bytes of PIDs 01-20 in order. In a freeze-frame run without a frame only
// the first byte is dispatched.
//   Each range (here and in the support requests below) announces the commands its supported
//   PIDs' actions send first, then those the later ranges are expected to send: the run's
//   `expected` bytes of the next range while the range before says it is supported (its last
//   PID, 20, 40, ...), and so on. An announcement is what the run expects to send, possibly
//   more: a car whose support changed since costs a PID asked in vain, never an item. A
//   current-data run keeps each range's bytes in LiveDataState::SupportRead.
void dispatch_first_range(SweepRun &run, const std::array<int, 4> &bytes);

// The commands a current-data run is expected to send from the range starting at firstPid on,
// by the support bytes `expected` of the run before: that range's, then each next one's while
// the one before says it is supported. None without the first range's bytes.
QStringList expected_commands(const LiveDataState &live, const SupportRanges &expected,
                              int firstPid);

// The second and third support requests ("012009", "014009", always service 01): an ECU at D0
// replaces the report with the not-OBD-II text; else the dispatch of that bitmap. A failed
// request ends only its range. The later ranges (60, 80, A0) are asked the same way.
void get_PIDs_21_40(SweepRun &run);
void get_PIDs_41_60(SweepRun &run);

} // namespace quorvex
