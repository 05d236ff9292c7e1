#pragma once

#include "DialogTemplate.h"

#include <QFont>
#include <QPointer>
#include <QRect>
#include <QWidget>

// Lays a dialog and its controls out from its template in dialog units, with the template's font
// made for a chosen resolution (dots per inch): the font's height is -(points x resolution / 72),
// rounded; one horizontal dialog unit is a quarter of the font's average character width, one
// vertical unit an eighth of its height. The same font goes to the dialog and every laid-out
// control, so captions fit whatever the screen and whatever font stands in for the template's.
//
// Controls are found as children of the window whose object name is their number, in template
// order, each search going on from the child after the previous match; the first control that is
// not found ends the layout (the controls before it stay laid out).
class CDlgFontScaler {
  public:
    CDlgFontScaler() = default;
    CDlgFontScaler(const CDlgFontScaler &) = delete;
    CDlgFontScaler &operator=(const CDlgFontScaler &) = delete;

    // Scales window after tmpl at resolution; Restore first when applied already. False when the
    // window is null.
    bool Apply(const DialogTemplate &tmpl, QWidget *window, double resolution);
    // Gives the dialog and the template's controls back the font they had before Apply. Sizes and
    // positions stay.
    void Restore();

    bool IsApplied() const { return !m_window.isNull(); }
    int TemplateId() const { return m_templateId; }
    const QFont &Font() const { return m_font; }
    int BaseUnitX() const { return m_baseX; }
    int BaseUnitY() const { return m_baseY; }
    // A rectangle in dialog units, in pixels with the present base units.
    QRect DialogUnitsToPixels(const QRect &dlu) const;

    // -trunc(points x resolution / 72 + 0.5): the font height in pixels, negative for a character
    // height (a positive one would be a cell height).
    static int FontHeight(int points, double resolution);
    // An installed family for a template's face: Korean faces (굴림체, GulimChe, 돋움 ...) that are
    // not installed become Noto Sans CJK KR (its mono form for the fixed-pitch "체" faces).
    static QString ResolveFamily(const QString &face);
    // Makes every QFont that names a Korean face which is not installed use ResolveFamily's choice
    // (grids and other widgets name 굴림체 too). Needs a Qt GUI application.
    static void RegisterKoreanSubstitutes();
    // The font Apply makes for a template at a resolution.
    static QFont MakeFont(const DialogTemplate &tmpl, double resolution);
    // Horizontal and vertical base units of a font, from its metrics.
    static void BaseUnits(const QFont &font, int *baseX, int *baseY);

  private:
    template <class Visit> void ForEachTemplateControl(Visit visit) const;

    QPointer<QWidget> m_window;
    int m_templateId = 0;
    std::vector<int> m_controlIds;
    QFont m_font;
    QFont m_savedFont;
    int m_baseX = 0;
    int m_baseY = 0;
};
