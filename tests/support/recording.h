#pragma once

#include "mainview.h"
#include "prompts.h"

#include <QList>
#include <QStringList>

#include <deque>

namespace quorvex::test {

// A main window stand-in that keeps what the services wrote, for headless tests.
class RecordingView : public MainView
{
public:
    QString statusText = QStringLiteral("ECU Not Ready");
    StatusColor statusColor = StatusColor::Red;
    QList<StatusColor> colorHistory;
    QString report;
    QString ecuNumber;
    QString firmware;
    QString vin;
    QStringList lines;
    bool listRed = false;

    void setStatusText(const QString &text) override { statusText = text; }
    void setStatusColor(StatusColor color) override
    {
        statusColor = color;
        colorHistory << color;
    }
    QString reportText() const override { return report; }
    void setReportText(const QString &text) override { report = text; }
    void setEcuNumber(const QString &caption) override { ecuNumber = caption; }
    void setFirmwareCaption(const QString &caption) override { firmware = caption; }
    void setVinText(const QString &text) override { vin = text; }
    void clearDataList() override { lines.clear(); }
    void addDataLine(const QString &line) override { lines << line; }
    void setDataListRed(bool red) override { listRed = red; }
};

// Answers questions from a queue (No when it runs dry) and records every box and print job.
class RecordingPrompts : public Prompts
{
public:
    struct Box
    {
        QString text;
        QString title;
        Icon icon = Icon::None;
    };
    QList<Box> boxes;
    QList<Box> questions;
    std::deque<bool> answers;
    QList<QStringList> printed;
    bool printerAvailable = true;

    void message(const QString &text, const QString &title, Icon icon) override
    {
        boxes.append({text, title, icon});
    }
    bool question(const QString &text, const QString &title) override
    {
        questions.append({text, title, Icon::Question});
        if (answers.empty())
            return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    bool print(const QStringList &lines, QString *reason) override
    {
        if (!printerAvailable) {
            if (reason)
                *reason = QStringLiteral("No printer is installed.");
            return false;
        }
        printed.append(lines);
        return true;
    }
};

} // namespace quorvex::test
