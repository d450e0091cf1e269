#pragma once

#include <QByteArray>
#include <QList>

namespace quorvex::sim {

// Reply texts as the interface sends them. A vehicle reply to a command asking for L bytes is
// one leading character, the L bytes as upper-case hex pairs and the check byte (sum of the L
// bytes modulo 256) as one more pair: 1 + 2L + 2 characters. The leading character is never
// "S" or "P", which the program reads as ready marks and status markers.
inline constexpr char kLeading = 'R';

int replyTextLength(int length);

// The vehicle's message cut or zero-padded to `length` bytes, framed as above.
QByteArray vehicleReply(const QByteArray &message, int length);

// The ECU did not answer: "S" at character 2, zeros up to the full length of a normal reply so
// that the program's count threshold is still reached.
QByteArray timeoutReply(int length);

// The reply was not usable and the program is to ask again: "S" at character 3, full length.
QByteArray retryReply(int length);

// The four support bytes for the 32 PIDs after `start` (0x00, 0x20, ...): bit 7 of the first
// byte is start + 1, bit 0 of the fourth is start + 0x20, which is also set when any PID of
// a later range is supported, announcing the next bitmap.
QByteArray supportBytes(const QList<quint8> &pids, quint8 start);

// Answers to "090208". Short: the leading character and the 17 characters as plain text.
// Long: the leading character, then five raw messages of 22 hex characters each (header,
// 0x49, 0x02, message number, four data bytes, check byte); message 1 carries three fill bytes
// and VIN character 1, messages 2 to 5 four characters each.
QByteArray vinShortReply(const QByteArray &vin);
QByteArray vinLongReply(quint8 ecuAddress, const QByteArray &vin);

} // namespace quorvex::sim
