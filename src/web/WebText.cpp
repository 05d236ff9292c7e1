#include "WebText.h"

#include <QUrl>

namespace web_text {

QString Html(const QString &text)
{
    QString escaped = text.toHtmlEscaped(); // & < > "
    escaped.replace(QLatin1Char('\''), QLatin1String("&#39;"));
    return escaped;
}

QString Url(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QByteArray CsvLine(const QStringList &fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (QString field : fields) {
        if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) || field.contains(QLatin1Char('\r')) ||
            field.contains(QLatin1Char('\n'))) {
            field.replace(QLatin1Char('"'), QLatin1String("\"\""));
            field = QLatin1Char('"') + field + QLatin1Char('"');
        }
        quoted << field;
    }
    return quoted.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

} // namespace web_text
