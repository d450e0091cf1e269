#pragma once
// The simulated interface (or ELM327 adapter) in the test's own process, on the test's clock:
// what the program opens as a serial device when SimPorts stands in for the system's ports. No
// thread and no pseudo-terminal: a reply or a ready mark arrives exactly when the simulator
// says it is due, on every machine.

#include "link/clock.h"
#include "link/serialtransport.h"
#include "link/tcptransport.h"
#include "sim/simelm.h"

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <vector>

namespace quorvex::test {

class SimLine;

// One simulated device: the engine and its car, for as long as the test runs, whatever the
// program does with its line. Output that falls due while no line is open is lost, as on a
// closed port. The controls and records are those of the pseudo-terminal server.
class SimDevice
{
public:
    SimDevice(Clock &clock, QString path, sim::Scenario scenario, sim::Options options = {});
    ~SimDevice();
    SimDevice(const SimDevice &) = delete;
    SimDevice &operator=(const SimDevice &) = delete;

    QString devicePath() const { return m_path; }
    void setFaults(const sim::Faults &faults);
    sim::Faults faults() const;
    // The latest bytes the program wrote (as many as the pty server keeps) and the latest
    // commands, in order.
    QByteArray received() const { return m_received; }
    QStringList commands() const;
    qint64 sentBytes() const { return m_sentBytes; }
    int lineBaud() const { return m_lineBaud; }
    int activeEcu() const;
    // The adapter is unplugged: the program's line is lost at once and the device is gone.
    void hangUp();
    bool isHungUp() const { return m_hungUp; }

    bool probe(QString *error) const;
    std::unique_ptr<Transport> open(int baud, QString *error);

private:
    friend class SimLine;
    void write(const QByteArray &bytes);
    void setLineBaud(int baud);
    // Hands the program what is due and sets the timer for what falls due next.
    void pump();
    void detach(const SimLine *line);
    qint64 nowUs() const { return m_clock.nowMs() * 1000; }

    Clock &m_clock;
    QString m_path;
    sim::AnyEngine m_engine;
    ClockTimer m_due;
    ClockTimer m_hangUp;
    SimLine *m_line = nullptr;
    QByteArray m_received;
    qint64 m_sentBytes = 0;
    int m_lineBaud = 0;
    bool m_hungUp = false;
};

// Serial ports that lead to simulated devices, named "sim0", "sim1", ... in the order added.
// Unless the options say otherwise, a device sends at the speed the program set on its line.
class SimPorts : public SerialPorts
{
public:
    explicit SimPorts(Clock &clock) : m_clock(clock) {}

    SimDevice &add(sim::Scenario scenario, sim::Options options = {});
    SimDevice *device(const QString &path) const;

    bool probe(const QString &device, QString *error) override;
    std::unique_ptr<Transport> open(const SerialSettings &settings, QString *error) override;

private:
    Clock &m_clock;
    std::vector<std::unique_ptr<SimDevice>> m_devices;
};

// Wi-Fi adapters that lead to simulated devices, at the addresses added. What an address does
// with a connection is up to the test: a listening adapter accepts it after kAcceptMs; an
// address where something refuses it refuses it after kAcceptMs; one where nothing answers
// never settles it (the program's bound ends it). Unless the options say otherwise, a device
// sends at the 38400 baud of the adapter's own serial link.
class SimNetwork : public NetworkConnector
{
public:
    enum class Answer { Accept, Refuse, Nothing };
    static constexpr int kAcceptMs = 3;

    explicit SimNetwork(Clock &clock) : m_clock(clock) {}
    ~SimNetwork() override;

    // A listening adapter at address ("127.0.0.1:35000").
    SimDevice &add(const QString &address, sim::Scenario scenario, sim::Options options = {});
    // What the address does with connections from now on (Refuse where nothing was added).
    void setAnswer(const QString &address, Answer answer) { m_answers[address] = answer; }
    // The adapter closes the connection the program holds (as a Wi-Fi adapter does when it is
    // reset or switched off): the program's line is lost at once.
    void closeConnection();
    // The addresses the program tried to connect to, in order.
    QStringList attempts() const { return m_attempts; }

    std::unique_ptr<NetworkLine> connectTo(const NetworkAddress &address) override;

private:
    Clock &m_clock;
    std::map<QString, std::unique_ptr<SimDevice>> m_devices;
    std::map<QString, Answer> m_answers;
    QStringList m_attempts;
    QPointer<NetworkLine> m_current; // the latest connection
};

} // namespace quorvex::test
