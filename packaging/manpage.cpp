// quorvex-manpage: writes the manual page quorvex.1 from the program's own --help text, so the
// two cannot drift apart. The help text's layout is read generically: the "Usage:" block is the
// synopsis, indented lines that start with a dash are options (a description continues on the
// following indented lines), every other block is a paragraph.
//
//   quorvex-manpage OUTPUT VERSION

#include "app/commandline.h"

#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>

#include <cstdio>

namespace {

// Escapes text for a roff text line: backslashes, dashes that start an option word (a minus
// sign, not a hyphen, so the reader can copy the option) and a control character at the start.
QString roff(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar before = i > 0 ? text.at(i - 1) : QChar(u' ');
        if (c == u'\\')
            out += QStringLiteral("\\e");
        else if (c == u'-' &&
                 (before == u' ' || before == u'[' || before == u'(' || before == u'-'))
            out += QStringLiteral("\\-");
        else
            out += c;
    }
    if (out.startsWith(u'.') || out.startsWith(u'\''))
        out.prepend(QStringLiteral("\\&"));
    return out;
}

// An option's term: the option word in bold, its arguments in italics (brackets stay roman).
QString optionTerm(const QString &term)
{
    QStringList words;
    for (const QString &word : term.split(u' ', Qt::SkipEmptyParts)) {
        if (word.startsWith(u'-')) {
            words << QStringLiteral("\\fB%1\\fR").arg(roff(word));
            continue;
        }
        qsizetype first = 0, last = word.size();
        while (first < last && word.at(first) == u'[')
            ++first;
        while (last > first && word.at(last - 1) == u']')
            --last;
        words << roff(word.left(first)) + QStringLiteral("\\fI") +
                     roff(word.mid(first, last - first)) + QStringLiteral("\\fR") + word.mid(last);
    }
    return words.join(u' ');
}

QString joined(const QStringList &lines)
{
    QStringList words;
    for (const QString &line : lines)
        words << line.simplified();
    return words.join(u' ');
}

QString manPage(const QString &usage, const QString &version, QString *error)
{
    static const QRegularExpression optionLine(QStringLiteral("^\\s+(-\\S.*?)(?:\\s{2,}(.*))?$"));
    static const QRegularExpression continuationLine(QStringLiteral("^\\s+(\\S.*)$"));

    QString synopsis, options, paragraphs;
    bool inOption = false;
    const QStringList blocks = usage.split(QStringLiteral("\n\n"), Qt::SkipEmptyParts);
    for (const QString &block : blocks) {
        const QStringList lines = block.split(u'\n', Qt::SkipEmptyParts);
        if (block.startsWith(QStringLiteral("Usage: "))) {
            const QString text = joined(lines).mid(7);
            const qsizetype space = text.indexOf(u' ');
            synopsis = QStringLiteral(".B %1\n%2\n")
                           .arg(roff(text.left(space)), roff(text.mid(space + 1)));
            continue;
        }
        if (!optionLine.match(lines.first()).hasMatch()) {
            paragraphs += QStringLiteral(".PP\n%1\n").arg(roff(joined(lines)));
            continue;
        }
        for (const QString &line : lines) {
            const QRegularExpressionMatch option = optionLine.match(line);
            if (option.hasMatch()) {
                options += QStringLiteral(".TP\n%1\n").arg(optionTerm(option.captured(1)));
                if (!option.captured(2).isEmpty())
                    options += roff(option.captured(2)) + u'\n';
                inOption = true;
            } else if (const QRegularExpressionMatch more = continuationLine.match(line);
                       inOption && more.hasMatch()) {
                options += roff(more.captured(1)) + u'\n';
            } else {
                *error = QStringLiteral("cannot read this line of the help text: %1").arg(line);
                return {};
            }
        }
    }
    if (synopsis.isEmpty() || options.isEmpty()) {
        *error = QStringLiteral("the help text has no \"Usage:\" line or no options");
        return {};
    }

    // The sections --help has no room for.
    return QStringLiteral(".TH QUORVEX 1 \"\" \"Quorvex %1\" \"User Commands\"\n"
                          ".SH NAME\n"
                          "quorvex \\- OBD\\-II diagnostics through a scan interface\n"
                          ".SH SYNOPSIS\n")
               .arg(version) +
           synopsis +
           QStringLiteral(
               ".SH DESCRIPTION\n"
               "Quorvex talks to an OBD\\-II scan interface on a serial line or USB and shows "
               "the live engine data, the MIL and the readiness monitors, stored and pending "
               "trouble codes with their definitions, the freeze frame and the VIN of the car "
               "the interface is plugged into. It can clear the codes, plot and log live data, "
               "and run the O2 sensor and on\\-board monitoring tests.\n") +
           QStringLiteral(".SH OPTIONS\n") + options + paragraphs +
           QStringLiteral(
               ".SH FILES\n"
               ".TP\n"
               ".I /usr/share/quorvex/\n"
               "The trouble\\-code definitions, the pictures and the simulator's scenarios. The "
               "program reads them from \\fIshare/quorvex/\\fR beside the \\fIbin/\\fR directory "
               "that holds it, wherever it is installed (\\fI/usr/local/share/quorvex/\\fR for "
               "a program in \\fI/usr/local/bin/\\fR).\n"
               ".TP\n"
               ".I /usr/share/quorvex/udev/70\\-quorvex\\-usb.rules\n"
               "A udev rule that lets the user at the seat open the USB interface; a template "
               "whose vendor and product id are to be filled in before it goes to "
               "\\fI/etc/udev/rules.d/\\fR (see the file).\n"
               ".SH SEE ALSO\n"
               "\\fBquorvex\\-sim \\-\\-help\\fR, \\fBudevadm\\fR(8), "
               "\\fI/usr/share/doc/quorvex/README.md\\fR\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fputs("usage: quorvex-manpage OUTPUT VERSION\n", stderr);
        return 2;
    }
    QString error;
    const QString page = manPage(quorvex::usage_text(), QString::fromLocal8Bit(argv[2]), &error);
    if (page.isEmpty()) {
        std::fprintf(stderr, "quorvex-manpage: %s\n", qPrintable(error));
        return 1;
    }
    QSaveFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(page.toUtf8()) < 0 ||
        !file.commit()) {
        std::fprintf(stderr, "quorvex-manpage: %s: %s\n", argv[1], qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
