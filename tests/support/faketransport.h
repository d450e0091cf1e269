#pragma once

#include "transport.h"

#include <QTimer>

namespace quorvex::test {

// A transport whose incoming bytes the test scripts. Bytes fed later arrive through a timer,
// which also wakes the program's event-loop wait the way serial data does.
class FakeTransport : public Transport
{
public:
    QByteArray written;
    bool open = true;

    bool isOpen() const override { return open; }
    void write(const QByteArray &bytes) override { written += bytes; }
    qint64 bytesAvailable() override { return m_buffer.size(); }
    QByteArray readAll() override
    {
        QByteArray all = m_buffer;
        m_buffer.clear();
        return all;
    }

    void feed(const QByteArray &bytes) { m_buffer += bytes; }
    void feedLater(int ms, const QByteArray &bytes)
    {
        QTimer::singleShot(ms, Qt::PreciseTimer, this, [this, bytes] { m_buffer += bytes; });
    }

private:
    QByteArray m_buffer;
};

} // namespace quorvex::test
