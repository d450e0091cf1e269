#pragma once

#include <QString>

namespace quorvex {

// Field access on reply texts at fixed 1-based character positions. A reply may be short,
// empty or garbage: positions past its end read as '0', so a missing field reads as a zero
// byte and nothing is ever read outside the text.

// Character at 1-based position pos, or '\0' when the text is shorter.
QChar reply_char(const QString &reply, int pos);

// True when the character at 1-based position pos is c.
bool reply_is(const QString &reply, int pos, QChar c);

// n characters from 1-based position pos; positions past the end read as '0'.
QString reply_field(const QString &reply, int pos, int n);

// The byte at 1-based position pos as two characters ("00" past the end).
inline QString reply_byte(const QString &reply, int pos)
{
    return reply_field(reply, pos, 2);
}

} // namespace quorvex
