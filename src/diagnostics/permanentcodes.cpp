#include "diagnostics/permanentcodes.h"

#include "diagnostics/definitions.h"
#include "diagnostics/troublecodes.h"
#include "link/reply.h"
#include "livedata/numberforms.h"

namespace quorvex {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
constexpr int kCodesThreshold = 21; // as "030A0A": more than 21 characters
constexpr int kFrameLength = 23;    // leading character, ten bytes, check byte
constexpr int kSlotCount = 3;
constexpr int kFirstSlot = 10; // positions 10-13, 14-17, 18-21 of each frame
constexpr int kNegativeResponse = 0x7F;

} // namespace

PermanentCodes read_permanent_codes(const QString &reply)
{
    PermanentCodes found;
    for (qsizetype at = 0; at == 0 || at + kFrameLength <= reply.size(); at += kFrameLength) {
        const QString frame = shift_blank_at_10(reply.mid(at, kFrameLength));
        if (at == 0)
            found.ecu = reply_field(frame, 6, 2);
        QString service = reply_byte(frame, 8);
        // A refusal is the ECU's whole answer; after codes a frame that is none ends them.
        if (conv_hex(service) == kNegativeResponse) {
            found.refused = at == 0;
            return found;
        }
        if (reply_field(frame, 2, 2) == u"FF") // no codes
            break;
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const QString value = reply_field(frame, kFirstSlot + 4 * slot, 4);
            if (value.size() == 4 && value != u"0000")
                found.codes << trouble_code_text(value);
        }
    }
    return found;
}

PermanentCodeRun request_permanent_codes(ObdContext &ctx, const TroubleCodeDefinitions &definitions)
{
    ExchangeRequest request;
    request.command = QStringLiteral("0A0A0A");
    request.threshold = kCodesThreshold;
    const Exchange ex = exchange(ctx, request);
    PermanentCodeRun run;
    run.report = kCrLf;
    run.status = ex.status;
    if (!ex.ok())
        return run;
    const PermanentCodes found = read_permanent_codes(ex.reply);
    run.report += QStringLiteral("ECU #=") + found.ecu + kCrLf;
    if (found.refused) {
        run.report +=
            QStringLiteral("The vehicle does not support permanent trouble codes") + kCrLf;
        return run;
    }
    run.report += QStringLiteral("Vehicle Reports ") + S(static_cast<double>(found.codes.size())) +
                  QStringLiteral(" Permanent Trouble Code(s)") + kCrLf;
    for (qsizetype i = 0; i < found.codes.size(); ++i) {
        run.report += QStringLiteral("PC%1 -").arg(i + 1) + found.codes.at(i) + kCrLf;
        run.report += FindTroubleCode(definitions, found.codes.at(i)) + kCrLf;
    }
    return run;
}

} // namespace quorvex
