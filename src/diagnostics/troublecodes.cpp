#include "diagnostics/troublecodes.h"

#include "diagnostics/definitions.h"
#include "link/obdcontext.h"
#include "link/reply.h"
#include "livedata/items.h"
#include "livedata/numberforms.h"

namespace quorvex {

namespace {
const QString kCrLf = QStringLiteral("\r\n");

constexpr int kCodesThreshold = 21; // "030A0A" and "070A0A": more than 21 characters
constexpr double kStoredCodesLimitSeconds = 10.0;

constexpr int kSlotCount = 3;
constexpr int kFirstSlot = 10; // positions 10-13, 14-17, 18-21
constexpr int kSlotLength = 4;
constexpr int kNoPendingHeader = 0xFE; // first header byte FE or FF: no pending code

QString slot_at(const QString &reply, int slot)
{
    return reply_field(reply, kFirstSlot + kSlotLength * slot, kSlotLength);
}

class Report
{
public:
    Report(ObdContext &ctx, const TroubleCodeDefinitions &definitions)
        : m_ctx(ctx), m_definitions(definitions)
    {
    }

    // Service 01 PID 01: the ECU line, MIL state and count. False when the ECU did not
    // answer (*count is then 0).
    bool milStatus(int *count);
    // Service 03. False when the run ends here.
    bool storedCodes(int count);
    // Service 07.
    void pendingCodes();

    TroubleCodeRun run;
    RunOutcome outcome;

private:
    Exchange askCodes(const QString &command, double limitSeconds = -1)
    {
        ExchangeRequest request;
        request.command = command;
        request.threshold = kCodesThreshold;
        request.limitSeconds = limitSeconds;
        return exchange(m_ctx, request);
    }
    QString definition(const QString &code) const { return FindTroubleCode(m_definitions, code); }

    ObdContext &m_ctx;
    const TroubleCodeDefinitions &m_definitions;
};

bool Report::milStatus(int *count)
{
    *count = 0;
    const Exchange ex =
        get_ecu_PID(m_ctx, QStringLiteral("01"), QStringLiteral("01"), QStringLiteral("09"));
    if (!outcome.accept(ex.status))
        return false;
    run.report += QStringLiteral("ECU #=") + reply_field(ex.reply, 6, 2) + kCrLf;
    QString byteA = reply_byte(ex.reply, 12);
    int a = conv_hex(byteA);
    if (a > 127) {
        run.report += QStringLiteral("MIL is ON");
        a -= 128;
    } else {
        run.report += QStringLiteral("MIL is OFF");
    }
    *count = a;
    run.report += kCrLf + QStringLiteral("Vehicle Reports ") + S(a) +
                  QStringLiteral(" Stored Trouble Code(s)") + kCrLf;
    return true;
}

bool Report::storedCodes(int count)
{
    const Exchange ex = askCodes(QStringLiteral("030A0A"), kStoredCodesLimitSeconds);
    if (ex.status == ExchangeStatus::OverLimit) {
        run.report += QStringLiteral("==== Timeout waiting for Trouble Codes") + kCrLf;
        run.CodesTimedOut = true;
        return false;
    }
    // An ECU that did not answer has no codes to show: reading its zero-filled slots would
    // list P0000 as a stored code.
    if (!outcome.accept(ex.status))
        return !outcome.ended();
    if (reply_field(ex.reply, 2, 2) == u"FF")
        return true;
    const QString reply = shift_blank_at_10(ex.reply);
    // The count decides how many slots are shown, but the first always is.
    const int shown = count > 2 ? 3 : count > 1 ? 2 : 1;
    for (int slot = 0; slot < shown; ++slot) {
        const QString code = trouble_code_text(slot_at(reply, slot));
        run.report += QStringLiteral("TC%1 -").arg(slot + 1) + code + kCrLf;
        run.report += definition(code) + kCrLf;
    }
    return true;
}

void Report::pendingCodes()
{
    const Exchange ex = askCodes(QStringLiteral("070A0A"));
    if (!outcome.accept(ex.status))
        return;
    QString header = reply_byte(ex.reply, 2);
    if (conv_hex(header) >= kNoPendingHeader) {
        run.report += QStringLiteral("No pending codes reported");
        return;
    }
    // A slot whose first byte is 00 is not shown, except the first, which is shown without a
    // definition when it is 0000.
    const QString reply = shift_blank_at_10(ex.reply);
    const QString first = slot_at(reply, 0);
    const QString firstCode = trouble_code_text(first);
    run.report += QStringLiteral("Pending Code 1 -") + firstCode + QStringLiteral("--");
    if (first != u"0000")
        run.report += definition(firstCode);
    for (int slot = 1; slot < kSlotCount; ++slot) {
        const QString value = slot_at(reply, slot);
        run.report += kCrLf;
        if (value.startsWith(u"00"))
            continue;
        const QString code = trouble_code_text(value);
        run.report += QStringLiteral("Pending Code %1 -").arg(slot + 1) + code +
                      QStringLiteral("--") + definition(code);
    }
    run.report += kCrLf + QStringLiteral("A code of 0000 means no code");
}

int hex_digit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

QString trouble_code_text(const QString &slot)
{
    bool hex = slot.size() == kSlotLength;
    for (const QChar c : slot)
        hex = hex && hex_digit(c) >= 0;
    if (!hex)
        return QStringLiteral("P") + slot;
    static constexpr char16_t kLetters[] = u"PCBU";
    const int first = hex_digit(slot.at(0));
    return QChar(kLetters[first >> 2]) + QString::number(first & 3) + slot.mid(1);
}

QString shift_blank_at_10(const QString &reply)
{
    if (reply.size() < kFirstSlot || reply.at(kFirstSlot - 1).unicode() >= u'0')
        return reply;
    return reply.left(kFirstSlot - 1) + reply_field(reply, kFirstSlot + 1, 12) + reply.mid(21);
}

TroubleCodeRun request_trouble_codes(ObdContext &ctx, const TroubleCodeDefinitions &definitions,
                                     const ReadAnyway &readAnyway)
{
    Report r(ctx, definitions);
    r.run.report = kCrLf;
    int count = 0;
    bool readStored = r.milStatus(&count);
    if (readStored && count == 0)
        readStored = readAnyway && readAnyway(r.run.report);
    const bool goOn = !r.outcome.ended() && (!readStored || r.storedCodes(count));
    if (goOn && !r.outcome.ended())
        r.pendingCodes();
    r.run.status = r.outcome.outcome();
    return r.run;
}

} // namespace quorvex
