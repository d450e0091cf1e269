#include "pidentries.h"

#include "currentdata.h"
#include "decoders.h"
#include "mainview.h"
#include "numberforms.h"
#include "obdcontext.h"

namespace quorvex {

namespace {

const QString kService01 = QStringLiteral("01");

// Mode-aware status PIDs: service PIDmode, base length n, data shifted by PIDoffset.
QString request_mode_aware(ObdContext &ctx, int pid, int n)
{
    return get_ecu_PID(ctx, ctx.state.PIDmode, hex2(pid), hex2(n + ctx.state.PIDoffset));
}

void append_trim(ObdContext &ctx, int pid)
{
    const QString reply = request_mode_aware(ctx, pid, 6);
    ctx.view.appendReport(fuel_trim_text(pid, reply, ctx.state.PIDoffset));
}

} // namespace

QString get_pid_value(ObdContext &ctx, int pid)
{
    const PidSpec *spec = find_pid_spec(pid);
    if (!spec)
        return QString();
    const SharedState &st = ctx.state;
    if (spec->rule == ValueRule::WideRangeLambda)
        ctx.state.WideO2PID = hex2(pid);
    const bool modeAware = spec->kind == RequestKind::ModeAware;
    const int offset = spec->kind == RequestKind::Service01 ? 0 : st.PIDoffset;
    const QString reply =
        get_ecu_PID(ctx, modeAware ? st.PIDmode : kService01, hex2(pid), hex2(spec->n + offset));
    ctx.PIDitem = decode_value(*spec, reply, st.UnitsMetric, st.PIDoffset);
    return ctx.PIDitem.valueText;
}

bool has_item(int code)
{
    return code == kFuelEconomyItem || (code != 0x1F && find_pid_spec(code) != nullptr);
}

QString read_item(ObdContext &ctx, int code)
{
    if (code == kFuelEconomyItem)
        return get_mpg(ctx);
    if (code == 0x05) {
        ctx.PIDitem.valueText = QString::number(get_coolant_temp(ctx));
        return ctx.PIDitem.valueText;
    }
    if (!has_item(code))
        return QString();
    return get_pid_value(ctx, code);
}

QString get_cal_load(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x04);
}
int get_coolant_temp(ObdContext &ctx)
{
    return coolant_listed_value(get_pid_value(ctx, 0x05));
}
QString get_fuel_press(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x0A);
}
QString get_MAP(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x0B);
}
QString get_RPM(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x0C);
}
QString get_speed(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x0D);
}
QString get_ignition_adv(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x0E);
}
QString get_air_temp(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x0F);
}
QString get_air_flow(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x10);
}
QString get_TPS(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x11);
}
QString get_O2b1s1(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x14);
}
QString get_O2b1s2(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x15);
}
QString get_O2b1s3(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x16);
}
QString get_O2b1s4(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x17);
}
QString get_O2b2s1(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x18);
}
QString get_O2b2s2(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x19);
}
QString get_O2b2s3(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x1A);
}
QString get_O2b2s4(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x1B);
}
QString get_Time_Since_Engine_Start(ObdContext &ctx)
{
    return get_pid_value(ctx, 0x1F);
}

QString get_mpg(ObdContext &ctx)
{
    get_air_flow(ctx);
    const double airFlow = Val(ctx.PIDitem.valueText);
    get_speed(ctx);
    const double speed = Val(ctx.PIDitem.valueText);
    std::optional<double> lambda;
    const QString wide = ctx.state.WideO2PID;
    if (wide.startsWith(u'2') || wide.startsWith(u'3')) {
        get_O2_lambda(ctx, kService01, wide);
        lambda = ctx.PIDitem.value;
    }
    ctx.PIDitem = compute_mpg(airFlow, speed, ctx.state.UnitsMetric, lambda);
    return ctx.PIDitem.valueText;
}

void get_fuel_status(ObdContext &ctx)
{
    const QString reply = request_mode_aware(ctx, 0x03, 7);
    ctx.view.appendReport(fuel_status_text(reply, ctx.state.PIDoffset));
}

void get_STFTB1(ObdContext &ctx)
{
    append_trim(ctx, 0x06);
}
void get_LTFTB1(ObdContext &ctx)
{
    append_trim(ctx, 0x07);
}
void get_STFTB2(ObdContext &ctx)
{
    append_trim(ctx, 0x08);
}
void get_LTFTB2(ObdContext &ctx)
{
    append_trim(ctx, 0x09);
}

void get_cmd_sec_air_stat(ObdContext &ctx)
{
    const QString reply = get_ecu_PID(ctx, kService01, QStringLiteral("12"), QStringLiteral("06"));
    ctx.view.appendReport(secondary_air_text(reply));
}

void get_O2_loc(ObdContext &ctx)
{
    const int count = FindO2Sensors(ctx);
    ctx.view.appendReport(o2_sensor_count_text(count));
}

int FindO2Sensors(ObdContext &ctx)
{
    const QString reply = get_ecu_PID(ctx, kService01, QStringLiteral("13"), QStringLiteral("06"));
    const int bits = o2_sensor_bits(reply);
    int count = 0;
    for (int k = 7; k >= 0; --k) {
        if (bits & (1 << k)) {
            ++count;
            ctx.state.O2Sensors[static_cast<size_t>(k)] = 1 << k;
        }
    }
    return count;
}

} // namespace quorvex
