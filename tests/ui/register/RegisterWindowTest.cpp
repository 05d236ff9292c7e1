#include "RegisterWindow.h"
#include "ArchiveTypes.h"
#include "AssignPressDialog.h"
#include "LocalTime.h"
#include "MeasurementArchive.h"
#include "PressEditDialog.h"
#include "PressHistoryWindow.h"
#include "ToolOutput.h"
#include "ui/WindowInput.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

qint64 Seoul(int month, int day, int hour, int minute = 0)
{
    return *LocalTimeFromFields({2024, month, day, hour, minute, 0});
}

// "Now" for the windows: 2024-05-20 23:30 in Seoul (14:30 UTC, the same day).
const qint64 kNow = Seoul(5, 20, 23, 30);

RawRecord Record(const QString &time, int raw, int setting = 0)
{
    RawRecord record{};
    MakeRawRecord(time, raw, setting, record);
    return record;
}

QPushButton *Button(QWidget &parent, const QString &text)
{
    for (QPushButton *button : parent.findChildren<QPushButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

// Shows a window and waits for its first read (which may come while it is being shown).
void ShowLoaded(QWidget &window, QSignalSpy &loaded)
{
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(!loaded.isEmpty());
    loaded.removeFirst();
}

// Makes the press the list's current one, as the keyboard would.
void Pick(QListWidget *list, const QString &id)
{
    for (int row = 0; row < list->count(); ++row)
        if (list->item(row)->text().startsWith(id))
            list->setCurrentRow(row);
}

int RowOf(QTableView *table, const QString &id)
{
    for (int row = 0; row < table->model()->rowCount(); ++row)
        if (table->model()->index(row, 0).data().toString() == id)
            return row;
    return -1;
}

QString Cell(QTableView *table, const QString &id, int column)
{
    return table->model()->index(RowOf(table, id), column).data().toString();
}

} // namespace

class RegisterWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        MeasurementArchive archive(Location());
        QVERIFY(archive.Open());
        DownloadStart start;
        start.identity = Identity();
        start.startedAt = kNow;
        start.host = "station-1";
        start.osUser = "kim";
        start.rangeFrom = Seoul(4, 1, 0);
        start.rangeTo = kNow;
        const std::optional<DownloadHandle> handle = archive.BeginDownload(start);
        QVERIFY(handle);
        // P-01: checked April 1st at 00:30 (30 days: due May 1st, overdue). P-02: May 10th at 23:50, interval 14
        // (due May 24th: soon). P-03: May 15th (due June 14th: on time), three checks, one failed.
        const std::vector<std::pair<int, RawRecord>> records{{0, Record("2024-04-01 00:30:00", 1176)},
                                                             {1, Record("2024-05-10 23:50:00", 1176)},
                                                             {2, Record("2024-05-01 09:00:00", 1100)},
                                                             {3, Record("2024-05-08 09:00:00", 1300)},
                                                             {4, Record("2024-05-15 09:00:00", 1150)},
                                                             {5, Record("2024-05-15 09:01:00", 1210)},
                                                             {6, m_free[0]},
                                                             {7, m_free[1]}};
        QVERIFY(archive.BeginBatch() && archive.AddStoredRecords(*handle, records) &&
                archive.FinishDownload(*handle, kNow, 0, 8) && archive.CommitBatch());
        PressRegister presses(archive);
        const ForceRange range{100, 130};
        QVERIFY(presses.AddPress({"P-01", "1호기", "A라인", 0, 30, range, true}));
        QVERIFY(presses.AddPress({"P-02", "2호기", "B라인", 0, 14, range, true}));
        QVERIFY(presses.AddPress({"P-03", "3호기", "A라인", 0, 30, range, true}));
        QVERIFY(presses.AddPress({"P-04", "4호기", "C라인", 1, 30, std::nullopt, true}));
        QVERIFY(presses.AddPress({"P-05", "5호기", "C라인", 2, 30, std::nullopt, false}));
        const CheckAuthor author{"kim", "station-1", {}, kNow};
        for (const auto &[press, rows] : std::vector<std::pair<QString, QList<int>>>{
                 {"P-01", {1}}, {"P-02", {2}}, {"P-03", {3}}, {"P-03", {4}}, {"P-03", {5, 6}}})
            QVERIFY(presses.Assign(press, *presses.DownloadRecords(handle->downloadId, rows), author));
    }

    void MarksOverdueAndDueSoonRowsAndShowsRetiredOnRequest()
    {
        RegisterWindow window(Location(), {}, [] { return kNow; });
        QSignalSpy loaded(&window, &RegisterWindow::Loaded);
        ShowLoaded(window, loaded);
        if (QTest::currentTestFailed())
            return;
        auto *table = window.findChild<QTableView *>();
        QCOMPARE(table->model()->rowCount(), 4);
        QCOMPARE(Cell(table, "P-01", 7), QStringLiteral("2024-05-01"));
        QCOMPARE(Cell(table, "P-01", 8), QStringLiteral("초과 (19일)"));
        QCOMPARE(Cell(table, "P-02", 5), QStringLiteral("2024-05-10"));
        QCOMPARE(Cell(table, "P-02", 8), QStringLiteral("임박 (4일 남음)"));
        QCOMPARE(Cell(table, "P-03", 7), QStringLiteral("2024-06-14"));
        QCOMPARE(Cell(table, "P-03", 8), QStringLiteral("정상"));
        QCOMPARE(Cell(table, "P-04", 8), QStringLiteral("임박 (오늘)"));
        const auto background = [&](const QString &id) {
            return table->model()->index(RowOf(table, id), 1).data(Qt::BackgroundRole).value<QBrush>().color();
        };
        QVERIFY(background("P-01") != background("P-02"));
        QCOMPARE(background("P-02"), background("P-04"));
        QVERIFY(!table->model()->index(RowOf(table, "P-03"), 1).data(Qt::BackgroundRole).isValid());

        ClickOn(window.findChild<QCheckBox *>());
        QTRY_VERIFY(!loaded.isEmpty());
        loaded.removeFirst();
        QCOMPARE(table->model()->rowCount(), 5);
        QVERIFY(Cell(table, "P-05", 1).contains(QStringLiteral("사용 안 함")));
        // A retired press is not due.
        QVERIFY(!table->model()->index(RowOf(table, "P-05"), 1).data(Qt::BackgroundRole).isValid());
    }

    void FiltersAndSortsByTyping()
    {
        RegisterWindow window(Location(), {}, [] { return kNow; });
        QSignalSpy loaded(&window, &RegisterWindow::Loaded);
        ShowLoaded(window, loaded);
        if (QTest::currentTestFailed())
            return;
        auto *table = window.findChild<QTableView *>();
        // Any part of the number, name or location, in either case.
        QTest::keyClicks(window.findChild<QLineEdit *>(), "b");
        QCOMPARE(table->model()->rowCount(), 1);
        QCOMPARE(table->model()->index(0, 0).data().toString(), QStringLiteral("P-02"));
        window.findChild<QLineEdit *>()->clear();
        // Sorted by the due date, the most overdue first; again, the latest due first.
        QHeaderView *header = table->horizontalHeader();
        const QPoint dueHeader(header->sectionViewportPosition(7) + header->sectionSize(7) / 2, header->height() / 2);
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, header->viewport()->mapTo(&window, dueHeader));
        const Qt::SortOrder first = header->sortIndicatorOrder();
        const QString top = table->model()->index(0, 0).data().toString();
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, header->viewport()->mapTo(&window, dueHeader));
        QCOMPARE(header->sortIndicatorSection(), 7);
        QCOMPARE(first == Qt::AscendingOrder ? top : table->model()->index(0, 0).data().toString(),
                 QStringLiteral("P-01"));
        QCOMPARE(first == Qt::AscendingOrder ? table->model()->index(0, 0).data().toString() : top,
                 QStringLiteral("P-03"));
    }

    void AddsAPressThroughItsDialog()
    {
        RegisterWindow window(Location(), {}, [] { return kNow; });
        QSignalSpy loaded(&window, &RegisterWindow::Loaded);
        ShowLoaded(window, loaded);
        if (QTest::currentTestFailed())
            return;
        ClickOn(Button(window, QStringLiteral("추가")));
        PressEditDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = qobject_cast<PressEditDialog *>(QApplication::activeModalWidget())));
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QTest::keyClicks(dialog->findChild<QLineEdit *>("pressId"), "P-09");
        // Without a name the dialog stays and says why.
        ClickOn(Button(*dialog, QStringLiteral("확인")));
        QVERIFY(dialog->isVisible());
        bool told = false;
        for (QLabel *label : dialog->findChildren<QLabel *>())
            told = told || label->text() == QStringLiteral("설비 이름이 없습니다");
        QVERIFY(told);
        QTest::keyClicks(dialog->findChild<QLineEdit *>("pressName"), "Press 9");
        QTest::keyClicks(dialog->findChild<QLineEdit *>("pressLocation"), "Line D");
        ClickOn(Button(*dialog, QStringLiteral("확인")));
        QTRY_VERIFY(!loaded.isEmpty());
        loaded.removeFirst();
        auto *table = window.findChild<QTableView *>();
        QCOMPARE(Cell(table, "P-09", 3), QStringLiteral("Line D"));
        QCOMPARE(Cell(table, "P-09", 8), QStringLiteral("임박 (오늘)"));

        MeasurementArchive archive(Location());
        QVERIFY(archive.Open(MeasurementArchive::Purpose::Read));
        PressRegister presses(archive);
        const std::optional<Press> stored = presses.FindPress("P-09");
        QVERIFY(stored);
        QCOMPARE(stored->intervalDays, 30);
        QVERIFY(!stored->range);
    }

    void OpensAPressWithItsChecksCapabilityAndPdf()
    {
        RegisterWindow window(Location(), {}, [] { return kNow; });
        QSignalSpy loaded(&window, &RegisterWindow::Loaded);
        ShowLoaded(window, loaded);
        if (QTest::currentTestFailed())
            return;
        auto *table = window.findChild<QTableView *>();
        const QRect cell = table->visualRect(table->model()->index(RowOf(table, "P-03"), 1));
        QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, table->viewport()->mapTo(&window, cell.center()));
        PressHistoryWindow *history = nullptr;
        QTRY_VERIFY((history = window.findChild<PressHistoryWindow *>()));
        QTRY_VERIFY(history->History());
        auto *checks = history->findChild<QTableWidget *>();
        QCOMPARE(checks->rowCount(), 3);
        QCOMPARE(checks->item(0, 1)->text(), QStringLiteral("2024-05-15 09:00:00"));
        QCOMPARE(checks->item(0, 2)->text(), QStringLiteral("2"));
        QCOMPARE(checks->item(1, 7)->text(), QStringLiteral("불합격"));
        // Forces 11.2, 13.3, 11.7 and 12.3 t against 10.0..13.0: Cpk below 1.33 is marked.
        QVERIFY(history->History()->capability);
        QVERIFY(!history->History()->capability->Capable());
        QLabel *capability = nullptr;
        for (QLabel *label : history->findChildren<QLabel *>())
            if (label->text().startsWith(QStringLiteral("공정 능력")))
                capability = label;
        QVERIFY(capability && capability->text().contains(QStringLiteral("미만")));
        QVERIFY(history->SavePdf(m_dir.filePath("p03.pdf")));
        const QString text = ToolOutput("pdftotext", {"-layout", m_dir.filePath("p03.pdf"), "-"});
        QVERIFY(text.contains(QStringLiteral("설비 점검 이력")));
        QVERIFY(text.contains("P-03"));
    }

    void AssignsTickedRecordsAskingAboutAnotherClassAndMoves()
    {
        // Records of class 15 and 10-13 to P-04, a 15-ton press: the 10-13 one is named in the question.
        AssignPressDialog dialog(Location(), Identity(), {m_free[0], m_free[1]}, {}, [] { return kNow; });
        QSignalSpy loaded(&dialog, &AssignPressDialog::Loaded);
        ShowLoaded(dialog, loaded);
        auto *list = dialog.findChild<QListWidget *>();
        QTest::keyClicks(dialog.findChild<QLineEdit *>(), "p-04");
        QListWidgetItem *p04 = nullptr;
        for (int row = 0; row < list->count(); ++row)
            if (!list->item(row)->isHidden())
                p04 = list->item(row);
        QVERIFY(p04 && p04->text().startsWith("P-04"));
        QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, {},
                          list->viewport()->mapTo(&dialog, list->visualItemRect(p04).center()));
        ClickOn(Button(dialog, QStringLiteral("지정")));
        QMessageBox *question = nullptr;
        QTRY_VERIFY((question = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())));
        QVERIFY(question->text().contains(QStringLiteral("등급(15톤)이 아닌 기록이 1개 있습니다: 10-13톤")));
        QVERIFY(QTest::qWaitForWindowExposed(question));
        ClickOn(question->button(QMessageBox::Yes));
        QTRY_VERIFY(dialog.Result());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Result()->check.statistics.count, 2);
        QCOMPARE(dialog.AssignedPress()->name, QStringLiteral("4호기"));

        // The same records again: the same check, nothing asked.
        AssignPressDialog again(Location(), Identity(), {m_free[1], m_free[0]}, {}, [] { return kNow; });
        QSignalSpy againLoaded(&again, &AssignPressDialog::Loaded);
        ShowLoaded(again, againLoaded);
        auto *againList = again.findChild<QListWidget *>();
        Pick(againList, "P-04");
        ClickOn(Button(again, QStringLiteral("지정")));
        QTRY_VERIFY(again.Result());
        QVERIFY(again.Result()->alreadyAssigned);
        QCOMPARE(again.Result()->check.id, dialog.Result()->check.id);

        // Moving them to P-03 is asked; "아니요" keeps them where they are.
        AssignPressDialog move(Location(), Identity(), {m_free[0]}, {}, [] { return kNow; });
        QSignalSpy moveLoaded(&move, &AssignPressDialog::Loaded);
        ShowLoaded(move, moveLoaded);
        auto *moveList = move.findChild<QListWidget *>();
        Pick(moveList, "P-03");
        ClickOn(Button(move, QStringLiteral("지정")));
        QTRY_VERIFY((question = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())));
        QVERIFY(question->text().contains(QStringLiteral("옮깁니다")));
        QVERIFY(QTest::qWaitForWindowExposed(question));
        const QPointer<QMessageBox> asked = question; // it goes once answered
        ClickOn(question->button(QMessageBox::No));
        QTRY_VERIFY(!asked);
        QVERIFY(!move.Result());
        MeasurementArchive archive(Location());
        QVERIFY(archive.Open(MeasurementArchive::Purpose::Read));
        PressRegister presses(archive);
        QCOMPARE(presses.Checks("P-04")->first().statistics.count, 2);
    }

  private:
    static InstrumentIdentity Identity()
    {
        InstrumentIdentity identity;
        identity.texts = {"PM-30", "A", "B", "C", "SN-R", "D", "E", "V1"};
        return identity;
    }
    ArchiveLocation Location() const
    {
        return ParseArchiveLocation("sqlite:" + m_dir.filePath("a.sqlite"), nullptr).value();
    }

    QTemporaryDir m_dir;
    // Records no press holds at first: one of class 15, one of class 10-13.
    const RawRecord m_free[2] = {Record("2024-05-19 10:00:00", 1470, 1), Record("2024-05-19 10:05:00", 1176, 0)};
};

QTEST_MAIN(RegisterWindowTest)
#include "RegisterWindowTest.moc"
