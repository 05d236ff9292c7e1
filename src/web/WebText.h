#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Texts made safe for where the web view puts them.
namespace web_text {

// Text inside an HTML element or a quoted attribute: & < > " ' escaped.
QString Html(const QString &text);
// One path segment or query value, percent-encoded.
QString Url(const QString &text);
// One line of RFC 4180 CSV: a field with a comma, quote, CR or LF is quoted (quotes doubled); CRLF at the end.
QByteArray CsvLine(const QStringList &fields);

} // namespace web_text
