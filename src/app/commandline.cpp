#include "app/commandline.h"

#include <QSerialPortInfo>

#include <algorithm>

namespace quorvex {

CommandLine parse_command_line(const QStringList &args)
{
    CommandLine cmd;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == u"--help" || a == u"-h") {
            cmd.help = true;
        } else if (a == u"--version") {
            cmd.version = true;
        } else if (a == u"--simulate") {
            cmd.simulate = true;
            if (i + 1 < args.size() && !args.at(i + 1).startsWith(u'-'))
                cmd.scenario = args.at(++i);
        } else if (a.size() == 6 && a.startsWith(u"--com") && a.at(5) >= u'1' && a.at(5) <= u'4') {
            if (i + 1 >= args.size() || args.at(i + 1).isEmpty()) {
                cmd.error = QStringLiteral("%1 needs a device path").arg(a);
                return cmd;
            }
            cmd.com[static_cast<size_t>(a.at(5).unicode() - u'1')] = args.at(++i);
        } else if (a == u"--adapter") {
            if (i + 1 >= args.size() ||
                (args.at(i + 1) != u"interface" && args.at(i + 1) != u"elm327")) {
                cmd.error = QStringLiteral("--adapter needs \"interface\" (the scan interface) "
                                           "or \"elm327\" (an ELM327-compatible adapter)");
                return cmd;
            }
            cmd.adapter = args.at(++i);
        } else if (a == u"--tcp") {
            QString reason;
            if (i + 1 >= args.size()) {
                cmd.error = QStringLiteral("--tcp needs the Wi-Fi adapter's address: "
                                           "--tcp 192.168.0.10:35000");
                return cmd;
            }
            if (!NetworkAddress::parse(args.at(++i), &cmd.tcp, &reason)) {
                cmd.error = QStringLiteral("--tcp: %1").arg(reason);
                return cmd;
            }
        } else if (a == u"--record") {
            if (i + 1 >= args.size() || args.at(i + 1).isEmpty()) {
                cmd.error = QStringLiteral("--record needs a file to record the exchanges in");
                return cmd;
            }
            cmd.record = args.at(++i);
        } else if (a == u"--usb") {
            if (i + 1 >= args.size() || !usb::UsbId::parse(args.at(i + 1), &cmd.usb)) {
                cmd.error = QStringLiteral("--usb needs the interface's vendor and product id "
                                           "in hexadecimal, as lsusb prints them: --usb 1209:0b0d");
                return cmd;
            }
            ++i;
        } else {
            cmd.error = QStringLiteral("unknown argument: %1").arg(a);
            return cmd;
        }
    }
    return cmd;
}

QString usage_text()
{
    return QStringLiteral(
        "Usage: quorvex [--simulate [SCENARIO]] [--com1 DEVICE] .. [--com4 DEVICE]\n"
        "               [--usb VID:PID] [--adapter interface|elm327] [--tcp HOST:PORT]\n"
        "               [--record FILE]\n"
        "\n"
        "  --simulate [SCENARIO]  start the built-in simulated scan interface on a\n"
        "                         pseudo-terminal and put it on Com1; SCENARIO is a\n"
        "                         shipped scenario name (default, d0, longvin, ...), a\n"
        "                         JSON file, or a recording (FILE.rec) to replay\n"
        "  --comN DEVICE          put a serial device on ComN (N = 1..4): /dev/ttyUSB0,\n"
        "                         /dev/rfcomm0, a pseudo-terminal, ...\n"
        "  --usb VID:PID          the USB scan interface's vendor and product id, as lsusb\n"
        "                         prints them; remembered for later starts\n"
        "  --adapter KIND         what the serial ports lead to: the scan interface\n"
        "                         (interface) or an ELM327-compatible adapter (elm327, at\n"
        "                         38400 baud unless 9600 or 115200 is chosen); remembered\n"
        "  --tcp HOST:PORT        connect at once to the ELM327 adapter on the network\n"
        "                         at this address (a Wi-Fi adapter, often\n"
        "                         192.168.0.10:35000); remembered for Connection > Wi-Fi\n"
        "                         adapter\n"
        "  --record FILE          record every exchange with the interface in FILE\n"
        "                         (replaced), one line each, for quorvex-sim --replay\n"
        "  --version              show the name and version\n"
        "  --help                 show this text\n"
        "\n"
        "Without --comN, Com1..Com4 are the first four serial ports the system lists.\n"
        "With --simulate, \"USB\" finds a simulated interface too, and Com2 leads to a\n"
        "simulated ELM327 adapter.\n");
}

QString version_text()
{
    return QStringLiteral("quorvex " QUORVEX_VERSION);
}

std::array<QString, 4> map_com_ports(const CommandLine &cmd, const QString &simulatorDevice,
                                     const QStringList &platformPorts,
                                     const QString &elmSimulatorDevice)
{
    std::array<QString, 4> com = cmd.com;
    if (!simulatorDevice.isEmpty() && com[0].isEmpty())
        com[0] = simulatorDevice;
    if (!elmSimulatorDevice.isEmpty() && com[1].isEmpty())
        com[1] = elmSimulatorDevice;
    int next = 0;
    for (QString &slot : com) {
        if (!slot.isEmpty())
            continue;
        while (next < platformPorts.size() &&
               std::find(com.begin(), com.end(), platformPorts.at(next)) != com.end())
            ++next;
        if (next < platformPorts.size())
            slot = platformPorts.at(next++);
    }
    return com;
}

QStringList platform_serial_ports()
{
    QStringList ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports << info.systemLocation();
    ports.sort();
    return ports;
}

} // namespace quorvex
