#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// Dialog templates as data: the size of a dialog and the rectangles of its controls in dialog units,
// the font they were designed with, and the controls' numbers, kinds, captions and styles. The font
// scaler turns dialog units into pixels with the metrics of the template's font, so a dialog keeps
// its proportions on any screen and with any installed font.
//
// Style bits keep their classic values, so that a template reads like the resource it stands for.
namespace dlgstyle {
// Dialog (and common window) styles.
constexpr quint32 DS_SETFONT = 0x00000040;
constexpr quint32 WS_POPUP = 0x80000000;
constexpr quint32 WS_VISIBLE = 0x10000000;
constexpr quint32 WS_DISABLED = 0x08000000;
constexpr quint32 WS_CAPTION = 0x00C00000;
constexpr quint32 WS_BORDER = 0x00800000;
constexpr quint32 WS_SYSMENU = 0x00080000;
constexpr quint32 WS_THICKFRAME = 0x00040000; // a sizing frame: the operator may resize the dialog
constexpr quint32 WS_MINIMIZEBOX = 0x00020000;
constexpr quint32 WS_MAXIMIZEBOX = 0x00010000;
constexpr quint32 WS_GROUP = 0x00020000; // on a control: starts a group (radio buttons)
constexpr quint32 WS_TABSTOP = 0x00010000;
// Buttons.
constexpr quint32 BS_PUSHBUTTON = 0x0;
constexpr quint32 BS_DEFPUSHBUTTON = 0x1;
constexpr quint32 BS_AUTOCHECKBOX = 0x3;
constexpr quint32 BS_GROUPBOX = 0x7;
constexpr quint32 BS_AUTORADIOBUTTON = 0x9;
constexpr quint32 BS_TYPEMASK = 0xF;
constexpr quint32 BS_PUSHLIKE = 0x1000;
constexpr quint32 BS_MULTILINE = 0x2000;
// Statics.
constexpr quint32 SS_LEFT = 0x0;
constexpr quint32 SS_CENTER = 0x1;
constexpr quint32 SS_RIGHT = 0x2;
constexpr quint32 SS_CENTERIMAGE = 0x200; // text centred vertically
// Edits.
constexpr quint32 ES_CENTER = 0x1;
constexpr quint32 ES_RIGHT = 0x2;
constexpr quint32 ES_MULTILINE = 0x4;
constexpr quint32 ES_READONLY = 0x800;
// Date pickers.
constexpr quint32 DTS_RIGHTALIGN = 0x20;
} // namespace dlgstyle

enum class ControlClass {
    Button,      // push button, check box, radio button or group box, after the BS_ style
    Edit,        // one-line edit (ES_MULTILINE: several lines)
    Static,      // text
    DatePicker,  // date picker with a drop-down calendar
    ProgressBar, //
    Grid,        // spreadsheet grid; the dialog makes it (CDlgComm::CreateCustomControl)
    Custom,      // anything else; the dialog makes it (CDlgComm::CreateCustomControl)
};

struct DialogControl {
    int id = 0;
    ControlClass kind = ControlClass::Static;
    QString caption;
    int x = 0, y = 0, cx = 0, cy = 0; // dialog units
    quint32 style = dlgstyle::WS_VISIBLE;
};

struct DialogTemplate {
    int id = 0;
    QString caption;
    quint32 style = dlgstyle::DS_SETFONT | dlgstyle::WS_POPUP | dlgstyle::WS_CAPTION | dlgstyle::WS_SYSMENU;
    int cx = 0, cy = 0; // dialog units
    // The font, used when style has DS_SETFONT; otherwise Tahoma 8 pt. A point size above 0x7FFF
    // stands for its 16-bit negation.
    quint16 pointSize = 8;
    int weight = 400;
    bool italic = false;
    QString fontFace = QStringLiteral("Tahoma");
    std::vector<DialogControl> controls; // in creation (tab) order
};
