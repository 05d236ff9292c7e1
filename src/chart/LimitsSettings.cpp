#include "LimitsSettings.h"

#include "IniFile.h"

PressClassLimits PressClassLimitsFromIniText(const QString &iniText, QStringList *problems)
{
    PressClassLimits limits;
    for (int c = 0; c < kPressClassCount; ++c) {
        const QString key = PressClassLimits::IniKey(c);
        const std::optional<QString> value = IniFile::FindValue(iniText, PressClassLimits::kIniSection, key);
        if (!value)
            continue;
        QString error;
        limits.SetRange(c, PressClassLimits::ParseRange(*value, &error));
        if (!error.isEmpty() && problems)
            problems->append(
                QStringLiteral("[%1] %2=%3 : %4").arg(PressClassLimits::kIniSection, key, value->trimmed(), error));
    }
    return limits;
}

PressClassLimits LoadPressClassLimits(const QString &iniPath, QStringList *problems)
{
    const std::optional<IniFile::Contents> ini = IniFile::ReadFile(iniPath);
    return ini ? PressClassLimitsFromIniText(ini->text, problems) : PressClassLimits();
}

bool SavePressClassLimits(const PressClassLimits &limits, const QString &iniPath)
{
    return IniFile::SetValues(iniPath, PressClassLimits::kIniSection, limits.IniValues());
}
