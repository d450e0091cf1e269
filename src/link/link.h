#pragma once

#include <QString>

namespace quorvex {

class Transport;
struct SharedState;

// The link operations. Every service reaches the scan interface through these; they never
// wait. The serial path is taken while UseSerial is set, else the USB path. A path without an
// attached transport behaves as a line on which nothing arrives.
class Link
{
public:
    explicit Link(const SharedState &state) : m_state(state) {}

    void attachSerial(Transport *transport) { m_serial = transport; }
    void attachUsb(Transport *transport) { m_usb = transport; }

    // Writes the characters of the command as one write, no terminator added.
    void OBDoutput(const QString &strOUT);
    // Everything waiting in the receive buffer, which is then empty.
    QString OBDinput();
    // Number of characters waiting.
    int OBDinbuffercount();

    // True while the chosen path has an open device.
    bool isConnected() const;

private:
    Transport *active() const;

    const SharedState &m_state;
    Transport *m_serial = nullptr;
    Transport *m_usb = nullptr;
};

} // namespace quorvex
