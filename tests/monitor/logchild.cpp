// Logs four items of the simulated car to the file named on the command line until it is
// killed: the other half of the test that a killed logger leaves only whole records.
#include "datalogger.h"
#include "livestate.h"
#include "obdcontext.h"
#include "serialtransport.h"
#include "simserver.h"

#include <QCoreApplication>
#include <QFile>

#include <array>
#include <cstdio>

using namespace quorvex;

namespace {
class Forever : public LoggerView
{
public:
    bool stopRequested() const override { return false; }
    double intervalSeconds() const override { return 0; }
    void showValues(const std::array<QString, 4> &) override {}
};
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    sim::Scenario car = sim::defaultScenario();
    car.markIntervalMs = 2;
    sim::Server server(car);
    SerialTransport serial;
    QString error;
    if (!server.start(&error) || !serial.open({server.devicePath(), 19200}, &error))
        return 1;
    ObdContext ctx;
    ctx.attachSerial(&serial);
    ctx.state.UseSerial = true;
    LiveDataState live;
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return 1;
    const std::array<QString, 4> labels{"Engine RPM ------------- ", "Speed ------------------ ",
                                        "Coolant Temp -----------  ", "Calculated Load -------- "};
    file.write(log_header(labels));
    Forever view;
    run_logger(ctx, live, {0x0C, 0x0D, 0x05, 0x04}, file, view, {});
    return 0;
}
