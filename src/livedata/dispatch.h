#pragma once

#include <array>
#include <functional>

namespace quorvex {

class ObdContext;

// The report text for an answering ECU at address D0, which has no OBD-II data.
inline constexpr char16_t kNotObdText[] =
    u"The ECU communicating does not support OBD-II data, you can read/clear it's trouble codes "
    u"or Click 'Change ECU' ";

// The actions of PIDs 01 and 02, which belong to the diagnostic services: the MIL and monitor
// report, and the freeze-frame trouble code (which may set NoFreezeFrame). An empty hook does
// nothing.
struct DispatchHooks
{
    std::function<void(ObdContext &)> getMIL;
    std::function<void(ObdContext &)> getTroubleCodes;
};

// The support dispatchers. Each tests its support byte `a` from the top bit down (thresholds
// 127, 63, 31, 15, 7, 3, 1, then a remainder above 0) and, for every supported PID in
// ascending order, runs that PID's action; a value PID becomes one line of the vehicle data
// window (label & value text & units), its item code in ListPID and its label in the logger's
// item list, and advances `b` (the run's PIDcount). On return `a` is 0, or 1 when the byte's
// last PID was supported. Lines beyond the 91 entries of ListPID are not listed.
//   findPID1-4:  PIDs 01-20 (PID 02 with NoFreezeFrame skips the rest of the byte; PID 10 is
//                followed by the fuel-economy line when the air flow is above 0; PID 20
//                chains to get_PIDs_21_40)
//   findPID5-8:  PIDs 21-40 (PID 40 chains to get_PIDs_41_60)
//   findPID9-10: PIDs 41-50 (41, 4F and 50 have no action)
void findPID1(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b);
void findPID2(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b);
void findPID3(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b);
void findPID4(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b);
void findPID5(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b);
void findPID6(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b);
void findPID7(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b);
void findPID8(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b);
void findPID9(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b);
void findPID10(ObdContext &ctx, const DispatchHooks &hooks, int &a, int &b);

// The second and third support requests ("012009", "014009", always service 01): ready check,
// request, "ECU Timeout" on red when the ECU does not answer, the not-OBD-II text for an ECU
// at D0, else the dispatchers of that bitmap with the run's PIDcount. Lines listed before stay.
void get_PIDs_21_40(ObdContext &ctx, const DispatchHooks &hooks);
void get_PIDs_41_60(ObdContext &ctx, const DispatchHooks &hooks);

// findPID1 to findPID4 over the four support bytes of PIDs 01-20 with the run's PIDcount.
void dispatch_support(ObdContext &ctx, const DispatchHooks &hooks, const std::array<int, 4> &bytes);

} // namespace quorvex
