#include "diagnostics/mode6.h"

#include "link/obdcontext.h"
#include "livedata/numberforms.h"

#include <cmath>
#include <limits>

namespace quorvex {

namespace {

constexpr quint8 kService = 0x06;
constexpr quint8 kTesterAddress = 0xF1; // header byte 3 of every request
constexpr int kBlockBytes = 14;
constexpr int kReplyBytes = 13;
constexpr int kAcknowledgementThreshold = 2;
constexpr quint8 kPositiveResponse = 0x46;
constexpr int kMaxId = 255;

int byte_at(const QByteArray &bytes, int index)
{
    return index < bytes.size() ? quint8(bytes.at(index)) : 0;
}

// Digits of `base` (10 or 16) worth 0-255, any number of leading zeros among them. Digits only:
// toInt would also take a sign ("$-1" would become test $FF), blanks and a NUL.
std::optional<int> parse_digits(QStringView digits, int base)
{
    if (digits.isEmpty())
        return std::nullopt;
    for (const QChar c : digits) {
        const char16_t u = c.unicode();
        const bool digit = (u >= u'0' && u <= u'9') ||
                           (base == 16 && ((u >= u'A' && u <= u'F') || (u >= u'a' && u <= u'f')));
        if (!digit)
            return std::nullopt;
    }
    qsizetype first = 0;
    while (first + 1 < digits.size() && digits.at(first) == u'0')
        ++first;
    const QStringView significant = digits.mid(first);
    if (significant.size() > 3) // also keeps the number within an int
        return std::nullopt;
    const int value = significant.toString().toInt(nullptr, base);
    return value <= kMaxId ? std::optional<int>(value) : std::nullopt;
}

} // namespace

std::optional<int> parse_id(const QString &text)
{
    const QString t = text.trimmed();
    if (t.startsWith(u'$'))
        return parse_digits(QStringView(t).mid(1), 16);
    if (t.startsWith(QStringLiteral("&H"), Qt::CaseInsensitive))
        return parse_digits(QStringView(t).mid(2), 16);
    return parse_digits(t, 10);
}

QString id_box_text(const QString &text)
{
    return text.startsWith(u'$') ? QStringLiteral("&H") + text.mid(1) : text;
}

std::optional<double> parse_scale(const QString &text)
{
    bool ok = false;
    const double scale = text.trimmed().toDouble(&ok); // the C locale: a period
    if (!ok || !std::isfinite(scale))
        return std::nullopt;
    return scale;
}

bool Mode6Reply::positive() const
{
    return acknowledged && status == ExchangeStatus::Ok && byte_at(bytes, 3) == kPositiveResponse;
}

std::pair<quint8, quint8> pass_through_header(const QString &acknowledgement)
{
    const int p = acknowledgement.size() >= 3 ? (acknowledgement.at(2).unicode() & 0x0F) : 0;
    if (p == 4)
        return {0x61, 0x6A};
    if (p == 8)
        return {0xC3, 0x33};
    return {0x68, 0x6A};
}

QByteArray mode6_block(std::pair<quint8, quint8> header, quint8 service, quint8 tid, quint8 cid,
                       int count)
{
    QByteArray block(kBlockBytes, '\0');
    const quint8 head[] = {
        1,  static_cast<quint8>(count), header.first, header.second, kTesterAddress, service, tid,
        cid};
    for (size_t i = 0; i < sizeof head; ++i)
        block[static_cast<qsizetype>(i)] = static_cast<char>(head[i]);
    return block;
}

Mode6Reply RequestMode6(ObdContext &ctx, quint8 service, quint8 tid, quint8 cid, int count)
{
    Mode6Reply r;
    ExchangeRequest enter;
    enter.command = QStringLiteral("F00504");
    enter.threshold = kAcknowledgementThreshold;
    enter.vehicleReply = false;
    const Exchange ack = exchange(ctx, enter);
    r.status = ack.status;
    if (!ack.ok())
        return r;
    r.acknowledged = ack.reply.size() >= 2 && ack.reply.at(1) == u'A';
    if (!r.acknowledged)
        return r;
    const Exchange message =
        exchange_block(ctx, mode6_block(pass_through_header(ack.reply), service, tid, cid, count),
                       kReplyBytes - 1);
    r.status = message.status;
    if (message.ok())
        r.bytes = message.reply.toLatin1().left(kReplyBytes);
    return r;
}

std::optional<Mode6Result> mode6_result(const QByteArray &reply, double scale, const QString &units)
{
    const double value = (byte_at(reply, 5) * 256.0 + byte_at(reply, 6)) * scale;
    const double limit = (byte_at(reply, 7) * 256.0 + byte_at(reply, 8)) * scale;
    if (!std::isfinite(value) || !std::isfinite(limit) ||
        std::fabs(limit) > std::numeric_limits<qint32>::max())
        return std::nullopt;
    const long long whole = round_even(limit);
    Mode6Result r;
    r.valueText = P(value) + units;
    r.limitText = QString::number(whole) + units;
    r.minimum = byte_at(reply, 4) >= 128;
    r.fail = r.minimum ? value < double(whole) : value > double(whole);
    return r;
}

QList<int> ListMode6Tests(const QByteArray &reply, int base)
{
    QList<int> tests;
    for (int index = 6; index <= 9; ++index) {
        const int byte = byte_at(reply, index);
        for (int bit = 0; bit <= 7; ++bit)
            if (byte & (1 << bit))
                tests << base + 8 * (index - 6) + (8 - bit);
    }
    return tests;
}

Mode6Scan ScanMode6Tests(ObdContext &ctx)
{
    Mode6Scan scan;
    for (int base = 0; base <= 0xE0; base += 0x20) {
        scan.last = RequestMode6(ctx, kService, static_cast<quint8>(base), 0, 5);
        if (!scan.last.positive())
            break;
        scan.tests += ListMode6Tests(scan.last.bytes, base);
        if (!(byte_at(scan.last.bytes, 9) & 0x01))
            break; // no further range announced
    }
    return scan;
}

} // namespace quorvex
