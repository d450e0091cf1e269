#include "livedata/sweep.h"

namespace quorvex {

void Sweep::setReport(const QString &text)
{
    m_report = text;
    if (onReport)
        onReport(m_report);
}

void Sweep::addLine(const DataLine &line)
{
    if (full())
        return;
    m_lines.append(line);
    if (onLine)
        onLine(line);
}

} // namespace quorvex
