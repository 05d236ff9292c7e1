#pragma once

#include <QString>

// The program speaks Korean whatever the system's locale: Qt's own texts (file dialogs, standard buttons,
// context menus) come from Qt's Korean translation, and dates, the date pickers and their calendar follow
// the Korean locale.
namespace KoreanLocale {

// Makes Korean (South Korea) the default locale and installs Qt's Korean translation (qtbase_ko.qm from
// Qt's translations folder) into the running application, once however often it is called. Call it
// before the first widget is made: a widget takes the default locale when it is built. Returns false when
// the translation cannot be loaded (Qt's texts then stay English); the locale is set either way.
bool Install();

// Where the translation is looked for: Qt's translations folder (Debian's qt6-translations-l10n).
QString TranslationsDirectory();

} // namespace KoreanLocale
