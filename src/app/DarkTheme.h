#pragma once

#include "AppPalette.h"

#include <QPalette>
#include <QString>

class QApplication;
class QWidget;

// The dark look of every window, made from the application's palette: dark backColor backgrounds,
// light textColor text, borderColor frames and grid lines, highlightColor selection. Fusion draws
// the controls from the QPalette; a small style sheet adds the frames and the grid lines.
namespace DarkTheme {

// The six colours the program's windows take from the Visual Studio 2015 dark theme (text, background,
// accent, frames, selected buttons, labels) over the initial ones; set once at start-up.
void TakeWindowColors(AppPalette &colors);

QPalette MakePalette(const AppPalette &colors);
QString MakeStyleSheet(const AppPalette &colors);
// Fusion style, palette and style sheet for the whole application.
void Apply(QApplication &app, const AppPalette &colors);

} // namespace DarkTheme
