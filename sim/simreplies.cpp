#include "sim/simreplies.h"

namespace quorvex::sim {

namespace {

quint8 checkByte(const QByteArray &bytes)
{
    unsigned sum = 0;
    for (const char b : bytes)
        sum += static_cast<quint8>(b);
    return static_cast<quint8>(sum & 0xFF);
}

QByteArray framedMessage(const QByteArray &bytes)
{
    return bytes.toHex().toUpper() +
           QByteArray(1, static_cast<char>(checkByte(bytes))).toHex().toUpper();
}

QByteArray markedReply(int length, int markerIndex)
{
    QByteArray text(replyTextLength(length), '0');
    text[0] = kLeading;
    text[markerIndex] = 'S';
    return text;
}

} // namespace

int replyTextLength(int length)
{
    return 1 + 2 * length + 2;
}

QByteArray vehicleReply(const QByteArray &message, int length)
{
    QByteArray bytes = message.left(length);
    bytes.append(QByteArray(length - bytes.size(), '\0'));
    return kLeading + framedMessage(bytes);
}

QByteArray timeoutReply(int length)
{
    return markedReply(length, 1);
}

QByteArray retryReply(int length)
{
    return markedReply(length, 2);
}

QByteArray supportBytes(const QList<quint8> &pids, quint8 start)
{
    QByteArray bits(4, '\0');
    for (const quint8 pid : pids) {
        const int offset = pid - start; // 1 .. 0x20 this range, beyond it the next ones
        if (offset >= 1 && offset <= 0x20)
            bits[(offset - 1) / 8] =
                static_cast<char>(bits[(offset - 1) / 8] | (0x80 >> ((offset - 1) % 8)));
        else if (offset > 0x20)
            bits[3] = static_cast<char>(bits[3] | 0x01);
    }
    return bits;
}

QByteArray vinShortReply(const QByteArray &vin)
{
    return kLeading + vin;
}

QByteArray vinLongReply(quint8 ecuAddress, const QByteArray &vin)
{
    // Message 1 holds three fill bytes before the first character; 4 + 4 * 4 = 20 slots for 17.
    const QByteArray fields = QByteArray(3, '\0') + vin.left(17).leftJustified(17, '\0');
    QByteArray text(1, kLeading);
    for (int message = 1; message <= 5; ++message) {
        QByteArray bytes;
        bytes.append(char(0x48)).append(char(0x6B)).append(static_cast<char>(ecuAddress));
        bytes.append(char(0x49)).append(char(0x02)).append(static_cast<char>(message));
        bytes.append(fields.mid((message - 1) * 4, 4));
        text += framedMessage(bytes);
    }
    return text;
}

} // namespace quorvex::sim
