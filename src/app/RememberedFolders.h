#pragma once

#include <QString>

// The folders the operator last used, kept in the configuration file's [PATHS] section so that the next
// file dialog opens where the last one ended:
//   EXPORT_DIR    the folder of the last report workbook written
//   FIRMWARE_DIR  the folder of the last firmware image chosen
// The rest of the file is kept as it stands.
namespace RememberedFolders {

inline const QString kSection = QStringLiteral("PATHS");
inline const QString kExportKey = QStringLiteral("EXPORT_DIR");
inline const QString kFirmwareKey = QStringLiteral("FIRMWARE_DIR");

// The folder remembered under key in the INI file at iniPath when it still exists, else fallback.
QString Folder(const QString &iniPath, const QString &key, const QString &fallback);

// Remembers the folder that holds filePath under key. False when the file cannot be written (the
// program runs on: the next dialog then opens at the fallback).
bool RememberFolderOf(const QString &iniPath, const QString &key, const QString &filePath);

} // namespace RememberedFolders
