// Clearing the trouble codes, against replies given character for character and waits that
// end without one.
#include "diagnostics/clearcodes.h"
#include "support/scriptedline.h"
#include "support/simfixture.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::test;

namespace {
using ClearCodesTest = SimLinkTest;
} // namespace

// Service 04 is sent at once, without a question; only 44 at positions 8-9 reports the codes
// cleared, compared as text.
TEST_F(ClearCodesTest, ServiceByteAndEndedWaits)
{
    const QString cleared = QStringLiteral("Trouble Codes Cleared");
    const QString failed = QStringLiteral("Operation Failed");
    const QString none = QStringLiteral("\r\n");
    const struct
    {
        const char *name;
        QByteArray reply; // empty: nothing ever comes
        int stopFlagAtMs; // raised by another handler while the clearing waits; 0: never
        QString report;
        ExchangeStatus status;
        int waitedMs;
    } rows[] = {
        {"cleared (44)", "R486B104400", 0, cleared, ExchangeStatus::Ok, 0},
        {"a ready mark ahead of the reply", "SR486B104400", 0, cleared, ExchangeStatus::Ok, 0},
        {"negative response 7F", "R486B107F0422", 0, failed, ExchangeStatus::Ok, 0},
        {"not hex, though it would count as 68", "R486B103K00", 0, failed, ExchangeStatus::Ok, 0},
        {"ECU does not answer (S at character 2)", "RS000000000", 0, none,
         ExchangeStatus::EcuTimeout, 0},
        {"no reply within the link's bound", "", 0, none, ExchangeStatus::NoReply, 5000},
        {"wait ended by StopFlag", "", 50, none, ExchangeStatus::Stopped, 50},
    };
    ScriptedLine scripted(clock);
    scripted.idleMark = "S";
    ctx.attachSerial(&scripted);
    ctx.state.UseSerial = true;
    for (const auto &r : rows) {
        scripted.written.clear();
        scripted.replies["040404"] = r.reply;
        if (r.stopFlagAtMs)
            clock.callAfter(r.stopFlagAtMs, [this] { ctx.state.StopFlag = true; });
        const qint64 start = clock.nowMs();
        const ClearResult result = clear_trouble_codes(ctx);
        EXPECT_EQ(result.report, r.report) << r.name;
        EXPECT_EQ(result.status, r.status) << r.name;
        EXPECT_EQ(scripted.written, QList<QByteArray>{"040404"}) << r.name;
        EXPECT_EQ(clock.nowMs() - start, r.waitedMs) << r.name;
    }
}
