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
constexpr int kSupportLength = 9;

int hex_value(const QString &hex)
{
    bool ok = false;
    const int v = hex.toInt(&ok, 16);
    return ok ? v : 0;
}

// The status PIDs a pass reports on: the PID asked, the base reply length, and whether it
// follows a freeze-frame run into service 02 (service PIDmode, length n + PIDoffset).
struct StatusRow
{
    int pid;
    int asked;
    int n;
    bool modeAware;
};

constexpr StatusRow kStatusRows[] = {
    {0x01, 0x01, 9, false}, // monitors since the codes were cleared
    {0x03, 0x03, 7, true},  // fuel system
    {0x06, 0x06, 6, true},  {0x07, 0x07, 6, true},
    {0x08, 0x08, 6, true},  {0x09, 0x09, 6, true},  // fuel trims
    {0x12, 0x12, 6, false},                         // commanded secondary air
    {0x13, 0x13, 6, false}, {0x1D, 0x13, 6, false}, // O2 sensors present: always asks 13
};

const StatusRow *find_status_row(int pid)
{
    for (const StatusRow &row : kStatusRows)
        if (row.pid == pid)
            return &row;
    return nullptr;
}

PidRequest status_request(const LiveDataState &live, const StatusRow &row)
{
    return row.modeAware ? PidRequest{live.PIDmode, hex2(row.asked), hex2(row.n + live.PIDoffset)}
                         : PidRequest{kService01, hex2(row.asked), hex2(row.n)};
}

Exchange exchange_status(ObdContext &ctx, const LiveDataState &live, int pid)
{
    return get_ecu_PID(ctx, status_request(live, *find_status_row(pid)));
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

int data_offset(const PidRow &row, const Service &service)
{
    return row.kind == RequestKind::ModeAware ? service.offset : 0;
}

PidRequest value_request(const PidRow &row, const Service &service)
{
    const bool modeAware = row.kind == RequestKind::ModeAware;
    return {modeAware ? service.mode : kService01, hex2(row.pid),
            hex2(row.n + data_offset(row, service))};
}

PidRequest lambda_request(const QString &pid)
{
    return {kService01, pid, hex2(kLambdaLength)};
}

bool wide_range_known(const QString &wide)
{
    return wide.startsWith(u'2') || wide.startsWith(u'3');
}

Reading read_pid(ObdContext &ctx, LiveDataState &live, const PidRow &row, const Service &service)
{
    if (row.rule == ValueRule::WideRangeLambda)
        live.WideO2PID = hex2(row.pid);
    const int offset = data_offset(row, service);
    const Exchange ex = get_ecu_PID(ctx, value_request(row, service));
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
    if (wide_range_known(wide)) {
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

Exchange get_ecu_PID(ObdContext &ctx, const PidRequest &request)
{
    return get_ecu_PID(ctx, request.mode, request.pid, request.length);
}

QStringList item_commands(const LiveDataState &live, int code, ItemData data)
{
    const Service service = service_of(live, data);
    if (code == kFuelEconomyItem) {
        QStringList commands{value_request(*find_pid_row(kAirFlow), service).command(),
                             value_request(*find_pid_row(kSpeed), service).command()};
        if (wide_range_known(live.WideO2PID))
            commands << lambda_request(live.WideO2PID).command();
        return commands;
    }
    const PidRow *row = find_pid_row(code);
    return row ? QStringList{value_request(*row, service).command()} : QStringList();
}

std::optional<PidRequest> pass_request(const LiveDataState &live, int pid)
{
    // The support request of the next range goes with the range that announces it.
    if (pid % 0x20 == 0 && pid > 0)
        return PidRequest{kService01, hex2(pid), hex2(kSupportLength)};
    if (const StatusRow *row = find_status_row(pid))
        return status_request(live, *row);
    if (const PidRow *row = find_pid_row(pid))
        return value_request(*row, service_of(live, ItemData::LastRun));
    return std::nullopt;
}

PassAnnouncement::PassAnnouncement(ObdContext &ctx, const QStringList &commands) : m_ctx(ctx)
{
    m_ctx.link.announce(commands);
}

PassAnnouncement::~PassAnnouncement()
{
    m_ctx.link.announce({});
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
    const Exchange ex = get_ecu_PID(ctx, lambda_request(pid));
    Reading r;
    r.status = ex.status;
    if (ex.ok())
        r.item = decode_lambda(ex.reply, 0);
    return r;
}

StatusText get_fuel_status(ObdContext &ctx, const LiveDataState &live)
{
    const Exchange ex = exchange_status(ctx, live, 0x03);
    return {ex.status, ex.ok() ? fuel_status_text(ex.reply, live.PIDoffset) : QString()};
}

StatusText get_fuel_trim(ObdContext &ctx, const LiveDataState &live, int pid)
{
    const Exchange ex = exchange_status(ctx, live, pid);
    return {ex.status, ex.ok() ? fuel_trim_text(pid, ex.reply, live.PIDoffset) : QString()};
}

StatusText get_cmd_sec_air_stat(ObdContext &ctx, const LiveDataState &live)
{
    const Exchange ex = exchange_status(ctx, live, 0x12);
    return {ex.status, ex.ok() ? secondary_air_text(ex.reply) : QString()};
}

StatusText get_O2_loc(ObdContext &ctx, LiveDataState &live)
{
    const Exchange ex = exchange_status(ctx, live, 0x13);
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
