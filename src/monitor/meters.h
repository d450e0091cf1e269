#pragma once

#include "link/protocol.h"

#include <QString>

#include <functional>

namespace quorvex {

class ObdContext;
struct LiveDataState;

// The fuel trim monitor's caption of trim row `row` (0: short term bank 1, 1: long term bank
// 1, 2: short term bank 2, 3: long term bank 2) for data byte A: the row's prefix, the signed
// text of floor(A / 128 x 100) - 100 and "%".
QString fuel_trim_caption(int row, int a);

// Where the fuel trim monitor shows its trims and learns that it is to stop.
class FuelTrimView
{
public:
    virtual ~FuelTrimView() = default;
    virtual bool stopRequested() const = 0;
    virtual void showTrim(int row, const QString &caption) = 0;
};

// The fuel trim monitor: reads the trims the last current-data request found supported (PIDs
// 06 to 09 on service 01), one pass after the other with one event-loop turn between, until the
// view asks to stop. With no trim supported it waits in the event loop for the stop. A failed
// exchange leaves its trim as it was and is reported; one that ends the run ends the monitor.
ExchangeStatus run_fuel_trim_monitor(ObdContext &ctx, const LiveDataState &live, FuelTrimView &view,
                                     const std::function<void(ExchangeStatus)> &onFailure);

// The air/fuel ratio meter's two texts: the equivalence ratio x 14.62 through "00.00" and
// " A/F"; the engine speed value text through "##000" and "  RPM ".
QString air_fuel_text(double lambda);
QString engine_speed_text(const QString &rpmValueText);

// Where the air/fuel ratio meter shows its values and learns that it is to stop.
class AirFuelView
{
public:
    virtual ~AirFuelView() = default;
    virtual bool stopRequested() const = 0;
    virtual void showRatio(const QString &text) = 0;
    virtual void showSpeed(const QString &text) = 0;
};

// The air/fuel ratio meter: the wide-range sensor WideO2PID and the live engine speed, one pass
// after the other with one event-loop turn between, until the view asks to stop. A failed
// exchange leaves its text as it was and is reported; one that ends the run ("P" from the
// interface among them) ends the meter.
ExchangeStatus run_air_fuel_meter(ObdContext &ctx, LiveDataState &live, AirFuelView &view,
                                  const std::function<void(ExchangeStatus)> &onFailure);

} // namespace quorvex
