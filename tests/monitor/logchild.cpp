// Logs four items of the simulated car to the file named on the command line (records only,
// no header) until it is killed: the other half of the test that a killed logger leaves only whole
// records. The simulator runs in this process on virtual time, so records follow each other as fast
// as the machine allows. "logging" on the standard output says that 20 records are written.
#include "link/obdcontext.h"
#include "livedata/livestate.h"
#include "monitor/datalogger.h"
#include "support/simports.h"
#include "support/virtualclock.h"

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
    void showValues(const std::array<QString, 4> &) override
    {
        if (++m_records == 20) {
            std::fputs("logging\n", stdout);
            std::fflush(stdout);
        }
    }

private:
    int m_records = 0;
};
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    test::VirtualClock clock;
    test::SimPorts ports(clock);
    QString error;
    const std::unique_ptr<Transport> line = ports.add(sim::defaultScenario()).open(19200, &error);
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!line || !file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return 1;
    ObdContext ctx(clock);
    ctx.attachSerial(line.get());
    ctx.state.UseSerial = true;
    LiveDataState live;
    Forever view;
    run_logger(ctx, live, {0x0C, 0x0D, 0x05, 0x04}, file, view, {});
    return 0;
}
