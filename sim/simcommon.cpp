#include "sim/simcommon.h"

#include <algorithm>

namespace quorvex::sim {

qint64 vehicleLatencyUs(const Scenario &scenario, const Faults &faults)
{
    return (qint64(std::max(scenario.latencyMs, 0)) + std::max(faults.latencyMs, 0)) * 1000;
}

int paceBaud(const Options &options, int lineBaud)
{
    if (options.paceBaud == kPaceLine)
        return lineBaud;
    return std::max(options.paceBaud, 0);
}

Moment momentOf(qint64 nowUs, qint64 originUs, qint64 clearedAtUs)
{
    return Moment{nowUs - originUs, clearedAtUs < 0 ? -1 : clearedAtUs - originUs};
}

void keepCommand(QStringList *commands, const QByteArray &command)
{
    commands->append(QString::fromLatin1(command));
    if (commands->size() > Engine::kKeptCommands)
        commands->removeFirst();
}

} // namespace quorvex::sim
