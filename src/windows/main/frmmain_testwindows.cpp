// The main window's side of the test windows: the O2 sensor test, the service $06 tests and the
// vehicle information.
#include "windows/main/frmmain.h"

#include "widgets/controls.h"
#include "windows/mode6/frmmode6.h"
#include "windows/o2test/frmmode5.h"
#include "windows/vehicleinfo/vehicleinfowindow.h"

namespace quorvex {

void frmMain::Mode5_Click()
{
    if (!m_mode5) {
        m_mode5 = new frmMode5(m_ctx, m_live, m_prompts, this);
        m_mode5->setEchoHandler(
            [this](const QString &text) { setReportText(reportText() + text); });
        m_mode5->setOutcomeHandler(outcomeShower());
    }
    // Loaded anew each time it is opened after "EXIT": the sensor list follows O2Sensors.
    if (!m_mode5->isVisible() && m_mode5->Form_Load()) {
        m_mode5->show();
        m_mode5->raise();
    }
    Mode5->release();
}

void frmMain::mnuVehicleInfo_Click()
{
    if (!m_vehicleInfo) {
        m_vehicleInfo = new VehicleInfoWindow(m_ctx, m_prompts, this);
        m_vehicleInfo->setOutcomeHandler(outcomeShower());
    }
    m_vehicleInfo->show();
    m_vehicleInfo->raise();
    m_vehicleInfo->Read_Click();
}

void frmMain::mnuMode6_Click()
{
    if (!m_mode6) {
        m_mode6 = new frmMode6(m_ctx, m_prompts, this);
        m_mode6->setOutcomeHandler(outcomeShower());
    }
    m_mode6->show();
    m_mode6->raise();
}

} // namespace quorvex
