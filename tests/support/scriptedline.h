#pragma once
// The far end of a line, scripted by the test, on the test's clock: what stands in for the
// scan interface or an adapter when a test needs replies the simulator never sends (an FE
// header, a service byte that is not hex, nothing at all), a reply at a chosen moment, or an
// adapter's recorded conversation.

#include "link/clock.h"
#include "link/transport.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QStringList>

#include <functional>

namespace quorvex::test {

class ScriptedLine : public Transport
{
public:
    // A turn of an adapter's conversation: a line the program sends (without its CR; empty
    // matches any line) and what the adapter answers to it.
    struct Turn
    {
        QByteArray line;
        QByteArray answer;
    };

    explicit ScriptedLine(Clock &clock) : m_clock(clock) {}
    ~ScriptedLine() override;

    // Every write, in order.
    QList<QByteArray> written;
    // The reply text to each command written whole ("010C07"), verbatim; a command without
    // one is answered by `answer` when there is one, else never. The reply replaces whatever
    // waited (the program drained it before the command) and arrives replyDelayMs later.
    QMap<QByteArray, QByteArray> replies;
    std::function<QByteArray(const QByteArray &command)> answer;
    int replyDelayMs = 0;
    // What an idle interface shows after every read ("S", "P"); empty: nothing.
    QByteArray idleMark;
    bool open = true;

    // Bytes the far end sends now, or ms from now.
    void feed(const QByteArray &bytes);
    void feedAfter(int ms, const QByteArray &bytes);
    // Plays an adapter instead: each line the program sends, up to CR, is answered by the next
    // turn of the script.
    void converse(QList<Turn> script) { m_script = std::move(script); }
    bool scriptDone() const { return m_next >= m_script.size(); }
    // Lines the program sent when the script expected another, or after it ended.
    QList<QByteArray> unexpected() const { return m_unexpected; }
    QStringList commands() const;

    bool isOpen() const override { return open; }
    void close() override { open = false; }
    void write(const QByteArray &bytes) override;
    qint64 bytesAvailable() override { return open ? m_buffer.size() : 0; }
    QByteArray readAll() override;

private:
    void converseWith(const QByteArray &bytes);
    void deliverAfter(int ms, QByteArray bytes, bool replace);

    Clock &m_clock;
    QByteArray m_buffer;
    QList<quint64> m_pending; // deliveries still to come
    QList<Turn> m_script;
    qsizetype m_next = 0;
    QByteArray m_line; // a line of the conversation not yet complete
    QList<QByteArray> m_unexpected;
};

// The answer of an ECU at address 10 reduced to a table of data bytes: service & PID ("010C",
// "0200") -> data bytes in hex ("0BB8"), framed like the interface's reply: one leading
// character, header 48 6B 10, service + 40, PID, the data zero-padded or cut to the requested
// length, check byte. A request without an entry gets the ECU time-out ("S" at character 2).
std::function<QByteArray(const QByteArray &)> ecu_table(QMap<QByteArray, QByteArray> data);

} // namespace quorvex::test
