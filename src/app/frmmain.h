#pragma once

#include "definitions.h"
#include "mainview.h"
#include "obdcontext.h"
#include "serialtransport.h"

#include <QMainWindow>

#include <array>
#include <functional>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace quorvex {

class Prompts;

// The main window: builds and names the controls, owns the shared context and the serial
// port, and wires each control to its handler. Protocol and decoding live in the link,
// livedata and diagnostics libraries.
class frmMain : public QMainWindow, public MainView
{
    Q_OBJECT
public:
    explicit frmMain(Prompts &prompts, QWidget *parent = nullptr);
    ~frmMain() override;

    ObdContext &context() { return m_ctx; }

    // Devices behind Com1..Com4 (empty: no device); set before Form_Load.
    void setComDevices(const std::array<QString, 4> &devices) { m_comDevices = devices; }
    // How the program ends (tests record instead of quitting).
    void setQuitHandler(std::function<void()> quit) { m_quit = std::move(quit); }
    // Where the trouble-code definitions are looked for, in order; set before Form_Load.
    void setTroubleCodeLocations(const QStringList &paths) { m_troubleCodeLocations = paths; }
    static QStringList defaultTroubleCodeLocations();

    void Form_Load();
    void Form_Unload();

    // Handlers of the window's controls and menus.
    void Command1_Click();
    void Command2_Click();
    void Label1_Click();
    void Label3_Click();
    void mnuDebugMode_Click();
    void mnuUnitsEnglish_Click();
    void mnuUnitsMetric_Click();
    void mnu9600_Click();
    void mnu19200_Click();
    void mnuConnectionCom_Click(int port);
    void ChangeECU_Click();
    void Mode1_Click();
    void Mode2_Click();
    void Mode3_Click();
    void Mode4_Click();
    void LoadTroubleCodes();

    void probe_ports();
    void show_waiting();
    void get_FWID();

    // MainView
    void setStatusText(const QString &text) override;
    void setStatusColor(StatusColor color) override;
    QString reportText() const override;
    void setReportText(const QString &text) override;
    void setEcuNumber(const QString &caption) override;
    void setFirmwareCaption(const QString &caption) override;
    void setVinText(const QString &text) override;
    void clearDataList() override;
    void addDataLine(const QString &line) override;
    void setDataListRed(bool red) override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void connectHandlers();
    void setServiceButtonsEnabled(bool enabled);
    void releaseButton(QPushButton *button);
    void pressButton(QPushButton *button);
    void onLinkLost(const QString &reason);
    void endProgram();
    QAction *comItem(int port) const;

    ObdContext m_ctx;
    SerialTransport m_serial;
    std::array<QString, 4> m_comDevices;
    std::array<bool, 4> m_comUsable{};
    std::function<void()> m_quit;
    bool m_exiting = false;
    QStringList m_troubleCodeLocations = defaultTroubleCodeLocations();
    TroubleCodeDefinitions m_troubleCodes;

    // Controls, named as the program's vocabulary names them.
    QGroupBox *Frame1 = nullptr;
    QPushButton *Mode1 = nullptr;
    QPushButton *Mode2 = nullptr;
    QPushButton *Mode3 = nullptr;
    QPushButton *Mode4 = nullptr;
    QPushButton *Mode5 = nullptr;
    QPushButton *ChangeECU = nullptr;
    QLineEdit *Text1 = nullptr;
    QLabel *Label1 = nullptr;
    QPlainTextEdit *textECU = nullptr;
    QLabel *Label2 = nullptr;
    QListWidget *List1 = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label4 = nullptr;
    QListWidget *List2 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;

    QMenu *mnuLog = nullptr;
    QAction *mnuDataLogLog = nullptr;
    QMenu *mnuCom = nullptr;
    QAction *mnuUSB = nullptr;
    std::array<QAction *, 4> mnuConnectionCom{};
    QAction *mnu9600 = nullptr;
    QAction *mnu19200 = nullptr;
    QAction *mnuMode6 = nullptr;
    QMenu *mnuOpt = nullptr;
    QAction *mnuFTM = nullptr;
    QAction *mnuAF = nullptr;
    QMenu *mnuUnits = nullptr;
    QAction *mnuUnitsEnglish = nullptr;
    QAction *mnuUnitsMetric = nullptr;
    QAction *mnuDebugMode = nullptr;
};

} // namespace quorvex
