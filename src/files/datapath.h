#pragma once

#include <QString>

namespace quorvex {

// A file shipped with the program: <prefix>/share/quorvex/<relative> next to
// <prefix>/bin/quorvex (the build tree has the same layout).
QString data_path(const QString &relative);

} // namespace quorvex
