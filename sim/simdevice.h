#pragma once

#include "sim/simpacing.h"
#include "sim/simscenario.h"
#include "sim/simvehicle.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>

namespace quorvex::sim {

// Pace the line at whatever speed the program set on it (PacedDevice::setLineBaud).
inline constexpr int kPaceLine = -1;

// Which device the simulator plays: the scan interface of our own, or an ELM327 adapter
// (sim::ElmEngine) in front of the same car.
// Replay serves a recording of either (sim::ReplayEngine).
enum class Personality { ScanInterface, Elm327, Replay };

struct ReplayOptions;

// The ELM327 adapter's make-up: the bus the car talks on, the chip, and its reset time.
struct ElmOptions
{
    // ATDPN "6", "3", "1", "2", "4", "5": CAN 11/500, ISO 9141-2, SAE J1850 PWM and VPW,
    // ISO 14230-4 KWP with the 5-baud and the fast initialisation.
    enum class Bus { Can11_500, Iso9141, J1850Pwm, J1850Vpw, Kwp5Baud, KwpFast };
    Bus bus = Bus::Can11_500;
    // ATI says "ELM327 v1.5" on the clone, "ELM327 v1.4b" on the others; STI and STDI answer on
    // the STN1110 only. The clone lacks the commands of the v1.4 and v2.0 data sheets (simelm.h).
    enum class Chip { Clone15, Elm14b, Stn1110 };
    Chip chip = Chip::Clone15;
    int resetMs = 0; // how long ATZ takes before its answer (a slow clone's reset); 0: at once
    // How the ECUs take a service 01 request for several PIDs on CAN: answer every supported
    // PID in one message, refuse it (7F 01 12), or answer the first PID alone.
    enum class Packing { Answered, Refused, FirstOnly };
    Packing packing = Packing::Answered;
    // What the adapter makes of a request for another line speed (ATBRD, and STSBR on the
    // STN1110): it switches as its data sheet says, refuses it ("?"), or answers "OK" and stays
    // at its speed (as many clones do).
    enum class SpeedChange { Switches, Refused, Ignored };
    SpeedChange speedChange = SpeedChange::Switches;

    bool operator==(const ElmOptions &) const = default;
};

// The buses by the names the command lines of the simulator and the benchmark give them.
inline constexpr std::pair<const char *, ElmOptions::Bus> kElmBusNames[] = {
    {"can", ElmOptions::Bus::Can11_500},     {"iso", ElmOptions::Bus::Iso9141},
    {"j1850pwm", ElmOptions::Bus::J1850Pwm}, {"j1850vpw", ElmOptions::Bus::J1850Vpw},
    {"kwp5", ElmOptions::Bus::Kwp5Baud},     {"kwpfast", ElmOptions::Bus::KwpFast},
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
    std::shared_ptr<const ReplayOptions> replay{}; // with Personality::Replay
};

// What the scan interface (Engine) and the ELM327 adapter (ElmEngine) share as pure state
// machines in front of the same car: the car and its faults, the line out with its pacing, the
// clock's origin (fixed by the first call), the record of commands and the hang-up. Each
// personality answers in its own advance(), which every call from outside runs first.
class PacedDevice
{
public:
    // The latest commands received are kept (up to kKeptCommands), in order: what a test reads
    // back, without growing through a long run.
    static constexpr qsizetype kKeptCommands = 1000;

    // Every byte whose send time has come by nowUs, in order.
    QByteArray take(qint64 nowUs);
    // The "disconnect after n" fault has struck; nothing more is sent or handled.
    bool hungUp() const { return m_hungUp; }
    Faults faults() const { return m_faults; } // with the counters as far as they have counted
    void setLineBaud(int baud);                // 0 = unknown
    int lineBaud() const { return m_lineBaud; }
    QStringList commands() const { return m_commands; }
    // The car as it now stands (service 04 erases what it erases).
    const Scenario &scenario() const { return m_scenario; }

protected:
    PacedDevice(Scenario scenario, Options options);
    PacedDevice(const PacedDevice &) = default;
    PacedDevice(PacedDevice &&) = default;
    PacedDevice &operator=(const PacedDevice &) = default;
    PacedDevice &operator=(PacedDevice &&) = default;
    virtual ~PacedDevice() = default;

    // Brings the device to clock time nowUs: what falls due is released into m_ready.
    virtual void advance(qint64 nowUs) = 0;
    // Fixes the clock's origin on the first call and keeps time from going back; the time to
    // use from then on.
    qint64 startClock(qint64 nowUs);
    // When take() next has output as far as the line and a pending hang-up say (0 before the
    // first call; -1 once hung up); none when the personality's own idle output decides.
    std::optional<qint64> lineEventUs() const;
    // The speed output is paced at (0: unpaced), given the speed the program set on the line.
    int paceBaud() const;
    // Queues bytes on the line at its pace, from startUs or once it is free; when the last of
    // them is due. `speed`: the device's own UART speed when it runs at one of its own (0: the
    // program's); paced at the line's speed, they go at that speed instead.
    qint64 queue(const QByteArray &bytes, qint64 startUs, int speed = 0);
    void keepCommand(const QByteArray &command);
    // Where ECU `ecu`'s part of the car stands at clock time nowUs.
    Moment momentOf(qint64 nowUs, int ecu) const;
    // The wait before the car answers a request: the scenario's latency and the fault's.
    qint64 vehicleLatencyUs() const;
    // 0-9 and A-F: what both take as a command's characters.
    static bool isUpperHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

    Scenario m_scenario;
    Options m_options;
    Faults m_faults;
    int m_lineBaud = 0;
    QList<qint64> m_clearedAtUs; // per ECU, clock time of its last clearing; -1 never
    QStringList m_commands;
    PacedLine m_out;          // output not yet due, in line order
    QByteArray m_ready;       // due, not yet taken
    qint64 m_lastNowUs = -1;  // -1 until the first call sets the origin
    qint64 m_originUs = 0;    // the first call's time: the car's engine starts then
    qint64 m_hangUpAtUs = -1; // -1: no hang-up pending
    bool m_hungUp = false;
};

} // namespace quorvex::sim
