#pragma once

#include "link/clock.h"
#include "link/elm327/elmtranslate.h"
#include "link/transport.h"
#include "link/version.h"

#include <QHash>

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

    bool isOpen() const override { return m_line && m_line->isOpen(); }
    void write(const QByteArray &bytes) override;
    void writeBlock(const QByteArray &block) override;
    qint64 bytesAvailable() override;
    QByteArray readAll() override;
    int pollIntervalMs() const override { return kMarkMs; }

private:
    enum class Phase { Closed, SettingUp, Ready, Failed };
    // One line to the adapter and, once its prompt arrived (or the time was up), what to do
    // with the answer.
    struct Step
    {
        QByteArray line;
        int timeoutMs = kAnswerMs;
        std::function<void(const QByteArray &answer, bool timedOut)> done;
    };

    void ask(Step step);
    void askFirst(Step step);
    void search();
    void startNext();
    void onArrived();
    void finishStep(bool timedOut);
    void setUp();
    void learn(const elm::Answer &answer);
    void handle(const QByteArray &command);
    bool physicalAddressing() const;
    // The ECU whose answers the program reads (0: whichever answers first).
    quint32 selectedSource() const;
    void addressSelected();
    // `hinted`: whether the request may carry the response-count hint.
    void askVehicle(const elm::Command &command, bool hinted = true);
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
};

} // namespace quorvex
