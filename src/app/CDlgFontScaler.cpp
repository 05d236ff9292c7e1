#include "CDlgFontScaler.h"

#include "CDlgComm.h"

#include <QFontDatabase>
#include <QFontMetrics>

#include <cmath>

namespace {

// Korean faces a template may name, and whether they are the fixed-pitch kind.
struct KoreanFace {
    const char16_t *name;
    bool fixedPitch;
};
constexpr KoreanFace kKoreanFaces[] = {
    {u"굴림체", true}, {u"GulimChe", true},  {u"돋움체", true},     {u"DotumChe", true},
    {u"바탕체", true}, {u"BatangChe", true}, {u"궁서체", true},     {u"GungsuhChe", true},
    {u"굴림", false},  {u"Gulim", false},    {u"돋움", false},      {u"Dotum", false},
    {u"바탕", false},  {u"Batang", false},   {u"맑은 고딕", false}, {u"Malgun Gothic", false},
    {u"궁서", false},  {u"Gungsuh", false},  {u"나눔고딕", false},  {u"NanumGothic", false},
};

bool HasHangul(const QString &s)
{
    for (const QChar c : s) {
        const ushort u = c.unicode();
        if ((u >= 0xAC00 && u <= 0xD7A3) || (u >= 0x1100 && u <= 0x11FF) || (u >= 0x3130 && u <= 0x318F))
            return true;
    }
    return false;
}

int Scale(int units, int base, double fraction)
{
    return int(std::trunc(units * base * fraction + 0.5));
}

} // namespace

int CDlgFontScaler::FontHeight(int points, double resolution)
{
    return -int(std::trunc(points * resolution / 72.0 + 0.5));
}

QString CDlgFontScaler::ResolveFamily(const QString &face)
{
    if (QFontDatabase::hasFamily(face))
        return face;
    for (const KoreanFace &k : kKoreanFaces) {
        if (face.compare(QString::fromUtf16(k.name), Qt::CaseInsensitive) == 0)
            return k.fixedPitch ? QStringLiteral("Noto Sans Mono CJK KR") : QStringLiteral("Noto Sans CJK KR");
    }
    if (HasHangul(face))
        return QStringLiteral("Noto Sans CJK KR");
    return face;
}

void CDlgFontScaler::RegisterKoreanSubstitutes()
{
    for (const KoreanFace &k : kKoreanFaces) {
        const QString face = QString::fromUtf16(k.name);
        if (!QFontDatabase::hasFamily(face))
            QFont::insertSubstitution(face, ResolveFamily(face));
    }
}

QFont CDlgFontScaler::MakeFont(const DialogTemplate &tmpl, double resolution)
{
    const bool setFont = (tmpl.style & dlgstyle::DS_SETFONT) != 0;
    int points = setFont ? int(tmpl.pointSize) : 8;
    if (points > 0x7FFF)
        points = -(0x10000 - points);
    const int weight = setFont ? tmpl.weight : 400;
    const QString face = setFont ? tmpl.fontFace : QStringLiteral("Tahoma");

    QFont font(ResolveFamily(face));
    // Classic weights run 0..1000 like Qt's; 0 means "don't care", which is normal.
    font.setWeight(QFont::Weight(qBound(1, weight == 0 ? 400 : weight, 1000)));
    font.setItalic(setFont && tmpl.italic);
    const int height = FontHeight(points, resolution);
    if (height < 0) {
        font.setPixelSize(-height);
    } else if (height > 0) {
        // A positive height is the whole cell (ascent + descent): the largest size whose cell fits.
        int size = height;
        font.setPixelSize(size);
        while (size > 1 && QFontMetrics(font).height() > height)
            font.setPixelSize(--size);
    }
    return font;
}

void CDlgFontScaler::BaseUnits(const QFont &font, int *baseX, int *baseY)
{
    const QFontMetrics metrics(font);
    const int cx = metrics.horizontalAdvance(QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
    *baseX = ((cx / 26) + 1) / 2;
    *baseY = metrics.height();
}

QRect CDlgFontScaler::DialogUnitsToPixels(const QRect &dlu) const
{
    return QRect(Scale(dlu.x(), m_baseX, 0.25), Scale(dlu.y(), m_baseY, 0.125), Scale(dlu.width(), m_baseX, 0.25),
                 Scale(dlu.height(), m_baseY, 0.125));
}

template <class Visit> void CDlgFontScaler::ForEachTemplateControl(Visit visit) const
{
    const QObjectList &children = m_window->children();
    qsizetype next = 0;
    for (int id : m_controlIds) {
        qsizetype found = -1;
        for (qsizetype i = next; i < children.size(); ++i) {
            if (children[i]->isWidgetType() && CDlgComm::ControlIdOf(children[i]) == id) {
                found = i;
                break;
            }
        }
        if (found < 0)
            return;
        visit(static_cast<QWidget *>(children[found]), id);
        next = found + 1;
    }
}

bool CDlgFontScaler::Apply(const DialogTemplate &tmpl, QWidget *window, double resolution)
{
    if (IsApplied())
        Restore();
    if (!window)
        return false;
    m_window = window;
    m_templateId = tmpl.id;
    m_controlIds.clear();
    for (const DialogControl &c : tmpl.controls)
        m_controlIds.push_back(c.id);

    m_font = MakeFont(tmpl, resolution);
    m_savedFont = window->font();
    window->setFont(m_font);
    BaseUnits(m_font, &m_baseX, &m_baseY);

    // The client area; the window system adds the frame around it.
    window->resize(Scale(tmpl.cx, m_baseX, 0.25), Scale(tmpl.cy, m_baseY, 0.125));

    std::vector<QRect> rects;
    for (const DialogControl &c : tmpl.controls)
        rects.emplace_back(c.x, c.y, c.cx, c.cy);
    qsizetype index = 0;
    ForEachTemplateControl([&](QWidget *control, int) {
        control->setGeometry(DialogUnitsToPixels(rects[size_t(index++)]));
        control->setFont(m_font);
    });
    return true;
}

void CDlgFontScaler::Restore()
{
    if (!m_window) {
        m_window = nullptr;
        return;
    }
    m_window->setFont(m_savedFont);
    ForEachTemplateControl([&](QWidget *control, int) { control->setFont(m_savedFont); });
    m_window = nullptr;
    m_font = QFont();
    m_savedFont = QFont();
}
