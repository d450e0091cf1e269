#pragma once

#include "sim/simpacing.h"
#include "sim/simscenario.h"
#include "sim/simvehicle.h"

#include <QByteArray>
#include <QStringList>

namespace quorvex::sim {

// Pace the line at whatever speed the program set on it (Engine::setLineBaud).
inline constexpr int kPaceLine = -1;

// Which device the simulator plays: the scan interface of our own, or an ELM327 adapter
// (sim::ElmEngine) in front of the same car.
enum class Personality { ScanInterface, Elm327 };

// The ELM327 adapter's make-up: the bus the car talks on, the chip, and its reset time.
struct ElmOptions
{
    enum class Bus { Can11_500, Iso9141 }; // protocol "6" / "3"
    Bus bus = Bus::Can11_500;
    // ATI says "ELM327 v1.5" on the clone, "ELM327 v1.4b" on the others; STI and STDI answer on
    // the STN1110 only. The clone lacks the commands of the v1.4 and v2.0 data sheets (simelm.h).
    enum class Chip { Clone15, Elm14b, Stn1110 };
    Chip chip = Chip::Clone15;
    int resetMs = 0; // how long ATZ takes before its answer (a slow clone's reset); 0: at once

    bool operator==(const ElmOptions &) const = default;
};

struct Options
{
    // 0: a reply's characters are all due at once. A positive speed gives every character
    // 10 bits of line time at that speed; kPaceLine takes the program's speed (unpaced while
    // it is unknown).
    int paceBaud = 0;
    // Period of the idle ready marks in microseconds, overriding the scenario's milliseconds
    // when above 0: a flood of marks for the program's memory tests.
    qint64 markIntervalUs = 0;
    // False for the USB personality: nothing is sent while idle, and readiness is asked for
    // instead (readyMark).
    bool readyMarks = true;
    // The ELM327 personality is served by sim::Server only; Engine itself is always the scan
    // interface. Pacing applies to it as well (such adapters typically run at 38400 baud).
    Personality personality = Personality::ScanInterface;
    ElmOptions elm{};
};

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
class Engine
{
public:
    explicit Engine(Scenario scenario, Options options = {});

    void receive(const QByteArray &bytes, qint64 nowUs);
    // Every byte whose send time has come by nowUs, in order.
    QByteArray take(qint64 nowUs);
    // When take() next has output (or the hang-up falls due); -1 if never without new input;
    // 0 before the first call, which starts the clock.
    qint64 nextEventUs() const;
    // The "disconnect after n commands" fault has struck; nothing more is sent or handled.
    bool hungUp() const;
    // The mark an idle interface would send now: 'S' with vehicle contact, 'P' without, 0
    // while it is busy with a command (or silent, or gone).
    char readyMark(qint64 nowUs);

    void setFaults(const Faults &faults);
    Faults faults() const;      // with the counters as far as they have counted down
    void setLineBaud(int baud); // 0 = unknown
    int lineBaud() const;
    int activeEcu() const; // index into the scenario's ECUs
    // The latest complete commands received (up to kKeptCommands), in order: what a test reads
    // back, without growing through a long run.
    static constexpr qsizetype kKeptCommands = 1000;
    QStringList commands() const;
    // The scenario as the car now stands: service 04 erases the active ECU's codes, freeze
    // frame and MIL.
    const Scenario &scenario() const;

private:
    void advance(qint64 nowUs);
    void handleCommand(const QByteArray &command, qint64 nowUs);
    void handleBlock(const QByteArray &block, qint64 nowUs);
    bool inPassThrough(qint64 nowUs) const;
    QByteArray o2TestAnswer(quint8 service, quint8 tid, quint8 sensor, qint64 nowUs);
    QByteArray answer(const QByteArray &command, qint64 nowUs, qint64 *delayUs);
    QByteArray vehicleAnswer(quint8 service, quint8 pid, int length, qint64 nowUs);
    void scheduleHangUpIfDue(qint64 nowUs);
    bool isSilent() const { return m_faults.silent; }
    bool hasContact() const { return !m_scenario.noContact && !m_faults.noContact; }
    qint64 markIntervalUs() const;

    Scenario m_scenario;
    Options m_options;
    Faults m_faults;
    int m_lineBaud = 0;
    int m_activeEcu = 0;
    QList<qint64> m_clearedAtUs; // per ECU, clock time of its last clearing; -1 never

    QByteArray m_input;               // hex characters of a command not yet complete
    QByteArray m_block;               // raw bytes of a pass-through block not yet complete
    qint64 m_passThroughUntilUs = -1; // -1: not in the pass-through mode
    QStringList m_commands;
    int m_commandCount = 0;

    PacedLine m_out;         // output not yet due, in line order
    QByteArray m_ready;      // due, not yet taken
    qint64 m_lastNowUs = -1; // -1 until the first call sets the origin
    qint64 m_originUs = 0;   // the first call's time: the car's engine starts then
    qint64 m_nextMarkUs = 0;
    qint64 m_garbageAtUs = -1; // -1: no stray character pending
    int m_garbageIndex = 0;
    bool m_restartMarks = false; // silence ended: marks restart from the next call's time
    qint64 m_hangUpAtUs = -1;    // -1: no hang-up pending
    bool m_hungUp = false;
};

} // namespace quorvex::sim
