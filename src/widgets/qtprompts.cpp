#include "widgets/qtprompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace quorvex {

namespace {
QMessageBox::Icon toBoxIcon(Prompts::Icon icon)
{
    switch (icon) {
    case Prompts::Icon::Information:
        return QMessageBox::Information;
    case Prompts::Icon::Question:
        return QMessageBox::Question;
    case Prompts::Icon::Warning:
        return QMessageBox::Warning;
    case Prompts::Icon::Critical:
        return QMessageBox::Critical;
    case Prompts::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

void QtPrompts::message(const QString &text, const QString &title, Icon icon)
{
    QMessageBox box(toBoxIcon(icon), title.isEmpty() ? QApplication::applicationName() : title,
                    text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool QtPrompts::question(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool QtPrompts::print(const QStringList &lines, QString *reason)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        if (reason)
            *reason = QStringLiteral("No printer is installed.");
        return false;
    }
    QPrinter printer(info);
    printer.setDocName(QStringLiteral("Quorvex report"));
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (reason)
            *reason =
                QStringLiteral("The printer %1 could not be started.").arg(info.printerName());
        return false;
    }
    // Letters drawn one glyph each: a ligature ("fi" in "Misfire") would leave the words of a
    // PDF printout unsearchable.
    QFont font = painter.font();
    font.setStyleStrategy(QFont::PreferNoShaping);
    painter.setFont(font);
    const QRect page = painter.viewport();
    const int lineHeight = painter.fontMetrics().lineSpacing();
    int y = lineHeight;
    auto emitLine = [&](const QString &line) {
        if (y > page.height() - lineHeight) {
            printer.newPage();
            y = lineHeight;
        }
        painter.drawText(0, y, line);
        y += lineHeight;
    };
    // Multi-line texts (the report window) print one physical line per text line.
    for (const QString &line : lines) {
        const QStringList parts =
            QString(line).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split(u'\n');
        for (const QString &part : parts)
            emitLine(part);
    }
    // A job the printer system refused is not reported as printed.
    if (!painter.end() || printer.printerState() == QPrinter::Error) {
        if (reason)
            *reason =
                QStringLiteral("The printer %1 did not take the job.").arg(info.printerName());
        return false;
    }
    return true;
}

QString QtPrompts::saveFileName(const QString &caption, const QString &directory,
                                const QStringList &filters)
{
    return QFileDialog::getSaveFileName(m_parent, caption, directory,
                                        filters.join(QStringLiteral(";;")));
}

QString QtPrompts::textInput(const QString &label, const QString &title, const QString &initial)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_parent, title.isEmpty() ? QApplication::applicationName() : title,
                              label, QLineEdit::Normal, initial, &ok);
    return ok ? text : QString();
}

QString QtPrompts::openFileName(const QString &caption, const QString &directory,
                                const QStringList &filters)
{
    return QFileDialog::getOpenFileName(m_parent, caption, directory,
                                        filters.join(QStringLiteral(";;")));
}

} // namespace quorvex
