#pragma once

#include <cstdint>

// Receives every buffer the link writes or reads (the packet log window implements it).
class PacketLogSink {
  public:
    enum Direction { Written = 0, Read = 1 };
    virtual ~PacketLogSink() = default;
    virtual void AddPacket(int direction, const uint8_t *bytes, int count) = 0;
};
