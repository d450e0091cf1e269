#pragma once

#include <QByteArray>

#include <deque>

namespace quorvex::sim {

// The simulator's serial line out: blocks of bytes with their send times. Unpaced (speed 0) a
// block's bytes are all due when it starts; paced, character i of a block is due 10 (i + 1) bits
// after its start (start, eight data and stop bit), computed from the start each time so that
// rounding does not accumulate. A block never starts before the previous one has gone out.
//
// A block may be sent at a UART speed of its own (a device that changed speed while the
// receiver did not follow): where that speed and the receiver's differ by more than a UART
// tolerates, each of its characters arrives as a garbled byte (garbled()).
class PacedLine
{
public:
    // Two UART speeds within 3 % of each other still understand each other.
    static bool speedsMatch(int a, int b);
    // What a character sent at the wrong speed arrives as: never a printable character, a CR
    // or a prompt.
    static char garbled(char c);

    // Queues `bytes` to start at startUs, or once the line is free if that is later. Returns
    // when the last of them is due (the line is free from then on). `speed`: the sender's
    // UART speed, 0 for whatever the receiver uses.
    qint64 queue(const QByteArray &bytes, qint64 startUs, int baud, int speed = 0);
    // Appends every byte due by nowUs to *out, in order; the receiver's UART runs at
    // receiverBaud (0: unknown, it reads every block right).
    void release(qint64 nowUs, QByteArray *out, int receiverBaud = 0);
    // Forgets every byte not yet released; the line is free from nowUs.
    void dropPending(qint64 nowUs);
    bool isEmpty() const { return m_blocks.empty(); }
    qint64 nextDueUs() const; // -1 when nothing is queued
    qint64 freeUs() const { return m_freeUs; }
    void setFreeUs(qint64 freeUs) { m_freeUs = freeUs; }

private:
    struct Block
    {
        QByteArray bytes;
        qint64 startUs = 0;
        int baud = 0;
        int speed = 0;
        int sent = 0;
    };
    static qint64 dueUs(const Block &block, int index);

    std::deque<Block> m_blocks;
    qint64 m_freeUs = 0;
};

} // namespace quorvex::sim
