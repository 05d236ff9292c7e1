#include "RememberedFolders.h"

#include "IniFile.h"

#include <QFileInfo>

namespace RememberedFolders {

QString Folder(const QString &iniPath, const QString &key, const QString &fallback)
{
    if (iniPath.isEmpty())
        return fallback;
    const std::optional<QString> text = IniFile::ReadFile(iniPath);
    const std::optional<QString> folder = text ? IniFile::FindValue(*text, kSection, key) : std::nullopt;
    // A folder removed or unmounted since, or a value that is not a folder, is no place to open at.
    if (!folder || folder->isEmpty() || !QFileInfo(*folder).isDir())
        return fallback;
    return *folder;
}

bool RememberFolderOf(const QString &iniPath, const QString &key, const QString &filePath)
{
    if (iniPath.isEmpty() || filePath.isEmpty())
        return false;
    const QString folder = QFileInfo(filePath).absolutePath();
    const QString old = IniFile::ReadFile(iniPath).value_or(QString());
    return IniFile::WriteFile(iniPath, IniFile::WithValues(old, kSection, {{key, folder}}));
}

} // namespace RememberedFolders
