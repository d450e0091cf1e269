#include "sim/simpacing.h"

#include <algorithm>
#include <cstdlib>

namespace quorvex::sim {

bool PacedLine::speedsMatch(int a, int b)
{
    return qint64(std::abs(a - b)) * 100 <= qint64(std::max(a, b)) * 3;
}

char PacedLine::garbled(char c)
{
    return static_cast<char>(0x80 | (static_cast<unsigned char>(c) * 37 + 11) % 0x80);
}

qint64 PacedLine::queue(const QByteArray &bytes, qint64 startUs, int baud, int speed)
{
    if (bytes.isEmpty())
        return m_freeUs;
    Block block;
    block.bytes = bytes;
    block.startUs = std::max(startUs, m_freeUs);
    block.baud = std::max(baud, 0);
    block.speed = std::max(speed, 0);
    m_freeUs = dueUs(block, static_cast<int>(bytes.size()) - 1);
    m_blocks.push_back(block);
    return m_freeUs;
}

void PacedLine::release(qint64 nowUs, QByteArray *out, int receiverBaud)
{
    while (!m_blocks.empty()) {
        Block &block = m_blocks.front();
        const bool misread =
            block.speed > 0 && receiverBaud > 0 && !speedsMatch(block.speed, receiverBaud);
        while (block.sent < block.bytes.size() && dueUs(block, block.sent) <= nowUs) {
            const char c = block.bytes.at(block.sent++);
            out->append(misread ? garbled(c) : c);
        }
        if (block.sent < block.bytes.size())
            return;
        m_blocks.pop_front();
    }
}

void PacedLine::dropPending(qint64 nowUs)
{
    m_blocks.clear();
    m_freeUs = nowUs;
}

qint64 PacedLine::nextDueUs() const
{
    if (m_blocks.empty())
        return -1;
    return dueUs(m_blocks.front(), m_blocks.front().sent);
}

qint64 PacedLine::dueUs(const Block &block, int index)
{
    if (block.baud <= 0)
        return block.startUs;
    return block.startUs + (qint64(index) + 1) * 10'000'000 / block.baud;
}

} // namespace quorvex::sim
