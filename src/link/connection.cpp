#include "connection.h"

#include "mainview.h"
#include "obdcontext.h"
#include "protocol.h"

namespace quorvex {

namespace {
constexpr int kFirmwareThreshold = 4;
constexpr int kChangeEcuThreshold = 2;
const QString kCrLf = QStringLiteral("\r\n");
} // namespace

double leading_number(const QString &text)
{
    int i = 0;
    while (i < text.size() && text.at(i) == u' ')
        ++i;
    const int start = i;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+'))
        ++i;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isDigit() && c.unicode() < 128) {
            digits = true;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!digits)
        return 0.0;
    bool ok = false;
    const double value = text.mid(start, i - start).toDouble(&ok);
    return ok ? value : 0.0;
}

bool exchange_firmware_id(ObdContext &ctx)
{
    ctx.state.StopFlag = false;
    ctx.view.setReportText(kCrLf);
    wait_for_ECU(ctx);
    discard_input(ctx);
    if (ctx.state.StopFlag) {
        ctx.view.setReportText(QStringLiteral("ECU not Communicating"));
        return false;
    }
    ctx.link.OBDoutput(QStringLiteral("900101"));
    const ReplyWait wait = await_reply(ctx, kFirmwareThreshold);
    const QString id = wait.reply.left(5);
    ctx.view.setFirmwareCaption(QStringLiteral("F/W: ") + id);
    ctx.state.FWVersion = leading_number(id.mid(1, 4));
    return true;
}

void exchange_change_ecu(ObdContext &ctx)
{
    ctx.state.StopFlag = false;
    ctx.view.setReportText(kCrLf);
    wait_for_ECU(ctx);
    discard_input(ctx);
    ctx.link.OBDoutput(QStringLiteral("800204"));
    await_reply(ctx, kChangeEcuThreshold);
}

} // namespace quorvex
