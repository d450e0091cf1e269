#pragma once

#include "monitor/realtime.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quorvex {

class Clock;
class FlagOption;
class Prompts;
class StripChart;

// "Quorvex Graphic Output": the strip chart of the real-time display, its value box and
// caption, its stop flag and its five buttons. One instance for the whole run, configured by
// SetupChart at start-up and afterwards shown, hidden, cleared and fed.
class Chart : public QWidget, public RealTimeView
{
    Q_OBJECT
public:
    Chart(Prompts &prompts, Clock &clock, QWidget *parent = nullptr);

    // The strip chart's channel and axes as the program sets them up.
    void SetupChart();

    // The start of a real-time display: data cleared, chart reset, stop flag down, shown.
    void beginDisplay();
    // Raises the stop flag (the display ends at the head of its next pass).
    void stopDisplay();

    // Button handlers.
    void cmdClearData_Click();
    void cmdResetChart_Click();
    void cmdShowHideToolbar_Click();
    void cmdFreeze_Click();
    void Stop1_Click();

    // RealTimeView
    bool stopRequested() const override;
    void showSample(const RealTimeSample &sample) override;

    StripChart *strip() const { return iStripChartX1; }

private:
    StripChart *iStripChartX1 = nullptr;
    QLineEdit *txbValue = nullptr;
    QLabel *lblValText = nullptr;
    FlagOption *optFlag = nullptr;
    QPushButton *cmdFreeze = nullptr;
    QPushButton *Stop1 = nullptr;
    QPushButton *cmdClearData = nullptr;
    QPushButton *cmdResetChart = nullptr;
    QPushButton *cmdShowHideToolbar = nullptr;
};

} // namespace quorvex
