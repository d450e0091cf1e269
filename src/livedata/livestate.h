#pragma once

#include <QString>

#include <array>
#include <map>

namespace quorvex {

// The four support bytes of each range of PIDs a current-data run read, by the range's first
// PID (0x01, 0x21, ... 0xA1).
using SupportRanges = std::map<int, std::array<int, 4>>;

// What the live-data services read and learn: the unit switch, the service of the current run,
// and the facts a current-data request finds for other services (fuel trims, wide-range O2
// sensor, O2 sensors present, O2 monitor). One instance, owned by the main window.
struct LiveDataState
{
    bool UnitsMetric = false; // read by every decoder as it formats

    // The run's service and the extra reply bytes ahead of the data: "01" and 0, or "02" and 1
    // after a freeze-frame run (until the next current-data request).
    QString PIDmode = QStringLiteral("01");
    int PIDoffset = 0;

    // The wide-range O2 PID decoded last ("24"), "0" before any: corrects the fuel economy and
    // feeds the air/fuel ratio meter.
    QString WideO2PID = QStringLiteral("0");
    bool NoFreezeFrame = false; // the freeze-frame run found no frame stored
    bool HasSTFTB1 = false;
    bool HasLTFTB1 = false;
    bool HasSTFTB2 = false;
    bool HasLTFTB2 = false;
    // Entry k is 2^k when O2 sensor k was reported present (k 0-3: bank 1 sensors 1-4,
    // 4-7: bank 2 sensors 1-4); entries of sensors not reported keep their earlier value.
    std::array<int, 8> O2Sensors{};
    // The last monitor report found the O2 sensor monitor supported and complete.
    bool O2MonitorComplete = false;
    // What the last current-data run read of each range (freeze-frame runs leave it): the
    // commands the next run is expected to send, told to the link ahead.
    SupportRanges SupportRead;
};

// The fuel trims' flags in PID order (06 to 09).
inline constexpr bool LiveDataState::*kFuelTrimFlags[] = {
    &LiveDataState::HasSTFTB1, &LiveDataState::HasLTFTB1, &LiveDataState::HasSTFTB2,
    &LiveDataState::HasLTFTB2};

} // namespace quorvex
