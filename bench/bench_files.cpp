// Hostile definitions files, run by hand: how long the loader takes on each (a named pipe, a
// link to /dev/zero, a file over the size limit, one with too many lines, the biggest file it
// accepts) and how long the window's list takes to fill with the biggest one (goal: a fraction
// of a second each, nothing blocking).
#include "benchsupport.h"
#include "diagnostics/definitions.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/stat.h>

using namespace quorvex;

namespace {

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("pipe"));
    ::mkfifo(QFile::encodeName(pipe).constData(), 0600);
    const QString zero = dir.filePath(QStringLiteral("zero"));
    QFile::link(QStringLiteral("/dev/zero"), zero);
    const QString big = dir.filePath(QStringLiteral("big"));
    write(big, QByteArray(kMaxDefinitionsBytes + 1, 'x'));
    const QString shortLines = dir.filePath(QStringLiteral("short"));
    write(shortLines, QByteArray(kMaxDefinitionsBytes / 2, 'a').replace("aa", "a\n"));
    const QString longLine = dir.filePath(QStringLiteral("long"));
    write(longLine, "P0301 " + QByteArray(1 << 20, 'x') + "\r\n");
    // The biggest file accepted: 100,000 lines of about 160 characters.
    QByteArray biggest;
    for (qsizetype i = 0; i < kMaxDefinitionLines; ++i)
        biggest +=
            QByteArray("P%1 ").replace("%1", QByteArray::number(i % 10000).rightJustified(4, '0')) +
            QByteArray(150, 'd') + "\r\n";
    const QString accepted = dir.filePath(QStringLiteral("accepted"));
    write(accepted, biggest);

    const std::pair<const char *, QString> rows[] = {
        {"named pipe", pipe},        {"link to /dev/zero", zero},
        {"16 MB + 1 byte", big},     {"8 MB of 1-character lines", shortLines},
        {"one 1 MB line", longLine}, {"100,000 lines of 160 characters", accepted},
    };
    std::printf("definitions loader (resident %ld kB before)\n", bench::resident_kb());
    for (const auto &[name, path] : rows) {
        QElapsedTimer t;
        t.start();
        const LoadedDefinitions loaded = LoadTroubleCodes({path});
        std::printf("  %-34s %7.1f ms  %6d lines  %s\n", name, double(t.nsecsElapsed()) / 1e6,
                    loaded.definitions.count(), loaded.errors.isEmpty() ? "loaded" : "refused");
    }
    const LoadedDefinitions loaded = LoadTroubleCodes({accepted});
    QListWidget list;
    QElapsedTimer t;
    t.start();
    list.addItems(loaded.definitions.lines());
    std::printf("  window list filled with %d lines: %.1f ms (resident %ld kB)\n", list.count(),
                double(t.nsecsElapsed()) / 1e6, bench::resident_kb());
    return 0;
}
