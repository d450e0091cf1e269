#include "meters.h"

#include "decoders.h"
#include "items.h"
#include "livestate.h"
#include "numberforms.h"
#include "obdcontext.h"

namespace quorvex {

namespace {

struct TrimRow
{
    bool LiveDataState::*supported;
    const char *pid;
    const char16_t *prefix;
};

// The prefixes are exact, blanks included.
constexpr TrimRow kTrims[] = {
    {&LiveDataState::HasSTFTB1, "06", u"Short Term Fuel Trim B1---- "},
    {&LiveDataState::HasLTFTB1, "07", u"Long  Term Fuel Trim B1---- "},
    {&LiveDataState::HasSTFTB2, "08", u"Short Term Fuel Trim B2---- "},
    {&LiveDataState::HasLTFTB2, "09", u"Long  Term Fuel Trim B2 ---- "},
};

constexpr double kStoichiometric = 14.62;
constexpr int kEngineSpeed = 0x0C;
// Longest wait of a monitor with nothing to read before it looks at its stop flag again.
constexpr int kIdleWaitMs = 1000;

} // namespace

QString fuel_trim_caption(int row, int a)
{
    // Truncated before the offset: 127 gives Int(99.2) - 100 = -1.
    return QString::fromUtf16(kTrims[row].prefix) + S(Int(a / 128.0 * 100) - 100) +
           QStringLiteral("%");
}

ExchangeStatus run_fuel_trim_monitor(ObdContext &ctx, const LiveDataState &live, FuelTrimView &view,
                                     const std::function<void(ExchangeStatus)> &onFailure)
{
    while (!view.stopRequested()) {
        bool asked = false;
        for (int row = 0; row < 4 && !view.stopRequested(); ++row) {
            if (!(live.*kTrims[row].supported))
                continue;
            asked = true;
            const Exchange ex = get_ecu_PID(ctx, QStringLiteral("01"),
                                            QLatin1String(kTrims[row].pid), QStringLiteral("06"));
            if (!ex.ok()) {
                if (onFailure)
                    onFailure(ex.status);
                if (ends_the_run(ex.status))
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
    const auto failed = [&](ExchangeStatus status) {
        if (onFailure)
            onFailure(status);
        return ends_the_run(status);
    };
    while (!view.stopRequested()) {
        const Reading lambda = get_O2_lambda(ctx, live.WideO2PID);
        if (lambda.ok())
            view.showRatio(air_fuel_text(lambda.item.value));
        else if (failed(lambda.status))
            return lambda.status;
        if (view.stopRequested())
            break;
        const Reading rpm = read_item(ctx, live, kEngineSpeed);
        if (rpm.ok())
            view.showSpeed(engine_speed_text(rpm.item.valueText));
        else if (failed(rpm.status))
            return rpm.status;
        ctx.yield(0);
    }
    return ExchangeStatus::Ok;
}

} // namespace quorvex
