#include "TraceLines.h"

#include "LinkBuffer.h"
#include "LocalTime.h"
#include "ResultCodes.h"
#include "SessionTypes.h"

#include <algorithm>

namespace TraceLines {

namespace {

QString HexBytes(const QByteArray &bytes)
{
    const int count = std::min<int>(int(bytes.size()), kLinkBufferSize);
    QString text;
    text.reserve(count * 3);
    for (int i = 0; i < count; ++i)
        text += QString::asprintf("%02X ", uint8_t(bytes[i]));
    return text;
}

} // namespace

QString SendLine(const LinkTrace &trace)
{
    const int count = std::min<int>(int(trace.sent.size()), kLinkBufferSize);
    return QStringLiteral("SEND : [%1] ").arg(FormatLocalTime(trace.sentAt)) + HexBytes(trace.sent) +
           QStringLiteral(" (%1 BYTE)").arg(count);
}

QString RecvLine(const LinkTrace &trace)
{
    const int count = std::min<int>(int(trace.received.size()), kLinkBufferSize);
    return QStringLiteral("RECV : [%1] ").arg(FormatLocalTime(trace.receivedAt)) + HexBytes(trace.received) +
           QStringLiteral(" (%1 BYTE) %2").arg(count).arg(ResultText(trace.result));
}

} // namespace TraceLines
