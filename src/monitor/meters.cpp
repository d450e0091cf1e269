#include "monitor/meters.h"

#include "link/obdcontext.h"
#include "livedata/decoders.h"
#include "livedata/items.h"
#include "livedata/livestate.h"
#include "livedata/numberforms.h"

namespace quorvex {

namespace {

// The captions' prefixes in PID order (06 to 09), blanks exact.
constexpr const char16_t *kTrimPrefixes[] = {
    u"Short Term Fuel Trim B1---- ", u"Long  Term Fuel Trim B1---- ",
    u"Short Term Fuel Trim B2---- ", u"Long  Term Fuel Trim B2 ---- "};

constexpr double kStoichiometric = 14.62;
constexpr int kEngineSpeed = 0x0C;
// Longest wait of a monitor with nothing to read before it looks at its stop flag again.
constexpr int kIdleWaitMs = 1000;

} // namespace

QString fuel_trim_caption(int row, int a)
{
    return QString::fromUtf16(kTrimPrefixes[row]) + fuel_trim_percent(a);
}

ExchangeStatus run_fuel_trim_monitor(ObdContext &ctx, const LiveDataState &live, FuelTrimView &view,
                                     const std::function<void(ExchangeStatus)> &onFailure)
{
    while (!view.stopRequested()) {
        bool asked = false;
        for (int row = 0; row < 4 && !view.stopRequested(); ++row) {
            if (!(live.*kFuelTrimFlags[row]))
                continue;
            asked = true;
            const Exchange ex =
                get_ecu_PID(ctx, QStringLiteral("01"), QStringLiteral("0%1").arg(6 + row),
                            QStringLiteral("06"));
            if (!ex.ok()) {
                if (report_failure(onFailure, ex.status))
                    return ex.status;
                continue;
            }
            view.showTrim(row, fuel_trim_caption(row, data_byte(ex.reply, 0, 0)));
        }
        // Nothing to read: sleep in the event loop until something happens (the stop button).
        ctx.yield(asked ? 0 : kIdleWaitMs);
    }
    return ExchangeStatus::Ok;
}

QString air_fuel_text(double lambda)
{
    return Format(S(lambda * kStoichiometric), QStringLiteral("00.00")) + QStringLiteral(" A/F");
}

QString engine_speed_text(const QString &rpmValueText)
{
    return Format(rpmValueText, QStringLiteral("##000")) + QStringLiteral("  RPM ");
}

ExchangeStatus run_air_fuel_meter(ObdContext &ctx, LiveDataState &live, AirFuelView &view,
                                  const std::function<void(ExchangeStatus)> &onFailure)
{
    while (!view.stopRequested()) {
        const Reading lambda = get_O2_lambda(ctx, live.WideO2PID);
        if (lambda.ok())
            view.showRatio(air_fuel_text(lambda.item.value));
        else if (report_failure(onFailure, lambda.status))
            return lambda.status;
        if (view.stopRequested())
            break;
        const Reading rpm = read_item(ctx, live, kEngineSpeed, ItemData::Live);
        if (rpm.ok())
            view.showSpeed(engine_speed_text(rpm.item.valueText));
        else if (report_failure(onFailure, rpm.status))
            return rpm.status;
        ctx.yield(0);
    }
    return ExchangeStatus::Ok;
}

} // namespace quorvex
