// The chart window beside a modal main window, driven by real input events on its window: following
// records as they arrive, zoom, pan and "원래 크기", the limits dialog and its effect on the counts.

#include "ChartWindow.h"
#include "ChartView.h"
#include "IniFile.h"
#include "LimitsDialog.h"
#include "LimitsSettings.h"
#include "RecordChart.h"

#include <QDateTime>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

namespace {

std::array<uint8_t, kRecordSize> Record(int minute, int raw, int setting)
{
    return {0x07, 0xEA, 12, 1, 9, uint8_t(minute), 0, uint8_t(raw >> 8), uint8_t(raw & 0xFF), uint8_t(setting)};
}

// A click as the window system delivers it: on the widget's window, at the widget's centre.
void ClickOnWindow(QWidget *widget)
{
    QWindow *window = widget->window()->windowHandle();
    const QPoint at = widget->mapTo(widget->window(), widget->rect().center());
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, at);
}

QPoint PlotCentre(ChartWindow &w)
{
    const QPointF scene = w.Chart()->mapToScene(w.Chart()->plotArea().center());
    return w.View()->mapTo(&w, w.View()->mapFromScene(scene));
}

} // namespace

class ChartWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        m_ini = m_dir->filePath(QStringLiteral("tonvale.ini"));
        // The main window, modal as the program runs it.
        m_main.reset(new QDialog);
        m_main->setWindowModality(Qt::ApplicationModal);
        m_main->resize(300, 200);
        m_main->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    }
    void cleanup()
    {
        m_main.reset();
        ChartWindow::SetFileQuestion({});
    }

    void followsRecordsAsTheyArrive()
    {
        auto *w = new ChartWindow(m_main.get(), m_ini);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(w->isWindow());
        QVERIFY(!w->isModal());
        QCOMPARE(w->parentWidget(), m_main.get());

        const auto a = Record(0, 1176, 0), b = Record(1, 1470, 1);
        w->SetStoredRecord(0, a.data());
        w->SetStoredRecord(1, b.data());
        // Drawn together after a short delay, not once a record.
        QCOMPARE(w->Chart()->Data().settings[0].ticked.size(), 0);
        QTRY_COMPARE(w->Chart()->Data().settings[1].ticked.size(), 1);
        QCOMPARE(w->Chart()->Data().settings[0].ticked.size(), 1);
        QVERIFY(w->CountsLabel()->text().contains(QStringLiteral("판정 기준 없음")));

        w->SetTicked(0, false);
        w->Refresh();
        QCOMPARE(w->Chart()->Data().settings[0].unticked.size(), 1);
        QVERIFY(w->CountsLabel()->text().startsWith(QStringLiteral("선택 1개")));

        w->SetMode(MeasurementMode::Output);
        w->Refresh();
        QCOMPARE(w->Chart()->Data().mode, MeasurementMode::Output);
        QCOMPARE(w->Records().StoredCount(), 0);
    }

    void zoomPanAndResetWithTheMouseBesideAModalMainWindow()
    {
        auto *w = new ChartWindow(m_main.get(), m_ini);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        for (int i = 0; i < 20; ++i) {
            const auto r = Record(i, 1000 + 20 * i, 0);
            w->SetStoredRecord(i, r.data());
        }
        w->Refresh();
        const QRectF fitted = w->Chart()->ShownRange();

        // Wheel forward over the plot: a smaller range around the pointer.
        const QPoint centre = PlotCentre(*w);
        const QPoint viewPos = w->View()->mapFrom(w, centre);
        QWheelEvent wheel(QPointF(viewPos), QPointF(w->View()->mapToGlobal(viewPos)), QPoint(), QPoint(0, 240),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w->View()->viewport(), &wheel);
        const QRectF zoomed = w->Chart()->ShownRange();
        QVERIFY(zoomed.width() < fitted.width() * 0.7);
        QVERIFY(zoomed.height() < fitted.height() * 0.7);
        QVERIFY(w->Chart()->IsZoomed());

        // Drag to the left: the range moves to later times.
        QWindow *window = w->windowHandle();
        QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, centre);
        QTest::mouseMove(window, centre - QPoint(80, 0));
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, centre - QPoint(80, 0));
        const QRectF panned = w->Chart()->ShownRange();
        QVERIFY(panned.left() > zoomed.left());
        QVERIFY(qAbs(panned.width() - zoomed.width()) < zoomed.width() * 0.01);

        // New records while zoomed keep the operator's view; "원래 크기" fits them all again.
        const auto later = Record(40, 3000, 0);
        w->SetStoredRecord(20, later.data());
        w->Refresh();
        QCOMPARE(w->Chart()->ShownRange(), panned);
        ClickOnWindow(w->ResetButton());
        QVERIFY(!w->Chart()->IsZoomed());
        QVERIFY(w->Chart()->ShownRange().right() >= QDateTime(QDate(2026, 12, 1), QTime(9, 40)).toMSecsSinceEpoch());
        QVERIFY(w->Chart()->ShownRange().bottom() >= 3000 / 98.0);
    }

    void aWindowOutsideTheMainWindowWouldBeBlocked()
    {
        // The same click on a window that is not the main window's: the modal main window swallows it.
        // This is what the chart window's parent spares it.
        QWidget stranger;
        auto *button = new QPushButton(QStringLiteral("x"), &stranger);
        int clicks = 0;
        connect(button, &QPushButton::clicked, [&] { ++clicks; });
        stranger.show();
        QVERIFY(QTest::qWaitForWindowExposed(&stranger));
        ClickOnWindow(button);
        QCOMPARE(clicks, 0);

        ChartWindow w(m_main.get(), m_ini);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QString asked;
        ChartWindow::SetFileQuestion([&](QWidget *) {
            asked = QStringLiteral("asked");
            return m_dir->filePath(QStringLiteral("chart"));
        });
        // Where the picture went is told in a box of the window's own.
        QString told;
        QTimer::singleShot(0, this, [&told] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            told = box->text();
            QTest::keyClick(box, Qt::Key_Return);
        });
        ClickOnWindow(w.SaveButton());
        QCOMPARE(asked, QStringLiteral("asked"));
        QVERIFY2(told.contains(m_dir->filePath(QStringLiteral("chart.png"))), qPrintable(told));
        QImage saved(m_dir->filePath(QStringLiteral("chart.png")));
        QVERIFY(!saved.isNull());
        QCOMPARE(saved.size(), w.View()->size() * w.View()->devicePixelRatio());
    }

    void limitsDialogValidatesSavesAndJudges()
    {
        IniFile::WriteFile(m_ini, QStringLiteral("[REPORT]\nCOMPANY=회사\n").toUtf8());
        auto *w = new ChartWindow(m_main.get(), m_ini);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const auto pass = Record(0, 1176, 0), fail = Record(1, 1372, 0);
        w->SetStoredRecord(0, pass.data());
        w->SetStoredRecord(1, fail.data());
        w->Refresh();
        QSignalSpy changed(w, &ChartWindow::LimitsChanged);

        // First a LOW above HIGH: refused, the dialog stays; then a valid range.
        QStringList errors;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<LimitsDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            QTest::keyClicks(dialog->LowEdit(0), QStringLiteral("13"));
            QTest::keyClicks(dialog->HighEdit(0), QStringLiteral("10"));
            QTimer::singleShot(0, this, [&] { // the warning box
                QWidget *box = QApplication::activeModalWidget();
                QVERIFY(box && box != dialog);
                QTest::keyClick(box, Qt::Key_Return);
            });
            QTest::keyClick(dialog->HighEdit(0), Qt::Key_Return);
            errors << dialog->LastError();
            QVERIFY(dialog->isVisible());
            dialog->LowEdit(0)->clear();
            dialog->HighEdit(0)->clear();
            QTest::keyClicks(dialog->LowEdit(0), QStringLiteral("10"));
            QTest::keyClicks(dialog->HighEdit(0), QStringLiteral("13.0"));
            QTest::keyClick(dialog->HighEdit(0), Qt::Key_Return);
        });
        ClickOnWindow(w->LimitsButton());
        QTRY_COMPARE(changed.size(), 1);
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors[0].contains(QStringLiteral("하한은 상한보다 작아야")));

        QCOMPARE(w->Limits().Range(0), std::optional<ForceRange>(ForceRange{100, 130}));
        QCOMPARE(LoadPressClassLimits(m_ini), w->Limits());
        QCOMPARE(IniFile::FindValue(IniFile::ReadFile(m_ini)->text, "REPORT", "COMPANY").value_or(QString()),
                 QStringLiteral("회사"));
        QVERIFY(w->CountsLabel()->text().contains(QStringLiteral("합격 1 · 불합격 1")));
        QCOMPARE(w->Chart()->Data().bands.size(), 1);
        QCOMPARE(w->Chart()->Data().failing.size(), 1);
        // A new window reads the same limits from the file.
        ChartWindow again(m_main.get(), m_ini);
        QCOMPARE(again.Limits(), w->Limits());
    }

  private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QDialog> m_main;
    QString m_ini;
};

QTEST_MAIN(ChartWindowTest)
#include "ChartWindowTest.moc"
