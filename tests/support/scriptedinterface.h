#pragma once
// A scan interface reduced to a table: every command gets its scripted reply text, verbatim,
// so tests can hand the program replies the simulator never sends (an FE header, a service
// byte that is not hex, nothing at all).

#include "transport.h"

#include <QList>
#include <QMap>

namespace quorvex::test {

class ScriptedInterface : public Transport
{
public:
    QMap<QByteArray, QByteArray> replies; // command -> reply text; a missing one never comes
    QList<QByteArray> written;
    QByteArray markWhenIdle = "S"; // "P": no vehicle contact

    bool isOpen() const override { return true; }
    // The reply replaces whatever waited (the ready mark): the program drained it already.
    void write(const QByteArray &bytes) override
    {
        written << bytes;
        m_buffer = replies.value(bytes);
    }
    qint64 bytesAvailable() override { return m_buffer.size(); }
    // Once read, the interface is idle again and shows its ready mark.
    QByteArray readAll() override
    {
        QByteArray all = m_buffer;
        m_buffer = markWhenIdle;
        return all;
    }

private:
    QByteArray m_buffer = "S";
};

} // namespace quorvex::test
