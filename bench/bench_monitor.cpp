// Monitoring benchmark, run by hand:
//  1. real-time samples of the engine speed per second, simulator paced at 19200 baud with a
//     ready mark every 5 ms, against the limit of the line time of what the interface sent
//     plus one mark interval per exchange (the ready check waits for the next mark); CPU per
//     sample;
//  2. logger records per second for four items, the same way;
//  3. resident memory of the strip chart fed 100,000 samples, 20 a second (goal: flat once the
//     ten minutes of history are full).
#include "benchsupport.h"
#include "link/obdcontext.h"
#include "link/serialtransport.h"
#include "livedata/livestate.h"
#include "monitor/datalogger.h"
#include "monitor/realtime.h"
#include "sim/simserver.h"
#include "support/recording.h"
#include "windows/chart/chartwindow.h"
#include "windows/chart/stripchart.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>

#include <cstdio>

using namespace quorvex;
using namespace quorvex::bench;

namespace {

constexpr int kMarkMs = 5;
constexpr int kBaud = 19200;

class Samples : public RealTimeView
{
public:
    Samples(Chart &chart, int count) : m_chart(chart), m_count(count) {}
    bool stopRequested() const override { return shown >= m_count; }
    void showSample(const RealTimeSample &sample) override
    {
        m_chart.showSample(sample);
        ++shown;
    }
    int shown = 0;

private:
    Chart &m_chart;
    int m_count;
};

class Records : public LoggerView
{
public:
    explicit Records(int count) : m_count(count) {}
    bool stopRequested() const override { return shown >= m_count; }
    double intervalSeconds() const override { return 0; }
    void showValues(const std::array<QString, 4> &) override { ++shown; }
    int shown = 0;

private:
    int m_count;
};

struct PacedCar
{
    sim::Server server;
    CountingSerial serial;
    ObdContext ctx;
    LiveDataState live;

    explicit PacedCar(Clock &clock) : server(scenario(), paced()), ctx(clock) {}
    static sim::Scenario scenario()
    {
        sim::Scenario car = sim::defaultScenario();
        car.markIntervalMs = kMarkMs;
        return car;
    }
    static sim::Options paced()
    {
        sim::Options options;
        options.paceBaud = sim::kPaceLine;
        return options;
    }
    bool open()
    {
        QString error;
        if (!server.start(&error) || !serial.open({server.devicePath(), kBaud}, &error)) {
            std::fprintf(stderr, "bench: %s\n", qPrintable(error));
            return false;
        }
        ctx.attachSerial(&serial);
        ctx.state.UseSerial = true;
        return true;
    }
    // The simulator paces what the interface sends (replies and marks, ten bits a character)
    // and sends the next mark one interval after a reply; the commands reach it at once.
    double limitSeconds(int exchanges) const
    {
        return double(serial.bytesRead) * 10.0 / kBaud + exchanges * kMarkMs / 1000.0;
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    test::RecordingPrompts prompts;
    SystemClock clock;
    Chart chart(prompts, clock);
    chart.SetupChart();

    {
        constexpr int kSamples = 300;
        PacedCar car(clock);
        if (!car.open())
            return 1;
        chart.beginDisplay();
        Samples view(chart, kSamples);
        const double cpu0 = cpu_seconds(false);
        QElapsedTimer t;
        t.start();
        run_realtime(car.ctx, car.live, 0x0C, view, {});
        const double seconds = double(t.nsecsElapsed()) / 1e9;
        const double cpu = cpu_seconds(false) - cpu0;
        const double limit = car.limitSeconds(kSamples);
        std::printf("real-time display of the engine speed, %d baud, a mark every %d ms\n", kBaud,
                    kMarkMs);
        std::printf("  %8.1f samples/s, limit %.1f/s (wire and marks), ratio %.3f\n",
                    kSamples / seconds, kSamples / limit, limit / seconds);
        std::printf("  CPU %.3f ms per sample (process, simulator thread included)\n",
                    1000 * cpu / kSamples);
    }
    {
        constexpr int kRecords = 60;
        PacedCar car(clock);
        if (!car.open())
            return 1;
        QBuffer file;
        file.open(QIODevice::WriteOnly);
        Records view(kRecords);
        QElapsedTimer t;
        t.start();
        run_logger(car.ctx, car.live, {0x0C, 0x0D, 0x05, 0x04}, file, view, {});
        const double seconds = double(t.nsecsElapsed()) / 1e9;
        const double limit = car.limitSeconds(4 * kRecords);
        std::printf("data logger, four items a record, %d baud, a mark every %d ms\n", kBaud,
                    kMarkMs);
        std::printf("  %8.2f records/s, limit %.2f/s (wire and marks), ratio %.3f\n",
                    kRecords / seconds, kRecords / limit, limit / seconds);
    }
    {
        StripChart *strip = chart.strip();
        strip->clearData();
        strip->reset();
        std::printf("strip chart fed 20 samples a second, resident memory\n");
        for (int sample = 0; sample <= 100'000; ++sample) {
            if (sample % 20'000 == 0) {
                QCoreApplication::processEvents();
                std::printf("  %6d samples (%5.0f s)  %ld kB, %d kept\n", sample, sample / 20.0,
                            resident_kb(), strip->sampleCount());
            }
            strip->beginSample();
            strip->addSample(0, sample / 20.0, sample % 100);
            strip->endSample();
        }
    }
    return 0;
}
