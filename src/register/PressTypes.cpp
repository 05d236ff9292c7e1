#include "PressTypes.h"

QString Press::Problem() const
{
    if (id.trimmed().isEmpty())
        return QStringLiteral("설비 번호가 없습니다");
    if (id != id.trimmed() || id.size() > kMaxIdLength)
        return QStringLiteral("설비 번호는 앞뒤 공백 없이 %1자까지입니다").arg(kMaxIdLength);
    for (const QChar c : id + name + location)
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("설비 정보에 제어 문자를 쓸 수 없습니다");
    if (name.trimmed().isEmpty())
        return QStringLiteral("설비 이름이 없습니다");
    if (pressClass < 0 || pressClass >= kPressClassCount)
        return QStringLiteral("설비 등급이 올바르지 않습니다");
    if (intervalDays < 1 || intervalDays > 3650)
        return QStringLiteral("점검 주기는 1일에서 3650일 사이입니다");
    return QString();
}

std::optional<int> PressClassFromText(const QString &text)
{
    for (int pressClass = 0; pressClass < kPressClassCount; ++pressClass) {
        const QString name = PressClassLimits::ClassName(pressClass);
        if (text == name || text + QStringLiteral("톤") == name)
            return pressClass;
    }
    return std::nullopt;
}
