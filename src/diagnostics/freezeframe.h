#pragma once

namespace quorvex {

class ObdContext;
struct DispatchHooks;

// The freeze frame (service 02, frame 0): asks "02000A" for the frame's support bitmap of
// PIDs 01-20, switches the decoders to service 02 (PIDmode "02", PIDoffset 1, kept until the
// next current-data request) and lists the frame's values through the support dispatchers.
// Clears the vehicle data window and the logger's items first. No answer: "ECU Timeout,
// Freeze Frame not Supported" on red; an ECU at D0: the not-OBD-II text.
void ReadFreezeFrame(ObdContext &ctx);

// PID 02: the trouble code that caused the freeze frame, asked on service PIDmode with length
// 7 + PIDoffset and read at character 12 + 2 PIDoffset (so both a service 01 and a service 02
// reply give the code). A code shows "Freeze Frame T.C. -P" and its four digits and turns the
// vehicle data window red; code 0000 replaces the report with " No Freeze Frame Data Stored"
// and sets NoFreezeFrame; no answer appends that text alone.
void get_trouble_codes(ObdContext &ctx);

// The PID 01 and 02 actions of the support dispatchers: get_MIL and get_trouble_codes.
DispatchHooks diagnostic_hooks();

} // namespace quorvex
