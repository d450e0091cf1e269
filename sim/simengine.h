#pragma once

#include "sim/simdevice.h"

#include <QByteArray>
#include <QStringList>

namespace quorvex::sim {

// The scan interface and the car behind it, as a pure state machine: no clock, no I/O, no
// threads. The caller feeds the bytes the program wrote and pulls the bytes that are due, both
// with the current time of one monotonic clock in microseconds. The first call fixes the
// clock's origin: the first ready mark falls one mark interval after it, and the car's engine
// starts then (the model's values follow the time since).
//
// Commands are six upper-case hex characters; anything else on the line (CR, LF, blanks,
// lower case, garbage) is ignored, so a command may arrive in pieces or several in one write.
// The one exception is the pass-through mode: after it acknowledges "F00504", the interface
// takes the next 14 bytes, whatever they are, as a raw block for the vehicle (service $06) and
// answers with 13 raw bytes; a block that is not complete within a second is dropped. No ready
// marks are sent while it waits for the block.
// Commands are handled strictly in order and a reply begins only when the previous output has
// gone out. While idle the interface sends a ready mark, "S" or, without vehicle contact, "P",
// every mark interval; marks pause from a command's arrival until one interval after its reply.
class Engine : public PacedDevice
{
public:
    explicit Engine(Scenario scenario, Options options = {});

    void receive(const QByteArray &bytes, qint64 nowUs);
    // When take() next has output (or the hang-up falls due); -1 if never without new input;
    // 0 before the first call, which starts the clock.
    qint64 nextEventUs() const;
    // The mark an idle interface would send now: 'S' with vehicle contact, 'P' without, 0
    // while it is busy with a command (or silent, or gone).
    char readyMark(qint64 nowUs);

    void setFaults(const Faults &faults);
    int activeEcu() const; // index into the scenario's ECUs; service 04 clears its memory

private:
    void advance(qint64 nowUs) override;
    void handleCommand(const QByteArray &command, qint64 nowUs);
    void handleBlock(const QByteArray &block, qint64 nowUs);
    bool inPassThrough(qint64 nowUs) const;
    QByteArray o2TestAnswer(quint8 service, quint8 tid, quint8 sensor, qint64 nowUs);
    QByteArray answer(const QByteArray &command, qint64 nowUs, qint64 *delayUs);
    QByteArray vehicleAnswer(quint8 service, quint8 pid, int length, qint64 nowUs);
    QByteArray vehicleInfoAnswer(quint8 infoType, int length) const;
    void scheduleHangUpIfDue(qint64 nowUs);
    bool isSilent() const { return m_faults.silent; }
    bool hasContact() const { return !m_scenario.noContact && !m_faults.noContact; }
    qint64 markIntervalUs() const;

    int m_activeEcu = 0;
    QByteArray m_input;               // hex characters of a command not yet complete
    QByteArray m_block;               // raw bytes of a pass-through block not yet complete
    qint64 m_passThroughUntilUs = -1; // -1: not in the pass-through mode
    int m_commandCount = 0;
    qint64 m_nextMarkUs = 0;
    qint64 m_garbageAtUs = -1; // -1: no stray character pending
    int m_garbageIndex = 0;
    bool m_restartMarks = false; // silence ended: marks restart from the next call's time
};

} // namespace quorvex::sim
