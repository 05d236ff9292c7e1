#include "KoreanLocale.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace KoreanLocale {

QString TranslationsDirectory()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool Install()
{
    const QLocale korean(QLocale::Korean, QLocale::SouthKorea);
    QLocale::setDefault(korean);
    // Owned by the application, so that it lives exactly as long as the texts it translates.
    static QTranslator *installed = nullptr;
    if (installed)
        return true;
    auto *app = QCoreApplication::instance();
    if (!app)
        return false;
    auto *translator = new QTranslator(app);
    if (!translator->load(korean, QStringLiteral("qtbase"), QStringLiteral("_"), TranslationsDirectory()) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    installed = translator;
    QObject::connect(app, &QObject::destroyed, [] { installed = nullptr; });
    return true;
}

} // namespace KoreanLocale
