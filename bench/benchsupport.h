#pragma once
// Pieces shared by the benchmarks: a main window that shows nothing, dialogs nobody answers,
// a raw client for the same exchange with plain POSIX calls, CPU clocks.

#include "mainview.h"
#include "prompts.h"

#include <QByteArray>
#include <QString>

namespace quorvex::bench {

class NullView : public MainView
{
public:
    void setStatusText(const QString &) override {}
    void setStatusColor(StatusColor) override {}
    QString reportText() const override { return m_report; }
    void setReportText(const QString &t) override { m_report = t; }
    void setEcuNumber(const QString &) override {}
    void setFirmwareCaption(const QString &) override {}
    void setVinText(const QString &) override {}
    void clearDataList() override { m_lines = 0; }
    void addDataLine(const QString &) override { ++m_lines; }
    void setDataListRed(bool) override {}

    int lines() const { return m_lines; }

private:
    QString m_report;
    int m_lines = 0;
};

class NullPrompts : public Prompts
{
public:
    void message(const QString &, const QString &, Icon) override {}
    bool question(const QString &, const QString &) override { return false; }
    bool print(const QStringList &, QString *) override { return false; }
};

// Seconds per exchange of a minimal client on the device: wait for the ready mark, send the
// command, read until more than threshold characters arrived. Repeated count times.
double raw_seconds_per_exchange(const QString &device, const QByteArray &command, int threshold,
                                int count);

// CPU seconds of the calling thread (thread = true) or of the whole process.
double cpu_seconds(bool thread);

} // namespace quorvex::bench
