#pragma once

#include "diagnostics/mode6.h"
#include "link/protocol.h"

#include <QMainWindow>

#include <functional>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace quorvex {

class ObdContext;
class Prompts;

// "SAE-J1979 Service $06 ": one on-board monitoring test result by test and component ID,
// scaled as the shop manual says, with its limit and PASS or FAIL; and the scan for the tests
// the ECU supports.
class frmMode6 : public QMainWindow
{
    Q_OBJECT
public:
    frmMode6(ObdContext &ctx, Prompts &prompts, QWidget *parent = nullptr);

    void setOutcomeHandler(std::function<void(ExchangeStatus)> show)
    {
        m_outcome = std::move(show);
    }

    void Command1_Click(); // "Get Test Results"
    void Command2_Click(); // "SCAN for supported tests"
    void Text2_Click();
    void Text4_Click();
    void Text6_Click();
    void Text8_Click();
    void mnuM6HLP_Click();

private:
    void inputError();
    // True when the pass-through message went out and was answered or went unanswered (the
    // window then shows that there was no response); says what went wrong otherwise.
    bool reached(const Mode6Reply &reply);

    ObdContext &m_ctx;
    Prompts &m_prompts;
    std::function<void(ExchangeStatus)> m_outcome;

    QLineEdit *Text1 = nullptr;  // test ID
    QLineEdit *Text3 = nullptr;  // component ID
    QLineEdit *Text5 = nullptr;  // scale factor
    QLineEdit *Text22 = nullptr; // add/subtract (shown, not used)
    QLineEdit *Text7 = nullptr;  // units
    QLineEdit *Text12 = nullptr; // bytes returned (shown, not used)
    QLineEdit *Text11 = nullptr; // returned message
    QLineEdit *Text16 = nullptr; // value
    QLineEdit *Text14 = nullptr; // pass / fail
    QLineEdit *Text18 = nullptr; // minimum
    QLineEdit *Text20 = nullptr; // maximum
    QComboBox *Combo1 = nullptr; // supported tests
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
};

} // namespace quorvex
