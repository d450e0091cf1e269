#pragma once

#include "link/clock.h"
#include "link/elm327/elmtranslate.h"
#include "link/transport.h"
#include "link/version.h"

#include <QHash>
#include <QSet>

#include <deque>
#include <functional>
#include <memory>

namespace quorvex {

// An ELM327-compatible adapter (clones on USB serial, Bluetooth rfcomm; STN chips) behind the
// link operations: it presents the scan interface's byte stream, so nothing above the link
// knows which kind of adapter is attached. It talks to the adapter over a line of its own (the
// serial port), and its waits for the adapter's answers run on the program's clock.
//
// The adapter is reset and configured when the line is handed over (echo and line feeds off,
// spaces off where accepted, headers on, automatic protocol), then asked once for the vehicle's
// supported PIDs, which finds the bus and the ECUs that answer. Each of the program's commands
// becomes one adapter request and its answer one reply in the interface's layout. While no
// command is in hand the transport has a ready mark for whoever asks: "S" while the vehicle
// answered the last request, at once; "P" while the adapter could not reach it, one every
// kMarkMs (and the vehicle is asked again every kProbeMs until it answers). "900101" gives the
// adapter's identity in the firmware-id form, "800204" switches between the ECUs that answered,
// "F00504" and the 14-byte block are served on the pre-CAN buses.
//
// On CAN, the commands of a pass the program announces (`expect`) are asked up to six PIDs a
// request, of those the ECU said it supports (PID 00 always); the others come from that answer
// while the pass lasts, and a new announcement within the pass keeps those it names again. An
// ECU that answers only the first PID, refuses, or answers in a layout that cannot be
// taken apart is asked one PID a request until the next connection. The adapter times its
// waits adaptively (ATAT2) and learns its time-out (ATST) from the slowest answer seen; a
// request that finds no answer under the learned time-out is asked again with the default
// before it counts as the ECU not answering.
//
// On a serial line the adapter may be asked to run faster (`setLineSpeeds`; ATBRD on an ELM327
// from v1.2, STSBR on an STN chip). It answers "OK" at the old speed, switches, and sends its
// identity at the new one; the driver follows, answers with a CR within the adapter's handshake
// time, and gets "OK" at the new speed. When the identity does not come, the driver goes back to
// the old speed, where the adapter has gone back too. An adapter keeps a raised speed until it is
// powered off or reset, so a connection starts by looking for it at the speed that worked last.
class Elm327Transport : public Transport
{
    Q_OBJECT
public:
    static constexpr int kDefaultBaud = 38400;
    static constexpr int kMarkMs = 10;
    static constexpr int kProbeMs = 3000;
    static constexpr int kResetMs = 5000;   // a slow clone takes a second or two
    static constexpr int kSearchMs = 15000; // the first request searches every bus
    static constexpr int kAnswerMs = 5000;
    // Adapters older than the count hint answer "?" to it: after this many such answers no
    // request carries one.
    static constexpr int kHintRefusals = 3;
    // ATST counts 4 ms units; 32 (200 ms) is the adapter's default. The learned time-out is
    // the slowest answer seen plus half of it (at least kTimeoutMarginMs), rounded up to steps
    // of kMinTimeoutUnits, once kTimedAnswers answers were seen, and never above the default.
    static constexpr int kTimeoutUnitMs = 4;
    static constexpr int kDefaultTimeoutUnits = 0x32;
    static constexpr int kMinTimeoutUnits = 0x08;
    static constexpr int kTimeoutMarginMs = 25;
    static constexpr int kTimedAnswers = 4;
    // A speed change: how long the identity may take to come at the new speed, and how long the
    // adapter's prompt at the old one when it does not (its handshake time is 75 ms); the look
    // for an adapter left at a raised speed.
    static constexpr int kSpeedIdentityMs = 150;
    static constexpr int kSpeedPromptMs = 300;
    static constexpr int kSpeedProbeMs = 1000;
    // What "900101" answers: the capability level of this driver ("E" for an ELM327 adapter),
    // then the adapter's own identity.
    static constexpr char kFirmwareId[] = "E" QUORVEX_VERSION;

    explicit Elm327Transport(Clock &clock, QObject *parent = nullptr);

    // Takes over an open line to the adapter and starts setting it up.
    void open(std::unique_ptr<Transport> line);
    void close() override;
    // The adapter's identity ("ELM327 v1.5", "STN1110 v4.2.0"); empty until it answered.
    QString identity() const { return m_identity; }
    elm::Bus bus() const { return m_bus; }

    // What the adapter reports of itself, for the window: each empty while unknown or refused.
    struct Figures
    {
        QString identity; // "ELM327 v1.5" (its ATI answer, which a reset prints too)
        QString device;   // an STN chip's "STN1110 v4.2.0"
        QString protocol; // the bus found, in words
        QString battery;  // "12.6 V"
        QString speed;    // "115200 baud" while the line runs faster than it was opened at

        bool operator==(const Figures &) const = default;
    };
    Figures figures() const { return m_figures; }
    // Asks the adapter for the battery voltage again (figuresChanged follows).
    void refreshBattery();
    // The time-out the adapter waits for answers, in its 4 ms units.
    int timeoutUnits() const { return m_timeoutUnits; }
    // Line speeds to run the serial line at, tried in order until the adapter takes one (the
    // fastest first); empty: the speed the line was opened at. `remembered`, the speed that
    // worked last, is tried before them, and a connection looks for an adapter still at it
    // first. Kept for later connections, and applied at once while the adapter is ready
    // (lineSpeedSettled follows). An adapter that cannot change its speed stays at it.
    void setLineSpeeds(const QList<int> &speeds, int remembered = 0);
    // The serial line's speed now; 0 on a line without one.
    int lineSpeed() const override { return m_line ? m_line->lineSpeed() : 0; }
    // Whether the line runs at another speed than it was opened at.
    bool speedChanged() const;

    bool isOpen() const override { return m_line && m_line->isOpen(); }
    void write(const QByteArray &bytes) override;
    void writeBlock(const QByteArray &block) override;
    qint64 bytesAvailable() override;
    QByteArray readAll() override;
    int pollIntervalMs() const override { return kMarkMs; }
    void expect(const QList<QByteArray> &commands) override;

signals:
    void figuresChanged();
    // A change of line speed (or the look for one at connecting) is over.
    void lineSpeedSettled();

private:
    enum class Phase { Closed, SettingUp, Ready, Failed };
    // One line to the adapter and, once its prompt arrived (or the time was up), what to do
    // with the answer.
    struct Step
    {
        QByteArray line;
        int timeoutMs = kAnswerMs;
        std::function<void(const QByteArray &answer, bool timedOut)> done;
        // When the answer is complete (by default at the prompt).
        std::function<bool(const QByteArray &answer)> complete{};
        bool writes = true; // false: waits for what comes without writing
    };

    void ask(Step step);
    void askFirst(Step step);
    void search();
    void startNext();
    void onArrived();
    void finishStep(bool timedOut);
    void setUp();
    // The adapter's identity from the answer to a reset (`sent`), kept; whether there was one.
    bool takeIdentity(const QByteArray &answer, const QByteArray &sent);
    // ATZ, asked a second time when the `first` finds no adapter identity in its answer.
    void resetAdapter(bool first);
    // Resets (unless the adapter was just reset at its raised speed) and configures it.
    void configure(bool reset);
    // Asks for the first of `speeds` unless the line is at it, the next when the adapter does not
    // follow; `queued` behind the steps waiting rather than next.
    void changeLineSpeed(QList<int> speeds, bool queued = false);
    // The adapter said "OK" and the line is at the new speed: its identity there, the CR that
    // keeps the speed, its "OK"; else back to `old` and the `rest` of the speeds.
    void awaitIdentity(int old, const QList<int> &rest);
    // The adapter did not follow: back to `old`, its prompt there, then the `rest` of the speeds.
    void returnToSpeed(int old, const QList<int> &rest);
    void settleLineSpeed();
    void learn(const elm::Answer &answer);
    void handle(const QByteArray &command);
    bool physicalAddressing() const;
    // The ECU whose answers the program reads (0: whichever answers first).
    quint32 selectedSource() const;
    void addressSelected();
    // `hinted`: whether the request may carry the response-count hint; `retry`: asked again
    // with the default time-out after none came under the learned one.
    void askVehicle(const elm::Command &command, bool hinted = true, bool retry = false);
    // The request line with the response-count hint as the adapter and the bus take it.
    QByteArray withHint(QByteArray line, bool hinted) const;
    // Several PIDs in one request: the commands of the pass from `text` on that may go with it.
    QList<QByteArray> packedWith(const QByteArray &text) const;
    bool packable(const elm::Command &command) const;
    void askPacked(const QList<QByteArray> &texts, bool hinted = true, bool retry = false);
    void applyLearnedTimeout();
    // An answer that asks for its request again first (the count hint not understood; no answer
    // under the learned time-out) has it asked through `again` (hinted, retry); true then.
    bool askedAgain(const QByteArray &line, const elm::Answer &parsed, bool timedOut, bool retry,
                    const std::function<void(bool hinted, bool retry)> &again);
    void learnSupport(const elm::Answer &answer);
    void learnTiming(qint64 elapsedMs);
    void setTimeout(int units);
    // Keeps how many ECUs answered `request` for its next hint.
    void noteAnswering(const QByteArray &request, const elm::Answer &answer);
    void answerProgram(const QByteArray &text);
    bool idleForMarks() const;

    Clock &m_clock;
    std::unique_ptr<Transport> m_line;
    Phase m_phase = Phase::Closed;
    std::deque<Step> m_steps;
    bool m_stepRunning = false;
    QByteArray m_answer; // from the adapter, up to its prompt
    ClockTimer m_stepTimer;
    int m_commandsWaiting = 0; // the program's commands not yet answered

    QByteArray m_command; // the program's characters of a command not yet complete
    QByteArray m_input;   // what the program reads
    bool m_passThrough = false;

    QString m_identity;
    elm::Bus m_bus = elm::Bus::Unknown;
    bool m_reachable = true;
    QList<quint32> m_ecus;  // the ECUs that answered, in the order they did
    int m_selected = 0;     // the one the program reads
    int m_hintsRefused = 0; // requests with a count hint the adapter did not understand
    // Off CAN, how many ECUs answered each request (without its hint) when last asked, the ECU
    // the program reads among them: the hint the next time, so that a PID only the engine has
    // does not wait out the adapter's time-out for the transmission's answer.
    QHash<QByteArray, int> m_answering;
    qint64 m_lastMarkMs = 0;
    qint64 m_lastProbeMs = 0;
    qint64 m_stepStartedMs = 0;

    // Several PIDs a request: the pass's commands, the replies already in hand, what each ECU
    // said it supports (by the first PID of each range of 32) and the ECUs that take one PID.
    QList<QByteArray> m_expected;
    QHash<QByteArray, QByteArray> m_passReplies;
    QHash<quint32, QHash<int, quint32>> m_support;
    QSet<quint32> m_singlePid;

    // Timing: the slowest answer seen, how many were timed, the time-out the adapter has.
    qint64 m_slowestMs = 0;
    int m_timedAnswers = 0;
    int m_timeoutUnits = kDefaultTimeoutUnits;
    bool m_timeoutRefused = false;

    // Line speed: the speeds wanted (the remembered one first), the one that worked last, the
    // one the line was opened at.
    QList<int> m_speeds;
    int m_rememberedSpeed = 0;
    int m_openedBaud = 0;
    bool m_speedsPending = false; // changed during the set-up after they were applied

    Figures m_figures;
};

} // namespace quorvex
