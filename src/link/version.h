#pragma once

#include <QString>

// QUORVEX_VERSION is the project's version, set by the build from CMakeLists.txt ("3.40"): the
// program's level in its title bar, its message boxes' titles, --version and the firmware id
// the ELM327 driver reports for itself.
#ifndef QUORVEX_VERSION
#error "QUORVEX_VERSION is set by the build"
#endif

namespace quorvex {

// The title of the program's message boxes: "Quorvex 3.40".
inline QString message_title()
{
    return QStringLiteral("Quorvex " QUORVEX_VERSION);
}

} // namespace quorvex
