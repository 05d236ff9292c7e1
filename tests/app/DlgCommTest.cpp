#include "CDlgComm.h"
#include "CTonvaleApp.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSizeGrip>

#include <gtest/gtest.h>

using namespace dlgstyle;

namespace {

DialogTemplate SmallTemplate(bool sizable)
{
    DialogTemplate t;
    t.id = 901;
    t.caption = QString::fromUtf8("시험");
    t.cx = 160;
    t.cy = 80;
    t.fontFace = "GulimChe";
    t.pointSize = 10;
    if (sizable)
        t.style |= WS_THICKFRAME;
    t.controls = {
        {1024, ControlClass::Button, QString::fromUtf8("15톤 보정"), 5, 5, 60, 14,
         WS_VISIBLE | WS_GROUP | BS_AUTORADIOBUTTON},
        {1025, ControlClass::Button, QString::fromUtf8("30톤 보정"), 70, 5, 60, 14, WS_VISIBLE | BS_AUTORADIOBUTTON},
        {1030, ControlClass::Button, QString::fromUtf8("값 자동 읽기"), 5, 22, 80, 10, WS_VISIBLE | BS_AUTOCHECKBOX},
        {1019, ControlClass::Button, QString::fromUtf8("펌웨어 업로드"), 90, 20, 60, 30, WS_VISIBLE | BS_GROUPBOX},
        {1018, ControlClass::Edit, QString(), 5, 35, 80, 14, WS_VISIBLE | ES_READONLY | WS_BORDER},
        {1020, ControlClass::Static, "YYYY", 5, 52, 50, 10, WS_VISIBLE | SS_CENTERIMAGE},
        {1005, ControlClass::DatePicker, QString(), 60, 52, 60, 12, WS_VISIBLE | DTS_RIGHTALIGN},
        {1007, ControlClass::Button, QString::fromUtf8("업로드"), 60, 64, 40, 14, WS_VISIBLE | WS_DISABLED},
        {1, ControlClass::Button, QString::fromUtf8("확인"), 100, 64, 25, 14, BS_DEFPUSHBUTTON},
        {2, ControlClass::Button, QString::fromUtf8("닫 기"), 130, 64, 25, 14, WS_VISIBLE},
    };
    return t;
}

// Records the hooks in the order they run.
class RecordingDlg : public CDlgComm {
  public:
    explicit RecordingDlg(bool sizable) : CDlgComm(SmallTemplate(sizable)) { CreateTemplateControls(); }
    QStringList calls;
    bool layoutReadyDuringInit = true;

  protected:
    void InitControls() override
    {
        layoutReadyDuringInit = m_bLayoutReady;
        calls << "InitControls";
    }
    void OnInitDone() override { calls << "OnInitDone"; }
    void RepositionControls() override { calls << "RepositionControls"; }
};

} // namespace

TEST(DlgComm, InitialisationRunsTheHooksOnceAndLayoutOnlyAfterwards)
{
    RecordingDlg dlg(true);
    dlg.resize(400, 300); // before initialisation: no layout
    EXPECT_TRUE(dlg.calls.isEmpty());

    ASSERT_TRUE(dlg.Create()); // a modeless dialog that starts hidden
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.calls, QStringList({"InitControls", "OnInitDone", "RepositionControls"}));
    EXPECT_FALSE(dlg.layoutReadyDuringInit);

    dlg.show();
    dlg.resize(dlg.width() + 40, dlg.height() + 30);
    EXPECT_EQ(dlg.calls.count("InitControls"), 1);
    EXPECT_GE(dlg.calls.count("RepositionControls"), 2);
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("시험"));
}

TEST(DlgComm, TemplateControlsAreMadeWithTheirKindsStatesAndNumbers)
{
    RecordingDlg dlg(false);
    EXPECT_NE(dlg.DlgItem<QRadioButton>(1024), nullptr);
    EXPECT_NE(dlg.DlgItem<QCheckBox>(1030), nullptr);
    EXPECT_NE(dlg.DlgItem<QGroupBox>(1019), nullptr);
    ASSERT_NE(dlg.DlgItem<QLineEdit>(1018), nullptr);
    EXPECT_TRUE(dlg.DlgItem<QLineEdit>(1018)->isReadOnly());
    EXPECT_NE(dlg.DlgItem<QLabel>(1020), nullptr);
    EXPECT_NE(dlg.DlgItem<QDateEdit>(1005), nullptr);
    EXPECT_FALSE(dlg.GetDlgItem(1007)->isEnabled());
    dlg.show();
    EXPECT_FALSE(dlg.GetDlgItem(1)->isVisible());
    EXPECT_TRUE(dlg.GetDlgItem(2)->isVisible());

    // The two radios form one exclusive group.
    dlg.DlgItem<QRadioButton>(1024)->click();
    dlg.DlgItem<QRadioButton>(1025)->click();
    EXPECT_FALSE(dlg.DlgItem<QRadioButton>(1024)->isChecked());

    // Cancel (2) closes the dialog.
    dlg.DlgItem<QPushButton>(2)->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST(DlgComm, OnlyASizingFrameGivesASizeGripAndResizing)
{
    RecordingDlg fixed(false), sizable(true);
    fixed.Create();
    sizable.Create();
    EXPECT_FALSE(fixed.isSizeGripEnabled());
    EXPECT_EQ(fixed.minimumSize(), fixed.maximumSize());
    EXPECT_EQ(fixed.calls.count("RepositionControls"), 1); // laid out once all the same
    EXPECT_TRUE(sizable.isSizeGripEnabled());
    EXPECT_NE(sizable.minimumSize(), sizable.maximumSize());
}

TEST(DlgComm, PaintsTheDarkBackgroundWithAOnePixelFrame)
{
    RecordingDlg dlg(true);
    dlg.Create();
    dlg.resize(300, 200);
    QImage image(dlg.size(), QImage::Format_RGB32);
    dlg.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    const AppPalette &pal = TonvaleApp().palette;
    EXPECT_EQ(image.pixelColor(0, 0), CDlgComm::ToQColor(pal.borderColor));
    EXPECT_EQ(image.pixelColor(299, 199), CDlgComm::ToQColor(pal.borderColor));
    EXPECT_EQ(image.pixelColor(150, 0), CDlgComm::ToQColor(pal.borderColor));
    EXPECT_EQ(image.pixelColor(1, 1), CDlgComm::ToQColor(pal.backColor));
    EXPECT_EQ(image.pixelColor(290, 190), CDlgComm::ToQColor(pal.backColor));
    EXPECT_EQ(dlg.palette().color(QPalette::WindowText), CDlgComm::ToQColor(pal.textColor));
}
