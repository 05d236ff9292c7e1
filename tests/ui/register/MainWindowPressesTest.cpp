// The press register from the operator's window: the ticked rows of a download become a check of a press
// ("설비 지정", Ctrl+Shift+P), the report name proposes the press, and the notice of presses due opens the
// register. Real input events on the shown window, the simulated instrument on a virtual clock and a real
// SQLite archive in a temporary folder.
#include "AssignPressDialog.h"
#include "CIniSysInfo.h"
#include "CSpreadSheet.h"
#include "CTonvaleDlg.h"
#include "Clock.h"
#include "MeasurementArchive.h"
#include "PressRegisterHooks.h"
#include "RecordTables.h"
#include "RegisterWindow.h"
#include "Simulation.h"
#include "session/SessionTestSupport.h"
#include "ui/WindowInput.h"

#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

// 30 records of 2024-05-01, 11.0 to 13.9 t, setting codes 0, 1, 2 in turn.
Scenario Today()
{
    Scenario s;
    std::vector<RawRecord> records;
    for (int i = 0; i < 30; ++i)
        records.push_back(MakeRecord({2024, 5, 1, 8, 0, i}, 1078 + 10 * i, i % 3));
    s.stored = records;
    return s;
}

QPushButton *Button(QWidget *parent, const QString &text)
{
    for (QPushButton *button : parent->findChildren<QPushButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

struct Shown {
    Shown() : clock(WindowTestStart()), sim(Today(), clock)
    {
        info.logDir = tmp.path() + QStringLiteral("/Log/");
        info.iniPath = tmp.filePath(QStringLiteral("tonvale.ini"));
        dlg = std::make_unique<CTonvaleDlg>(sim.Bridge(), sim.Discovery(), clock, info);
        dlg->SetMessageBoxHandler([](const CTonvaleDlg::MessageBoxRequest &) { return QMessageBox::No; });
        dlg->Create();
        dlg->SetTimersEnabled(false);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        dlg->PollPresence();
        SETTLE(dlg->Session());
    }
    ArchiveLocation Location() const { return DefaultArchiveLocation(tmp.path()); }
    // Once the archive's thread has written the download's end: it writes after the download's job has ended,
    // and only archived records can be assigned.
    bool WaitArchived() const
    {
        return QTest::qWaitFor(
            [this] {
                MeasurementArchive archive(Location());
                if (!archive.Open(MeasurementArchive::Purpose::Read))
                    return false;
                const auto listed = archive.ListDownloads({});
                return listed && !listed->isEmpty() && listed->first().resultCode.has_value();
            },
            30000);
    }
    bool AddPress(const Press &press)
    {
        MeasurementArchive archive(Location());
        PressRegister presses(archive);
        return archive.Open() && presses.AddPress(press);
    }
    QTemporaryDir tmp;
    VirtualClock clock;
    Simulation sim;
    CIniSysInfo info;
    std::unique_ptr<CTonvaleDlg> dlg;
};

} // namespace

class MainWindowPressesTest : public QObject {
    Q_OBJECT
  private slots:
    void TickedRowsBecomeACheckAfterTheClassQuestion()
    {
        Shown w;
        ClickOn(w.dlg->Control(CTonvaleDlg::IDC_CONNECT));
        SETTLE(w.dlg->Session());
        QTRY_COMPARE(w.dlg->Records().Count(), 30);
        QVERIFY(w.WaitArchived());
        QVERIFY(w.AddPress({"P-07", QStringLiteral("7호기"), "A", 0, 30, ForceRange{100, 140}, true}));
        // Only every other row ticked: 15 records, five of them of class 10-13.
        for (int row = 2; row <= 30; row += 2)
            QVERIFY(w.dlg->DataGrid().OperatorToggleCheck(kStoredRecordSheet, 1, row));

        QTest::keyClick(w.dlg->windowHandle(), Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        AssignPressDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = w.dlg->findChild<AssignPressDialog *>()));
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        auto *list = dialog->findChild<QListWidget *>();
        QTRY_COMPARE(list->count(), 1);
        QTest::mouseClick(dialog->windowHandle(), Qt::LeftButton, {},
                          list->viewport()->mapTo(dialog, list->visualItemRect(list->item(0)).center()));
        ClickOn(Button(dialog, QStringLiteral("지정")));
        QMessageBox *question = nullptr;
        QTRY_VERIFY((question = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())));
        QVERIFY(question->text().contains(QStringLiteral("아닌 기록이 10개 있습니다")));
        QVERIFY(QTest::qWaitForWindowExposed(question));
        const QPointer<AssignPressDialog> assigning = dialog;
        ClickOn(question->button(QMessageBox::Yes));
        QTRY_VERIFY(!assigning);

        MeasurementArchive archive(w.Location());
        QVERIFY(archive.Open(MeasurementArchive::Purpose::Read));
        PressRegister presses(archive);
        const auto checks = presses.Checks("P-07");
        QVERIFY(checks && checks->size() == 1);
        QCOMPARE(checks->first().statistics.count, 15);
        // Rows 1, 3, ... hold 11.0, 11.2, ..., 13.8 t: all within 10.0..14.0.
        QCOMPARE(checks->first().verdict, Verdict::Pass);
        QCOMPARE(w.dlg->DeviceGrid().text(2, 2), QStringLiteral("7호기 (P-07) 점검 - 합격"));
    }

    void AnArchivedDownloadOpenedAgainIsAssignedByWhatItsRecordsAre()
    {
        Shown w;
        ClickOn(w.dlg->Control(CTonvaleDlg::IDC_CONNECT));
        SETTLE(w.dlg->Session());
        QTRY_COMPARE(w.dlg->Records().Count(), 30);
        QVERIFY(w.WaitArchived());
        QVERIFY(w.AddPress({"P-15", QStringLiteral("15호기"), "", 1, 30, std::nullopt, true}));
        std::optional<ArchivedDownload> download;
        {
            MeasurementArchive archive(w.Location());
            QVERIFY(archive.Open(MeasurementArchive::Purpose::Read));
            download = archive.LoadDownload(archive.ListDownloads({})->first().id);
        }
        QVERIFY(download);
        // The grids show the archived download (identity texts only, no bytes); three rows stay ticked.
        w.dlg->ShowArchivedDownload(*download);
        QTRY_COMPARE(w.dlg->Records().Count(), 30);
        ClickOn(w.dlg->Control(CTonvaleDlg::IDC_SELECT_NONE));
        for (int row : {2, 5, 8}) // setting code 1: class 15
            QVERIFY(w.dlg->DataGrid().OperatorToggleCheck(kStoredRecordSheet, 1, row));

        QTest::keyClick(w.dlg->windowHandle(), Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        AssignPressDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = w.dlg->findChild<AssignPressDialog *>()));
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        auto *list = dialog->findChild<QListWidget *>();
        QTRY_COMPARE(list->count(), 1);
        QTest::mouseClick(dialog->windowHandle(), Qt::LeftButton, {},
                          list->viewport()->mapTo(dialog, list->visualItemRect(list->item(0)).center()));
        const QPointer<AssignPressDialog> assigning = dialog;
        ClickOn(Button(dialog, QStringLiteral("지정"))); // nothing to ask: all three are of class 15
        QTRY_VERIFY(!assigning);
        MeasurementArchive archive(w.Location());
        QVERIFY(archive.Open(MeasurementArchive::Purpose::Read));
        PressRegister presses(archive);
        QCOMPARE(presses.Checks("P-15")->first().statistics.count, 3);
        QCOMPARE(w.dlg->DeviceGrid().text(2, 2), QStringLiteral("15호기 (P-15) 점검"));
    }

    void TheNoticeOfPressesDueOpensTheRegister()
    {
        Shown w;
        QVERIFY(w.AddPress({"P-01", QStringLiteral("1호기"), "", 0, 30, std::nullopt, true}));
        w.dlg->findChild<PressRegisterHooks *>()->TellDuePresses();
        QMessageBox *notice = nullptr;
        QTRY_VERIFY((notice = w.dlg->findChild<QMessageBox *>()));
        // Never checked: due today.
        QCOMPARE(notice->text(), QStringLiteral("점검 기한이 지난 설비가 0대, 7일 안에 점검할 설비가 1대 있습니다."));
        QVERIFY(QTest::qWaitForWindowExposed(notice));
        ClickOn(Button(notice, QStringLiteral("설비 관리")));
        QTRY_VERIFY(w.dlg->findChild<RegisterWindow *>());
    }
};

QTEST_MAIN(MainWindowPressesTest)
#include "MainWindowPressesTest.moc"
