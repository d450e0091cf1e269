#pragma once

#include "sim/simengine.h"

#include <QByteArray>
#include <QList>

#include <array>
#include <optional>

namespace quorvex::sim {

// The scan interface's USB personality: the same firmware, reached by vendor control
// requests on the default pipe instead of a serial line. Pure, like the engine it wraps.
//
//   0x09  1 byte: 1 while the interface is idle with vehicle contact, else 0
//   0x0A  the received characters waiting, up to wLength of them
//   0x0B  1 byte: how many received characters are waiting (at most 255)
//   0x0C  c1 c2 | c3 c4        or b0 b1 | b2 b3
//   0x0D  c5 c6 | c3 c4        or b4 b5 | b6 b6
//   0x0E                          b7 b8 | b9 b10
//   0x0F  c1 c2 | c3 0: the command is complete
//                              or b11 b12 | b13 1: the 14-byte block is complete
// Every other request is stalled (nullopt).
class UsbDevice
{
public:
    explicit UsbDevice(Scenario scenario, Options options = {});

    // Answers one device-to-host request at nowUs with its data stage.
    std::optional<QByteArray> request(quint8 bRequest, quint16 wValue, quint16 wIndex,
                                      quint16 wLength, qint64 nowUs);

    Engine &engine() { return m_engine; }
    const Engine &engine() const { return m_engine; }

private:
    void take(qint64 nowUs);

    Engine m_engine;
    QByteArray m_output;            // sent by the firmware, not yet read
    std::array<char, 14> m_parts{}; // the command or block being assembled
};

// One control transfer as usbmon records it.
struct UsbRecord
{
    std::array<quint8, 8> setup{};
    QByteArray data; // the data stage the device sent
    int status = 0;  // 0, or the negative errno the transfer ended with
};

// A usbmon capture (pcap, link type LINUX_MMAPPED) of device-to-host control transfers on the
// default pipe of the device at bus/devnum: a submission and a completion for each.
QByteArray usbmon_pcap(const QList<UsbRecord> &records, int bus, int devnum);

} // namespace quorvex::sim
