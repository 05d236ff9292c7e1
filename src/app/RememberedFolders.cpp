#include "RememberedFolders.h"

#include "IniFile.h"

#include <QFileInfo>

namespace RememberedFolders {

QString Folder(const QString &iniPath, const QString &key, const QString &fallback)
{
    if (iniPath.isEmpty())
        return fallback;
    const std::optional<IniFile::Contents> ini = IniFile::ReadFile(iniPath);
    const std::optional<QString> folder = ini ? IniFile::FindValue(ini->text, kSection, key) : std::nullopt;
    // A folder removed or unmounted since, or a value that is not a folder, is no place to open at.
    if (!folder || folder->isEmpty() || !QFileInfo(*folder).isDir())
        return fallback;
    return *folder;
}

bool RememberFolderOf(const QString &iniPath, const QString &key, const QString &filePath)
{
    if (iniPath.isEmpty() || filePath.isEmpty())
        return false;
    return IniFile::SetValues(iniPath, kSection, {{key, QFileInfo(filePath).absolutePath()}});
}

} // namespace RememberedFolders
