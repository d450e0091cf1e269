#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace quorvex {

// The state the main window keeps for every service: connection switches, the facts the
// current-data request learns and the decoder record. One instance, owned by the context.
struct SharedState
{
    bool UseSerial = false;
    bool StopFlag = false;
    bool DebugMode = false;
    int BaudRate = 19200;
    double FWVersion = 0.0;
    bool USBAttached = false;
    bool UnitsMetric = false;

    // Current-data run: service and the extra reply bytes ahead of the data (freeze frame).
    QString PIDmode = QStringLiteral("01");
    int PIDoffset = 0;

    bool SelectorsReady = false;
    QString WideO2PID = QStringLiteral("0");
    bool NoFreezeFrame = false;
    bool HasSTFTB1 = false;
    bool HasLTFTB1 = false;
    bool HasSTFTB2 = false;
    bool HasLTFTB2 = false;
    // Entry k is 2^k when O2 sensor k was reported present (k 0-3: bank 1 sensors 1-4,
    // 4-7: bank 2 sensors 1-4); entries of sensors not reported keep their earlier value.
    std::array<int, 8> O2Sensors{};
    // The last monitor report found the O2 sensor monitor supported and complete.
    bool O2MonitorComplete = false;

    // One item code per line of the vehicle data window, and the number of lines so far.
    static constexpr int kListPidSize = 91;
    std::array<int, kListPidSize> ListPID{};
    int PIDcount = 0;

    // Labels of the listed items, in the order of the vehicle data window's lines: the data
    // logger's item choices. Rebuilt by every current-data or freeze-frame run.
    QStringList LoggerItems;
};

// The record a decoder fills: numeric value, value text, units text, label text.
struct PidItem
{
    double value = 0.0;
    QString valueText;
    QString units;
    QString label;
};

} // namespace quorvex
