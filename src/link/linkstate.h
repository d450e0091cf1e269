#pragma once

namespace quorvex {

// The switches the link operations and every wait read.
struct LinkState
{
    // True once a serial port was chosen: the link operations use the serial path, else USB.
    bool UseSerial = false;
    // Ends every wait in progress: raised by the ready check when the interface has no vehicle
    // contact, by stop buttons, by the lost link; lowered at the start of each exchange.
    bool StopFlag = false;
    // Debug mode: services echo the interface's raw replies in the report window.
    bool DebugMode = false;
};

} // namespace quorvex
