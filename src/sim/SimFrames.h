#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstdint>
#include <optional>

// The instrument's own frame code. It follows the same rules as the desktop's link but shares no code
// with it, so that a fault on one side is not mirrored on the other.
namespace SimFrames {

// XOR of every byte of the range.
uint8_t Xor(const uint8_t *bytes, int count);

// A short frame: STX, LEN (command + data), command, data, XOR of everything before it, ETX.
QByteArray BuildShort(uint8_t command, const QByteArray &data);

// One request as the instrument understood it.
struct Request {
    uint8_t command = 0;
    QByteArray data;
    bool longFrame = false;
};

// Reassembles requests from the bytes the instrument receives. Short frames carry one LEN byte, long
// frames (only firmware header and data, 0x49 and 0x4A) two; the receiver tells them apart by what can
// form a whole, valid frame. Bytes before an STX are noise; a frame with a wrong checksum or ETX, or one
// that cannot be a request, is dropped whole. A pause longer than the inter-byte limit drops a partial
// frame, as the instrument's receiver gives up on a request that stalls.
class Receiver {
  public:
    // Feeds one byte received at `atMicros`; returns a request once its last byte has arrived.
    std::optional<Request> Feed(uint8_t byte, qint64 atMicros);
    void Clear();

    int DroppedFrames() const { return m_droppedFrames; }
    int NoiseBytes() const { return m_noiseBytes; }

    static constexpr qint64 kInterByteLimitMicros = 20000;
    static constexpr int kMaxLongFrame = 4096 + 6;

  private:
    std::optional<Request> Resolve();

    QByteArray m_buffer;
    qint64 m_lastByteMicros = 0;
    int m_droppedFrames = 0;
    int m_noiseBytes = 0;
};

} // namespace SimFrames
