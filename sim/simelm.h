#pragma once

#include "sim/simengine.h"
#include "sim/simpacing.h"
#include "sim/simreplay.h"
#include "sim/simscenario.h"
#include "sim/simvehicle.h"

#include <QByteArray>
#include <QStringList>

#include <utility>
#include <variant>

namespace quorvex::sim {

// An ELM327 adapter in front of the scenario's car, as a pure state machine with the shape of
// Engine: no clock, no I/O, no threads; bytes in and out with the time of one monotonic clock in
// microseconds, the first call fixing its origin.
//
// Input is taken a line at a time, up to CR: LF and other control characters are ignored, spaces
// and case do not matter, and an empty line repeats the last command. After a reset the adapter
// echoes what it receives (ATE0 stops that), ends its lines with CR alone (ATL1 adds LF), and
// ends every answer with an empty line and the prompt: "OK\r\r>".
//
// AT commands answer at once. Among them ATZ/ATWS (reset: "\r\rELM327 v1.5\r\r>", ATZ after
// ElmOptions::resetMs, characters arriving meanwhile are lost), ATD ("\rOK": defaults, echo
// back on), ATI, AT@1, ATE/L/S/H/CAF 0|1, ATSP/ATTP [A]h, ATDP, ATDPN, ATST hh (time-out in 4 ms
// units), ATSH, ATCRA [hhh] and ATSR hh (receive filters), ATAR, ATRV, ATPC; STI and STDI on the
// STN1110. Settings without an effect on this car (ATAL, ATAT1, ATM0, ...) answer "OK"; so does
// ATAT, whose adaptive timing is not modelled (the wait is always ATST's). The clone answers "?"
// to what the v1.4 data sheet added (ATSS, ATPB, ATIGN, ATCSM), as cheap clones report a newer
// version than they implement, and both ELMs to the v2.0 ATAMT. ATZ, ATWS and ATD also set the
// protocol back to automatic.
//
// OBD requests are hex digit pairs, optionally followed by one digit, the number of answers to
// wait for. The first request after a reset or a protocol change searches ("SEARCHING...\r"
// first, "UNABLE TO CONNECT" without contact) or, on a fixed K-line protocol (ISO 9141-2, KWP),
// initialises the bus
// ("BUS INIT: ...OK\r", the clone prints no dots). Answers come after the car's latency; then,
// unless the expected number of answers is in, the adapter waits out its time-out (ATST) before
// the prompt. No answer at all is "NO DATA". Any character arriving before the prompt of an OBD
// request stops it: what was not sent yet is dropped, "STOPPED" follows, and the rest of the
// interrupting line is ignored.
//
// Pacing (Options::paceBaud, kPaceLine) applies to everything sent; the search and bus
// initialisation take kSearchUs, but only when paced (unpaced tests stay instant).
//
// Line speed: the adapter powered up at the first speed its line is known to run at (the
// program's, as it opened the line) and runs at it until it is asked for another (ATBRD hh:
// 4 MHz / hh, hh from 08; STSBR with the speed in decimal on the STN1110). It then answers "OK"
// at its old speed, switches, and kSwitchGapUs later sends its identity (ATI, STI) at the new
// one; a CR arriving within the handshake time (ATBRT hh, 5 ms units, 75 ms by default) keeps
// the new speed ("OK" and the prompt follow at it); otherwise it goes back to the old speed and
// prints the prompt there. ATZ returns to the speed it powered up at, ATWS and ATD keep it.
// While the adapter and the program's line run at speeds more than 3 % apart, what it sends
// arrives garbled (PacedLine::garbled) and what it receives is lost (framing errors).
// Faults: silent (nothing sent at all), noContact, ecuTimeout (NO DATA), latencyMs,
// codesLatencyMs, clearRejected, disconnectAfter (hang up after the n-th OBD answer); the scan
// interface's marker faults do not apply.
class ElmEngine : public PacedDevice
{
public:
    explicit ElmEngine(Scenario scenario, Options options = {});

    static constexpr qint64 kSearchUs = 150'000;

    // Its commands() are the lines received, without their CR, as they came; service 04
    // erases the memory of the ECUs that heard it.
    void receive(const QByteArray &bytes, qint64 nowUs);
    // When take() next has output (or the hang-up falls due); -1 if never without new input;
    // 0 before the first call, which starts the clock.
    qint64 nextEventUs() const;

    void setFaults(const Faults &faults);
    // The ECU the receive filter (ATCRA on CAN, ATSR on the other buses) or, on CAN, a physical
    // header selects; 0 when none does.
    int activeEcu() const;
    // The adapter's own line speed; 0 until its line's speed was first known.
    int uartBaud() const { return m_uartBaud; }

    static constexpr qint64 kSwitchGapUs = 20'000;

private:
    // What ATZ, ATWS and ATD restore.
    struct Settings
    {
        bool echo = true;
        bool linefeeds = false;
        bool spaces = true;
        bool headers = false;
        bool canAutoFormat = true;
        int timeoutUnits = 0x32;   // ATST, 4 ms each: 200 ms
        char protocol = '0';       // ATSP/ATTP digit; '0' before a search has found the bus
        bool automatic = true;     // search when the protocol does not answer
        int header = -1;           // ATSH; -1: the functional request
        int canFilter = -1;        // ATCRA
        int isoFilter = -1;        // ATSR
        int handshakeUnits = 0x0F; // ATBRT, 5 ms each
    };
    // A line speed change waiting for the program's CR at the new speed.
    struct SpeedChange
    {
        bool active = false;
        int previousBaud = 0; // m_uartBaud before it
        int oldBaud = 0;      // the speed it came at
        qint64 untilUs = 0;   // when the adapter gives up and goes back
    };
    struct Answer
    {
        Answer(QByteArray answerText, qint64 answerDelayUs = 0)
            : text(std::move(answerText)), delayUs(answerDelayUs)
        {
        }
        QByteArray text; // without the closing "\r\r>"
        qint64 delayUs = 0;
    };

    void advance(qint64 nowUs) override;
    void takeCharacter(char c, qint64 nowUs);
    void handleLine(qint64 nowUs);
    Answer atAnswer(const QByteArray &command, qint64 nowUs);
    QByteArray stAnswer(const QByteArray &command) const;
    // ATBRD and STSBR: true when `command` is one of them (and has been answered).
    bool speedCommand(const QByteArray &command, qint64 nowUs);
    // Starts the handshake for `baud`, `id` being what the new speed hears first.
    void changeSpeed(int baud, const QByteArray &id, qint64 nowUs);
    void endSpeedChange(bool kept, qint64 nowUs);
    // The speed the adapter's UART runs at now (the line's when it has none of its own).
    int currentBaud() const { return m_uartBaud > 0 ? m_uartBaud : m_lineBaud; }
    bool misheard() const;
    void handleRequest(const QByteArray &command, qint64 nowUs);
    // Brings the bus up for the first request; returns the error line when it cannot.
    QByteArray connectBus(QByteArray *status);
    QByteArray vehicleLines(const QByteArray &request, int wanted, int *count, qint64 nowUs);
    void interrupt(qint64 nowUs);
    void reset();
    bool setProtocol(const QByteArray &argument);
    QByteArray describeProtocol(bool number) const;
    bool receives(int ecu) const;
    bool shows(int ecu) const;
    int canHeader() const;
    // Queue text (CRs followed by LF with ATL1) at the adapter's speed or `speed`; return when
    // its last character is due.
    qint64 send(const QByteArray &text, qint64 startUs, int speed = -1);
    qint64 sendAnswer(const QByteArray &text, qint64 startUs);
    void flushEcho(qint64 nowUs);
    void scheduleHangUpIfDue();
    bool hasContact() const { return !m_scenario.noContact && !m_faults.noContact; }
    char carProtocol() const;
    qint64 timeoutUs() const;
    qint64 searchUs() const;

    Settings m_settings;
    bool m_connected = false; // the bus is known and initialised

    QByteArray m_line;        // characters of the line not yet complete
    QByteArray m_echo;        // echo not yet queued
    QByteArray m_lastCommand; // for the empty line; normalised
    bool m_lineTooLong = false;
    bool m_discardLine = false; // the rest of an interrupting line is ignored
    char m_lastSent = '\r';
    qint64 m_resetUntilUs = -1; // input is lost until then
    qint64 m_busyUntilUs = -1;  // an OBD request is being answered until its prompt is due
    int m_answers = 0;          // OBD requests answered, for disconnectAfter
    int m_uartBaud = 0;         // 0: the program's speed
    int m_powerOnBaud = 0;      // what ATZ returns to (0: the program's)
    SpeedChange m_speedChange;
};

// Either personality, as Options::personality chooses.
using AnyEngine = std::variant<Engine, ElmEngine, ReplayEngine>;
AnyEngine makeEngine(Scenario scenario, Options options);

} // namespace quorvex::sim
