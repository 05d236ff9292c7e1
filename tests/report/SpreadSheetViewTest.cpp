// The grid widget: clicks, ticks, edits within limits, locked cells, and repainting only what changed.

#include "SpreadSheetView.h"

#include <QLineEdit>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QToolTip>
#include <QtTest>

using namespace grid;

namespace {

// Collects the regions the view's viewport repaints.
class PaintRecorder : public QObject {
  public:
    QRegion painted;
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent *>(e)->region();
            ++paints;
        }
        return false;
    }
};

} // namespace

class SpreadSheetViewTest : public QObject {
    Q_OBJECT

    CSpreadSheet *grid = nullptr;
    SpreadSheetView *view = nullptr;

    void At(int col, int row)
    {
        grid->SetCurrentColumn(col);
        grid->SetCurrentRow(row);
    }
    QPoint Center(int col, int row) const { return view->CellRect(col, row).center(); }

  private slots:
    void init()
    {
        grid = new CSpreadSheet;
        // The information grid of the administrator console, in small.
        grid->SetColumnCount(3);
        grid->SetRowCount(4);
        grid->SetColumnHeadersShown(false);
        grid->SetRowHeadersShown(false);
        grid->SetScrollBars(0);
        At(kAll, kAll);
        grid->SetCellType(CellStaticText);
        At(2, kAll);
        grid->SetCellType(CellEditText);
        grid->SetMaxTextLength(9);
        At(3, kAll);
        grid->SetCellType(CellButton);
        grid->SetButtonCaption(QStringLiteral("설정"));
        At(3, 4);
        grid->SetCellType(CellCheckBox);
        grid->SetCheckCaption(QStringLiteral("현재시간적용"));
        grid->SetCellInteger(3, 4, 1);
        At(2, 3);
        grid->SetCellType(CellNumber);
        grid->SetNumberMin(-1000);
        grid->SetNumberMax(1000);
        grid->SetNumberDecimals(0);
        At(2, 4);
        grid->SetCellLocked(true);
        grid->SetCellTextIfChanged(2, 4, QStringLiteral("고정"));
        view = new SpreadSheetView(grid);
        view->resize(400, 200);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view));
    }

    void cleanup()
    {
        delete view;
        delete grid;
    }

    void buttonClickEmitsItsCell()
    {
        QSignalSpy clicks(view, &SpreadSheetView::ButtonClicked);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, Center(3, 2));
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(clicks.at(0), (QList<QVariant>{3, 2, 0}));
        // Pressed on a button and released elsewhere: no click.
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, Center(3, 1));
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, Center(1, 1));
        QCOMPARE(clicks.count(), 1);
    }

    void checkBoxTicksAndReportsItsState()
    {
        QSignalSpy clicks(grid, &CSpreadSheet::ButtonClicked);
        int v = -1;
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, Center(3, 4));
        QVERIFY(grid->GetCellInteger(3, 4, &v));
        QCOMPARE(v, 0);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Space);
        QVERIFY(grid->GetCellInteger(3, 4, &v));
        QCOMPARE(v, 1);
        QCOMPARE(clicks.count(), 2);
        QCOMPARE(clicks.at(1), (QList<QVariant>{3, 4, 1}));

        At(3, 4);
        grid->SetCellLocked(true);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, Center(3, 4));
        QVERIFY(grid->GetCellInteger(3, 4, &v));
        QCOMPARE(v, 1);
    }

    void editsStayWithinLimitsAndLockedCellsCannotChange()
    {
        QVERIFY(view->EditCell(2, 1));
        QCOMPARE(view->Editor()->maxLength(), 9);
        QTest::keyClicks(view->Editor(), QStringLiteral("123456789012"));
        QTest::keyClick(view->Editor(), Qt::Key_Return);
        QCOMPARE(grid->text(2, 1), QStringLiteral("123456789"));

        QVERIFY(view->EditCell(2, 3));
        view->Editor()->setText(QStringLiteral("5000")); // typed past the validator, e.g. pasted
        QTest::keyClick(view->Editor(), Qt::Key_Return);
        QCOMPARE(grid->text(2, 3), QString());
        QVERIFY(view->EditCell(2, 3));
        QTest::keyClicks(view->Editor(), QStringLiteral("-250"));
        QTest::keyClick(view->Editor(), Qt::Key_Return);
        QCOMPARE(grid->text(2, 3), QStringLiteral("-250"));

        // Escape leaves the cell as it was.
        QVERIFY(view->EditCell(2, 1));
        view->Editor()->setText(QStringLiteral("other"));
        QTest::keyClick(view->Editor(), Qt::Key_Escape);
        QCOMPARE(grid->text(2, 1), QStringLiteral("123456789"));

        QVERIFY(!view->EditCell(2, 4)); // locked
        QVERIFY(!view->EditCell(1, 1)); // read-only text
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, Center(2, 4));
        QVERIFY(view->Editor() == nullptr);
        QCOMPARE(grid->text(2, 4), QStringLiteral("고정"));
    }

    void repaintsOnlyTheChangedCellAndNothingWhileUpdatesAreOff()
    {
        PaintRecorder recorder;
        view->viewport()->installEventFilter(&recorder);
        QCoreApplication::processEvents();
        recorder.painted = QRegion();
        recorder.paints = 0;

        grid->SetCellTextIfChanged(1, 2, QStringLiteral("바뀜"));
        QTRY_VERIFY(recorder.paints > 0);
        const QRect cell = view->CellRect(1, 2);
        QVERIFY(recorder.painted.boundingRect().contains(cell));
        QVERIFY(recorder.painted.boundingRect().width() <= cell.width() + 2);
        QVERIFY(recorder.painted.boundingRect().height() <= cell.height() + 2);

        recorder.paints = 0;
        grid->SetDisplayUpdates(false);
        grid->SetCellTextIfChanged(1, 3, QStringLiteral("x"));
        grid->SetColumnWidth(1, 20.0);
        QTest::qWait(50);
        QCOMPARE(recorder.paints, 0);
        grid->SetDisplayUpdates(true);
        QTRY_VERIFY(recorder.paints > 0);
        QCOMPARE(view->CellRect(1, 1).width(), qRound(20.0 * view->PixelsPerWidthUnit()));
    }

    void outlivingItsModelIsHarmless()
    {
        delete grid;
        grid = nullptr;
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
        QVERIFY(!view->EditCell(1, 1));
        QVERIFY(view->CellRect(1, 1).isEmpty());
        view->repaint();
    }

    void restingPointerShowsTheCellsTooltip()
    {
        At(1, 2);
        grid->SetCellToolTip(QStringLiteral("불합격 (기준 10.0 ~ 13.0 톤)"));
        auto rest = [&](int col, int row) {
            const QPoint at = Center(col, row);
            QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
            QApplication::sendEvent(view->viewport(), &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QCOMPARE(rest(1, 2), QStringLiteral("불합격 (기준 10.0 ~ 13.0 톤)"));
        QTRY_VERIFY(rest(1, 1).isEmpty()); // a cell without one hides it
    }

    void joinedCellsAndShownSheetGeometry()
    {
        QVERIFY(grid->JoinCells(1, 1, 2, 1));
        QCOMPARE(view->CellRect(2, 1), view->CellRect(1, 1));
        int col = 0, row = 0;
        QVERIFY(view->CellAt(view->CellRect(1, 1).topRight() - QPoint(1, 0), &col, &row));
        QCOMPARE(col, 1);
        QCOMPARE(row, 1);

        // Rows appended one by one are laid out as soon as they are asked for.
        for (int r = 5; r <= 40; ++r)
            grid->SetRowCount(r);
        QCOMPARE(view->CellRect(1, 40).bottom(),
                 view->CellRect(1, 1).top() + qRound(40 * 15 * view->PixelsPerHeightUnit()) - 1);

        grid->SetSheetCount(2);
        grid->SetAddressedSheet(2);
        grid->SetColumnCount(1);
        grid->SetRowCount(1);
        grid->SetColumnWidth(1, 10.0);
        grid->SetShownSheet(2);
        QVERIFY(view->CellRect(2, 1).isEmpty());
        QCOMPARE(view->CellRect(1, 1).width(), qRound(10.0 * view->PixelsPerWidthUnit()));
    }
};

QTEST_MAIN(SpreadSheetViewTest)
#include "SpreadSheetViewTest.moc"
