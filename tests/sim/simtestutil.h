#pragma once

#include "sim/simelm.h"
#include "sim/simengine.h"
#include "sim/simscenario.h"

#include <QByteArray>
#include <QList>

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

// Cases build scenarios with designated initializers that name only what they change; every
// member left out keeps its default value, which is all this warning would flag.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

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

// What `engine` sends at `atUs`, having sent nothing a microsecond before: the moment is exact.
template <typename AnyEngine> QByteArray dueAt(AnyEngine &engine, qint64 atUs)
{
    EXPECT_EQ(engine.take(atUs - 1), "") << "before " << atUs << " us";
    return engine.take(atUs);
}

inline QList<quint8> pidRange(quint8 first, quint8 last)
{
    QList<quint8> pids;
    for (int pid = first; pid <= last; ++pid)
        pids.append(static_cast<quint8>(pid));
    return pids;
}

// A vehicle reply as the program reads it: the leading "R", the bytes as hex pairs and their
// sum modulo 256 as the check byte.
inline QByteArray framed(const QByteArray &hex)
{
    quint8 sum = 0;
    for (const char byte : QByteArray::fromHex(hex))
        sum = static_cast<quint8>(sum + static_cast<quint8>(byte));
    return "R" + hex + QByteArray::number(sum, 16).toUpper().rightJustified(2, '0');
}

// The ECU time-out: "S" at character 2, zeros up to the full length of a reply of L bytes.
inline QByteArray timeoutText(int length)
{
    return "RS" + QByteArray(2 * length + 1, '0');
}

// A row of exchanges, run on a fresh device; the answers are compared whole. `elm` is the
// adapter's make-up where the device is the ELM327 personality.
struct Script
{
    const char *name;
    Scenario scenario;
    QList<std::pair<QByteArray, QByteArray>> exchanges; // command, answer
    ElmOptions elm{};
};

// The scan interface asked one command at a time, at time 0.
struct Interface
{
    Interface(Scenario scenario, ElmOptions) : engine(std::move(scenario)) {}
    QByteArray ask(const QByteArray &command) { return exchange(engine, command); }
    Engine engine;
};

template <typename Device = Interface> void runScripts(std::initializer_list<Script> scripts)
{
    for (const Script &script : scripts) {
        SCOPED_TRACE(script.name);
        Device device(script.scenario, script.elm);
        for (const auto &[command, answer] : script.exchanges)
            EXPECT_EQ(device.ask(command), answer) << command.constData();
    }
}

} // namespace quorvex::sim::test
