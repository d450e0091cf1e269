// Quorvex: OBD-II diagnostics through a scan interface on a serial line.
#include "app/commandline.h"
#include "files/datapath.h"
#include "link/recording.h"
#include "link/usb/libusbkit.h"
#include "sim/simserver.h"
#include "sim/simusbkit.h"
#include "widgets/preferences.h"
#include "widgets/qtprompts.h"
#include "windows/main/frmmain.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <memory>

using namespace quorvex;

namespace {

// A scenario given by name is looked up among the shipped ones next to the executable.
bool loadScenario(const QString &nameOrFile, sim::Scenario *scenario, QString *error)
{
    if (nameOrFile.isEmpty()) {
        *scenario = sim::defaultScenario();
        return true;
    }
    QString path = nameOrFile;
    if (!QFileInfo::exists(path))
        path = data_path(QStringLiteral("scenarios/%1.json").arg(nameOrFile));
    return sim::readScenarioFile(path, scenario, error);
}

// The USB interface to look for: the one named on the command line (remembered), else the
// one remembered, else with the simulator its simulated interface.
usb::UsbId usb_device(const CommandLine &cmd)
{
    const QString key = QStringLiteral("usb/device");
    if (cmd.usb.isSet()) {
        setPreference(key, cmd.usb.text());
        return cmd.usb;
    }
    if (cmd.simulate)
        return sim::SimUsbKit::kId;
    usb::UsbId id;
    usb::UsbId::parse(preference(key).toString(), &id);
    return id;
}

// What the serial ports lead to: as the command line says (remembered), else as remembered.
AdapterKind adapter_kind(const CommandLine &cmd)
{
    const QString key = QStringLiteral("adapter/kind");
    QString kind = cmd.adapter;
    if (kind.isEmpty())
        kind = preference(key).toString();
    else
        setPreference(key, kind);
    return kind == u"elm327" ? AdapterKind::Elm327 : AdapterKind::ScanInterface;
}

} // namespace

int main(int argc, char *argv[])
{
    // The command line first: --help, --version and a wrong option are answered in a terminal
    // without a display (ssh, a console), before anything needs the window system.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const CommandLine cmd = parse_command_line(args);
    if (!cmd.error.isEmpty()) {
        std::fprintf(stderr, "quorvex: %s\n\n%s", qPrintable(cmd.error), qPrintable(usage_text()));
        return 2;
    }
    if (cmd.help || cmd.version) {
        std::fputs(qPrintable(cmd.help ? usage_text() : version_text() + u'\n'), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvex"));
    QApplication::setOrganizationName(QStringLiteral("Quorvex"));
    // The program ends through Exit (or the frame's close, which runs Exit), never because a
    // window was hidden during the exit pause.
    QApplication::setQuitOnLastWindowClosed(false);

    const usb::UsbId usbId = usb_device(cmd);
    SystemClock clock;
    std::unique_ptr<sim::Server> simulator;
    std::unique_ptr<sim::Server> elmSimulator;
    std::unique_ptr<usb::UsbKit> usbKit;
    AdapterKind adapter = adapter_kind(cmd);
    if (cmd.simulate && cmd.scenario.endsWith(QStringLiteral(".rec"))) {
        // A recording replayed on Com1, as the adapter it was made with.
        auto replay = std::make_shared<sim::ReplayOptions>();
        QString error;
        replay->recording = sim::readRecordingFile(cmd.scenario, &error);
        if (!replay->recording) {
            std::fprintf(stderr, "quorvex: %s\n", qPrintable(error));
            return 2;
        }
        replay->unanswered = [](const QByteArray &command) {
            std::fprintf(stderr, "quorvex: the recording has no answer to \"%s\"\n",
                         escape_bytes(command).constData());
        };
        adapter = replay->recording->adapterKind == u"elm327" ? AdapterKind::Elm327
                                                              : AdapterKind::ScanInterface;
        sim::Options options;
        options.personality = sim::Personality::Replay;
        options.replay = std::move(replay);
        usbKit =
            std::make_unique<sim::SimUsbKit>(clock, sim::defaultScenario(), sim::Options{}, usbId);
        simulator = std::make_unique<sim::Server>(sim::defaultScenario(), options);
        if (!simulator->start(&error)) {
            std::fprintf(stderr, "quorvex: simulator: %s\n", qPrintable(error));
            return 1;
        }
    } else if (cmd.simulate) {
        sim::Scenario scenario;
        QString error;
        if (!loadScenario(cmd.scenario, &scenario, &error)) {
            std::fprintf(stderr, "quorvex: %s\n", qPrintable(error));
            return 2;
        }
        usbKit = std::make_unique<sim::SimUsbKit>(clock, scenario, sim::Options{}, usbId);
        simulator = std::make_unique<sim::Server>(scenario);
        // The same car behind an ELM327 adapter, paced at the adapter's speed.
        sim::Options elm;
        elm.personality = sim::Personality::Elm327;
        elm.paceBaud = sim::kPaceLine;
        elmSimulator = std::make_unique<sim::Server>(scenario, elm);
        if (!simulator->start(&error) || !elmSimulator->start(&error)) {
            std::fprintf(stderr, "quorvex: simulator: %s\n", qPrintable(error));
            return 1;
        }
    }

    if (!usbKit)
        usbKit = std::make_unique<usb::LibusbKit>();

    QtPrompts prompts;
    frmMain window(prompts, clock);
    prompts.setParent(&window);
    window.setUsbKit(usbKit.get());
    window.setUsbDevice(usbId);
    window.setAdapterKind(adapter);
    window.setComDevices(map_com_ports(cmd, simulator ? simulator->devicePath() : QString(),
                                       platform_serial_ports(),
                                       elmSimulator ? elmSimulator->devicePath() : QString()));
    if (!cmd.record.isEmpty()) {
        QString error;
        if (!window.startRecording(cmd.record, &error)) {
            std::fprintf(stderr, "quorvex: %s: %s\n", qPrintable(cmd.record), qPrintable(error));
            return 2;
        }
    }
    window.Form_Load();
    if (cmd.tcp.port != 0) {
        // From the event loop, as a choice of the menu item would run.
        QMetaObject::invokeMethod(
            &window, [&window, address = cmd.tcp] { window.connectWifi(address); },
            Qt::QueuedConnection);
    }
    return QApplication::exec();
}
