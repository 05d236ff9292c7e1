#pragma once

// Writes a compound file (OLE2 structured storage) holding one stream, through libgsf. The file is written
// to a temporary file in the target's directory and renamed over the target only when it is complete.

#include <QByteArray>
#include <QString>

namespace xls {

bool WriteCompoundFile(const QString &path, const char *streamName, const QByteArray &stream, QString *error);

} // namespace xls
