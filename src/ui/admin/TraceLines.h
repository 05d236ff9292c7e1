#pragma once

#include <QString>

struct LinkTrace;

// The console's two trace lines: the last frame the link sent and the last bytes it received, each
// with its time and count, the receive line also with the outcome of the exchange.
namespace TraceLines {

// "SEND : [time] 02 02 33 00 33 03  (6 BYTE)"
QString SendLine(const LinkTrace &trace);
// "RECV : [time] ...  (n BYTE) result text"
QString RecvLine(const LinkTrace &trace);

} // namespace TraceLines
