// The ELM327 driver's line speed: raising it on request, the handshake the adapter's data sheet
// gives, and going back when the adapter does not follow.
#include "link/elm327/elm327transport.h"

#include <utility>

namespace quorvex {

namespace {

bool has_prompt(const QByteArray &answer)
{
    return answer.contains('>');
}

} // namespace

void Elm327Transport::setLineSpeeds(const QList<int> &speeds, int remembered)
{
    // (`speeds` may be m_speeds itself.)
    QList<int> wanted;
    for (const int speed : QList<int>{speeds.isEmpty() ? 0 : remembered} + speeds)
        if (speed > 0 && !wanted.contains(speed))
            wanted << speed;
    m_rememberedSpeed = speeds.isEmpty() ? 0 : remembered;
    m_speeds = wanted;
    if (m_phase == Phase::Ready)
        changeLineSpeed(m_speeds.isEmpty() ? QList<int>{m_openedBaud} : m_speeds, true);
    else
        m_speedsPending = m_phase == Phase::SettingUp; // applied once the adapter is ready
}

bool Elm327Transport::speedChanged() const
{
    return m_openedBaud > 0 && lineSpeed() != m_openedBaud;
}

void Elm327Transport::changeLineSpeed(QList<int> speeds, bool queued)
{
    const int old = lineSpeed();
    const bool stn = m_figures.device.startsWith(u"STN");
    if (old <= 0 || speeds.isEmpty() || speeds.first() <= 0 || speeds.first() == old ||
        !elm::takes_speed_change(stn ? m_figures.device : m_identity)) {
        settleLineSpeed();
        return;
    }
    const int baud = speeds.takeFirst();
    Step step{elm::speed_command(stn, baud), kAnswerMs,
              [this, old, baud, speeds](const QByteArray &answer, bool timedOut) {
                  // "OK" comes at the old speed; anything else is a refusal, which no other
                  // speed will change.
                  if (timedOut || !answer.contains("OK"))
                      settleLineSpeed();
                  else if (m_line->setLineSpeed(baud))
                      awaitIdentity(old, speeds);
                  else
                      returnToSpeed(old, speeds);
              },
              [](const QByteArray &a) { return has_prompt(a) || a.contains("OK\r"); }};
    if (queued)
        ask(std::move(step));
    else
        askFirst(std::move(step));
}

void Elm327Transport::awaitIdentity(int old, const QList<int> &rest)
{
    askFirst({{},
              kSpeedIdentityMs,
              [this, old, rest](const QByteArray &, bool noIdentity) {
                  if (noIdentity) {
                      returnToSpeed(old, rest);
                      return;
                  }
                  // The CR at the new speed keeps it: "OK" and the prompt follow there.
                  askFirst({{}, kSpeedPromptMs, [this, old, rest](const QByteArray &answer, bool) {
                                if (answer.contains("OK"))
                                    settleLineSpeed();
                                else
                                    returnToSpeed(old, rest);
                            }});
              },
              [](const QByteArray &a) { return elm::identity_end(a) >= 0; },
              false});
}

void Elm327Transport::returnToSpeed(int old, const QList<int> &rest)
{
    // The adapter gives up after its handshake time and prints its prompt at the old speed
    // (which may have come and gone garbled while the line was at the new one).
    m_line->setLineSpeed(old);
    askFirst({{},
              kSpeedPromptMs,
              [this, rest](const QByteArray &, bool) {
                  if (rest.isEmpty())
                      settleLineSpeed();
                  else
                      changeLineSpeed(rest);
              },
              has_prompt,
              false});
}

void Elm327Transport::settleLineSpeed()
{
    const QString speed = speedChanged() ? QStringLiteral("%1 baud").arg(lineSpeed()) : QString();
    if (speed != m_figures.speed) {
        m_figures.speed = speed;
        emit figuresChanged();
    }
    emit lineSpeedSettled();
}

} // namespace quorvex
