#pragma once

#include <QtGlobal>

// A colour as the rest of the program stores it: red in the low byte, then green, then blue, so that
// 0xCC7A00 is red 0, green 122, blue 204.
using ColorRef = quint32;

constexpr ColorRef MakeColorRef(int red, int green, int blue)
{
    return ColorRef(red & 0xFF) | (ColorRef(green & 0xFF) << 8) | (ColorRef(blue & 0xFF) << 16);
}
constexpr int ColorRefRed(ColorRef c)
{
    return int(c & 0xFF);
}
constexpr int ColorRefGreen(ColorRef c)
{
    return int((c >> 8) & 0xFF);
}
constexpr int ColorRefBlue(ColorRef c)
{
    return int((c >> 16) & 0xFF);
}

// The application's colour palette. Every themed dialog and grid colours itself from these; the program's
// start-up replaces six of them with its dark theme's colours (DarkTheme::TakeWindowColors).
struct AppPalette {
    ColorRef valueBackColor = 0x535353; // editable value cells
    ColorRef textColor = 0xF7F3F7;      // text of dialogs, statics and cells
    ColorRef backColor = 0x312C29;      // dialog and cell background
    ColorRef borderColor = 0x464343;    // grid lines and frames
    ColorRef highlightColor = 0xCC7A00; // selection and accent
    ColorRef selectedColor = 0x212421;  // button cells of the administrator console
    ColorRef labelBackColor = 0x423C39; // label and header cells
    ColorRef buttonColor = 0x302D2D;    // button-cell colour of the administrator console
    int controlTheme = 16;              // theme number handed to themed controls
};
