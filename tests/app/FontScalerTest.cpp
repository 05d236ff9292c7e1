#include "CDlgComm.h"
#include "CDlgFontScaler.h"

#include <QAbstractButton>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>

#include <gtest/gtest.h>

using namespace dlgstyle;

namespace {

DialogTemplate KoreanTemplate(const QString &face, quint16 points)
{
    DialogTemplate t;
    t.id = 900;
    t.cx = 200;
    t.cy = 100;
    t.fontFace = face;
    t.pointSize = points;
    t.controls = {
        {1015, ControlClass::Button, QString::fromUtf8("장비 조회"), 7, 7, 45, 90, WS_VISIBLE},
        {1024, ControlClass::Button, QString::fromUtf8("15톤 보정"), 60, 10, 78, 16, WS_VISIBLE | BS_AUTORADIOBUTTON},
        {1031, ControlClass::Button, QString::fromUtf8("로그 보기"), 60, 40, 64, 19, WS_VISIBLE},
        {2, ControlClass::Button, QString::fromUtf8("닫 기"), 140, 40, 53, 19, WS_VISIBLE},
    };
    return t;
}

int Round(double v)
{
    return int(std::trunc(v + 0.5));
}

} // namespace

TEST(FontScaler, FontHeightFromPointsAndResolution)
{
    EXPECT_EQ(CDlgFontScaler::FontHeight(12, 92.0), -15);
    EXPECT_EQ(CDlgFontScaler::FontHeight(10, 96.0), -13);
    EXPECT_EQ(CDlgFontScaler::FontHeight(8, 96.0), -11);
    EXPECT_EQ(CDlgFontScaler::FontHeight(9, 144.0), -18);

    const QFont main = CDlgFontScaler::MakeFont(KoreanTemplate(QString::fromUtf8("굴림체"), 12), 92.0);
    EXPECT_EQ(main.pixelSize(), 15);
    const QFont admin = CDlgFontScaler::MakeFont(KoreanTemplate("GulimChe", 10), 96.0);
    EXPECT_EQ(admin.pixelSize(), 13);
    // A size field above 0x7FFF is a negative point size, that is a cell height in pixels: -10 pt at
    // 96 dpi asks for a font whose whole line is at most 12 pixels high.
    const QFont cell = CDlgFontScaler::MakeFont(KoreanTemplate("GulimChe", quint16(0x10000 - 10)), 96.0);
    EXPECT_LE(QFontMetrics(cell).height(), 12);
    EXPECT_GE(QFontMetrics(cell).height(), 10);
    // Without DS_SETFONT the template's font is ignored.
    DialogTemplate plain = KoreanTemplate("GulimChe", 20);
    plain.style &= ~DS_SETFONT;
    EXPECT_EQ(CDlgFontScaler::MakeFont(plain, 96.0).pixelSize(), 11);
}

TEST(FontScaler, KoreanFacesFallBackToAnInstalledKoreanFont)
{
    for (const char *face : {"굴림체", "GulimChe", "돋움", "맑은 고딕", "없는 글꼴"}) {
        const QString family = CDlgFontScaler::ResolveFamily(QString::fromUtf8(face));
        EXPECT_TRUE(QFontDatabase::hasFamily(family)) << face << " -> " << family.toStdString();
        EXPECT_TRUE(QFontDatabase::writingSystems(family).contains(QFontDatabase::Korean)) << face;
    }
}

TEST(FontScaler, LaysOutDialogAndControlsInDialogUnitsAndRestoresTheFont)
{
    const DialogTemplate t = KoreanTemplate("GulimChe", 10);
    QWidget window;
    const QFont before = window.font();
    std::vector<QWidget *> controls;
    for (const DialogControl &c : t.controls) {
        auto *w = new QPushButton(c.caption, &window);
        CDlgComm::SetControlId(w, c.id);
        controls.push_back(w);
    }
    CDlgFontScaler scaler;
    ASSERT_TRUE(scaler.Apply(t, &window, 96.0));
    int bx = 0, by = 0;
    CDlgFontScaler::BaseUnits(scaler.Font(), &bx, &by);
    ASSERT_GT(bx, 0);
    ASSERT_GT(by, 0);
    EXPECT_EQ(window.width(), Round(200 * bx * 0.25));
    EXPECT_EQ(window.height(), Round(100 * by * 0.125));
    for (size_t i = 0; i < controls.size(); ++i) {
        const DialogControl &c = t.controls[i];
        EXPECT_EQ(controls[i]->geometry(), QRect(Round(c.x * bx * 0.25), Round(c.y * by * 0.125),
                                                 Round(c.cx * bx * 0.25), Round(c.cy * by * 0.125)));
        EXPECT_EQ(controls[i]->font(), scaler.Font());
    }

    scaler.Restore();
    EXPECT_FALSE(scaler.IsApplied());
    EXPECT_EQ(window.font(), before);
    EXPECT_EQ(controls[0]->font(), before);
}

TEST(FontScaler, StopsAtTheFirstControlItCannotFind)
{
    const DialogTemplate t = KoreanTemplate("GulimChe", 10);
    QWidget window;
    // Children in another order than the template: 1015, then 1031 (1024 is missing), then 2.
    auto *first = new QPushButton(&window);
    CDlgComm::SetControlId(first, 1015);
    auto *third = new QPushButton(&window);
    CDlgComm::SetControlId(third, 1031);
    third->setGeometry(1, 2, 3, 4);
    CDlgFontScaler scaler;
    scaler.Apply(t, &window, 96.0);
    EXPECT_NE(first->geometry(), QRect());
    EXPECT_EQ(first->font(), scaler.Font());
    EXPECT_EQ(third->geometry(), QRect(1, 2, 3, 4));
}

TEST(FontScaler, CaptionsFitTheirControlsAtEveryResolution)
{
    // Whatever font stands in for the template's and whatever the resolution, the base units come
    // from that font, so the Korean captions are not clipped.
    for (double resolution : {92.0, 96.0, 120.0, 144.0, 192.0}) {
        const DialogTemplate t = KoreanTemplate("GulimChe", 10);
        QWidget window;
        for (const DialogControl &c : t.controls) {
            QAbstractButton *w = (c.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON
                                     ? static_cast<QAbstractButton *>(new QRadioButton(c.caption, &window))
                                     : new QPushButton(c.caption, &window);
            CDlgComm::SetControlId(w, c.id);
        }
        CDlgFontScaler scaler;
        scaler.Apply(t, &window, resolution);
        for (QAbstractButton *w : window.findChildren<QAbstractButton *>()) {
            const QFontMetrics metrics(w->font());
            EXPECT_LE(metrics.horizontalAdvance(w->text()), w->width()) << resolution << " " << w->text().toStdString();
            EXPECT_LE(metrics.height(), w->height()) << resolution << " " << w->text().toStdString();
        }
    }
}
