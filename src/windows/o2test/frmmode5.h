#pragma once

#include "diagnostics/o2test.h"

#include <QMainWindow>

#include <array>
#include <functional>

class QAction;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace quorvex {

class ObdContext;
class PictureWindow;
class Prompts;
struct LiveDataState;

// "O2 Sensor Test": the sensors PID 13 reported, the nine test results with their limits, and
// the four explanatory picture windows of its menus.
class frmMode5 : public QMainWindow
{
    Q_OBJECT
public:
    frmMode5(ObdContext &ctx, const LiveDataState &live, Prompts &prompts,
             QWidget *parent = nullptr);

    // What the window does when it is loaded: the sensor list from O2Sensors, and, while the O2
    // sensor monitor has not completed, the message and the window hidden. False then.
    bool Form_Load();
    // Debug echoes for the main window's report, and what the indicator is to show.
    void setEchoHandler(std::function<void(const QString &)> echo) { m_echo = std::move(echo); }
    void setOutcomeHandler(std::function<void(ExchangeStatus)> show)
    {
        m_outcome = std::move(show);
    }

    void cbo02list_Click();
    void Command3_Click(); // "Get Test Results"
    void Command1_Click(); // "EXIT"
    void mnuO2graph_Click();
    void mnuV8_Click();
    void mnuSingle_Click();
    void mnu4cyl_Click();

private:
    void show_result(const O2TidResult &result);
    PictureWindow *pictureWindow(int which);

    ObdContext &m_ctx;
    const LiveDataState &m_live;
    Prompts &m_prompts;
    std::function<void(const QString &)> m_echo;
    std::function<void(ExchangeStatus)> m_outcome;
    QList<int> O2SensorBits;
    std::array<PictureWindow *, 4> m_pictures{};

    QComboBox *cbo02list = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *Command1 = nullptr;
    std::array<QLineEdit *, 9> txtT{};    // txtT01 .. txtT09
    std::array<QLineEdit *, 5> txtTmin{}; // txtT05min .. txtT09min
    std::array<QLineEdit *, 5> txtTmax{}; // txtT05max .. txtT09max
};

} // namespace quorvex
