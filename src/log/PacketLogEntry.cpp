#include "PacketLogEntry.h"

#include "LocalTime.h"

QString FormatPacketLogEntry(int direction, const uint8_t *bytes, int count, qint64 secondsSince1970)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const int n = bytes ? qMax(count, 0) : 0;
    QString line;
    line.reserve(32 + n * 3 + 16);
    line += direction == 0 ? QLatin1String("SEND-[") : QLatin1String("RECV-[");
    line += FormatLocalTime(secondsSince1970);
    line += QLatin1String("] ");
    for (int i = 0; i < n; ++i) {
        line += QLatin1Char(kHex[bytes[i] >> 4]);
        line += QLatin1Char(kHex[bytes[i] & 0x0F]);
        line += QLatin1Char(' ');
    }
    // Each byte is followed by a blank, so the count stands two blanks after the last byte.
    line += QStringLiteral(" (%1 BYTE)").arg(count);
    return line;
}
