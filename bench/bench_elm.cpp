// ELM327 driver benchmark, run by hand, against the simulated adapter paced at 38400 baud with a
// 10 ms ECU latency: the data logger's four-item records and the current-data request, with
// several PIDs a request (the ECUs answer them) and one PID a request (the ECUs answer only the
// first PID of such a request, so the driver asks one at a time), and engine-speed samples on
// every bus the simulated adapter serves. Each
// figure stands next to its limit: the line time of what the adapter sent plus one ECU latency
// per request (goals: packed records at least 2x one by one and 90 % of their limit; the
// current-data request at least 3x faster packed). The simulated adapter takes the program's
// bytes at once (a pseudo-terminal), so only its own output is paced.
#include "diagnostics/mil.h"
#include "link/clock.h"
#include "link/elm327/elm327transport.h"
#include "link/obdcontext.h"
#include "link/protocol.h"
#include "link/serialtransport.h"
#include "link/tcptransport.h"
#include "livedata/currentdata.h"
#include "livedata/dispatch.h"
#include "livedata/items.h"
#include "livedata/livestate.h"
#include "livedata/sweep.h"
#include "sim/simscenario.h"
#include "sim/simserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <functional>
#include <memory>

using namespace quorvex;

namespace {

constexpr int kBaud = 38400;
constexpr int kLatencyMs = 10;

// The line to the adapter (a pseudo-terminal or TCP), counting the vehicle requests the driver
// writes on it.
class CountingLine : public Transport
{
public:
    explicit CountingLine(std::unique_ptr<Transport> line) : m_line(std::move(line))
    {
        connect(m_line.get(), &Transport::arrived, this, &Transport::arrived);
        connect(m_line.get(), &Transport::lost, this, &Transport::lost);
    }
    bool isOpen() const override { return m_line->isOpen(); }
    void close() override { m_line->close(); }
    void write(const QByteArray &bytes) override
    {
        requests += !bytes.startsWith("AT") && !bytes.startsWith("ST");
        m_line->write(bytes);
    }
    qint64 bytesAvailable() override { return m_line->bytesAvailable(); }
    QByteArray readAll() override { return m_line->readAll(); }
    int lineSpeed() const override { return m_line->lineSpeed(); }
    bool setLineSpeed(int baud) override { return m_line->setLineSpeed(baud); }
    int requests = 0;

private:
    std::unique_ptr<Transport> m_line;
};

// What one measured stretch of work cost.
struct Figures
{
    double seconds = 0;     // wall time
    double wireSeconds = 0; // the adapter's bytes at line speed, and a latency per request
    int requests = 0;       // vehicle requests the adapter received
    int failed = 0;         // items not read
};

// A connection through the driver to a simulated adapter of its own.
class Adapter
{
public:
    explicit Adapter(sim::ElmOptions::Packing packing,
                     sim::ElmOptions::Bus bus = sim::ElmOptions::Bus::Can11_500, bool tcp = false,
                     sim::Scenario car = sim::defaultScenario())
        : m_tcp(tcp)
    {
        car.latencyMs = kLatencyMs;
        sim::Options options;
        options.personality = sim::Personality::Elm327;
        // Over TCP the adapter's own serial line inside paces it.
        options.paceBaud = tcp ? kBaud : sim::kPaceLine;
        options.elm.packing = packing;
        options.elm.bus = bus;
        m_server = std::make_unique<sim::Server>(car, options);
        ctx.attachSerial(&elm);
        ctx.state.UseSerial = true;
    }

    bool connect(QString *error)
    {
        std::unique_ptr<Transport> line;
        if (m_tcp) {
            if (!m_server->listen(QStringLiteral("127.0.0.1"), 0, error))
                return false;
            SystemNetworkConnector network;
            line = connect_network(ctx, network, {QStringLiteral("127.0.0.1"), m_server->tcpPort()},
                                   error);
            if (!line)
                return false;
        } else {
            auto serial = std::make_unique<SerialTransport>();
            if (!m_server->start(error) || !serial->open({m_server->devicePath(), kBaud}, error))
                return false;
            line = std::move(serial);
        }
        auto counting = std::make_unique<CountingLine>(std::move(line));
        m_line = counting.get();
        line = std::move(counting);
        elm.open(std::move(line));
        if (wait_for_ECU(ctx) != ReadyResult::Contact) {
            *error = QStringLiteral("the simulated adapter did not find the car");
            return false;
        }
        return true;
    }

    // Runs `work` (which returns the items it failed to read) and measures it.
    Figures measure(const std::function<int()> &work)
    {
        const qint64 sentBefore = m_server->sentBytes();
        const int requestsBefore = m_line->requests;
        QElapsedTimer t;
        t.start();
        Figures f;
        f.failed = work();
        f.seconds = double(t.nsecsElapsed()) / 1e9;
        f.requests = m_line->requests - requestsBefore;
        const qint64 sent = m_server->sentBytes() - sentBefore;
        // Over TCP the adapter's own serial line runs at kBaud; a serial line at its speed.
        const int baud = elm.lineSpeed() > 0 ? elm.lineSpeed() : kBaud;
        f.wireSeconds = double(sent) * 10 / baud + f.requests * kLatencyMs / 1000.0;
        return f;
    }

    SystemClock clock;
    Elm327Transport elm{clock};
    ObdContext ctx{clock};
    LiveDataState live;

private:
    bool m_tcp = false;
    std::unique_ptr<sim::Server> m_server;
    CountingLine *m_line = nullptr; // owned by the driver
};

// Four-item records as the data logger reads them: one pass each.
int read_records(Adapter &a, int records)
{
    const std::array<int, 4> codes{0x04, 0x05, 0x0C, 0x0D};
    int failed = 0;
    for (int r = 0; r < records; ++r) {
        QStringList commands;
        for (const int code : codes)
            commands << item_commands(a.live, code, ItemData::Live);
        const PassAnnouncement pass(a.ctx, commands);
        for (const int code : codes)
            failed += !read_item(a.ctx, a.live, code, ItemData::Live).ok();
    }
    return failed;
}

int request_lists(Adapter &a, int runs)
{
    int failed = 0;
    for (int r = 0; r < runs; ++r) {
        Sweep sweep;
        DispatchHooks hooks;
        hooks.getMIL = get_MIL;
        const CurrentDataResult result = request_current_data(a.ctx, a.live, sweep, hooks);
        failed += result.support != ExchangeStatus::Ok || sweep.outcome() != ExchangeStatus::Ok;
    }
    return failed;
}

int read_engine_speed(Adapter &a, int samples)
{
    int failed = 0;
    for (int i = 0; i < samples; ++i)
        failed += !read_item(a.ctx, a.live, 0x0C, ItemData::Live).ok();
    return failed;
}

void print(const char *what, int count, const char *unit, const Figures &f)
{
    std::printf("  %-34s %8.2f %s/s  limit %8.2f  ratio %5.3f  requests %4d  failed %d\n", what,
                count / f.seconds, unit, count / f.wireSeconds, f.wireSeconds / f.seconds,
                f.requests, f.failed);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr int kRecords = 100;
    constexpr int kLists = 5;
    constexpr int kSamples = 300;
    using Packing = sim::ElmOptions::Packing;

    for (const bool tcp : {false, true}) {
        std::printf("ELM327 driver on CAN 11/500, %s, %d baud, %d ms ECU latency\n",
                    tcp ? "TCP on loopback" : "pseudo-terminal", kBaud, kLatencyMs);
        Figures records[2];
        Figures lists[2];
        for (const Packing packing : {Packing::Answered, Packing::FirstOnly}) {
            const bool packed = packing == Packing::Answered;
            Adapter a(packing, sim::ElmOptions::Bus::Can11_500, tcp);
            QString error;
            if (!a.connect(&error)) {
                std::fprintf(stderr, "bench: %s\n", qPrintable(error));
                return 1;
            }
            // The first list teaches the driver what the ECU supports (and, one by one, that
            // the ECU takes one PID a request); it is not measured.
            request_lists(a, 1);
            records[packed] = a.measure([&] { return read_records(a, kRecords); });
            lists[packed] = a.measure([&] { return request_lists(a, kLists); });
            print(packed ? "logger records, packed" : "logger records, one by one", kRecords,
                  "records", records[packed]);
            print(packed ? "current-data lists, packed" : "current-data lists, one by one", kLists,
                  "lists", lists[packed]);
            if (packed)
                print("engine speed samples", kSamples, "samples",
                      a.measure([&] { return read_engine_speed(a, kSamples); }));
        }
        std::printf("  packed / one by one: records %.2fx, current-data list %.2fx faster\n",
                    records[0].seconds / records[1].seconds, lists[0].seconds / lists[1].seconds);
    }

    // The current-data request of a car without the newer cars' PIDs (their support ranges
    // chain one request after another).
    sim::Scenario older;
    QString error;
    if (!sim::readScenarioFile(QStringLiteral(QUORVEX_SIM_SCENARIO_DIR "/older.json"), &older,
                               &error)) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("the current-data request of a car without the newer PIDs (older.json)\n");
    Figures olderLists[2];
    for (const Packing packing : {Packing::Answered, Packing::FirstOnly}) {
        const bool packed = packing == Packing::Answered;
        Adapter a(packing, sim::ElmOptions::Bus::Can11_500, false, older);
        if (!a.connect(&error)) {
            std::fprintf(stderr, "bench: %s\n", qPrintable(error));
            return 1;
        }
        request_lists(a, 1);
        olderLists[packed] = a.measure([&] { return request_lists(a, kLists); });
        print(packed ? "current-data lists, packed" : "current-data lists, one by one", kLists,
              "lists", olderLists[packed]);
    }
    std::printf("  packed / one by one: current-data list %.2fx faster\n",
                olderLists[0].seconds / olderLists[1].seconds);

    // The line raised to the fastest speed the adapter's divisor gives (4 MHz / 8).
    std::printf("the line raised to 500000 baud, packed\n");
    {
        Adapter a(Packing::Answered);
        a.elm.setLineSpeeds({500000});
        if (!a.connect(&error)) {
            std::fprintf(stderr, "bench: %s\n", qPrintable(error));
            return 1;
        }
        if (a.elm.lineSpeed() != 500000) {
            std::fprintf(stderr, "bench: the adapter stayed at %d baud\n", a.elm.lineSpeed());
            return 1;
        }
        request_lists(a, 1);
        const Figures raisedRecords = a.measure([&] { return read_records(a, kRecords); });
        const Figures raisedLists = a.measure([&] { return request_lists(a, kLists); });
        print("logger records, packed", kRecords, "records", raisedRecords);
        print("current-data lists, packed", kLists, "lists", raisedLists);
        print("engine speed samples", kSamples, "samples",
              a.measure([&] { return read_engine_speed(a, kSamples); }));
    }

    // Engine-speed samples on every bus (the simulated bus itself takes no time beyond the
    // ECU's latency; the older buses take one PID a request).
    std::printf("engine speed samples on each bus\n");
    for (const auto &[name, bus] : sim::kElmBusNames) {
        Adapter a(Packing::Answered, bus);
        if (!a.connect(&error)) {
            std::fprintf(stderr, "bench: %s: %s\n", name, qPrintable(error));
            return 1;
        }
        print(name, kSamples, "samples", a.measure([&] { return read_engine_speed(a, kSamples); }));
    }
    return 0;
}
