#pragma once

#include <QString>
#include <QStringList>

namespace quorvex {

class Transport;
struct LinkState;

// The link operations. Every exchange reaches the scan interface through these; they never
// wait. The serial path is taken while UseSerial is set, else the USB path. A path without an
// open device behaves as a line on which nothing arrives.
class Link
{
public:
    explicit Link(const LinkState &state) : m_state(state) {}

    void attachSerial(Transport *transport) { m_serial = transport; }
    void attachUsb(Transport *transport) { m_usb = transport; }

    // Writes the characters of the command as one write, no terminator added.
    void OBDoutput(const QString &strOUT);
    // Writes the raw block of the pass-through mode (on USB the extended command request).
    void EXT_CMD_OUT(const QByteArray &block);
    // Everything waiting in the receive buffer, which is then empty.
    QString OBDinput();
    // Number of characters waiting.
    int OBDinbuffercount();
    // The USB ready query: the sync byte, non-zero with vehicle contact; -1 when it could not
    // be asked.
    int OBDsync();
    // The commands of a pass about to be sent, in order, possibly more than will be (a new list
    // within the pass says what is left of it, an empty list ends the pass): an adapter that
    // can may ask the vehicle for several in one request.
    void announce(const QStringList &commands);
    // How often a wait for input must look again (0: input ends a wait by itself).
    int pollIntervalMs() const;

    // True while the chosen path has an open device.
    bool isConnected() const;
    // The transport the chosen path uses, whether open or not.
    Transport *chosen() const;

private:
    Transport *active() const;

    const LinkState &m_state;
    Transport *m_serial = nullptr;
    Transport *m_usb = nullptr;
};

} // namespace quorvex
