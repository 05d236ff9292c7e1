#pragma once

#include <QIcon>
#include <QPixmap>

// The pictures of the operator's window, drawn here rather than shipped as files: the program icon (a
// force gauge) and the picture of the help button (gauge, name and a hint at F1).
QIcon TonvaleAppIcon();
QPixmap HelpButtonPicture(const QSize &size);
