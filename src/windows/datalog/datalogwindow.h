#pragma once

#include "monitor/datalogger.h"

#include <QList>
#include <QWidget>

#include <array>
#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quorvex {

class ObdContext;
class Prompts;
struct LiveDataState;

// "Quorvex Data Logger": four item selectors, "Start Log" / "Stop Log", the interval buttons,
// and each slot's name and latest value.
class DataLog : public QWidget, public LoggerView
{
    Q_OBJECT
public:
    DataLog(ObdContext &ctx, LiveDataState &live, Prompts &prompts, QWidget *parent = nullptr);

    // The items the vehicle data window lists, in its order (label, item code): the four
    // selectors offer them all, rebuilt after every current-data and freeze-frame run. A
    // selector keeps its item when the new list still has it, else it offers line 0.
    void setItems(const QList<std::pair<QString, int>> &items);
    // Where a failed exchange of a running log is shown.
    void setFailureHandler(std::function<void(ExchangeStatus)> handler)
    {
        m_onFailure = std::move(handler);
    }
    bool logging() const { return m_logging; }

    void cboRTD_Click(int index);
    void Command1_Click(); // "Start Log"
    void Command2_Click(); // "Stop Log"

    // LoggerView
    bool stopRequested() const override { return m_LoggingStopped; }
    double intervalSeconds() const override;
    void showValues(const std::array<QString, 4> &shown) override;

private:
    bool chosenItems(std::array<int, 4> *codes, std::array<QString, 4> *labels) const;
    void endLog();

    ObdContext &m_ctx;
    LiveDataState &m_live;
    Prompts &m_prompts;
    std::function<void(ExchangeStatus)> m_onFailure;
    QList<std::pair<QString, int>> m_items;
    std::array<int, 4> m_LogChoice{};
    bool m_LoggingStopped = true;
    bool m_logging = false;
    QString m_lastFolder;

    std::array<QComboBox *, 4> cboRTD{};
    std::array<QLineEdit *, 4> m_names{};        // Display1_name .. Display4_name
    std::array<QLineEdit *, 4> m_values{};       // Display1_value .. Display4_value
    std::array<QRadioButton *, 4> m_intervals{}; // Option1 .. Option4
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
};

} // namespace quorvex
