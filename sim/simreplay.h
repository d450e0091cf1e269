#pragma once

#include "link/recording.h"
#include "sim/simdevice.h"

#include <QByteArray>

#include <functional>
#include <memory>

namespace quorvex::sim {

// A recording served back (sim::Options::replay): what the program sent and what it read.
struct ReplayOptions
{
    std::shared_ptr<const Recording> recording;
    double speed = 1; // the recorded delays are divided by it
    // Told each command the recording has no answer for (the server's standard error).
    std::function<void(const QByteArray &command)> unanswered;
};

// The recording in the file at `path` (read within a size limit, a regular file only), or
// none with the reason.
std::shared_ptr<const Recording> readRecordingFile(const QString &path, QString *error);

// The third personality: a recording of the exchanges with a scan interface or an ELM327
// adapter, served as a pure state machine like the other two (bytes in, bytes out, time in
// microseconds). What the recording shows read before its first command comes at its recorded
// time after the first call. A command is matched, whole, against the commands the recording
// has from where the last matched one stood on (so a program that asks less than the recorded
// one still finds its answers further on); then what the program read after the recorded
// command, up to the next one, comes with its recorded delays. A command the recording does
// not have from there on is told to `unanswered` and gets no answer.
//
// A recorded scan interface sends its ready mark while idle, as the interface does: the mark
// it showed last, every mark interval, from when the answer has gone out until the next
// command. The commands kept are the ones received, matched or not.
class ReplayEngine : public PacedDevice
{
public:
    explicit ReplayEngine(Options options);

    void receive(const QByteArray &bytes, qint64 nowUs);
    qint64 nextEventUs() const;
    void setFaults(const Faults &faults) { m_faults = faults; }
    int activeEcu() const { return 0; }

private:
    void advance(qint64 nowUs) override;
    // Queues what the program read after exchange `index`, up to the next command, timed from
    // the recorded time `fromMs` on at nowUs.
    void answerFrom(qsizetype index, qint64 fromMs, qint64 nowUs);
    qint64 scaledUs(qint64 ms) const;

    std::shared_ptr<const Recording> m_recording;
    bool m_interface = false;
    qsizetype m_next = 0; // the first exchange not yet served
    QByteArray m_input;   // bytes of a command not yet whole
    char m_mark = 0;      // the interface's idle mark, the last one read; 0 before any
    qint64 m_nextMarkUs = -1;
    bool m_started = false;
};

} // namespace quorvex::sim
