#pragma once

#include <QColor>

namespace quorvex {

// The status indicator's colours and its texts shared by several handlers.
inline const QColor kRed(255, 0, 0);      // no communication with the interface
inline const QColor kYellow(255, 255, 0); // the interface, but not the vehicle
inline const QColor kGreen(0, 255, 0);    // communication with the vehicle

inline constexpr char16_t kEcuOffLine[] = u"ECU Off-Line";
inline constexpr char16_t kEcuTimeout[] = u"ECU Timeout";
inline constexpr char16_t kEcuConnected[] = u"ECU Connected";
// What a window says when the vehicle could not be reached.
inline constexpr char16_t kEcuNotCommunicating[] = u"ECU not Communicating";

} // namespace quorvex
