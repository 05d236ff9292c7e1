#include "TraceLines.h"

#include "CFt260.h"
#include "LocalTime.h"

#include <algorithm>

namespace TraceLines {

namespace {

QString HexBytes(const uint8_t *bytes, int count)
{
    QString text;
    text.reserve(count * 3);
    for (int i = 0; i < count; ++i)
        text += QString::asprintf("%02X ", bytes[i]);
    return text;
}

int Clamped(int count)
{
    return std::clamp(count, 0, CFt260::kBufferSize);
}

} // namespace

QString SendLine(const CFt260 &link)
{
    const int count = Clamped(link.m_txLen);
    return QStringLiteral("SEND : [%1] ").arg(FormatLocalTime(link.m_tLastWrite)) + HexBytes(link.m_txBuf, count) +
           QStringLiteral(" (%1 BYTE)").arg(count);
}

QString RecvLine(const CFt260 &link)
{
    const int count = Clamped(link.m_rxLen);
    return QStringLiteral("RECV : [%1] ").arg(FormatLocalTime(link.m_tLastRead)) + HexBytes(link.m_rxBuf, count) +
           QStringLiteral(" (%1 BYTE) %2").arg(count).arg(link.GetResultText());
}

} // namespace TraceLines
