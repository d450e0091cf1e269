// The named decoders of PIDs 21 to 4E and the wide-range O2 sensors' equivalence ratio.
#include "pidentries.h"

#include "currentdata.h"
#include "decoders.h"
#include "obdcontext.h"

namespace quorvex {

QString get_dist_with_MIL(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x21);
}
QString get_fuel_rail_press(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x22);
}
QString get_fuel_rail_press_gauge(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x23);
}
QString get_WR_O2S1(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x24);
}
QString get_WR_O2S2(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x25);
}
QString get_WR_O2S3(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x26);
}
QString get_WR_O2S4(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x27);
}
QString get_WR_O2S5(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x28);
}
QString get_WR_O2S6(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x29);
}
QString get_WR_O2S7(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x2A);
}
QString get_WR_O2S8(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x2B);
}
QString get_EGR_cmd(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x2C);
}
QString get_EGR_error(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x2D);
}
QString get_EVAP_purge(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x2E);
}
QString get_fuel_level(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x2F);
}
QString get_warm_ups(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x30);
}
QString get_dist_since_clear(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x31);
}
QString get_EVAP_press(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x32);
}
QString get_BARO(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x33);
}
QString get_WR_O2S1_current(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x34);
}
QString get_WR_O2S2_current(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x35);
}
QString get_WR_O2S3_current(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x36);
}
QString get_WR_O2S4_current(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x37);
}
QString get_WR_O2S5_current(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x38);
}
QString get_WR_O2S6_current(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x39);
}
QString get_WR_O2S7_current(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x3A);
}
QString get_WR_O2S8_current(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x3B);
}
QString get_CAT_temp_B1S1(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x3C);
}
QString get_CAT_temp_B2S1(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x3D);
}
QString get_CAT_temp_B1S2(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x3E);
}
QString get_CAT_temp_B2S2(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x3F);
}
QString get_module_voltage(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x42);
}
QString get_abs_load(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x43);
}
QString get_cmd_equiv_ratio(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x44);
}
QString get_rel_TPS(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x45);
}
QString get_ambient_temp(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x46);
}
QString get_abs_TPS_B(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x47);
}
QString get_abs_TPS_C(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x48);
}
QString get_accel_pos_D(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x49);
}
QString get_accel_pos_E(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x4A);
}
QString get_accel_pos_F(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x4B);
}
QString get_cmd_throttle(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x4C);
}
QString get_time_with_MIL(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x4D);
}
QString get_time_since_clear(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x4E);
}

QString get_O2_lambda(ObdContext &ctx, const QString &mode, const QString &pid)
{
    const int offset = ctx.state.PIDoffset;
    const QString reply = get_ecu_PID(ctx, mode, pid, hex2(9 + offset));
    const PidItem lambda = decode_lambda(reply, offset);
    ctx.PIDitem.value = lambda.value;
    ctx.PIDitem.valueText = lambda.valueText;
    return lambda.valueText;
}

} // namespace quorvex
