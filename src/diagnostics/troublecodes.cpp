#include "troublecodes.h"

#include "definitions.h"
#include "mainview.h"
#include "numberforms.h"
#include "obdcontext.h"
#include "prompts.h"
#include "protocol.h"
#include "reply.h"

namespace quorvex {

namespace {
const QString kCrLf = QStringLiteral("\r\n");

constexpr int kStatusThreshold = 18; // "010109": more than 18 characters
constexpr int kCodesThreshold = 21;  // "030A0A" and "070A0A": more than 21 characters
// The last position each reply is read at: byte A of PID 01, the third code slot.
constexpr int kStatusLength = 13;
constexpr int kCodesLength = 21;

constexpr double kStoredCodesLimitSeconds = 10.0;

constexpr int kSlotCount = 3;
constexpr int kFirstSlot = 10; // positions 10-13, 14-17, 18-21
constexpr int kSlotLength = 4;
constexpr int kNoPendingHeader = 0xFE; // first header byte FE or FF: no pending code

// The start of every exchange: ready check, stale input dropped, command sent. The command
// goes out even when the check raised StopFlag; the wait after it then ends at once.
void send_request(ObdContext &ctx, const QString &command)
{
    wait_for_ECU(ctx);
    discard_input(ctx);
    ctx.link.OBDoutput(command);
}

// The reply without a ready mark ahead of it, or empty when it does not reach the last
// position read: a wait ended by StopFlag or by the link's bound leaves nothing to decode.
QString usable_reply(const QString &reply, int lastPosition)
{
    const QString stripped = strip_leading_mark(reply);
    return stripped.size() >= lastPosition ? stripped : QString();
}

void show_timeout(ObdContext &ctx)
{
    ctx.view.setStatus(QString::fromUtf16(kEcuTimeout), StatusColor::Red);
}

QString slot_at(const QString &reply, int slot)
{
    return reply_field(reply, kFirstSlot + kSlotLength * slot, kSlotLength);
}

// Service 01 PID 01: the ECU line, MIL state and count. Returns false when the ECU did not
// answer; *count is then 0.
bool report_mil_status(ObdContext &ctx, int *count)
{
    *count = 0;
    send_request(ctx, QStringLiteral("010109"));
    const QString reply = usable_reply(await_reply(ctx, kStatusThreshold).reply, kStatusLength);
    if (reply.isEmpty() || reply_is(reply, 2, u'S')) {
        show_timeout(ctx);
        return false;
    }
    MainView &view = ctx.view;
    view.setStatus(QString::fromUtf16(kEcuConnected), StatusColor::Green);
    view.appendReport(QStringLiteral("ECU #=") + reply_field(reply, 6, 2) + kCrLf);
    QString byteA = reply_byte(reply, 12);
    int a = conv_hex(byteA);
    if (a > 127) {
        view.appendReport(QStringLiteral("MIL is ON"));
        a -= 128;
    } else {
        view.appendReport(QStringLiteral("MIL is OFF"));
    }
    *count = a;
    view.appendReport(kCrLf + QStringLiteral("Vehicle Reports ") + S(a) +
                      QStringLiteral(" Stored Trouble Code(s)") + kCrLf);
    return true;
}

// Service 03. Returns false when the reply did not come within the limit (the run ends).
bool report_stored_codes(ObdContext &ctx, const TroubleCodeDefinitions &definitions, int count)
{
    send_request(ctx, QStringLiteral("030A0A"));
    const ReplyWait wait = await_reply(ctx, kCodesThreshold, kStoredCodesLimitSeconds);
    if (wait.timedOut) {
        ctx.view.appendReport(QStringLiteral("==== Timeout waiting for Trouble Codes") + kCrLf);
        return false;
    }
    // An ECU that did not answer ("S" at character 2) has no codes to show: reading its
    // zero-filled slots would list P0000 as a stored code.
    QString reply = usable_reply(wait.reply, kCodesLength);
    if (reply.isEmpty() || reply_is(reply, 2, u'S')) {
        show_timeout(ctx);
        return true;
    }
    if (reply_field(reply, 2, 2) == u"FF")
        return true;
    reply = shift_blank_at_10(reply);
    // The count decides how many slots are shown, but the first always is.
    const int shown = count > 2 ? 3 : count > 1 ? 2 : 1;
    for (int slot = 0; slot < shown; ++slot) {
        const QString code = trouble_code_text(slot_at(reply, slot));
        ctx.view.appendReport(QStringLiteral("TC%1 -").arg(slot + 1) + code + kCrLf);
        ctx.view.appendReport(FindTroubleCode(ctx, definitions, code) + kCrLf);
    }
    return true;
}

// Service 07: up to three pending codes; a slot whose first byte is 00 is not shown, except
// the first, which is shown without a definition when it is 0000.
void report_pending_codes(ObdContext &ctx, const TroubleCodeDefinitions &definitions)
{
    send_request(ctx, QStringLiteral("070A0A"));
    // Without an answer ("S" at character 2) there is no pending-code report either.
    QString reply = usable_reply(await_reply(ctx, kCodesThreshold).reply, kCodesLength);
    if (reply.isEmpty() || reply_is(reply, 2, u'S')) {
        show_timeout(ctx);
        return;
    }
    QString header = reply_byte(reply, 2);
    if (conv_hex(header) >= kNoPendingHeader) {
        ctx.view.appendReport(QStringLiteral("No pending codes reported"));
        return;
    }
    reply = shift_blank_at_10(reply);
    const QString first = slot_at(reply, 0);
    const QString firstCode = trouble_code_text(first);
    QString text = QStringLiteral("Pending Code 1 -") + firstCode + QStringLiteral("--");
    if (first != u"0000")
        text += FindTroubleCode(ctx, definitions, firstCode);
    for (int slot = 1; slot < kSlotCount; ++slot) {
        const QString value = slot_at(reply, slot);
        text += kCrLf;
        if (value.startsWith(u"00"))
            continue;
        const QString code = trouble_code_text(value);
        text += QStringLiteral("Pending Code %1 -").arg(slot + 1) + code + QStringLiteral("--") +
                FindTroubleCode(ctx, definitions, code);
    }
    text += kCrLf + QStringLiteral("A code of 0000 means no code");
    ctx.view.appendReport(text);
}

} // namespace

QString trouble_code_text(const QString &slot)
{
    if (slot.startsWith(u'C'))
        return QStringLiteral("U0") + slot.mid(1);
    return QStringLiteral("P") + slot;
}

QString shift_blank_at_10(const QString &reply)
{
    if (reply.size() < kFirstSlot || reply.at(kFirstSlot - 1).unicode() >= u'0')
        return reply;
    return reply.left(kFirstSlot - 1) + reply_field(reply, kFirstSlot + 1, 12) + reply.mid(21);
}

TroubleCodeRun request_trouble_codes(ObdContext &ctx, const TroubleCodeDefinitions &definitions)
{
    TroubleCodeRun run;
    ctx.view.setReportText(kCrLf);

    int count = 0;
    bool readStored = report_mil_status(ctx, &count);
    if (readStored && count == 0)
        readStored = ctx.prompts.question(QStringLiteral("The MIL is off, read codes anyway?"),
                                          QStringLiteral("Read Codes?"));
    if (readStored && !report_stored_codes(ctx, definitions, count)) {
        run.CodesTimedOut = true;
        return run;
    }
    report_pending_codes(ctx, definitions);
    return run;
}

} // namespace quorvex
