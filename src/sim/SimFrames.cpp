#include "SimFrames.h"

#include "Commands.h"

namespace SimFrames {

uint8_t Xor(const uint8_t *bytes, int count)
{
    uint8_t sum = 0;
    for (int i = 0; i < count; ++i)
        sum ^= bytes[i];
    return sum;
}

QByteArray BuildShort(uint8_t command, const QByteArray &data)
{
    QByteArray frame;
    frame.reserve(data.size() + 5);
    frame.append(char(FRAME_STX));
    frame.append(char(uint8_t(data.size() + 1)));
    frame.append(char(command));
    frame.append(data);
    frame.append(char(Xor(reinterpret_cast<const uint8_t *>(frame.constData()), int(frame.size()))));
    frame.append(char(FRAME_ETX));
    return frame;
}

void Receiver::Clear()
{
    m_buffer.clear();
}

std::optional<Request> Receiver::Feed(uint8_t byte, qint64 atMicros)
{
    if (!m_buffer.isEmpty() && atMicros - m_lastByteMicros > kInterByteLimitMicros) {
        m_buffer.clear();
        ++m_droppedFrames;
    }
    m_lastByteMicros = atMicros;
    if (m_buffer.isEmpty() && byte != FRAME_STX) {
        ++m_noiseBytes;
        return std::nullopt;
    }
    m_buffer.append(char(byte));
    return Resolve();
}

// Decides, after each byte, whether the buffer holds a whole request, may still become one, or cannot.
std::optional<Request> Receiver::Resolve()
{
    const auto *b = reinterpret_cast<const uint8_t *>(m_buffer.constData());
    const int size = int(m_buffer.size());
    if (size < 3)
        return std::nullopt;

    // Short reading: LEN counts command and data; only a command the instrument knows can start one.
    const int shortTotal = b[1] >= 1 ? b[1] + 4 : 0;
    const bool shortPossible = shortTotal > 0 && b[2] >= CMD_FIRST && b[2] <= CMD_LAST;
    // Long reading: two LEN bytes, then the firmware header or data command.
    const int longLen = (b[1] << 8) | b[2];
    const int longTotal = longLen + 5;
    const bool longPossible =
        longLen >= 1 && longTotal <= kMaxLongFrame && (size < 4 || b[3] == CMD_FW_HEADER || b[3] == CMD_FW_DATA);

    if (shortPossible && size == shortTotal && b[size - 1] == FRAME_ETX && Xor(b, size - 2) == b[size - 2]) {
        Request request{b[2], m_buffer.mid(3, size - 5), false};
        m_buffer.clear();
        return request;
    }
    if (longPossible && size >= 4 && size == longTotal && b[size - 1] == FRAME_ETX && Xor(b, size - 2) == b[size - 2]) {
        Request request{b[3], m_buffer.mid(4, size - 6), true};
        m_buffer.clear();
        return request;
    }
    const bool shortPending = shortPossible && size < shortTotal;
    const bool longPending = longPossible && size < longTotal;
    if (!shortPending && !longPending) {
        m_buffer.clear();
        ++m_droppedFrames;
    }
    return std::nullopt;
}

} // namespace SimFrames
