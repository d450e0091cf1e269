// quorvex-sim: serves a simulated scan interface, or an ELM327 adapter in front of the same car,
// on a pseudo-terminal (the adapter also over TCP) until SIGINT or SIGTERM.
// The device path (or the TCP address) goes to stdout as one line, so scripts can read it and
// start the program.

#include "link/recording.h"
#include "sim/simserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <utility>

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

template <typename Value, std::size_t N>
bool readChoice(const QString &text, const std::pair<const char *, Value> (&choices)[N], Value *out)
{
    for (const auto &[name, value] : choices) {
        if (text == QLatin1String(name)) {
            *out = value;
            return true;
        }
    }
    return false;
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
        QStringLiteral("Simulated scan interface, or with --elm327 an ELM327 adapter in front of "
                       "the same car, on a pseudo-terminal. Prints the device path and serves "
                       "until interrupted."));
    parser.addHelpOption();
    const QCommandLineOption scenarioOption(
        QStringLiteral("scenario"), QStringLiteral("Scenario to serve (default: built-in car)."),
        QStringLiteral("FILE.json"));
    const QCommandLineOption paceOption(
        QStringLiteral("pace"),
        QStringLiteral("Pace replies at the line speed the program set (line) or a fixed speed "
                       "(ELM327 adapters typically run at 38400); unpaced when left out."),
        QStringLiteral("line|9600|19200|38400"));
    const QCommandLineOption latencyOption(
        QStringLiteral("latency"), QStringLiteral("The car's delay before vehicle replies."),
        QStringLiteral("MS"));
    const QCommandLineOption linkOption(
        QStringLiteral("link"), QStringLiteral("Also reach the device through this symlink."),
        QStringLiteral("PATH"));
    const QCommandLineOption markOption(QStringLiteral("mark-interval"),
                                        QStringLiteral("Period of the idle ready marks."),
                                        QStringLiteral("MS"));
    const QCommandLineOption elmOption(
        QStringLiteral("elm327"),
        QStringLiteral("Serve an ELM327 adapter (AT commands, hex requests, \">\" prompt) in "
                       "front of the scenario's car instead of the scan interface."));
    const QCommandLineOption elmBusOption(
        QStringLiteral("elm-bus"),
        QStringLiteral("The car's bus behind the adapter: CAN 11/500 (can, the default), "
                       "ISO 9141-2 (iso), SAE J1850 PWM (j1850pwm) or VPW (j1850vpw), "
                       "ISO 14230-4 KWP with the 5-baud (kwp5) or the fast (kwpfast) "
                       "initialisation."),
        QStringLiteral("can|iso|j1850pwm|j1850vpw|kwp5|kwpfast"));
    const QCommandLineOption elmChipOption(
        QStringLiteral("elm-chip"),
        QStringLiteral("The adapter's chip: a v1.5 clone (clone, the default), an ELM327 v1.4b "
                       "(elm) or an STN1110 (stn)."),
        QStringLiteral("clone|elm|stn"));
    const QCommandLineOption elmResetOption(QStringLiteral("elm-reset"),
                                            QStringLiteral("How long ATZ takes before its answer."),
                                            QStringLiteral("MS"));
    const QCommandLineOption elmPackingOption(
        QStringLiteral("elm-packing"),
        QStringLiteral("How the car's ECUs take a request for several PIDs on CAN: answer them "
                       "all (answered, the default), refuse it (refused) or answer the first PID "
                       "alone (first)."),
        QStringLiteral("answered|refused|first"));
    const QCommandLineOption elmSpeedOption(
        QStringLiteral("elm-speed-change"),
        QStringLiteral("What the adapter makes of a request for another line speed (ATBRD, "
                       "STSBR): switch with the handshake (switches, the default), refuse it "
                       "(refused) or answer OK and stay at its speed (ignored)."),
        QStringLiteral("switches|refused|ignored"));
    const QCommandLineOption tcpOption(
        QStringLiteral("tcp"),
        QStringLiteral("With --elm327: serve the adapter over TCP at this numeric address, one "
                       "client at a time, as a Wi-Fi adapter does (port 0 takes a free port); "
                       "prints ADDRESS:PORT instead of the device path."),
        QStringLiteral("ADDRESS:PORT"));
    const QCommandLineOption replayOption(
        QStringLiteral("replay"),
        QStringLiteral("Serve a recording of the program's exchanges (quorvex --record) as the "
                       "scan interface or ELM327 adapter it was made with: each command gets "
                       "the answer recorded for it, with the recorded timing."),
        QStringLiteral("FILE"));
    const QCommandLineOption replaySpeedOption(
        QStringLiteral("replay-speed"),
        QStringLiteral("Play the recording N times as fast (default 1)."), QStringLiteral("N"));
    parser.addOptions({scenarioOption, paceOption, latencyOption, linkOption, markOption, elmOption,
                       elmBusOption, elmChipOption, elmResetOption, elmPackingOption,
                       elmSpeedOption, tcpOption, replayOption, replaySpeedOption});
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
    if (parser.isSet(elmOption))
        options.personality = Personality::Elm327;
    using Chip = ElmOptions::Chip;
    if (parser.isSet(elmBusOption) &&
        !readChoice(parser.value(elmBusOption), kElmBusNames, &options.elm.bus)) {
        return failWith(QStringLiteral("--elm-bus needs \"can\", \"iso\", \"j1850pwm\", "
                                       "\"j1850vpw\", \"kwp5\" or \"kwpfast\""));
    }
    if (parser.isSet(elmChipOption) &&
        !readChoice(parser.value(elmChipOption),
                    {{"clone", Chip::Clone15}, {"elm", Chip::Elm14b}, {"stn", Chip::Stn1110}},
                    &options.elm.chip)) {
        return failWith(QStringLiteral("--elm-chip needs \"clone\", \"elm\" or \"stn\""));
    }
    if (parser.isSet(elmResetOption) &&
        !readMilliseconds(parser.value(elmResetOption), 0, &options.elm.resetMs)) {
        return failWith(QStringLiteral("--elm-reset needs a number of milliseconds"));
    }
    using Packing = ElmOptions::Packing;
    if (parser.isSet(elmPackingOption) && !readChoice(parser.value(elmPackingOption),
                                                      {{"answered", Packing::Answered},
                                                       {"refused", Packing::Refused},
                                                       {"first", Packing::FirstOnly}},
                                                      &options.elm.packing)) {
        return failWith(
            QStringLiteral("--elm-packing needs \"answered\", \"refused\" or \"first\""));
    }
    using SpeedChange = ElmOptions::SpeedChange;
    if (parser.isSet(elmSpeedOption) && !readChoice(parser.value(elmSpeedOption),
                                                    {{"switches", SpeedChange::Switches},
                                                     {"refused", SpeedChange::Refused},
                                                     {"ignored", SpeedChange::Ignored}},
                                                    &options.elm.speedChange)) {
        return failWith(
            QStringLiteral("--elm-speed-change needs \"switches\", \"refused\" or \"ignored\""));
    }
    const bool elmOnly = parser.isSet(elmBusOption) || parser.isSet(elmChipOption) ||
                         parser.isSet(elmResetOption) || parser.isSet(elmPackingOption) ||
                         parser.isSet(elmSpeedOption);
    if (elmOnly && options.personality != Personality::Elm327)
        return failWith(QStringLiteral("--elm-bus, --elm-chip, --elm-reset, --elm-packing and "
                                       "--elm-speed-change need --elm327"));

    QString tcpHost;
    quint16 tcpPort = 0;
    if (parser.isSet(tcpOption)) {
        const QString address = parser.value(tcpOption);
        const qsizetype colon = address.lastIndexOf(u':');
        bool ok = false;
        tcpPort = colon > 0 ? address.mid(colon + 1).toUShort(&ok) : 0;
        tcpHost = address.left(colon).remove(u'[').remove(u']');
        if (!ok)
            return failWith(QStringLiteral("--tcp needs a numeric address and a port, such as "
                                           "127.0.0.1:35000"));
        if (options.personality != Personality::Elm327)
            return failWith(QStringLiteral("--tcp needs --elm327"));
        if (parser.isSet(linkOption))
            return failWith(QStringLiteral("--link names a pseudo-terminal: leave it out with "
                                           "--tcp"));
    }

    if (parser.isSet(replayOption)) {
        if (parser.isSet(elmOption) || parser.isSet(scenarioOption) || elmOnly)
            return failWith(QStringLiteral("--replay serves the recording alone: no --scenario, "
                                           "--elm327 or --elm-* with it"));
        auto replay = std::make_shared<ReplayOptions>();
        replay->recording = readRecordingFile(parser.value(replayOption), &error);
        if (!replay->recording)
            return failWith(error);
        if (parser.isSet(replaySpeedOption)) {
            bool ok = false;
            replay->speed = parser.value(replaySpeedOption).toDouble(&ok);
            if (!ok || !(replay->speed > 0) || replay->speed > 1e6)
                return failWith(QStringLiteral("--replay-speed needs a number above 0"));
        }
        // From the server's thread, one whole line at a time.
        replay->unanswered = [](const QByteArray &command) {
            std::fprintf(stderr, "quorvex-sim: the recording has no answer to \"%s\"\n",
                         quorvex::escape_bytes(command).constData());
        };
        options.personality = Personality::Replay;
        options.replay = std::move(replay);
    } else if (parser.isSet(replaySpeedOption)) {
        return failWith(QStringLiteral("--replay-speed needs --replay"));
    }

    Server server(scenario, options);
    if (parser.isSet(tcpOption) ? !server.listen(tcpHost, tcpPort, &error) : !server.start(&error))
        return failWith(error);
    if (parser.isSet(linkOption) && !server.placeSymlink(parser.value(linkOption), &error))
        return failWith(error);

    if (parser.isSet(tcpOption)) {
        const QString host = tcpHost.contains(u':') ? u'[' + tcpHost + u']' : tcpHost;
        std::printf("%s:%u\n", qPrintable(host), unsigned{server.tcpPort()});
    } else {
        std::printf("%s\n", qPrintable(server.devicePath()));
    }
    std::fflush(stdout);
    if (options.replay)
        std::fprintf(stderr, "quorvex-sim: replaying %s as %s\n",
                     qPrintable(parser.value(replayOption)),
                     options.replay->recording->adapterKind == u"elm327" ? "an ELM327 adapter"
                                                                         : "the scan interface");
    else
        std::fprintf(stderr, "quorvex-sim: serving scenario \"%s\"%s\n", qPrintable(scenario.name),
                     options.personality == Personality::Elm327 ? " behind an ELM327 adapter" : "");

    int caught = 0;
    sigwait(&stopSignals, &caught);
    return 0; // the server's destructor closes the line and removes the symlink
}
