#include "sim/simdevice.h"

#include <algorithm>
#include <utility>

namespace quorvex::sim {

PacedDevice::PacedDevice(Scenario scenario, Options options)
    : m_scenario(std::move(scenario)), m_options(options), m_faults(m_scenario.faults),
      m_clearedAtUs(m_scenario.ecus.size(), -1)
{
}

QByteArray PacedDevice::take(qint64 nowUs)
{
    advance(nowUs);
    return std::exchange(m_ready, QByteArray());
}

void PacedDevice::setLineBaud(int baud)
{
    m_lineBaud = std::max(baud, 0);
}

qint64 PacedDevice::startClock(qint64 nowUs)
{
    if (m_lastNowUs < 0) {
        m_lastNowUs = nowUs;
        m_originUs = nowUs;
        m_out.setFreeUs(nowUs);
    }
    m_lastNowUs = std::max(nowUs, m_lastNowUs);
    return m_lastNowUs;
}

std::optional<qint64> PacedDevice::lineEventUs() const
{
    if (m_lastNowUs < 0)
        return 0; // the clock starts with the first call
    if (m_hungUp)
        return -1;
    if (!m_ready.isEmpty())
        return m_lastNowUs;
    if (!m_out.isEmpty())
        return m_out.nextDueUs();
    if (m_hangUpAtUs >= 0)
        return std::max(m_hangUpAtUs, m_lastNowUs);
    return std::nullopt;
}

int PacedDevice::paceBaud() const
{
    return m_options.paceBaud == kPaceLine ? m_lineBaud : std::max(m_options.paceBaud, 0);
}

qint64 PacedDevice::queue(const QByteArray &bytes, qint64 startUs, int speed)
{
    const int pace = m_options.paceBaud == kPaceLine && speed > 0 ? speed : paceBaud();
    return m_out.queue(bytes, startUs, pace, speed);
}

void PacedDevice::keepCommand(const QByteArray &command)
{
    m_commands.append(QString::fromLatin1(command));
    if (m_commands.size() > kKeptCommands)
        m_commands.removeFirst();
}

Moment PacedDevice::momentOf(qint64 nowUs, int ecu) const
{
    const qint64 clearedAtUs = m_clearedAtUs.value(ecu, -1);
    return Moment{nowUs - m_originUs, clearedAtUs < 0 ? -1 : clearedAtUs - m_originUs};
}

qint64 PacedDevice::vehicleLatencyUs() const
{
    return (qint64(std::max(m_scenario.latencyMs, 0)) + std::max(m_faults.latencyMs, 0)) * 1000;
}

} // namespace quorvex::sim
