// The pure parts of the link: reply field access, the interval timer, leading numbers.
#include "link/connection.h"
#include "link/reply.h"
#include "link/timing.h"

#include <gtest/gtest.h>

using namespace quorvex;

TEST(ReplyFields, MissingPositionsReadAsZeroBytesAndMarkNothing)
{
    struct Row
    {
        const char *name;
        QString reply;
        int pos;
        int n;
        QString expected;
    };
    const Row rows[] = {
        {"inside", QStringLiteral("R486B104100BE3EB811"), 6, 2, QStringLiteral("10")},
        {"straddles the end", QStringLiteral("R486B1"), 6, 2, QStringLiteral("10")},
        {"half past the end", QStringLiteral("R486B"), 6, 2, QStringLiteral("00")},
        {"partly missing", QStringLiteral("R486B1"), 7, 2, QStringLiteral("00")},
        {"empty reply", QString(), 12, 2, QStringLiteral("00")},
        {"position before the start", QStringLiteral("AB"), 0, 2, QStringLiteral("0A")},
    };
    for (const Row &r : rows)
        EXPECT_EQ(reply_field(r.reply, r.pos, r.n), r.expected) << r.name;
    // A marker is tested only on a character that arrived.
    EXPECT_TRUE(reply_is(QStringLiteral("RS000"), 2, u'S'));
    EXPECT_TRUE(reply_is(QStringLiteral("R0S00"), 3, u'S'));
    EXPECT_FALSE(reply_is(QStringLiteral("R"), 2, u'S'));
    EXPECT_FALSE(reply_is(QString(), 1, u'S'));
    EXPECT_EQ(reply_char(QStringLiteral("AB"), 3), QChar(u'\0'));
}

TEST(Timing, MeasuresIntervalsInSecondsAcrossThirtyTwoBits)
{
    // 2^32 ms after boot a 32-bit tick counter wraps to 0; the interval crosses that moment.
    qint64 now = (qint64(1) << 32) - 500;
    Timing t([&now] { return now; });
    EXPECT_EQ(t.ElapsedTime(), 0.0); // no Finish yet
    t.Start();
    now += 250;
    EXPECT_DOUBLE_EQ(t.CurrentTime(), 0.25);
    now += 1250;
    t.Finish();
    EXPECT_DOUBLE_EQ(t.ElapsedTime(), 1.5);
    t.Start();
    EXPECT_EQ(t.ElapsedTime(), 0.0); // Start clears the last measurement
}

TEST(LeadingNumber, ReadsTheNumericStartOfAText)
{
    struct Row
    {
        QString text;
        double expected;
    };
    const Row rows[] = {
        {QStringLiteral("3.40"), 3.4}, {QStringLiteral("3.09"), 3.09},
        {QStringLiteral("4.0x"), 4.0}, {QStringLiteral(" 12"), 12.0},
        {QStringLiteral("x3.4"), 0.0}, {QString(), 0.0},
        {QStringLiteral("."), 0.0},    {QStringLiteral("-1.5"), -1.5},
    };
    for (const Row &r : rows)
        EXPECT_DOUBLE_EQ(leading_number(r.text), r.expected) << r.text.toStdString();
}
