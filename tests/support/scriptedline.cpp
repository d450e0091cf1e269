#include "scriptedline.h"

#include <utility>

namespace quorvex::test {

ScriptedLine::~ScriptedLine()
{
    for (const quint64 id : std::as_const(m_pending))
        m_clock.cancel(id);
}

void ScriptedLine::feed(const QByteArray &bytes)
{
    m_buffer += bytes;
    emit arrived();
}

void ScriptedLine::feedAfter(int ms, const QByteArray &bytes)
{
    deliverAfter(ms, bytes, false);
}

void ScriptedLine::deliverAfter(int ms, QByteArray bytes, bool replace)
{
    // Always from the event loop, as a port's data arrives, never inside the write.
    auto id = std::make_shared<quint64>(0);
    *id = m_clock.callAfter(ms, [this, id, bytes = std::move(bytes), replace] {
        m_pending.removeOne(*id);
        if (!open)
            return;
        if (replace)
            m_buffer.clear();
        feed(bytes);
    });
    m_pending << *id;
}

void ScriptedLine::write(const QByteArray &bytes)
{
    if (!open)
        return;
    written << bytes;
    if (!m_script.isEmpty()) {
        converseWith(bytes);
        return;
    }
    QByteArray reply = replies.value(bytes);
    if (!replies.contains(bytes) && answer)
        reply = answer(bytes);
    m_buffer.clear();
    if (!reply.isEmpty())
        deliverAfter(replyDelayMs, reply, true);
}

QByteArray ScriptedLine::readAll()
{
    if (!open)
        return QByteArray();
    return std::exchange(m_buffer, idleMark);
}

void ScriptedLine::converseWith(const QByteArray &bytes)
{
    m_line += bytes;
    qsizetype end;
    while ((end = m_line.indexOf('\r')) >= 0) {
        const QByteArray line = m_line.left(end);
        m_line.remove(0, end + 1);
        if (m_next >= m_script.size() ||
            (!m_script[m_next].line.isEmpty() && m_script[m_next].line != line)) {
            m_unexpected << line;
            continue;
        }
        const QByteArray &reply = m_script[m_next++].answer;
        if (!reply.isEmpty())
            deliverAfter(replyDelayMs, reply, false);
    }
}

QStringList ScriptedLine::commands() const
{
    QStringList out;
    for (const QByteArray &w : written)
        out << QString::fromLatin1(w);
    return out;
}

std::function<QByteArray(const QByteArray &)> ecu_table(QMap<QByteArray, QByteArray> data)
{
    return [data = std::move(data)](const QByteArray &command) {
        const int length = command.mid(4, 2).toInt(nullptr, 16);
        const QByteArray key = command.left(4);
        if (!data.contains(key))
            return "R" + QByteArray("S").leftJustified(2 * length + 2, '0');
        QByteArray message = QByteArray::fromHex("486B10" + key + data.value(key));
        message[3] = static_cast<char>(message[3] + 0x40); // service + 40
        message = message.leftJustified(length, '\0', true);
        quint8 check = 0;
        for (const char c : message)
            check += static_cast<quint8>(c);
        return "R" + (message + char(check)).toHex().toUpper();
    };
}

} // namespace quorvex::test
