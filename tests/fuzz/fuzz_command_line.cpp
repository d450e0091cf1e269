// libFuzzer target over the program's command line. The first byte chooses the case; the rest
// is a list of arguments separated by NUL bytes, as the system passes them:
//   0  parse_command_line
//   1  UsbId::parse on each argument
//   2  map_com_ports: a parsed command line, an empty argument, the simulator's device, the
//      simulated ELM327 adapter's device and the platform's ports
#include "fuzzsupport.h"

#include "app/commandline.h"

#include <algorithm>

using namespace quorvex;
using namespace quorvex::fuzz;

namespace {

QStringList arguments(Input &in)
{
    const QByteArray bytes = in.rest();
    QStringList args;
    if (bytes.isEmpty())
        return args;
    for (const QByteArray &arg : bytes.split('\0'))
        args << QString::fromUtf8(arg);
    return args;
}

// The arguments that say what a parsed command line holds.
QStringList written(const CommandLine &cmd)
{
    QStringList args;
    for (std::size_t i = 0; i < cmd.com.size(); ++i) {
        if (!cmd.com[i].isEmpty())
            args << QStringLiteral("--com%1").arg(i + 1) << cmd.com[i];
    }
    if (cmd.simulate) {
        args << QStringLiteral("--simulate");
        if (!cmd.scenario.isEmpty())
            args << cmd.scenario;
    }
    if (cmd.usb.isSet())
        args << QStringLiteral("--usb") << cmd.usb.text();
    if (!cmd.adapter.isEmpty())
        args << QStringLiteral("--adapter") << cmd.adapter;
    if (cmd.tcp.port != 0)
        args << QStringLiteral("--tcp") << cmd.tcp.text();
    if (!cmd.record.isEmpty())
        args << QStringLiteral("--record") << cmd.record;
    if (cmd.help)
        args << QStringLiteral("--help");
    if (cmd.version)
        args << QStringLiteral("--version");
    return args;
}

void checkParse(Input &in)
{
    const QStringList args = arguments(in);
    const CommandLine cmd = parse_command_line(args);
    if (!cmd.error.isEmpty())
        return;
    // Understood: written out again, the arguments mean the same.
    const CommandLine again = parse_command_line(written(cmd));
    FUZZ_REQUIRE(again.error.isEmpty() && written(again) == written(cmd));
    FUZZ_REQUIRE(cmd.scenario.isEmpty() || (cmd.simulate && !cmd.scenario.startsWith(u'-')));
}

void checkUsbId(Input &in)
{
    for (const QString &arg : arguments(in)) {
        usb::UsbId id{0x1234, 0x5678};
        if (!usb::UsbId::parse(arg, &id)) {
            FUZZ_REQUIRE(id == (usb::UsbId{0x1234, 0x5678}));
            continue;
        }
        FUZZ_REQUIRE(id.isSet());
        const QString text = id.text();
        usb::UsbId again;
        FUZZ_REQUIRE(text.size() == 9 && usb::UsbId::parse(text, &again) && again == id);
    }
}

void checkComPorts(Input &in)
{
    const QStringList args = arguments(in);
    const qsizetype end = args.indexOf(QString());
    const CommandLine cmd = parse_command_line(args.mid(0, end));
    const QString simulator = end < 0 ? QString() : args.value(end + 1);
    const QString elm = end < 0 ? QString() : args.value(end + 2);
    const QStringList platform = end < 0 ? QStringList() : args.mid(end + 3);
    const std::array<QString, 4> com = map_com_ports(cmd, simulator, platform, elm);

    for (std::size_t i = 0; i < com.size(); ++i) {
        // Named devices stay where they were named; the simulators take Com1 and Com2 when free.
        if (!cmd.com[i].isEmpty())
            FUZZ_REQUIRE(com[i] == cmd.com[i]);
        else if (i == 0 && !simulator.isEmpty())
            FUZZ_REQUIRE(com[0] == simulator);
        else if (i == 1 && !elm.isEmpty())
            FUZZ_REQUIRE(com[1] == elm);
        else if (!com[i].isEmpty())
            FUZZ_REQUIRE(platform.contains(com[i]));
    }
    // A slot stays empty only when every platform port is already on a slot.
    if (std::find(com.begin(), com.end(), QString()) != com.end()) {
        for (const QString &port : platform)
            FUZZ_REQUIRE(port.isEmpty() || std::find(com.begin(), com.end(), port) != com.end());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return runCase(data, size, {checkParse, checkUsbId, checkComPorts});
}
