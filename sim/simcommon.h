#pragma once

#include "sim/simengine.h"
#include "sim/simscenario.h"
#include "sim/simvehicle.h"

#include <QByteArray>
#include <QStringList>

// What the scan interface (Engine) and the ELM327 adapter (ElmEngine) do alike in front of the
// same car: the reply latency, the speed the line is paced at, the moment the car stands at and
// the record of commands received.
namespace quorvex::sim {

// The wait before the car answers a request: the scenario's latency and the fault's.
qint64 vehicleLatencyUs(const Scenario &scenario, const Faults &faults);

// The speed output is paced at (0: unpaced), given the speed the program set on the line.
int paceBaud(const Options &options, int lineBaud);

// Where the car stands at clock time nowUs: its engine started at originUs and the ECU was last
// cleared at clearedAtUs (-1: never).
Moment momentOf(qint64 nowUs, qint64 originUs, qint64 clearedAtUs);

// 0-9 and A-F: what both take as a command's characters.
inline bool isUpperHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// Appends a command to those kept, dropping the oldest beyond Engine::kKeptCommands.
void keepCommand(QStringList *commands, const QByteArray &command);

} // namespace quorvex::sim
