// The definitions file shipped with the program: its shape (one header line, then one sorted
// line per code, CR LF line ends, codes in the form the trouble-code report looks up), read by
// the loader, and the wording of codes a user meets most often.
#include "diagnostics/definitions.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace quorvex;

TEST(ShippedDefinitions, HeaderThenOneSortedAsciiCrLfLinePerCode)
{
    QFile file(QStringLiteral(QUORVEX_TROUBLECODE_FILE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << QUORVEX_TROUBLECODE_FILE;
    const QByteArray bytes = file.readAll();
    // Printable ASCII; every CR and every LF belongs to a CR LF, and the last line has one.
    ASSERT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_EQ(bytes.count('\r'), bytes.count("\r\n")) << "CR alone";
    EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n")) << "LF alone";
    const QByteArray text = QByteArray(bytes).replace("\r\n", "");
    for (const char c : text)
        ASSERT_TRUE(c >= 0x20 && c <= 0x7E) << "byte " << int(c);

    // The header is a title, never a code.
    const QStringList lines = split_definition_lines(bytes);
    ASSERT_GE(lines.size(), 2);
    EXPECT_FALSE(lines.first().isEmpty());
    EXPECT_FALSE(
        QRegularExpression(QStringLiteral("^[A-Z][0-9A-F]{4}")).match(lines.first()).hasMatch())
        << lines.first().toStdString();
    // Only the prefixes the report forms: P with any slot not starting with C, and U0 (a slot
    // starting with C). The generic families shipped are P0, P2 and U0. Strictly ascending
    // codes also means no code twice.
    static const QRegularExpression definition(
        QStringLiteral("^((P0|P2|U0)[0-9A-F]{3}) [^ ](.*[^ ])?$"));
    QString previous;
    QMap<QString, int> families;
    for (const QString &line : lines.mid(1)) {
        const QRegularExpressionMatch m = definition.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        EXPECT_FALSE(line.contains(QStringLiteral("  "))) << line.toStdString();
        EXPECT_LT(previous, m.captured(1)) << "out of order or twice: " << line.toStdString();
        previous = m.captured(1);
        ++families[m.captured(2)];
    }
    EXPECT_GE(lines.size() - 1, 2000);
    EXPECT_GE(families.value(QStringLiteral("P0")), 1000);
    EXPECT_GE(families.value(QStringLiteral("P2")), 700);
    EXPECT_GE(families.value(QStringLiteral("U0")), 250);

    // Read by the loader as it is, with the wording of codes a user meets most often.
    const LoadedDefinitions loaded = LoadTroubleCodes({QStringLiteral(QUORVEX_TROUBLECODE_FILE)});
    EXPECT_TRUE(loaded.errors.isEmpty());
    EXPECT_EQ(loaded.definitions.count(), lines.size());
    for (const char *line : {"P0171 System Too Lean (Bank 1)", "P0301 Cylinder 1 Misfire Detected",
                             "P0420 Catalyst System Efficiency Below Threshold (Bank 1)",
                             "U0100 Lost Communication With ECM/PCM \"A\""})
        EXPECT_EQ(FindTroubleCode(loaded.definitions, QLatin1String(line).left(5)),
                  QLatin1String(line));
}
