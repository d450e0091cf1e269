// Handlers of the trouble-code buttons and the loading of the trouble-code definitions.
#include "windows/main/frmmain.h"

#include "diagnostics/clearcodes.h"
#include "diagnostics/permanentcodes.h"
#include "diagnostics/troublecodes.h"
#include "files/datapath.h"
#include "widgets/controls.h"
#include "widgets/prompts.h"

#include <QListWidget>

namespace quorvex {

QStringList frmMain::defaultTroubleCodeLocations()
{
    // The data shipped with the program, then the system-wide copy.
    return {data_path(QStringLiteral("troublecode.tcf")),
            QStringLiteral("/usr/share/quorvex/troublecode.tcf")};
}

void frmMain::LoadTroubleCodes()
{
    LoadedDefinitions loaded = quorvex::LoadTroubleCodes(m_troubleCodeLocations);
    for (const QString &error : loaded.errors)
        m_prompts.message(error, QString::fromUtf16(kDefinitionsErrorTitle), Prompts::Icon::None);
    m_troubleCodes = std::move(loaded.definitions);
    List2->clear();
    List2->addItems(m_troubleCodes.lines());
}

void frmMain::Mode3_Click()
{
    Mode3->press();
    const TroubleCodeRun run =
        request_trouble_codes(m_ctx, m_troubleCodes, [this](const QString &reportSoFar) {
            setReportText(reportSoFar);
            return m_prompts.question(QStringLiteral("The MIL is off, read codes anyway?"),
                                      QStringLiteral("Read Codes?"));
        });
    if (run.status != ExchangeStatus::LinkLost) {
        setReportText(run.report);
        showOutcome(run.status);
    }
    // Released however the run ended, the stored-code time-out included.
    Mode3->release();
}

void frmMain::PermanentCodes_Click()
{
    PermanentCodes->press();
    const PermanentCodeRun run = request_permanent_codes(m_ctx, m_troubleCodes);
    if (run.status != ExchangeStatus::LinkLost) {
        setReportText(run.report);
        showOutcome(run.status);
    }
    PermanentCodes->release();
}

void frmMain::Mode4_Click()
{
    Mode4->press();
    const ClearResult result = clear_trouble_codes(m_ctx);
    if (result.status != ExchangeStatus::LinkLost) {
        setReportText(result.report);
        showOutcome(result.status);
    }
    Mode4->release();
}

} // namespace quorvex
