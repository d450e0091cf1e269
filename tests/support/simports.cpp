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
    m_lineBaud = baud;
    std::visit([baud](auto &engine) { engine.setLineBaud(baud); }, m_engine);
    pump();
    return line;
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

} // namespace quorvex::test
