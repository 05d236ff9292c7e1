#pragma once

#include <QString>

#include <cstdint>

// One line of the packet log: direction, local time, every byte in hex and the count, for example
//   SEND-[2024-01-31 13:45:12] 02 02 31 00 31 03  (6 BYTE)
// direction 0 is a buffer written to the bridge ("SEND"), anything else one read from it ("RECV").
// The line carries no terminator; the view and the file add their own.
QString FormatPacketLogEntry(int direction, const uint8_t *bytes, int count, qint64 secondsSince1970);
