#pragma once

#include "link/serialtransport.h"
#include "link/transport.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace quorvex {

class Clock;

// A recording of the exchanges on a line, as text a person reads and diff compares:
//
//   # Quorvex exchange recording
//   # program: Quorvex 3.40
//   # adapter: elm327
//   # port: /dev/ttyUSB0
//   0.000 > ATZ\r
//   1.004 < \r\rELM327 v1.5\r\r>
//
// After the header, one line per write of the program ("> ", the command or block it sent),
// per read that found something ("< ", the bytes read) and, over USB, per ready query
// ("= ", the answer as a decimal number): the seconds since the recording started on the
// program's monotonic clock, the direction, the bytes. Printable ASCII stands
// as it is; a backslash, CR, LF, any other byte and a blank that ends the line are C escapes
// (\\, \r, \n, \xHH, \x20). "# adapter:" and "# port:" come again whenever a line is opened.
inline constexpr char kRecordingFirstLine[] = "# Quorvex exchange recording";

QByteArray escape_bytes(QByteArrayView bytes);
// The bytes of an escaped text; none when an escape is broken.
std::optional<QByteArray> unescape_bytes(QByteArrayView text);

// Writes a recording. Every line goes to the system with one write of its own (the file is
// unbuffered), so a program killed while recording leaves whole lines only.
class ExchangeRecorder
{
public:
    explicit ExchangeRecorder(Clock &clock) : m_clock(clock) {}

    // Starts a recording in `path` (replacing the file); false with the reason when it
    // cannot be written. The line open now, if any, is named in its header.
    bool start(const QString &path, QString *error);
    void stop();
    bool recording() const { return m_file.isOpen(); }
    QString fileName() const { return m_file.fileName(); }

    // A line was opened: the adapter kind ("interface", "elm327") and the port it is on.
    void lineOpened(const QString &adapterKind, const QString &port);
    void sent(QByteArrayView bytes) { writeExchange('>', bytes); }
    void received(QByteArrayView bytes) { writeExchange('<', bytes); }
    void readyAnswered(int answer) { writeExchange('=', QByteArray::number(answer)); }

private:
    void writeExchange(char direction, QByteArrayView bytes);
    void writeLine(const QByteArray &line);
    void writeLineHeader();

    Clock &m_clock;
    QFile m_file;
    qint64 m_startMs = 0;
    QString m_adapterKind;
    QString m_port;
};

// A line that tells the recorder what crosses it, while the recorder records; otherwise it
// only passes everything on.
class RecordingTransport : public Transport
{
    Q_OBJECT
public:
    RecordingTransport(std::unique_ptr<Transport> line, ExchangeRecorder &recorder);
    // A line owned elsewhere (the USB link), which must outlive this.
    RecordingTransport(Transport &line, ExchangeRecorder &recorder);

    bool isOpen() const override { return m_line->isOpen(); }
    void close() override { m_line->close(); }
    void write(const QByteArray &bytes) override;
    void writeBlock(const QByteArray &block) override;
    qint64 bytesAvailable() override { return m_line->bytesAvailable(); }
    QByteArray readAll() override;
    int syncByte() override;
    int pollIntervalMs() const override { return m_line->pollIntervalMs(); }
    int lineSpeed() const override { return m_line->lineSpeed(); }
    bool setLineSpeed(int baud) override { return m_line->setLineSpeed(baud); }

private:
    std::unique_ptr<Transport> m_owned;
    Transport *m_line;
    ExchangeRecorder &m_recorder;
};

// The serial ports with every line opened wrapped for the recorder, which learns the port
// and the adapter kind (`adapterKind` tells it at the time of opening).
class RecordingPorts : public SerialPorts
{
public:
    RecordingPorts(SerialPorts *ports, ExchangeRecorder &recorder,
                   std::function<QString()> adapterKind)
        : m_ports(ports), m_recorder(recorder), m_adapterKind(std::move(adapterKind))
    {
    }
    void setPorts(SerialPorts *ports) { m_ports = ports; }

    bool probe(const QString &device, QString *error) override
    {
        return m_ports->probe(device, error);
    }
    std::unique_ptr<Transport> open(const SerialSettings &settings, QString *error) override;

private:
    SerialPorts *m_ports;
    ExchangeRecorder &m_recorder;
    std::function<QString()> m_adapterKind;
};

// One exchange line of a recording.
struct RecordedExchange
{
    qint64 ms = 0;
    bool sent = false; // the program wrote it; else it read it (ready queries are left out)
    QByteArray bytes;
};

// A recording read back: the adapter kind of its first line and its exchanges in order.
struct Recording
{
    QString adapterKind;
    QList<RecordedExchange> exchanges;
    QString error; // why the text is no recording (with the line's number)
};

// Reads a recording, or the conversation form of an ELM327 log ("> " lines sent, their CR
// implied, "< " answers, "# " comments; no times) as a recording of an ELM327 adapter.
Recording read_recording(QByteArrayView text);

} // namespace quorvex
