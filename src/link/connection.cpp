#include "link/connection.h"

#include "link/obdcontext.h"

namespace quorvex {

namespace {
constexpr int kFirmwareThreshold = 4;
constexpr int kChangeEcuThreshold = 2;
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

FirmwareId exchange_firmware_id(ObdContext &ctx)
{
    ExchangeRequest request;
    request.command = QStringLiteral("900101");
    request.threshold = kFirmwareThreshold;
    request.vehicleReply = false;
    const Exchange ex = exchange(ctx, request);
    FirmwareId firmware;
    firmware.status = ex.status;
    if (ex.ok()) {
        firmware.id = ex.reply.left(5);
        firmware.version = leading_number(firmware.id.mid(1, 4));
    }
    return firmware;
}

ExchangeStatus exchange_change_ecu(ObdContext &ctx)
{
    ExchangeRequest request;
    request.command = QStringLiteral("800204");
    request.threshold = kChangeEcuThreshold;
    request.vehicleReply = false;
    request.sendWithoutContact = true;
    return exchange(ctx, request).status;
}

} // namespace quorvex
