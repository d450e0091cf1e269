#include "diagnostics/vin.h"

#include "link/obdcontext.h"

namespace quorvex {

namespace {
constexpr double kVinWaitSeconds = 0.5;
constexpr int kLongFormLength = 80;

// The interface's ready marks resume within the half second after a reply; they are not part
// of it. A long-form reply ends in a hex digit, so marks never hide one.
qsizetype length_without_marks(const QString &reply)
{
    qsizetype n = reply.size();
    while (n > 0 && (reply.at(n - 1) == u'S' || reply.at(n - 1) == u'P'))
        --n;
    return n;
}

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

VinResult GetVIN(ObdContext &ctx)
{
    ExchangeRequest request;
    request.command = QStringLiteral("090208");
    request.fixedWaitSeconds = kVinWaitSeconds;
    const Exchange ex = exchange(ctx, request);
    VinResult result;
    result.status = ex.status;
    if (!ex.ok())
        return result;
    if (length_without_marks(ex.reply) < kLongFormLength)
        result.text = QStringLiteral("VIN= ") + ex.reply.mid(1, 17);
    else
        result.text = QStringLiteral("VIN= ") + decode_long_vin(ex.reply);
    return result;
}

} // namespace quorvex
