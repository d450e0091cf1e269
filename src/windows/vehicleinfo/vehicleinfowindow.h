#pragma once

#include "link/protocol.h"

#include <QMainWindow>
#include <QStringList>

#include <functional>

class QLabel;
class QListWidget;
class QPushButton;

namespace quorvex {

class ObdContext;
class Prompts;

// "Vehicle Information": what service 09 tells beyond the VIN, each ECU under its address
// (calibration IDs with their verification numbers, the ECU's name, the in-use performance
// counts), to copy to the clipboard or print for an inspector or a dealer.
class VehicleInfoWindow : public QMainWindow
{
    Q_OBJECT
public:
    VehicleInfoWindow(ObdContext &ctx, Prompts &prompts, QWidget *parent = nullptr);

    void setOutcomeHandler(std::function<void(ExchangeStatus)> show)
    {
        m_outcome = std::move(show);
    }

    void Read_Click();
    void Copy_Click();
    void Print_Click();

private:
    ObdContext &m_ctx;
    Prompts &m_prompts;
    std::function<void(ExchangeStatus)> m_outcome;
    QStringList m_lines;

    QListWidget *List1 = nullptr;
    QLabel *Label1 = nullptr; // what the last reading found, or why nothing
    QPushButton *Read = nullptr;
    QPushButton *Copy = nullptr;
    QPushButton *Print = nullptr;
};

} // namespace quorvex
