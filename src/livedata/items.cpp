#include "livedata/items.h"

#include "link/obdcontext.h"
#include "livedata/livestate.h"
#include "livedata/numberforms.h"

#include <optional>

namespace quorvex {

namespace {

const QString kService01 = QStringLiteral("01");
constexpr int kCoolant = 0x05;
constexpr int kAirFlow = 0x10;
constexpr int kSpeed = 0x0D;
constexpr int kRunTime = 0x1F; // asked during a sweep, never listed
constexpr int kLambdaLength = 9;

int hex_value(const QString &hex)
{
    bool ok = false;
    const int v = hex.toInt(&ok, 16);
    return ok ? v : 0;
}

// Mode-aware status PIDs: service PIDmode, base length n, data shifted by PIDoffset.
Exchange request_mode_aware(ObdContext &ctx, const LiveDataState &live, int pid, int n)
{
    return get_ecu_PID(ctx, live.PIDmode, hex2(pid), hex2(n + live.PIDoffset));
}

// The service and the extra data bytes a mode-aware PID is asked with.
struct Service
{
    QString mode;
    int offset = 0;
};

Service service_of(const LiveDataState &live, ItemData data)
{
    return data == ItemData::Live ? Service{kService01, 0} : Service{live.PIDmode, live.PIDoffset};
}

Reading read_pid(ObdContext &ctx, LiveDataState &live, const PidRow &row, const Service &service)
{
    if (row.rule == ValueRule::WideRangeLambda)
        live.WideO2PID = hex2(row.pid);
    const bool modeAware = row.kind == RequestKind::ModeAware;
    const int offset = modeAware ? service.offset : 0;
    const Exchange ex = get_ecu_PID(ctx, modeAware ? service.mode : kService01, hex2(row.pid),
                                    hex2(row.n + offset));
    Reading r;
    r.status = ex.status;
    if (ex.ok())
        r.item = decode_value(row, ex.reply, live.UnitsMetric, offset);
    return r;
}

Reading read_fuel_economy(ObdContext &ctx, LiveDataState &live, const Service &service)
{
    const Reading airFlow = read_pid(ctx, live, *find_pid_row(kAirFlow), service);
    if (!airFlow.ok())
        return airFlow;
    const Reading speed = read_pid(ctx, live, *find_pid_row(kSpeed), service);
    if (!speed.ok())
        return speed;
    std::optional<double> lambda;
    const QString wide = live.WideO2PID;
    if (wide.startsWith(u'2') || wide.startsWith(u'3')) {
        const Reading ratio = get_O2_lambda(ctx, wide);
        if (!ratio.ok())
            return ratio;
        lambda = ratio.item.value;
    }
    Reading r;
    r.item = compute_mpg(Val(airFlow.item.valueText), Val(speed.item.valueText), live.UnitsMetric,
                         lambda);
    return r;
}

} // namespace

Exchange get_ecu_PID(ObdContext &ctx, const QString &mode, const QString &pid,
                     const QString &length)
{
    ExchangeRequest request;
    request.command = mode + pid + length;
    request.threshold = 2 * hex_value(length);
    return exchange(ctx, request);
}

bool has_item(int code)
{
    return code == kFuelEconomyItem || (code != kRunTime && find_pid_row(code) != nullptr);
}

Reading read_item(ObdContext &ctx, LiveDataState &live, int code, ItemData data)
{
    const Service service = service_of(live, data);
    if (code == kFuelEconomyItem)
        return read_fuel_economy(ctx, live, service);
    const PidRow *row = find_pid_row(code);
    if (!row)
        return {};
    Reading r = read_pid(ctx, live, *row, service);
    // The coolant line shows its reading as a whole number, halves to even (69.8 °F lists 70).
    if (r.ok() && code == kCoolant)
        r.item.valueText = QString::number(coolant_listed_value(r.item.valueText));
    return r;
}

Reading get_O2_lambda(ObdContext &ctx, const QString &pid)
{
    const Exchange ex = get_ecu_PID(ctx, kService01, pid, hex2(kLambdaLength));
    Reading r;
    r.status = ex.status;
    if (ex.ok())
        r.item = decode_lambda(ex.reply, 0);
    return r;
}

StatusText get_fuel_status(ObdContext &ctx, const LiveDataState &live)
{
    const Exchange ex = request_mode_aware(ctx, live, 0x03, 7);
    return {ex.status, ex.ok() ? fuel_status_text(ex.reply, live.PIDoffset) : QString()};
}

StatusText get_fuel_trim(ObdContext &ctx, const LiveDataState &live, int pid)
{
    const Exchange ex = request_mode_aware(ctx, live, pid, 6);
    return {ex.status, ex.ok() ? fuel_trim_text(pid, ex.reply, live.PIDoffset) : QString()};
}

StatusText get_cmd_sec_air_stat(ObdContext &ctx)
{
    const Exchange ex = get_ecu_PID(ctx, kService01, QStringLiteral("12"), QStringLiteral("06"));
    return {ex.status, ex.ok() ? secondary_air_text(ex.reply) : QString()};
}

StatusText get_O2_loc(ObdContext &ctx, LiveDataState &live)
{
    const Exchange ex = get_ecu_PID(ctx, kService01, QStringLiteral("13"), QStringLiteral("06"));
    if (!ex.ok())
        return {ex.status, QString()};
    const int bits = o2_sensor_bits(ex.reply);
    int count = 0;
    for (int k = 7; k >= 0; --k) {
        if (bits & (1 << k)) {
            ++count;
            live.O2Sensors[static_cast<size_t>(k)] = 1 << k;
        }
    }
    return {ex.status, o2_sensor_count_text(count)};
}

} // namespace quorvex
