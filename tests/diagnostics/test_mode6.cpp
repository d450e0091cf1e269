// Service $06 through the pass-through mode: the entry fields, the result arithmetic, the block
// on the line and the ready marks around it.
#include "diagnostics/mode6.h"
#include "support/scriptedline.h"
#include "support/simfixture.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

TEST(Mode6Entries, WholeNumbersOrHexOnly)
{
    const std::pair<const char *, int> accepted[] = {
        {"26", 26},   {"0", 0},     {" 255 ", 255},    {"$1A", 26},        {"$ff", 255},
        {"&H1A", 26}, {"&h1a", 26}, {"0042", 42},      {"$0FF", 255},      {"&H0FF", 255},
        {"000", 0},   {"$00", 0},   {"00000255", 255}, {"&h0000000a", 10},
    };
    for (const auto &[text, id] : accepted)
        EXPECT_EQ(parse_id(QLatin1String(text)), id) << text;
    // "$-1" would be test $FF; leading zeros change nothing else.
    const QStringList refused = {
        "",       "$",    "&H",   "$GG",  "$-1",  "&H-F", "$+F",  "$ F",
        "-1",     "300",  "256",  "1e3",  "2.5",  "$100", "0256", "$0100",
        "&H0100", "-042", "+042", "0 42", "$0 F", "$0G",  "00x1",
    };
    for (const QString &text :
         refused + QStringList{QString(10000, u'9'), QString(10000, u'0') + "256"})
        EXPECT_EQ(parse_id(text), std::nullopt) << text.left(20).toStdString();
    EXPECT_EQ(id_box_text(QStringLiteral("$1A")), QStringLiteral("&H1A"));
    EXPECT_EQ(id_box_text(QStringLiteral("26")), QStringLiteral("26"));
    EXPECT_EQ(parse_scale(QStringLiteral("0.1")), 0.1);
    EXPECT_EQ(parse_scale(QStringLiteral("1e3")), 1000.0);
    for (const char *bad : {"", "abc", "inf", "nan", "1e999", "0,1"})
        EXPECT_EQ(parse_scale(QLatin1String(bad)), std::nullopt) << bad;
}

// A value over its maximum fails, one above its minimum passes: the window test reads both
// (test_test_windows.cpp), and the scan's list of tests too. Here the limit's rounding, the
// overflow and the header each acknowledgement chooses.
TEST(Mode6Results, RoundedLimitOverflowAndTheAcknowledgedHeader)
{
    const QByteArray limit125 = QByteArray::fromHex("486B104601000C007D");
    const std::optional<Mode6Result> result = mode6_result(limit125, 0.1, QStringLiteral("V"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->valueText, QStringLiteral("1.2V"));
    EXPECT_EQ(result->limitText, QStringLiteral("12V")); // 12.5 rounds to the even 12
    EXPECT_FALSE(result->minimum || result->fail);
    // A scale that makes a number overflow reads as an input error.
    EXPECT_FALSE(mode6_result(limit125, 1e308, QString()));
    EXPECT_FALSE(mode6_result(QByteArray::fromHex("486B10460101F401C2"), 1e7, QString()));

    const std::pair<const char *, std::pair<quint8, quint8>> headers[] = {
        {"RA4", {0x61, 0x6A}}, {"RA8", {0xC3, 0x33}}, {"RA1", {0x68, 0x6A}}, {"RA", {0x68, 0x6A}}};
    for (const auto &[ack, header] : headers)
        EXPECT_EQ(pass_through_header(QLatin1String(ack)), header) << ack;
}

namespace {
using Mode6Test = SimLinkTest;
} // namespace

// The window's tests run the request, the scan and their failures against the built-in car
// (test_test_windows.cpp); here an acknowledgement other than the default chooses the header.
TEST_F(Mode6Test, TheAcknowledgementChoosesTheBlocksHeader)
{
    sim::Scenario car;
    car.passThrough = 4;
    startSim(car);
    EXPECT_TRUE(RequestMode6(ctx, 6, 0x1A, 0x01, 6).positive());
    const QByteArray received = server->received();
    const qsizetype at = received.indexOf("F00504");
    ASSERT_GE(at, 0);
    // The block: 1, its length, the header the acknowledgement chose, service, TID, CID, zeros.
    EXPECT_EQ(received.mid(at + 6, 14), QByteArray::fromHex("0106616AF1061A01000000000000"));
}

// A real interface sends its ready marks every few milliseconds until it sees a command: one may
// come with or ahead of the acknowledgement, or, already on its way, ahead of the raw reply. None
// may shift the 13 bytes (a shifted reply reads as no response, or as another test's values).
TEST(Mode6Marks, StrayMarksAroundThePassThroughMessage)
{
    const QByteArray block = QByteArray::fromHex("0106686AF1060101000000000000");
    const QByteArray raw = QByteArray::fromHex("486B104601010001F401C20000");
    struct Row
    {
        const char *name;
        QByteArray acknowledgement;
        QByteArray aheadOfReply; // arrives alone, before the raw reply
    };
    const Row rows[] = {
        {"marks ahead of the acknowledgement", "SSRA1", ""},
        {"a mark behind the acknowledgement", "RA1S", ""},
        {"a mark between the block and its reply", "RA1", "S"},
        {"marks of both kinds ahead of the reply", "RA1", "SP"},
    };
    for (const Row &r : rows) {
        VirtualClock clock;
        ObdContext ctx(clock);
        ScriptedLine line(clock);
        ctx.attachSerial(&line);
        ctx.state.UseSerial = true;
        line.idleMark = "S";
        line.replyDelayMs = 5;
        line.replies = {{"F00504", r.acknowledgement}};
        line.answer = [&](const QByteArray &written) {
            EXPECT_EQ(written, block) << r.name;
            if (!r.aheadOfReply.isEmpty())
                line.feedAfter(1, r.aheadOfReply);
            return raw;
        };
        const Mode6Reply reply = RequestMode6(ctx, 6, 1, 1, 6);
        EXPECT_TRUE(reply.acknowledged) << r.name;
        EXPECT_EQ(reply.status, ExchangeStatus::Ok) << r.name;
        EXPECT_EQ(reply.bytes, raw) << r.name;
    }
}
