#include "DarkTheme.h"

#include <QApplication>
#include <QColor>
#include <QStyleFactory>

namespace DarkTheme {
namespace {

QColor C(ColorRef c)
{
    return QColor(ColorRefRed(c), ColorRefGreen(c), ColorRefBlue(c));
}
QString Hex(ColorRef c)
{
    return C(c).name(QColor::HexRgb);
}

} // namespace

void TakeWindowColors(AppPalette &colors)
{
    colors.textColor = MakeColorRef(241, 241, 241);
    colors.backColor = MakeColorRef(45, 45, 48);
    colors.highlightColor = MakeColorRef(0, 122, 204);
    colors.borderColor = MakeColorRef(67, 67, 70);
    colors.selectedColor = MakeColorRef(30, 30, 30);
    colors.labelBackColor = MakeColorRef(63, 63, 70);
}

QPalette MakePalette(const AppPalette &colors)
{
    const QColor back = C(colors.backColor), text = C(colors.textColor), border = C(colors.borderColor),
                 highlight = C(colors.highlightColor), label = C(colors.labelBackColor),
                 value = C(colors.valueBackColor), button = C(colors.buttonColor);
    QPalette p;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, back);
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Base, back);
        p.setColor(group, QPalette::AlternateBase, label);
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::Button, label);
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::BrightText, text);
        p.setColor(group, QPalette::Highlight, highlight);
        p.setColor(group, QPalette::HighlightedText, text);
        p.setColor(group, QPalette::ToolTipBase, label);
        p.setColor(group, QPalette::ToolTipText, text);
        p.setColor(group, QPalette::PlaceholderText, border.lighter(160));
        p.setColor(group, QPalette::Link, highlight.lighter(130));
        // Fusion draws frames, bevels and grid lines from these.
        p.setColor(group, QPalette::Light, value);
        p.setColor(group, QPalette::Midlight, label);
        p.setColor(group, QPalette::Mid, border);
        p.setColor(group, QPalette::Dark, button);
        p.setColor(group, QPalette::Shadow, back.darker(150));
    }
    // Disabled controls: the same dark background, dimmed text.
    const QColor dim = text.darker(170);
    p.setColor(QPalette::Disabled, QPalette::Window, back);
    p.setColor(QPalette::Disabled, QPalette::Base, back);
    p.setColor(QPalette::Disabled, QPalette::Button, back);
    p.setColor(QPalette::Disabled, QPalette::WindowText, dim);
    p.setColor(QPalette::Disabled, QPalette::Text, dim);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, dim);
    p.setColor(QPalette::Disabled, QPalette::Highlight, border);
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, dim);
    p.setColor(QPalette::Disabled, QPalette::Mid, border);
    return p;
}

QString MakeStyleSheet(const AppPalette &colors)
{
    const QString back = Hex(colors.backColor), text = Hex(colors.textColor), border = Hex(colors.borderColor),
                  highlight = Hex(colors.highlightColor), label = Hex(colors.labelBackColor);
    return QStringLiteral("QAbstractItemView { gridline-color: %3; selection-background-color: %4; }\n"
                          "QHeaderView::section { background-color: %5; color: %2; border: 1px solid %3; }\n"
                          "QToolTip { background-color: %5; color: %2; border: 1px solid %3; }\n"
                          "QGroupBox { border: 1px solid %3; margin-top: 1.2ex; padding-top: 0.4ex; }\n"
                          "QGroupBox::title { subcontrol-origin: margin; left: 6px; color: %2; }\n"
                          "QProgressBar { border: 1px solid %3; background-color: %1; color: %2; "
                          "text-align: center; }\n"
                          "QProgressBar::chunk { background-color: %4; }\n")
        .arg(back, text, border, highlight, label);
}

void Apply(QApplication &app, const AppPalette &colors)
{
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        app.setStyle(fusion);
    app.setPalette(MakePalette(colors));
    app.setStyleSheet(MakeStyleSheet(colors));
}

} // namespace DarkTheme
