#include "FrameScanner.h"

#include "CFt260.h"
#include "Commands.h"

#include <algorithm>
#include <cstring>

FrameScanner::FrameScanner(std::initializer_list<int> lengths, int recordLength)
    : m_lengths(lengths), m_recordLength(recordLength),
      m_shortestLength(*std::min_element(lengths.begin(), lengths.end()))
{
}

void FrameScanner::Append(const uint8_t *bytes, int count)
{
    // Consumed bytes are let go before the buffer grows, so it never holds more than a frame or two.
    if (m_head > 0) {
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(m_head));
        m_head = 0;
    }
    m_bytes.insert(m_bytes.end(), bytes, bytes + count);
}

bool FrameScanner::AllowedLength(int length) const
{
    return std::find(m_lengths.begin(), m_lengths.end(), length) != m_lengths.end();
}

bool FrameScanner::FrameStartAtHead() const
{
    return Buffered() >= 2 && m_bytes[m_head] == FRAME_STX && AllowedLength(m_bytes[m_head + 1] + 4);
}

void FrameScanner::SkipHeadByte()
{
    if (FrameStartAtHead() && m_stretchBytes >= m_nextCountedStart) {
        ++m_stretchStarts;
        m_nextCountedStart = m_stretchBytes + m_shortestLength;
    }
    ++m_stretchBytes;
    ++m_head;
}

int FrameScanner::StretchRecords() const
{
    return std::max(m_stretchStarts, m_stretchBytes / m_recordLength);
}

bool FrameScanner::Take(uint8_t *frame, int *length)
{
    while (Buffered() > 0) {
        const uint8_t *head = m_bytes.data() + m_head;
        if (head[0] != FRAME_STX) {
            SkipHeadByte();
            continue;
        }
        if (Buffered() < 2)
            return false;
        const int frameLength = head[1] + 4;
        if (!AllowedLength(frameLength)) {
            SkipHeadByte();
            continue;
        }
        if (Buffered() < frameLength)
            return false;
        if (CFt260::Checksum(head, frameLength - 2) != head[frameLength - 2] || head[frameLength - 1] != FRAME_ETX) {
            SkipHeadByte();
            continue;
        }
        std::memcpy(frame, head, static_cast<size_t>(frameLength));
        *length = frameLength;
        m_head += static_cast<size_t>(frameLength);
        m_damaged += StretchRecords();
        m_stretchBytes = m_stretchStarts = m_nextCountedStart = 0;
        return true;
    }
    return false;
}

int FrameScanner::Wanted(int nextLength) const
{
    const int buffered = Buffered();
    if (buffered >= 2)
        return std::max(1, m_bytes[m_head + 1] + 4 - buffered);
    return std::max(1, nextLength - buffered);
}
