#include "vin.h"

#include "mainview.h"
#include "obdcontext.h"
#include "protocol.h"
#include "reply.h"

namespace quorvex {

namespace {
constexpr double kVinWaitSeconds = 0.5;
constexpr int kLongFormLength = 80;

int hex_digit(QChar c)
{
    int d = c.unicode() - 48;
    if (d > 9)
        d -= 7;
    return d;
}
} // namespace

QString HexToText(const QString &hex, int count)
{
    QString text;
    for (int i = 0; i < count && 2 * i + 1 < hex.size(); ++i) {
        const int code = 16 * hex_digit(hex.at(2 * i)) + hex_digit(hex.at(2 * i + 1));
        text += QChar(static_cast<char16_t>(code & 0xFFFF));
    }
    return text;
}

QString decode_long_vin(const QString &reply)
{
    // Message k (1-based) starts at character 2 + 22 (k - 1); its data bytes at +12.
    QString vin = HexToText(reply.mid(19, 2), 1);
    for (int message = 2; message <= 5; ++message)
        vin += HexToText(reply.mid(35 + 22 * (message - 2), 8), 4);
    return vin;
}

void GetVIN(ObdContext &ctx)
{
    wait_for_ECU(ctx);
    discard_input(ctx);
    ctx.link.OBDoutput(QStringLiteral("090208"));

    // The reply is whatever arrived in half a second; its length is not tested.
    ctx.pause(kVinWaitSeconds);
    const QString reply = ctx.link.OBDinput();

    // No answer at all leaves the field as well.
    if (reply.isEmpty() || reply_is(reply, 3, u'S'))
        return;
    if (reply.size() < kLongFormLength) {
        if (reply_is(reply, 2, u'S'))
            return;
        ctx.view.setVinText(QStringLiteral("VIN= ") + reply.mid(1, 17));
        return;
    }
    ctx.view.setVinText(QStringLiteral("VIN= ") + decode_long_vin(reply));
}

} // namespace quorvex
