#pragma once
// An ECU at address 10 reduced to a table of data bytes, answering at once over a transport:
// the dispatch tests choose every support byte and every value without any timing.

#include "transport.h"

#include <QByteArray>
#include <QMap>
#include <QStringList>

#include <utility>

namespace quorvex::test {

class ScriptedEcu : public Transport
{
public:
    // Service & PID ("010C", "0200") -> data bytes in hex ("0BB8"), framed like the interface:
    // one leading character, header 48 6B 10, service + 40, PID, the data zero-padded or cut to
    // the requested length, check byte. Service 02 data start with the frame number. A request
    // without an entry gets the interface's ECU time-out ("S" at character 2).
    QMap<QByteArray, QByteArray> data;
    QMap<QByteArray, QByteArray> verbatim; // full command -> reply text; wins over `data`
    QStringList commands;

    bool isOpen() const override { return true; }
    void write(const QByteArray &bytes) override
    {
        commands << QString::fromLatin1(bytes);
        m_buffer = answer(bytes);
    }
    qint64 bytesAvailable() override { return m_buffer.size(); }
    // Once read, the interface is idle again and shows its ready mark.
    QByteArray readAll() override { return std::exchange(m_buffer, "S"); }

private:
    QByteArray answer(const QByteArray &command) const
    {
        if (verbatim.contains(command))
            return verbatim.value(command);
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
    }

    QByteArray m_buffer = "S";
};

} // namespace quorvex::test
