// The definitions file shipped with the program: its shape (one header line, then one sorted
// line per code, CR LF line ends, codes in the form the trouble-code report looks up) and the
// wording of codes a user meets most often.
#include "definitions.h"
#include "obdcontext.h"
#include "recording.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {

const QString kShippedFile = QStringLiteral(QUORVEX_TROUBLECODE_FILE);

QByteArray shippedBytes()
{
    QFile file(kShippedFile);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << kShippedFile.toStdString();
    return file.readAll();
}

} // namespace

TEST(ShippedDefinitions, PlainAsciiWithCrLfLineEnds)
{
    const QByteArray bytes = shippedBytes();
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (c == '\r')
            ASSERT_TRUE(i + 1 < bytes.size() && bytes.at(i + 1) == '\n') << "CR alone at " << i;
        else if (c == '\n')
            ASSERT_TRUE(i > 0 && bytes.at(i - 1) == '\r') << "LF alone at " << i;
        else
            ASSERT_TRUE(c >= 0x20 && c <= 0x7E) << "byte " << int(c) << " at " << i;
    }
}

TEST(ShippedDefinitions, HeaderThenOneSortedLinePerCode)
{
    const QStringList lines = split_definition_lines(shippedBytes());
    ASSERT_GE(lines.size(), 2);
    // The header is a title, never a code.
    static const QRegularExpression codeStart(QStringLiteral("^[A-Z][0-9A-F]{4}"));
    EXPECT_FALSE(lines.first().isEmpty());
    EXPECT_FALSE(codeStart.match(lines.first()).hasMatch()) << lines.first().toStdString();

    // Only the prefixes the report forms: P with any slot not starting with C, and U0 (a slot
    // starting with C). The generic families shipped are P0, P2 and U0.
    static const QRegularExpression definition(
        QStringLiteral("^((P0|P2|U0)[0-9A-F]{3}) [^ ](.*[^ ])?$"));
    QSet<QString> seen;
    QString previous;
    QMap<QString, int> families;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        const QRegularExpressionMatch m = definition.match(line);
        ASSERT_TRUE(m.hasMatch()) << "line " << i + 1 << ": " << line.toStdString();
        EXPECT_FALSE(line.contains(QStringLiteral("  "))) << line.toStdString();
        const QString code = m.captured(1);
        EXPECT_FALSE(seen.contains(code)) << "twice: " << code.toStdString();
        EXPECT_LT(previous, code) << "out of order: " << code.toStdString();
        seen.insert(code);
        previous = code;
        ++families[m.captured(2)];
    }
    EXPECT_GE(seen.size(), 2000);
    EXPECT_GE(families.value(QStringLiteral("P0")), 1000);
    EXPECT_GE(families.value(QStringLiteral("P2")), 700);
    EXPECT_GE(families.value(QStringLiteral("U0")), 250);
}

TEST(ShippedDefinitions, WordingOfCommonCodesThroughTheLoader)
{
    RecordingView view;
    RecordingPrompts prompts;
    ObdContext ctx{view, prompts};
    const TroubleCodeDefinitions defs = LoadTroubleCodes(ctx, {kShippedFile});
    EXPECT_TRUE(prompts.boxes.isEmpty());
    const char *expected[] = {
        "P0101 Mass or Volume Air Flow \"A\" Circuit Range/Performance",
        "P0128 Coolant Thermostat (Coolant Temperature Below Thermostat Regulating Temperature)",
        "P0171 System Too Lean (Bank 1)",
        "P0300 Random/Multiple Cylinder Misfire Detected",
        "P0301 Cylinder 1 Misfire Detected",
        "P0420 Catalyst System Efficiency Below Threshold (Bank 1)",
        "P0442 Evaporative Emission System Leak Detected (small leak)",
        "P0455 Evaporative Emission System Leak Detected (large leak)",
        "P0500 Vehicle Speed Sensor \"A\"",
        "P0700 Transmission Control System (MIL Request)",
        "P2096 Post Catalyst Fuel Trim System Too Lean (Bank 1)",
        "U0001 High Speed CAN Communication Bus",
        "U0100 Lost Communication With ECM/PCM \"A\"",
        "U0121 Lost Communication With Anti-Lock Brake System (ABS) Control Module",
    };
    for (const char *line : expected) {
        const QString text = QString::fromLatin1(line);
        EXPECT_EQ(FindTroubleCode(ctx, defs, text.left(5)), text);
    }
}
