// The main window's side of the monitoring windows: the real-time display started from the
// vehicle data window, the menus that open the logger and the meters, and what a current-data
// run offers them.
#include "windows/main/frmmain.h"

#include "link/version.h"
#include "livedata/numberforms.h"
#include "monitor/realtime.h"
#include "widgets/preferences.h"
#include "widgets/prompts.h"
#include "windows/chart/chartwindow.h"
#include "windows/datalog/datalogwindow.h"
#include "windows/logview/logviewer.h"
#include "windows/options/meterwindows.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>

namespace quorvex {

void frmMain::List1_DblClick()
{
    // No line chosen: nothing to display.
    const int line = List1->currentRow();
    if (line < 0 || line >= m_listItems.size())
        return;
    const int code = m_listItems.at(line).second;
    m_chart->beginDisplay();
    if (!item_display(code)) {
        m_prompts.message(QStringLiteral("No Data Selected"), QString(), Prompts::Icon::None);
    } else {
        run_realtime(m_ctx, m_live, code, *m_chart, outcomeShower());
    }
    if (!m_exiting) {
        show();
        raise();
    }
}

DataLog *frmMain::dataLog()
{
    if (!m_dataLog) {
        m_dataLog = new DataLog(m_ctx, m_live, m_prompts, this);
        m_dataLog->setFailureHandler(outcomeShower());
        m_dataLog->setItems(m_listItems);
    }
    return m_dataLog;
}

frmFuel_Trim *frmMain::fuelTrim()
{
    if (!m_fuelTrim) {
        m_fuelTrim = new frmFuel_Trim(m_ctx, m_live, this);
        m_fuelTrim->setFailureHandler(outcomeShower());
        m_fuelTrim->setChartHider([this] { m_chart->hide(); });
    }
    return m_fuelTrim;
}

Air_Fuel_Ratio *frmMain::airFuel()
{
    if (!m_airFuel) {
        m_airFuel = new Air_Fuel_Ratio(m_ctx, m_live, this);
        m_airFuel->setFailureHandler(outcomeShower());
    }
    return m_airFuel;
}

void frmMain::mnuDataLogLog_Click()
{
    dataLog()->show();
    m_dataLog->raise();
}

void frmMain::mnuDataLogOpen_Click()
{
    const QString folderKey = QStringLiteral("datalog/folder");
    const QString fileName = m_prompts.openFileName(
        QStringLiteral("Open Log"), preference(folderKey, QDir::homePath()).toString(),
        {QStringLiteral("OBD-II log files (*.log)"), QStringLiteral("All files (*)")});
    if (fileName.isEmpty())
        return;
    setPreference(folderKey, QFileInfo(fileName).absolutePath());
    // Each log in a window of its own, gone when closed; one that cannot be read never shows.
    auto *viewer = new LogViewer(m_prompts, m_live.UnitsMetric, this);
    if (!viewer->open(fileName)) {
        delete viewer;
        return;
    }
    viewer->show();
    viewer->raise();
}

bool frmMain::startRecording(const QString &path, QString *error)
{
    if (!m_recorder.start(path, error))
        return false;
    mnuRecordExchanges->setText(QStringLiteral("Stop Recording &Exchanges"));
    return true;
}

void frmMain::mnuRecordExchanges_Click()
{
    if (m_recorder.recording()) {
        m_recorder.stop();
        mnuRecordExchanges->setText(QStringLiteral("Record &Exchanges\u2026"));
        return;
    }
    const QString folderKey = QStringLiteral("datalog/folder");
    QString fileName = m_prompts.saveFileName(
        QStringLiteral("Record Exchanges"), preference(folderKey, QDir::homePath()).toString(),
        {QStringLiteral("Exchange recordings (*.rec)"), QStringLiteral("All files (*)")});
    if (fileName.isEmpty())
        return;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".rec");
    setPreference(folderKey, QFileInfo(fileName).absolutePath());
    QString error;
    if (!startRecording(fileName, &error))
        m_prompts.message(
            QStringLiteral("The recording %1 could not be written: %2").arg(fileName, error),
            message_title(), Prompts::Icon::Warning);
}

void frmMain::mnuFTM_Click()
{
    frmFuel_Trim *window = fuelTrim();
    window->show();
    window->raise();
    window->repaint();
    window->RunFuelTrimMonitor();
}

void frmMain::mnuAF_Click()
{
    airFuel()->show();
    m_airFuel->raise();
}

void frmMain::offerMonitors(bool listed)
{
    // The logger offers the lines of this run, every one of them.
    if (m_dataLog)
        m_dataLog->setItems(m_listItems);
    if (listed) {
        m_state.SelectorsReady = true;
        mnuDataLogLog->setEnabled(true);
    }
    if (Val(m_live.WideO2PID) > 0)
        mnuAF->setEnabled(true);
    if (m_live.HasSTFTB1)
        mnuFTM->setEnabled(true);
}

void frmMain::stopMonitors()
{
    if (m_chart)
        m_chart->stopDisplay();
    if (m_dataLog)
        m_dataLog->Command2_Click();
    if (m_fuelTrim)
        m_fuelTrim->stopMonitor();
    if (m_airFuel)
        m_airFuel->stopMeter();
}

} // namespace quorvex
