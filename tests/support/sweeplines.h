#pragma once
// The vehicle data lines a run found, as the window lists them.

#include "livedata/sweep.h"

#include <QStringList>

namespace quorvex::test {

inline QStringList line_texts(const Sweep &sweep)
{
    QStringList out;
    for (const DataLine &line : sweep.lines())
        out << line.text();
    return out;
}

} // namespace quorvex::test
