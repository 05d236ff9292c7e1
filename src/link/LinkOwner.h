#pragma once

#include <cstdint>

class PacketLogSink;

// What the link needs of whoever drives it: the packet log sink (absent while nothing logs) and the
// receivers the downloads hand every record to. The session's owner forwards them to the current job's
// receivers (the grid's row builders, the archive's writer); tests and tools have their own. None of
// these may start another exchange.
class LinkOwner {
  public:
    virtual ~LinkOwner() = default;
    virtual PacketLogSink *PacketLog() = 0;
    // index from 0; record points at the 10 record bytes.
    virtual void AddStoredRecordRow(int index, const uint8_t *record) = 0;
    // summary points at the 9 summary bytes.
    virtual void SetContinuousSummary(const uint8_t *summary) = 0;
    // index from 0; record points at the 10 record bytes.
    virtual void AddContinuousRecordRow(int index, const uint8_t *record) = 0;
};
