#pragma once

#include "link/protocol.h"
#include "livedata/decoders.h"

#include <QList>
#include <QString>

#include <functional>

namespace quorvex {

// One line of the vehicle data window: the item it shows (a PID, or 18 for the fuel economy)
// and what its decoder found.
struct DataLine
{
    int code = 0;
    PidItem item;
    QString text() const { return item.label + item.valueText + item.units; }
};

// What a current-data or freeze-frame run has found so far: the report window's text and the
// vehicle data lines, in the order found, and how its exchanges went. The window renders each
// line and each new report text as they come (the callbacks), so a long run fills the window as
// it goes; tests read the whole at the end.
class Sweep : public RunOutcome
{
public:
    // The vehicle data window keeps at most this many lines; lines beyond it are not listed.
    static constexpr int kMaxLines = 91;

    explicit Sweep(QString report = QString()) : m_report(std::move(report)) {}

    std::function<void(const DataLine &)> onLine;
    std::function<void(const QString &)> onReport;

    const QString &report() const { return m_report; }
    void setReport(const QString &text);
    void appendReport(const QString &text) { setReport(m_report + text); }

    const QList<DataLine> &lines() const { return m_lines; }
    bool full() const { return m_lines.size() >= kMaxLines; }
    void addLine(const DataLine &line);

    // Freeze-frame values are listed in red.
    bool listRed = false;

    // accept() (RunOutcome): a failure that ends the run (no vehicle contact, a silent
    // interface, a lost link) makes the dispatchers ask nothing more; any other failure only
    // costs its item its line.

private:
    QString m_report;
    QList<DataLine> m_lines;
};

} // namespace quorvex
