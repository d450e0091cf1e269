// Handlers of the trouble-code buttons and the loading of the trouble-code definitions.
#include "frmmain.h"

#include "clearcodes.h"
#include "troublecodes.h"

#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>

namespace quorvex {

QStringList frmMain::defaultTroubleCodeLocations()
{
    // The data shipped with the program (<prefix>/bin/quorvex reads <prefix>/share/quorvex/;
    // the build tree has the same layout), then the system-wide copy.
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString shipped = programDir.filePath(QStringLiteral("../share/quorvex/troublecode.tcf"));
    return {QDir::cleanPath(shipped), QStringLiteral("/usr/share/quorvex/troublecode.tcf")};
}

void frmMain::LoadTroubleCodes()
{
    m_troubleCodes = quorvex::LoadTroubleCodes(m_ctx, m_troubleCodeLocations);
    List2->clear();
    List2->addItems(m_troubleCodes.lines());
}

void frmMain::Mode3_Click()
{
    pressButton(Mode3);
    request_trouble_codes(m_ctx, m_troubleCodes);
    // Released however the run ended, the stored-code time-out included.
    releaseButton(Mode3);
}

void frmMain::Mode4_Click()
{
    pressButton(Mode4);
    clear_trouble_codes(m_ctx);
    releaseButton(Mode4);
}

} // namespace quorvex
