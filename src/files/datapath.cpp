#include "files/datapath.h"

#include <QCoreApplication>
#include <QDir>

namespace quorvex {

QString data_path(const QString &relative)
{
    // <prefix>/bin/quorvex reads <prefix>/share/quorvex/; the build tree has the same layout.
    return QDir::cleanPath(QDir(QCoreApplication::applicationDirPath())
                               .filePath(QStringLiteral("../share/quorvex/") + relative));
}

} // namespace quorvex
