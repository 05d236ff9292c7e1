#include "CDlgComm.h"
#include "CTonvaleApp.h"
#include "CrashDump.h"
#include "DarkTheme.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

double Brightness(const QImage &image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += qGray(image.pixel(x, y));
    return sum / (image.width() * image.height());
}

} // namespace

TEST(TonvaleApp, PaletteStartsWithItsInitialColoursAndBrushesFollowIt)
{
    CTonvaleApp app;
    EXPECT_EQ(app.palette.valueBackColor, 0x535353u);
    EXPECT_EQ(app.palette.highlightColor, 0xCC7A00u);
    EXPECT_EQ(app.palette.controlTheme, 16);
    EXPECT_TRUE(app.sysInfo.exePath.isEmpty() && app.sysInfo.company.isEmpty());
    app.MakeBrushes();
    // Red sits in the low byte: 0x312C29 is red 0x29, green 0x2C, blue 0x31.
    EXPECT_EQ(app.backBrush.color(), QColor(0x29, 0x2C, 0x31));
    EXPECT_EQ(app.selectedBrush.color(), QColor(0x21, 0x24, 0x21));
    EXPECT_EQ(CDlgComm::ToQColor(app.palette.highlightColor), QColor(0, 122, 204));
}

TEST(TonvaleApp, StartsUpInOrderRunsTheMainWindowUntilItClosesAndShutsDownOnce)
{
    QTemporaryDir tmp;
    CTonvaleApp app;
    app.sysInfo.SetExecutablePath(tmp.path() + "/Press");
    bool handlerBeforeWindow = false, configBeforeWindow = false;
    QDialog *seen = nullptr;
    const int code = app.Run([&]() -> std::unique_ptr<QDialog> {
        handlerBeforeWindow = CrashDump::IsInstalled();
        configBeforeWindow = QFileInfo(tmp.path() + "/Log").isDir() && QFileInfo(tmp.path() + "/Dmp").isDir() &&
                             app.sysInfo.iniPath == tmp.path() + "/Press.ini";
        auto window = std::make_unique<QDialog>();
        seen = window.get();
        QTimer::singleShot(0, window.get(), [&app, w = window.get()] {
            EXPECT_EQ(app.MainWindow(), w);
            w->close(); // the close box
        });
        return window;
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(handlerBeforeWindow);
    EXPECT_TRUE(configBeforeWindow);
    EXPECT_NE(seen, nullptr);
    EXPECT_EQ(app.MainWindow(), nullptr);
    EXPECT_EQ(app.ExitCount(), 1);
    app.ExitInstance();
    EXPECT_EQ(app.ExitCount(), 1);
    // The theme reached the whole application.
    EXPECT_EQ(qApp->palette().color(QPalette::Window), CDlgComm::ToQColor(app.palette.backColor));

    // A factory that makes no window still ends cleanly.
    CTonvaleApp empty;
    empty.sysInfo.SetExecutablePath(tmp.path() + "/Press");
    EXPECT_EQ(empty.Run([] { return std::unique_ptr<QDialog>(); }), 0);
}

// The main window is made in the colours the program starts with: they are set, and the whole application
// drawn in them, before the window exists.
TEST(TonvaleApp, TheWindowColoursAreSetBeforeTheMainWindowIsMade)
{
    QTemporaryDir tmp;
    CTonvaleApp app;
    app.sysInfo.SetExecutablePath(tmp.path() + "/Press");
    const AppPalette initial;
    AppPalette seen;
    QColor drawn, brush;
    app.Run([&]() -> std::unique_ptr<QDialog> {
        seen = app.palette;
        drawn = qApp->palette().color(QPalette::Window);
        brush = app.backBrush.color();
        return nullptr;
    });
    EXPECT_NE(seen.backColor, initial.backColor);
    EXPECT_NE(seen.textColor, initial.textColor);
    EXPECT_EQ(drawn, CDlgComm::ToQColor(seen.backColor));
    EXPECT_EQ(brush, CDlgComm::ToQColor(seen.backColor));
    // Colours the theme does not set stay as they were.
    EXPECT_EQ(seen.valueBackColor, initial.valueBackColor);
}

TEST(DarkTheme, EveryKindOfControlIsDrawnDark)
{
    AppPalette pal;
    DarkTheme::Apply(*qApp, pal);
    QWidget host;
    auto *layout = new QVBoxLayout(&host);
    auto *table = new QTableWidget(3, 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            table->setItem(r, c, new QTableWidgetItem(QString::number(r * 3 + c)));
    auto *progress = new QProgressBar;
    progress->setValue(0);
    auto *disabled = new QPushButton(QString::fromUtf8("업로드"));
    disabled->setEnabled(false);
    const QList<QWidget *> widgets = {new QPushButton(QString::fromUtf8("장비 조회")),
                                      new QLineEdit(QString::fromUtf8("000-0000-0000")),
                                      new QLabel(QString::fromUtf8("시작일")),
                                      new QDateEdit(QDate(2024, 5, 7)),
                                      new QCheckBox(QString::fromUtf8("값 자동 읽기")),
                                      progress,
                                      table,
                                      disabled};
    for (QWidget *w : widgets)
        layout->addWidget(w);
    host.resize(300, 600);
    host.show();
    EXPECT_LT(Brightness(host.grab().toImage()), 80.0);
    for (QWidget *w : widgets)
        EXPECT_LT(Brightness(w->grab().toImage()), 90.0) << w->metaObject()->className();
    // Text is light on the dark background, and selection uses the highlight colour.
    EXPECT_GT(qGray(host.palette().color(QPalette::WindowText).rgb()), 200);
    EXPECT_GT(qGray(table->palette().color(QPalette::Text).rgb()), 200);
    EXPECT_EQ(table->palette().color(QPalette::Highlight), CDlgComm::ToQColor(pal.highlightColor));
    EXPECT_EQ(QColor::fromRgba(table->style()->styleHint(QStyle::SH_Table_GridLineColor, nullptr, table)).rgb(),
              CDlgComm::ToQColor(pal.borderColor).rgb());
}
