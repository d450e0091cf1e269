#pragma once

#include <QString>
#include <QStringList>

namespace quorvex {

// The one seam for every modal message box, file dialog and print job of every window, so
// tests can answer and record them. The application's implementation shows real dialogs.
class Prompts
{
public:
    enum class Icon { None, Information, Question, Warning, Critical };

    virtual ~Prompts() = default;

    // Modal box with an OK button. An empty title means the application's default title.
    virtual void message(const QString &text, const QString &title, Icon icon) = 0;
    // Modal Yes/No question; true for Yes. No is the default button.
    virtual bool question(const QString &text, const QString &title) = 0;
    // Sends the lines to the default printer, one print line each. False with a reason when
    // no printer is available or the job failed.
    virtual bool print(const QStringList &lines, QString *reason) = 0;
    // A file to write, chosen in a save dialog that offers `filters` ("PNG image (*.png)"),
    // starting in `directory`; empty when the user cancels.
    virtual QString saveFileName(const QString &caption, const QString &directory,
                                 const QStringList &filters) = 0;
    // One line of text asked for under `label`, starting as `initial`; a null string when the
    // user cancels.
    virtual QString textInput(const QString &label, const QString &title,
                              const QString &initial) = 0;
    // An existing file to read, chosen in an open dialog as above; empty when cancelled.
    virtual QString openFileName(const QString &caption, const QString &directory,
                                 const QStringList &filters) = 0;
};

} // namespace quorvex
