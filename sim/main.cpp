// quorvex-sim: serves a simulated scan interface on a pseudo-terminal until SIGINT or SIGTERM.
// The device path goes to stdout as one line, so scripts can read it and start the program.

#include "simserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>

#include <pthread.h>

using namespace quorvex::sim;

namespace {

int failWith(const QString &message)
{
    std::fprintf(stderr, "quorvex-sim: %s\n", qPrintable(message));
    return 1;
}

bool readMilliseconds(const QString &text, int minimum, int *out)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < minimum)
        return false;
    *out = value;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // Block the stop signals before any thread exists, so every thread inherits the mask and
    // the main thread alone receives them through sigwait().
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvex-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated scan interface on a pseudo-terminal. Prints the device path "
                       "and serves until interrupted."));
    parser.addHelpOption();
    const QCommandLineOption scenarioOption(
        QStringLiteral("scenario"), QStringLiteral("Scenario to serve (default: built-in car)."),
        QStringLiteral("FILE.json"));
    const QCommandLineOption paceOption(
        QStringLiteral("pace"),
        QStringLiteral("Pace replies at the line speed the program set (line) or a fixed speed; "
                       "unpaced when left out."),
        QStringLiteral("line|9600|19200"));
    const QCommandLineOption latencyOption(
        QStringLiteral("latency"), QStringLiteral("The car's delay before vehicle replies."),
        QStringLiteral("MS"));
    const QCommandLineOption linkOption(
        QStringLiteral("link"), QStringLiteral("Also reach the device through this symlink."),
        QStringLiteral("PATH"));
    const QCommandLineOption markOption(QStringLiteral("mark-interval"),
                                        QStringLiteral("Period of the idle ready marks."),
                                        QStringLiteral("MS"));
    parser.addOptions({scenarioOption, paceOption, latencyOption, linkOption, markOption});
    parser.process(app);

    Scenario scenario = defaultScenario();
    QString error;
    if (parser.isSet(scenarioOption) &&
        !readScenarioFile(parser.value(scenarioOption), &scenario, &error))
        return failWith(error);
    if (parser.isSet(latencyOption) &&
        !readMilliseconds(parser.value(latencyOption), 0, &scenario.latencyMs)) {
        return failWith(QStringLiteral("--latency needs a number of milliseconds"));
    }
    if (parser.isSet(markOption) &&
        !readMilliseconds(parser.value(markOption), 1, &scenario.markIntervalMs)) {
        return failWith(
            QStringLiteral("--mark-interval needs a number of milliseconds, at least 1"));
    }
    Options options;
    if (parser.isSet(paceOption)) {
        const QString pace = parser.value(paceOption);
        if (pace == QLatin1String("line"))
            options.paceBaud = kPaceLine;
        else if (!readMilliseconds(pace, 1, &options.paceBaud))
            return failWith(QStringLiteral("--pace needs \"line\" or a line speed such as 9600"));
    }

    Server server(scenario, options);
    if (!server.start(&error))
        return failWith(error);
    if (parser.isSet(linkOption) && !server.placeSymlink(parser.value(linkOption), &error))
        return failWith(error);

    std::printf("%s\n", qPrintable(server.devicePath()));
    std::fflush(stdout);
    std::fprintf(stderr, "quorvex-sim: serving scenario \"%s\"\n", qPrintable(scenario.name));

    int caught = 0;
    sigwait(&stopSignals, &caught);
    return 0; // the server's destructor closes the line and removes the symlink
}
