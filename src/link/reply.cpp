#include "link/reply.h"

namespace quorvex {

QChar reply_char(const QString &reply, int pos)
{
    if (pos < 1 || pos > reply.size())
        return QChar(u'\0');
    return reply.at(pos - 1);
}

bool reply_is(const QString &reply, int pos, QChar c)
{
    return reply_char(reply, pos) == c;
}

QString reply_field(const QString &reply, int pos, int n)
{
    QString field;
    field.reserve(n);
    for (int i = 0; i < n; ++i) {
        const int p = pos + i;
        field += (p >= 1 && p <= reply.size()) ? reply.at(p - 1) : QChar(u'0');
    }
    return field;
}

} // namespace quorvex
