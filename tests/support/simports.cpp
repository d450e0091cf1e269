#include "simports.h"

#include "sim/simserver.h"

#include <algorithm>
#include <utility>

namespace quorvex::test {

namespace {
// A reply that came just before the interface hung up is left this long to be read.
constexpr int kHangUpDelayMs = 20;

QString missing_device(const QString &path)
{
    return SerialTransport::explainOpenError(QSerialPort::DeviceNotFoundError,
                                             path + QStringLiteral(": No such file or directory"));
}
} // namespace

// The program's end of a simulated device, as a serial port is: what arrived waits here (the
// latest SerialTransport::kInputLimit bytes) until read, and each arrival is announced.
class SimLine : public Transport
{
public:
    explicit SimLine(SimDevice &device) : m_device(&device) {}
    ~SimLine() override { close(); }

    bool isOpen() const override { return m_device != nullptr; }
    void close() override
    {
        if (m_device)
            std::exchange(m_device, nullptr)->detach(this);
        m_input.clear();
    }
    void write(const QByteArray &bytes) override
    {
        if (m_device)
            m_device->write(bytes);
    }
    qint64 bytesAvailable() override { return m_input.size(); }
    QByteArray readAll() override { return std::exchange(m_input, QByteArray()); }
    int lineSpeed() const override { return m_device ? m_device->lineBaud() : 0; }
    bool setLineSpeed(int baud) override
    {
        if (!m_device || baud <= 0)
            return false;
        m_device->setLineBaud(baud);
        return true;
    }

    void deliver(const QByteArray &bytes)
    {
        m_input += bytes;
        if (m_input.size() > SerialTransport::kInputLimit)
            m_input.remove(0, m_input.size() - SerialTransport::kInputLimit);
        emit arrived();
    }
    void fail(const QString &reason)
    {
        orphan();
        emit lost(reason);
    }
    // The device is gone without a word (the test is ending).
    void orphan()
    {
        m_device = nullptr;
        m_input.clear();
    }

private:
    SimDevice *m_device;
    QByteArray m_input;
};

SimDevice::SimDevice(Clock &clock, QString path, sim::Scenario scenario, sim::Options options)
    : m_clock(clock), m_path(std::move(path)),
      m_engine(sim::makeEngine(std::move(scenario), options)), m_due(clock), m_hangUp(clock)
{
    // The interface is powered from now on: its clock (and the car's engine) starts.
    pump();
}

SimDevice::~SimDevice()
{
    if (m_line)
        m_line->orphan();
}

void SimDevice::setFaults(const sim::Faults &faults)
{
    std::visit([&](auto &engine) { engine.setFaults(faults); }, m_engine);
    pump(); // what falls due next may have moved
}

sim::Faults SimDevice::faults() const
{
    return std::visit([](const auto &engine) { return engine.faults(); }, m_engine);
}

QStringList SimDevice::commands() const
{
    return std::visit([](const auto &engine) { return engine.commands(); }, m_engine);
}

int SimDevice::activeEcu() const
{
    return std::visit([](const auto &engine) { return engine.activeEcu(); }, m_engine);
}

bool SimDevice::probe(QString *error) const
{
    if (m_hungUp && error)
        *error = missing_device(m_path);
    return !m_hungUp;
}

std::unique_ptr<Transport> SimDevice::open(int baud, QString *error)
{
    if (!probe(error))
        return nullptr;
    if (m_line)
        std::exchange(m_line, nullptr)->fail(QStringLiteral("opened again"));
    auto line = std::make_unique<SimLine>(*this);
    pump(); // what fell due while the port was closed is gone
    m_line = line.get();
    setLineBaud(baud);
    return line;
}

void SimDevice::setLineBaud(int baud)
{
    m_lineBaud = baud;
    std::visit([baud](auto &engine) { engine.setLineBaud(baud); }, m_engine);
    pump();
}

void SimDevice::detach(const SimLine *line)
{
    if (m_line == line)
        m_line = nullptr;
}

void SimDevice::write(const QByteArray &bytes)
{
    m_received += bytes;
    if (m_received.size() > 2 * sim::Server::kKeptBytes)
        m_received.remove(0, m_received.size() - sim::Server::kKeptBytes);
    std::visit([&](auto &engine) { engine.receive(bytes, nowUs()); }, m_engine);
    pump();
}

void SimDevice::pump()
{
    if (m_hungUp)
        return;
    const qint64 now = nowUs();
    QByteArray output;
    bool hungUp = false;
    qint64 nextUs = -1;
    std::visit(
        [&](auto &engine) {
            output = engine.take(now);
            hungUp = engine.hungUp();
            nextUs = engine.nextEventUs();
        },
        m_engine);
    m_sentBytes += output.size();
    if (hungUp) {
        // The "disconnect after n commands" fault: the reply goes out, then the line.
        m_due.stop();
        if (!m_hangUp.isActive())
            m_hangUp.start(kHangUpDelayMs, [this] { hangUp(); });
    } else if (nextUs >= 0) {
        const qint64 delayUs = std::max<qint64>(nextUs - now, 0);
        m_due.start(static_cast<int>((delayUs + 999) / 1000), [this] { pump(); });
    } else {
        m_due.stop();
    }
    // Last: the reader may write at once (the ELM327 driver does), which pumps again.
    if (m_line && !output.isEmpty())
        m_line->deliver(output);
}

void SimDevice::hangUp()
{
    m_hungUp = true;
    m_due.stop();
    m_hangUp.stop();
    if (m_line)
        std::exchange(m_line, nullptr)
            ->fail(SerialTransport::lossText(QSerialPort::ResourceError, m_path));
}

SimDevice &SimPorts::add(sim::Scenario scenario, sim::Options options)
{
    // As on a real line, every character takes its time at the speed the program chose, so
    // a loop of exchanges always lets time pass.
    if (options.paceBaud == 0)
        options.paceBaud = sim::kPaceLine;
    const QString path = QStringLiteral("sim%1").arg(m_devices.size());
    m_devices.push_back(std::make_unique<SimDevice>(m_clock, path, std::move(scenario), options));
    return *m_devices.back();
}

SimDevice *SimPorts::device(const QString &path) const
{
    for (const auto &d : m_devices)
        if (d->devicePath() == path)
            return d.get();
    return nullptr;
}

bool SimPorts::probe(const QString &device, QString *error)
{
    if (SimDevice *d = this->device(device))
        return d->probe(error);
    if (error)
        *error = missing_device(device);
    return false;
}

std::unique_ptr<Transport> SimPorts::open(const SerialSettings &settings, QString *error)
{
    if (SimDevice *d = device(settings.device))
        return d->open(settings.baud, error);
    if (error)
        *error = missing_device(settings.device);
    return nullptr;
}

// The program's end of a connection to a simulated Wi-Fi adapter: connecting until the
// network settles it, then the device's line behind it.
class SimNetworkLine : public NetworkLine
{
public:
    SimNetworkLine(Clock &clock, QString address) : m_address(std::move(address)), m_settle(clock)
    {
    }

    State state() const override { return m_state; }
    QString failure() const override { return m_failure; }
    bool isOpen() const override { return m_state == State::Connected; }
    void close() override
    {
        m_state = State::Closed;
        m_settle.stop();
        if (m_line)
            m_line->close();
    }
    void write(const QByteArray &bytes) override
    {
        if (isOpen())
            m_line->write(bytes);
    }
    qint64 bytesAvailable() override { return isOpen() ? m_line->bytesAvailable() : 0; }
    QByteArray readAll() override { return isOpen() ? m_line->readAll() : QByteArray(); }

    void accept(SimDevice &device)
    {
        m_settle.start(SimNetwork::kAcceptMs, [this, &device] {
            QString error;
            m_line = device.open(38400, &error);
            if (!m_line) {
                refuseNow(QStringLiteral("Connection refused"));
                return;
            }
            connect(m_line.get(), &Transport::arrived, this, &Transport::arrived);
            connect(m_line.get(), &Transport::lost, this,
                    [this](const QString &) { closedByFarEnd(); });
            m_state = State::Connected;
            emit settled();
        });
    }
    void refuse()
    {
        m_settle.start(SimNetwork::kAcceptMs,
                       [this] { refuseNow(QStringLiteral("Connection refused")); });
    }
    void closedByFarEnd()
    {
        if (m_state != State::Connected)
            return;
        close();
        emit lost(TcpTransport::lossText(QAbstractSocket::RemoteHostClosedError, m_address, {}));
    }

private:
    void refuseNow(const QString &reason)
    {
        m_state = State::Failed;
        m_failure = reason;
        emit settled();
    }

    QString m_address;
    ClockTimer m_settle;
    State m_state = State::Connecting;
    QString m_failure;
    std::unique_ptr<Transport> m_line;
};

SimNetwork::~SimNetwork() = default;

SimDevice &SimNetwork::add(const QString &address, sim::Scenario scenario, sim::Options options)
{
    if (options.paceBaud == 0)
        options.paceBaud = 38400;
    auto &device = m_devices[address];
    device = std::make_unique<SimDevice>(m_clock, address, std::move(scenario), options);
    m_answers[address] = Answer::Accept;
    return *device;
}

void SimNetwork::closeConnection()
{
    if (m_current)
        static_cast<SimNetworkLine *>(m_current.data())->closedByFarEnd();
}

std::unique_ptr<NetworkLine> SimNetwork::connectTo(const NetworkAddress &address)
{
    const QString text = address.text();
    m_attempts << text;
    auto line = std::make_unique<SimNetworkLine>(m_clock, text);
    const auto answer = m_answers.find(text);
    const auto device = m_devices.find(text);
    if (answer == m_answers.end() || answer->second == Answer::Refuse ||
        (answer->second == Answer::Accept && device == m_devices.end()))
        line->refuse();
    else if (answer->second == Answer::Accept)
        line->accept(*device->second);
    m_current = line.get();
    return line;
}

} // namespace quorvex::test
