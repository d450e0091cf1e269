#pragma once
// An ECU reduced to a table of data bytes, answering at once over a transport: the tests of
// the dispatch choose every support byte and every value without any timing.

#include "transport.h"

#include <QByteArray>
#include <QMap>
#include <QStringList>

namespace quorvex::test {

class ScriptedEcu : public Transport
{
public:
    // Service & PID (four hex characters, "010C", "0200") -> data bytes in hex ("0BB8"). The
    // reply frames them like the interface: one leading character, header 48 6B address,
    // service + 40, PID, the data zero-padded or cut to the requested length, check byte.
    // Service 02 data start with the frame number. A request without an entry gets the
    // interface's ECU time-out ("S" at character 2).
    QMap<QByteArray, QByteArray> data;
    // Full command -> reply text, verbatim; wins over `data`.
    QMap<QByteArray, QByteArray> verbatim;
    QByteArray address = "10";
    bool contact = true; // ready mark "S"; "P" without vehicle contact
    QStringList commands;

    bool isOpen() const override { return true; }
    void write(const QByteArray &bytes) override
    {
        commands << QString::fromLatin1(bytes);
        m_buffer = answer(bytes);
    }
    qint64 bytesAvailable() const override { return m_buffer.size(); }
    // Once read, the interface is idle again and shows its ready mark.
    QByteArray readAll() override
    {
        QByteArray all = m_buffer;
        m_buffer = contact ? "S" : "P";
        return all;
    }

    // The commands sent so far that ask `service & pid` (any length).
    int asked(const QByteArray &servicePid) const
    {
        int n = 0;
        for (const QString &c : commands)
            n += c.startsWith(QString::fromLatin1(servicePid)) ? 1 : 0;
        return n;
    }

private:
    QByteArray answer(const QByteArray &command) const
    {
        if (verbatim.contains(command))
            return verbatim.value(command);
        const int length = command.mid(4, 2).toInt(nullptr, 16);
        const QByteArray key = command.left(4);
        if (!data.contains(key))
            return "R" + QByteArray("S").leftJustified(2 * length + 2, '0');
        const int service = command.left(2).toInt(nullptr, 16);
        QByteArray message = QByteArray::fromHex("486B" + address) +
                             QByteArray(1, static_cast<char>(service + 0x40)) +
                             QByteArray::fromHex(command.mid(2, 2) + data.value(key));
        message = message.leftJustified(length, '\0', true);
        int check = 0;
        for (const char c : message)
            check += static_cast<quint8>(c);
        message.append(static_cast<char>(check & 0xFF));
        return "R" + message.toHex().toUpper();
    }

    QByteArray m_buffer = "S";
};

} // namespace quorvex::test
