#pragma once

#include "simengine.h"
#include "simreplies.h"
#include "simscenario.h"

#include <QByteArray>
#include <QList>

namespace quorvex::sim::test {

inline constexpr qint64 kMs = 1000;

// Unpaced and without latency a reply is due at the moment its command arrives. Marks that
// came before the command are dropped, as the program flushes its input before writing.
inline QByteArray exchange(Engine &engine, const QByteArray &command, qint64 nowUs = 0)
{
    engine.take(nowUs);
    engine.receive(command, nowUs);
    return engine.take(nowUs);
}

inline QList<quint8> pidRange(quint8 first, quint8 last)
{
    QList<quint8> pids;
    for (int pid = first; pid <= last; ++pid)
        pids.append(static_cast<quint8>(pid));
    return pids;
}

// One ECU at address 10 answering `pids`, with an otherwise empty diagnostic memory.
inline Scenario scenarioWithPids(const QList<quint8> &pids)
{
    Scenario scenario;
    Ecu ecu;
    ecu.pids = pids;
    scenario.ecus = {ecu};
    return scenario;
}

inline Scenario scenarioWithEcu(const Ecu &ecu)
{
    Scenario scenario;
    scenario.ecus = {ecu};
    return scenario;
}

// Recomputes the check byte the program would see: the sum of the bytes before it.
inline bool checkByteMatches(const QByteArray &hexMessage)
{
    const QByteArray bytes = QByteArray::fromHex(hexMessage);
    unsigned sum = 0;
    for (qsizetype i = 0; i + 1 < bytes.size(); ++i)
        sum += static_cast<quint8>(bytes.at(i));
    return !bytes.isEmpty() && static_cast<quint8>(bytes.back()) == (sum & 0xFF);
}

inline bool isTimeoutReply(const QByteArray &reply, int length)
{
    return reply.size() == 1 + 2 * length + 2 && reply.startsWith("RS") &&
           reply.mid(2) == QByteArray(reply.size() - 2, '0');
}

} // namespace quorvex::sim::test
