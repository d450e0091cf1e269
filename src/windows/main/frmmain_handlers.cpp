// Handlers of the main window: start-up, exit, print, help labels and switches.
#include "windows/main/frmmain.h"

#include "link/version.h"
#include "widgets/controls.h"
#include "widgets/indicator.h"
#include "widgets/preferences.h"
#include "widgets/prompts.h"
#include "windows/chart/chartwindow.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>

namespace quorvex {

namespace {
const QString kTitle = message_title();
constexpr double kExitPauseSeconds = 2.0;
} // namespace

void frmMain::connectHandlers()
{
    connect(Command1, &QPushButton::clicked, this, &frmMain::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmMain::Command2_Click);
    connect(static_cast<ClickLabel *>(Label1), &ClickLabel::clicked, this, &frmMain::Label1_Click);
    connect(static_cast<ClickLabel *>(Label3), &ClickLabel::clicked, this, &frmMain::Label3_Click);
    connect(mnuDebugMode, &QAction::triggered, this, &frmMain::mnuDebugMode_Click);
    connect(mnuUnitsEnglish, &QAction::triggered, this, &frmMain::mnuUnitsEnglish_Click);
    connect(mnuUnitsMetric, &QAction::triggered, this, &frmMain::mnuUnitsMetric_Click);
    connect(mnu9600, &QAction::triggered, this, &frmMain::mnu9600_Click);
    connect(mnu19200, &QAction::triggered, this, &frmMain::mnu19200_Click);
    connect(mnu38400, &QAction::triggered, this, &frmMain::mnu38400_Click);
    connect(mnu115200, &QAction::triggered, this, &frmMain::mnu115200_Click);
    connect(mnuAdapterInterface, &QAction::triggered, this,
            [this] { mnuAdapter_Click(AdapterKind::ScanInterface); });
    connect(mnuAdapterElm327, &QAction::triggered, this,
            [this] { mnuAdapter_Click(AdapterKind::Elm327); });
    connect(mnuUSB, &QAction::triggered, this, &frmMain::mnuUSB_Click);
    connect(mnuWifi, &QAction::triggered, this, &frmMain::mnuWifi_Click);
    connect(mnuRaiseSpeed, &QAction::triggered, this, &frmMain::mnuRaiseSpeed_Click);
    for (int i = 0; i < 4; ++i)
        connect(mnuConnectionCom[static_cast<size_t>(i)], &QAction::triggered, this,
                [this, i] { mnuConnectionCom_Click(i + 1); });
    connect(Mode1, &QPushButton::clicked, this, &frmMain::Mode1_Click);
    connect(Mode2, &QPushButton::clicked, this, &frmMain::Mode2_Click);
    connect(Mode3, &QPushButton::clicked, this, &frmMain::Mode3_Click);
    connect(Mode4, &QPushButton::clicked, this, &frmMain::Mode4_Click);
    connect(PermanentCodes, &QPushButton::clicked, this, &frmMain::PermanentCodes_Click);
    connect(mnuVehicleInfo, &QAction::triggered, this, &frmMain::mnuVehicleInfo_Click);
    connect(ChangeECU, &QPushButton::clicked, this, &frmMain::ChangeECU_Click);
    connect(List1, &QListWidget::itemDoubleClicked, this, &frmMain::List1_DblClick);
    connect(mnuDataLogLog, &QAction::triggered, this, &frmMain::mnuDataLogLog_Click);
    connect(mnuDataLogOpen, &QAction::triggered, this, &frmMain::mnuDataLogOpen_Click);
    connect(mnuRecordExchanges, &QAction::triggered, this, &frmMain::mnuRecordExchanges_Click);
    connect(mnuFTM, &QAction::triggered, this, &frmMain::mnuFTM_Click);
    connect(mnuAF, &QAction::triggered, this, &frmMain::mnuAF_Click);
    connect(Mode5, &QPushButton::clicked, this, &frmMain::Mode5_Click);
    connect(mnuMode6, &QAction::triggered, this, &frmMain::mnuMode6_Click);
    connect(&m_ctx, &ObdContext::readinessChanged, this, &frmMain::showReadiness);
    connect(&m_ctx, &ObdContext::linkLost, this, &frmMain::onLinkLost);
    connect(&m_elm, &Elm327Transport::figuresChanged, this, &frmMain::showAdapterFigures);
    connect(&m_elm, &Elm327Transport::lineSpeedSettled, this, &frmMain::onLineSpeedSettled);
}

void frmMain::Form_Load()
{
    show();
    setServiceButtonsEnabled(false);
    Mode5->setEnabled(false);
    Mode5->hide();
    m_state.BaudRate = 19200;
    m_state.SelectorsReady = false;
    m_ctx.state.StopFlag = false;
    m_ctx.state.DebugMode = false;
    m_live.WideO2PID = QStringLiteral("0");
    setStatus(QString::fromUtf16(kEcuOffLine), kRed);
    // The logger and the meters wait for a current-data request, the mode 6 tests for the
    // firmware identification.
    mnuDataLogLog->setEnabled(false);
    mnuMode6->setEnabled(false);
    mnuAF->setEnabled(false);
    mnuFTM->setEnabled(false);
    m_ctx.state.UseSerial = false;
    LoadTroubleCodes();
    if (!m_chart) {
        m_chart = new Chart(m_prompts, m_ctx.clock(), this);
        m_chart->SetupChart(); // loaded hidden, shown by the real-time display
    }
    probe_ports();
}

void frmMain::Form_Unload()
{
    if (m_usb)
        m_usb->release();
}

void frmMain::endProgram()
{
    if (m_exiting)
        return;
    m_exiting = true;
    m_ctx.beginClosing();
    m_quit();
}

void frmMain::Command1_Click()
{
    if (m_exiting)
        return;
    if (m_ctx.state.UseSerial) {
        endProgram();
        return;
    }
    Form_Unload();
    hide();
    m_ctx.pause(kExitPauseSeconds);
    endProgram();
}

void frmMain::Command2_Click()
{
    QStringList lines{Text2->text(), reportText()};
    for (int i = 0; i < List1->count(); ++i)
        lines << List1->item(i)->text();
    QString reason;
    if (!m_prompts.print(lines, &reason))
        m_prompts.message(QStringLiteral("Nothing was printed: ") + reason, kTitle,
                          Prompts::Icon::Warning);
}

void frmMain::Label1_Click()
{
    m_prompts.message(QStringLiteral("Red=No coommunication with scan tool,\r\n"
                                     "Yellow=Communication with scan tool, not with vehicle\r\n"
                                     "Green=Communication with vehicle"),
                      QStringLiteral("Quorvex V" QUORVEX_VERSION), Prompts::Icon::Information);
}

void frmMain::Label3_Click()
{
    m_prompts.message(QStringLiteral("VIN will be shown here if available and Scan F/W is "
                                     "4.00 or higher, user entry is also allowed"),
                      kTitle, Prompts::Icon::Information);
}

void frmMain::mnuDebugMode_Click()
{
    bool &debug = m_ctx.state.DebugMode;
    debug = !debug;
    m_prompts.message(debug ? QStringLiteral("Debug Mode is turned ON")
                            : QStringLiteral("Debug Mode is turned OFF"),
                      QString(), Prompts::Icon::None);
}

void frmMain::mnuUnitsEnglish_Click()
{
    m_live.UnitsMetric = false;
}

void frmMain::mnuUnitsMetric_Click()
{
    m_live.UnitsMetric = true;
}

void frmMain::mnu9600_Click()
{
    m_state.BaudRate = 9600;
}

void frmMain::mnu19200_Click()
{
    m_state.BaudRate = 19200;
}

void frmMain::mnu38400_Click()
{
    m_state.BaudRate = 38400;
}

void frmMain::mnu115200_Click()
{
    m_state.BaudRate = 115200;
}

void frmMain::setAdapterKind(AdapterKind kind)
{
    m_adapter = kind;
    (kind == AdapterKind::Elm327 ? mnuAdapterElm327 : mnuAdapterInterface)->setChecked(true);
}

void frmMain::mnuAdapter_Click(AdapterKind kind)
{
    setAdapterKind(kind);
    setPreference(QStringLiteral("adapter/kind"), kind == AdapterKind::Elm327
                                                      ? QStringLiteral("elm327")
                                                      : QStringLiteral("interface"));
}

void frmMain::setServiceButtonsEnabled(bool enabled)
{
    for (QPushButton *b : {Mode1, Mode2, Mode3, Mode4, ChangeECU})
        b->setEnabled(enabled);
    PermanentCodes->setEnabled(enabled);
    mnuVehicleInfo->setEnabled(enabled);
}

} // namespace quorvex
