#pragma once

#include "monitor/meters.h"

#include <QWidget>

#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quorvex {

class FlagOption;
class ObdContext;
struct LiveDataState;

// "Fuel Trim Monitor Window": the four trims, "EXIT" and the stop option.
class frmFuel_Trim : public QWidget, public FuelTrimView
{
    Q_OBJECT
public:
    frmFuel_Trim(ObdContext &ctx, const LiveDataState &live, QWidget *parent = nullptr);

    // Runs the monitor until it is stopped, then hides the window.
    void RunFuelTrimMonitor();
    void setFailureHandler(std::function<void(ExchangeStatus)> handler)
    {
        m_onFailure = std::move(handler);
    }
    // "EXIT" also hides the strip chart window.
    void setChartHider(std::function<void()> hide) { m_hideChart = std::move(hide); }
    void stopMonitor() { m_FuelTrimStop = true; }
    bool running() const { return m_running; }

    void Command1_Click(); // "EXIT"
    void Option1_Click();

    // FuelTrimView
    bool stopRequested() const override { return m_FuelTrimStop; }
    void showTrim(int row, const QString &caption) override;

private:
    ObdContext &m_ctx;
    const LiveDataState &m_live;
    std::function<void(ExchangeStatus)> m_onFailure;
    std::function<void()> m_hideChart;
    bool m_FuelTrimStop = true;
    bool m_running = false;
    std::array<QLabel *, 4> m_trims{}; // Label1 .. Label4
    FlagOption *Option1 = nullptr;
    QPushButton *Command1 = nullptr;
};

// The air/fuel ratio meter: the wide-range sensor's ratio and the engine speed, "START" and
// "EXIT".
class Air_Fuel_Ratio : public QWidget, public AirFuelView
{
    Q_OBJECT
public:
    Air_Fuel_Ratio(ObdContext &ctx, LiveDataState &live, QWidget *parent = nullptr);

    void setFailureHandler(std::function<void(ExchangeStatus)> handler)
    {
        m_onFailure = std::move(handler);
    }
    void stopMeter();
    bool running() const { return m_running; }

    void Command1_Click(); // "START": runs the meter until it stops, then hides the window
    void Command2_Click(); // "EXIT"

    // AirFuelView
    bool stopRequested() const override { return m_stop; }
    void showRatio(const QString &text) override;
    void showSpeed(const QString &text) override;

private:
    ObdContext &m_ctx;
    LiveDataState &m_live;
    std::function<void(ExchangeStatus)> m_onFailure;
    bool m_stop = true;
    bool m_running = false;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
};

} // namespace quorvex
