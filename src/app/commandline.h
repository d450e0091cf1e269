#pragma once

#include "link/tcptransport.h"
#include "link/usb/usbkit.h"

#include <QString>
#include <QStringList>

#include <array>

namespace quorvex {

struct CommandLine
{
    std::array<QString, 4> com; // devices named by --com1..--com4 (empty: not named)
    bool simulate = false;
    QString scenario;   // --simulate SCENARIO: a name or a JSON file
    usb::UsbId usb;     // --usb VID:PID (unset: not given)
    QString adapter;    // --adapter interface|elm327 (empty: not given)
    NetworkAddress tcp; // --tcp HOST:PORT (port 0: not given)
    QString record;     // --record FILE: the exchanges are recorded there (empty: not given)
    bool help = false;
    bool version = false; // --version: the name and version
    QString error;        // set when the arguments cannot be understood
};

// Parses the program's arguments (without the program name).
CommandLine parse_command_line(const QStringList &args);

QString usage_text();
// What --version prints: "quorvex 3.40".
QString version_text();

// Com1..Com4: the devices the command line names, the simulator's pty on Com1 when it runs
// (and its ELM327 adapter's on Com2), then the platform's serial ports in a stable order for
// the ports still free.
std::array<QString, 4> map_com_ports(const CommandLine &cmd, const QString &simulatorDevice,
                                     const QStringList &platformPorts,
                                     const QString &elmSimulatorDevice = {});

// The platform's serial ports (device paths), sorted.
QStringList platform_serial_ports();

} // namespace quorvex
