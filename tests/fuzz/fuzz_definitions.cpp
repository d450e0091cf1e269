// libFuzzer target over the trouble-code definitions: splitting a file's contents into lines,
// and the index from a code to its first line. The first byte chooses the case:
//   0  split_definition_lines on the rest
//   1  the index over the lines of the rest, asked for every line's code and for a code taken
//      from the input
//   2  as 1, on contents whose first line is very long (64 bytes to 16 KiB), which the
//      loader may cut
#include "fuzzsupport.h"

#include "diagnostics/definitions.h"

#include <QSet>

using namespace quorvex;
using namespace quorvex::fuzz;

namespace {

// Longer lines may be cut; the shipped file's longest is 104 characters.
constexpr qsizetype kPlainLineLength = 100;

// The lines of contents whose line ends are all LF or CR LF (no CR elsewhere) and whose lines
// are all of ordinary length; false for any other contents.
bool plainLines(const QByteArray &contents, QStringList *lines)
{
    qsizetype start = 0;
    while (start < contents.size()) {
        qsizetype end = contents.indexOf('\n', start);
        if (end < 0)
            end = contents.size();
        QByteArray line = contents.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.contains('\r') || line.size() > kPlainLineLength)
            return false;
        *lines << QString::fromUtf8(line);
        start = end + 1;
    }
    return true;
}

void checkSplit(Input &in)
{
    const QByteArray contents = in.rest();
    const QStringList lines = split_definition_lines(contents);
    for (const QString &line : lines)
        FUZZ_REQUIRE(!line.contains(u'\n'));
    FUZZ_REQUIRE(lines.isEmpty() == contents.isEmpty());
    QStringList expected;
    if (plainLines(contents, &expected))
        FUZZ_REQUIRE(lines == expected);
}

void checkIndex(const QString &probe, const QByteArray &contents)
{
    const TroubleCodeDefinitions definitions(split_definition_lines(contents));
    const QStringList &lines = definitions.lines();
    FUZZ_REQUIRE(definitions.count() == lines.size());
    for (const QString &line : lines)
        FUZZ_REQUIRE(!line.contains(u'\n'));

    // Each line is found by its first five characters unless an earlier line starts with them.
    QSet<QString> seen;
    for (const QString &line : lines) {
        if (line.size() < 5)
            continue;
        const QString code = line.left(5);
        const QString found = definitions.find(code);
        FUZZ_REQUIRE(found.startsWith(code));
        if (!seen.contains(code)) {
            FUZZ_REQUIRE(found == line);
            seen.insert(code);
        }
    }

    // A code is found exactly when some line starts with it, and only a five-character one.
    const QString found = definitions.find(probe);
    bool anyLine = false;
    for (const QString &line : lines)
        anyLine = anyLine || (line.size() >= 5 && line.startsWith(probe) && probe.size() == 5);
    FUZZ_REQUIRE(found.isNull() != anyLine);
    const QString shown = FindTroubleCode(definitions, probe);
    FUZZ_REQUIRE(anyLine ? shown == found : shown == QString::fromUtf16(kDefinitionNotFound));
}

void checkIndexOfRest(Input &in)
{
    const QString probe = QString::fromUtf8(in.bytes(in.byte() % 8));
    checkIndex(probe, in.rest());
}

// A first line of 64 << (0..8) bytes, the rest of the input over and over with its line ends
// as blanks, then the rest as it is.
void checkIndexAfterLongLine(Input &in)
{
    const qsizetype length = qsizetype(64) << (in.byte() % 9);
    const QString probe = QString::fromUtf8(in.bytes(in.byte() % 8));
    const QByteArray rest = in.rest();
    QByteArray unit = rest.isEmpty() ? QByteArray("P0301 ") : rest;
    unit.replace('\r', ' ').replace('\n', ' ');
    checkIndex(probe, unit.repeated(length / unit.size() + 1).left(length) + "\r\n" + rest);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return runCase(data, size, {checkSplit, checkIndexOfRest, checkIndexAfterLongLine});
}
