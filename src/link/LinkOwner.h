#pragma once

#include <cstdint>

class PacketLogSink;

// What the link needs of the window that owns it: the packet log sink (absent while no log window
// exists) and the row builders the downloads hand every record to. The main window implements it;
// tests and the CLI have their own. None of these may start another exchange.
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
