// The main window and its companion windows on screens smaller than the window's usual size: 1920 x 1080
// at a scale of 150 % (1280 x 720 pixels to the windows) and 1366 x 768; and on 1920 x 1080, which has room
// beside it. The screen is the offscreen platform's, from the configuration file the test is started with.
#include "CDlgAdmin.h"
#include "CDlgLog.h"
#include "CIniSysInfo.h"
#include "CTonvaleDlg.h"
#include "ChartWindow.h"
#include "Clock.h"
#include "Simulation.h"
#include "SpreadSheetView.h"
#include "WindowBench.h"
#include "WindowInput.h"
#include "session/SessionTestSupport.h"

#include <QAbstractButton>
#include <QScreen>
#include <QTemporaryDir>

#include <memory>

namespace {

// The window as a window manager frames it: the frame where the window was moved to, grown by the frame's
// edges (the offscreen platform draws none).
QRect Framed(const QWidget *window)
{
    return QRect(window->frameGeometry().topLeft(), window->size().grownBy(CDlgLog::kAssumedFrame));
}

QList<QAbstractButton *> ShownButtons(const QWidget *window)
{
    QList<QAbstractButton *> shown;
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>(Qt::FindDirectChildrenOnly))
        if (button->isVisible())
            shown << button;
    return shown;
}

QRect Global(const QWidget *widget)
{
    return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}

// The window shown, not modal, without a presence poll.
struct Shown : WindowBench {
    Shown()
        : WindowBench(Scenario(), kMay1_1000,
                      [](WindowBench &b) { b.info.iniPath = b.tmp.filePath(QStringLiteral("tonvale.ini")); })
    {
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    }
    QRect Area() const { return dlg->screen()->availableGeometry(); }
};

} // namespace

class SmallScreenTest : public QObject {
    Q_OBJECT
  private slots:
    void TheMainWindowOpensInsideTheScreenAndShrinksToWhatItsControlsNeed()
    {
        Shown w;
        const QRect area = w.Area();
        if (area.width() >= 1920)
            QSKIP("a screen with room for the window's usual size");
        // Inside the free area with its title bar and lower edge; not wider than its bottom row needs.
        const QRect framed = Framed(w.dlg.get());
        QVERIFY2(framed.top() >= area.top() && framed.bottom() <= area.bottom(),
                 qPrintable(QStringLiteral("%1 high at %2").arg(framed.height()).arg(framed.top())));
        QVERIFY(w.dlg->width() <= std::max(area.width(), CTonvaleDlg::kStartWidth));

        // At its smallest every button is whole, inside the window and clear of the others and the grid.
        w.dlg->resize(w.dlg->minimumSize());
        QCoreApplication::processEvents();
        QVERIFY(w.dlg->height() < area.height() / 2 + 100);
        const QRect grid = w.dlg->DataGridView()->geometry();
        QVERIFY(grid.height() > 50);
        const QList<QAbstractButton *> buttons = ShownButtons(w.dlg.get());
        for (QAbstractButton *button : buttons) {
            QVERIFY2(w.dlg->rect().contains(button->geometry()), qPrintable(button->text()));
            QVERIFY2(!grid.intersects(button->geometry()), qPrintable(button->text()));
            for (QAbstractButton *other : buttons)
                QVERIFY2(other == button || !other->geometry().intersects(button->geometry()),
                         qPrintable(button->text() + " / " + other->text()));
        }
    }

    void TheChartAndTheLogOpenInsideTheScreenOverNoButtonAndBesideWhenThereIsRoom()
    {
        Shown w;
        const QRect area = w.Area();
        ClickOn(w.dlg->Control(CTonvaleDlg::IDC_CHART));
        ClickOn(w.dlg->Control(CTonvaleDlg::IDC_SHOW_LOG));
        QWidget *chart = w.dlg->Chart();
        QWidget *log = w.dlg->LogWindow();
        QVERIFY(chart && log);
        QVERIFY(QTest::qWaitForWindowExposed(chart));
        QVERIFY(QTest::qWaitForWindowExposed(log));
        const bool room = area.right() - w.dlg->frameGeometry().right() >= 480;
        for (QWidget *window : {chart, log}) {
            const QRect framed = Framed(window);
            QVERIFY2(area.contains(framed), qPrintable(window->windowTitle()));
            if (room)
                QVERIFY2(!framed.intersects(w.dlg->frameGeometry()), qPrintable(window->windowTitle()));
            for (QAbstractButton *button : ShownButtons(w.dlg.get()))
                QVERIFY2(!framed.intersects(Global(button)),
                         qPrintable(window->windowTitle() + " over " + button->text()));
        }
    }

    void TheConsoleFitsTheScreenWithItsFrame()
    {
        Shown w;
        CDlgAdmin console(w.dlg->Session(), {}, w.dlg.get());
        console.Create();
        console.SetTimerEnabled(false);
        console.show();
        QVERIFY(QTest::qWaitForWindowExposed(&console));
        const QSize framed = console.size().grownBy(CDlgLog::kAssumedFrame);
        QVERIFY2(framed.width() <= w.Area().width() && framed.height() <= w.Area().height(),
                 qPrintable(QStringLiteral("%1 x %2").arg(framed.width()).arg(framed.height())));
        // Every control is still inside it.
        for (QWidget *control : console.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (control->isVisible())
                QVERIFY2(console.rect().contains(control->geometry()), qPrintable(control->objectName()));
    }
};

QTEST_MAIN(SmallScreenTest)
#include "SmallScreenTest.moc"
