#pragma once
// Pieces shared by the benchmarks: a raw client for the same exchange with plain POSIX calls,
// CPU clocks, resident memory.

#include "link/serialtransport.h"

#include <QByteArray>
#include <QString>

namespace quorvex::bench {

// A serial transport that counts the characters the program reads, to know what crossed
// the line.
class CountingSerial : public SerialTransport
{
public:
    QByteArray readAll() override
    {
        const QByteArray bytes = SerialTransport::readAll();
        bytesRead += bytes.size();
        return bytes;
    }
    qint64 bytesRead = 0;
};

// Seconds per exchange of a minimal client on the device: wait for the ready mark, send the
// command, read until more than threshold characters arrived. Repeated count times.
double raw_seconds_per_exchange(const QString &device, const QByteArray &command, int threshold,
                                int count);

// CPU seconds of the calling thread (thread = true) or of the whole process.
double cpu_seconds(bool thread);

// Resident memory of the process in kilobytes.
long resident_kb();

} // namespace quorvex::bench
