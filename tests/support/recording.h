#pragma once

#include "widgets/prompts.h"

#include <QList>
#include <QStringList>

#include <deque>

namespace quorvex::test {

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
    std::deque<QString> files; // answers of the save dialog; empty: cancelled
    QStringList fileFolders;   // the folder each save dialog started in
    QList<QStringList> fileFilters;
    std::deque<QString> texts; // answers of the text prompts; empty: cancelled
    struct TextPrompt
    {
        QString label;
        QString initial;
    };
    QList<TextPrompt> textPrompts;
    std::deque<QString> openFiles; // answers of the open dialog, as files

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
    QString saveFileName(const QString &, const QString &directory,
                         const QStringList &filters) override
    {
        fileFilters.append(filters);
        fileFolders.append(directory);
        if (files.empty())
            return QString();
        QString file = files.front();
        files.pop_front();
        return file;
    }
    QString textInput(const QString &label, const QString &, const QString &initial) override
    {
        textPrompts.append({label, initial});
        if (texts.empty())
            return QString();
        QString text = texts.front();
        texts.pop_front();
        return text;
    }

    QString openFileName(const QString &, const QString &directory,
                         const QStringList &filters) override
    {
        fileFilters.append(filters);
        fileFolders.append(directory);
        if (openFiles.empty())
            return QString();
        QString file = openFiles.front();
        openFiles.pop_front();
        return file;
    }
};

} // namespace quorvex::test
