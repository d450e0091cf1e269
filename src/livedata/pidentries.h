#pragma once

#include <QString>

namespace quorvex {

class ObdContext;

// The decoders as the program calls them: each requests its PID through get_ecu_PID, decodes
// the reply with the table of pidtable.h and leaves numeric value, value text, units and
// label in ctx.PIDitem. Mode-aware PIDs ask service ctx.state.PIDmode with PIDoffset extra
// bytes, so after a freeze-frame run they read the frame; the others always ask service 01.
// The result is the value text (the coolant decoder returns its listed integer).

// Requests and decodes a value PID of the table; an empty text for a PID without a row.
QString get_pid_value(ObdContext &ctx, int pid);

// Lookup by item code for the real-time display and the data logger: the PID, or 18 for the
// fuel economy. Fills ctx.PIDitem, with its value text replaced by the result the listing
// shows (the coolant integer); returns that text. False from has_item for codes that are not
// value items (they are never listed).
bool has_item(int code);
QString read_item(ObdContext &ctx, int code);

// PIDs 04 to 1F.
QString get_cal_load(ObdContext &ctx);
int get_coolant_temp(ObdContext &ctx);
QString get_fuel_press(ObdContext &ctx);
QString get_MAP(ObdContext &ctx);
QString get_RPM(ObdContext &ctx);
QString get_speed(ObdContext &ctx);
QString get_ignition_adv(ObdContext &ctx);
QString get_air_temp(ObdContext &ctx);
QString get_air_flow(ObdContext &ctx);
QString get_TPS(ObdContext &ctx);
QString get_O2b1s1(ObdContext &ctx);
QString get_O2b1s2(ObdContext &ctx);
QString get_O2b1s3(ObdContext &ctx);
QString get_O2b1s4(ObdContext &ctx);
QString get_O2b2s1(ObdContext &ctx);
QString get_O2b2s2(ObdContext &ctx);
QString get_O2b2s3(ObdContext &ctx);
QString get_O2b2s4(ObdContext &ctx);
QString get_Time_Since_Engine_Start(ObdContext &ctx);

// Fuel economy (item 18): asks air flow and speed, corrected by the equivalence ratio of the
// wide-range O2 PID last decoded (WideO2PID), which it asks again on service 01.
QString get_mpg(ObdContext &ctx);

// PIDs 21 to 4E.
QString get_dist_with_MIL(ObdContext &ctx);         // 21
QString get_fuel_rail_press(ObdContext &ctx);       // 22
QString get_fuel_rail_press_gauge(ObdContext &ctx); // 23
QString get_WR_O2S1(ObdContext &ctx);               // 24 (voltage type) ...
QString get_WR_O2S2(ObdContext &ctx);
QString get_WR_O2S3(ObdContext &ctx);
QString get_WR_O2S4(ObdContext &ctx);
QString get_WR_O2S5(ObdContext &ctx);
QString get_WR_O2S6(ObdContext &ctx);
QString get_WR_O2S7(ObdContext &ctx);
QString get_WR_O2S8(ObdContext &ctx);          // ... 2B
QString get_EGR_cmd(ObdContext &ctx);          // 2C
QString get_EGR_error(ObdContext &ctx);        // 2D
QString get_EVAP_purge(ObdContext &ctx);       // 2E
QString get_fuel_level(ObdContext &ctx);       // 2F
QString get_warm_ups(ObdContext &ctx);         // 30
QString get_dist_since_clear(ObdContext &ctx); // 31
QString get_EVAP_press(ObdContext &ctx);       // 32
QString get_BARO(ObdContext &ctx);             // 33
QString get_WR_O2S1_current(ObdContext &ctx);  // 34 (current type) ...
QString get_WR_O2S2_current(ObdContext &ctx);
QString get_WR_O2S3_current(ObdContext &ctx);
QString get_WR_O2S4_current(ObdContext &ctx);
QString get_WR_O2S5_current(ObdContext &ctx);
QString get_WR_O2S6_current(ObdContext &ctx);
QString get_WR_O2S7_current(ObdContext &ctx);
QString get_WR_O2S8_current(ObdContext &ctx);  // ... 3B
QString get_CAT_temp_B1S1(ObdContext &ctx);    // 3C
QString get_CAT_temp_B2S1(ObdContext &ctx);    // 3D
QString get_CAT_temp_B1S2(ObdContext &ctx);    // 3E
QString get_CAT_temp_B2S2(ObdContext &ctx);    // 3F
QString get_module_voltage(ObdContext &ctx);   // 42
QString get_abs_load(ObdContext &ctx);         // 43
QString get_cmd_equiv_ratio(ObdContext &ctx);  // 44
QString get_rel_TPS(ObdContext &ctx);          // 45
QString get_ambient_temp(ObdContext &ctx);     // 46
QString get_abs_TPS_B(ObdContext &ctx);        // 47
QString get_abs_TPS_C(ObdContext &ctx);        // 48
QString get_accel_pos_D(ObdContext &ctx);      // 49
QString get_accel_pos_E(ObdContext &ctx);      // 4A
QString get_accel_pos_F(ObdContext &ctx);      // 4B
QString get_cmd_throttle(ObdContext &ctx);     // 4C
QString get_time_with_MIL(ObdContext &ctx);    // 4D
QString get_time_since_clear(ObdContext &ctx); // 4E

// Equivalence ratio of wide-range O2 PID `pid` (two hex digits) asked on service `mode`, with
// length 9 + PIDoffset and data positions shifted by PIDoffset. Leaves value and value text
// in ctx.PIDitem (units and label untouched) and returns the text.
QString get_O2_lambda(ObdContext &ctx, const QString &mode, const QString &pid);

// Status items: append their lines to the report window and leave PIDitem alone.
void get_fuel_status(ObdContext &ctx);      // 03
void get_STFTB1(ObdContext &ctx);           // 06
void get_LTFTB1(ObdContext &ctx);           // 07
void get_STFTB2(ObdContext &ctx);           // 08
void get_LTFTB2(ObdContext &ctx);           // 09
void get_cmd_sec_air_stat(ObdContext &ctx); // 12
void get_O2_loc(ObdContext &ctx);           // 13 and 1D: always asks PID 13

// Asks PID 13 and records the sensors present in ctx.state.O2Sensors (set bits only; the
// entries of clear bits keep their values). Returns the number of sensors present.
int FindO2Sensors(ObdContext &ctx);

} // namespace quorvex
