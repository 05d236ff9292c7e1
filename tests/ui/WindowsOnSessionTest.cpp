// The windows while the instrument works on its own thread: input during a download, cancel, an
// unplug mid-download, the packet log beside the modal main window and the console, the console
// during a firmware upload, and the calibration's automatic reading after failed reads. Real input
// events on shown windows; the simulated instrument on a virtual clock, held mid-job by a gate.
#include "CDlgAdmin.h"
#include "CDlgExport.h"
#include "CDlgLog.h"
#include "CIniSysInfo.h"
#include "CSpreadSheet.h"
#include "CTonvaleDlg.h"
#include "CalibrationFields.h"
#include "Clock.h"
#include "Commands.h"
#include "LocalTime.h"
#include "ResultCodes.h"
#include "Simulation.h"
#include "SpreadSheetView.h"
#include "WindowBench.h"
#include "WindowInput.h"
#include "session/SessionTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

constexpr int kTodaysRecords = 1500;

Scenario ManyToday()
{
    return StoredFromEight(kTodaysRecords, [](int i) { return 500 + i % 700; });
}

// The main window shown as the program shows it (modal to the whole program), on one simulated
// instrument held by a gate.
struct Shown : WindowBench {
    explicit Shown(const Scenario &scenario = ManyToday()) : WindowBench(scenario, WindowTestStart())
    {
        dlg->Session().SetRecordObserver(&gate);
        ShowModal();
    }
    ~Shown()
    {
        gate.Release();
        dlg.reset();
    }
    int StoredRows() { return Rows(kStoredRecordSheet); }

    SessionGate gate;
};

} // namespace

class WindowsOnSessionTest : public QObject {
    Q_OBJECT
  private slots:
    void InputDuringADownloadStartsNothing()
    {
        Shown w;
        w.gate.HoldAtRecord(300);
        ClickOn(w.Control(CTonvaleDlg::IDC_CONNECT));
        QVERIFY(w.gate.WaitUntilHeld());

        // The window is alive: rows so far are shown with their count, the cancel button is offered.
        QVERIFY(w.StoredRows() > 0 && w.StoredRows() <= 300);
        QVERIFY2(w.Progress().startsWith("수신 중 : "), qPrintable(w.Progress()));
        QVERIFY(w.Control(CTonvaleDlg::IDC_CANCEL_DOWNLOAD)->isVisible());
        QCOMPARE(w.dlg->cursor().shape(), Qt::WaitCursor);
        for (int id : {CTonvaleDlg::IDC_CONNECT, CTonvaleDlg::IDC_QUERY, CTonvaleDlg::IDC_READ_TIME,
                       CTonvaleDlg::IDC_SET_TIME, CTonvaleDlg::IDC_MODE_OUTPUT, CTonvaleDlg::IDC_EXPORT,
                       CTonvaleDlg::IDC_ADMIN, CTonvaleDlg::IDC_SELECT_ALL}) {
            QVERIFY2(!w.Control(id)->isEnabled(), qPrintable(QString::number(id)));
            ClickOn(w.Control(id));
        }
        QTest::keyClick(w.dlg->windowHandle(), Qt::Key_Return);
        w.gate.Release();
        SETTLE(w.dlg->Session());

        QCOMPARE(w.sim.Instrument().RequestCount(CMD_READ_MEMORY), 1);
        QCOMPARE(w.sim.Instrument().RequestCount(CMD_READ_CLOCK), 1); // the connect's own, before the download
        QCOMPARE(w.dlg->m_nMode, int(CTonvaleDlg::MODE_MEMORY));
        QCOMPARE(w.StoredRows(), kTodaysRecords);
        QVERIFY(w.messages.isEmpty());
        QVERIFY(w.Control(CTonvaleDlg::IDC_QUERY)->isEnabled());
        QVERIFY(!w.Control(CTonvaleDlg::IDC_CANCEL_DOWNLOAD)->isVisible());
        QCOMPARE(w.dlg->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(w.dlg->Records().Count(), kTodaysRecords);
        QVERIFY(!w.dlg->Records().Incomplete());
    }

    void CancelKeepsTheRowsMarksTheTableIncompleteAndTheNextQueryWorks()
    {
        Shown w;
        w.gate.HoldAtRecord(300);
        ClickOn(w.Control(CTonvaleDlg::IDC_CONNECT));
        QVERIFY(w.gate.WaitUntilHeld());
        ClickOn(w.Control(CTonvaleDlg::IDC_CANCEL_DOWNLOAD));
        w.gate.Release();
        SETTLE(w.dlg->Session());

        QCOMPARE(w.messages, QStringList{"데이터 조회 취소 (-1082)\n받은 데이터 300건"});
        QCOMPARE(w.StoredRows(), 300);
        QCOMPARE(w.dlg->Records().Count(), 300);
        QVERIFY(w.dlg->Records().Incomplete());
        QVERIFY2(w.Progress().contains("완전하지 않습니다") && w.Progress().contains("300건"),
                 qPrintable(w.Progress()));
        // The identity was read before the download and stays.
        QCOMPARE(w.dlg->DeviceGrid().text(2, 3), QString("PFM-3000"));

        // Exporting the incomplete table asks first; No writes nothing.
        int fileQuestions = 0;
        CDlgExport::SetFileQuestion([&](QWidget *) {
            ++fileQuestions;
            return QString();
        });
        w.messages.clear();
        w.answer = QMessageBox::No;
        ClickOn(w.Control(CTonvaleDlg::IDC_EXPORT));
        QCOMPARE(w.messages.size(), 1);
        QVERIFY(w.messages[0].contains("완전하지 않습니다 (300건"));
        QCOMPARE(fileQuestions, 0);
        w.answer = QMessageBox::Yes;
        ClickOn(w.Control(CTonvaleDlg::IDC_EXPORT));
        QCOMPARE(fileQuestions, 1);
        CDlgExport::SetFileQuestion({});

        // The rest of the stream was read off the line: the next query gets every record.
        w.messages.clear();
        ClickOn(w.Control(CTonvaleDlg::IDC_QUERY));
        SETTLE(w.dlg->Session());
        QVERIFY(w.messages.isEmpty());
        QCOMPARE(w.StoredRows(), kTodaysRecords);
        QVERIFY(!w.dlg->Records().Incomplete());
        QCOMPARE(w.Progress(), QStringLiteral("%1건 수신").arg(kTodaysRecords));
    }

    void AfterADownloadTheLastRowIsInSightAndTheCountStays()
    {
        Scenario s = ManyToday();
        constexpr int kRunRecords = 255;
        std::vector<RawRecord> run;
        for (int i = 0; i < kRunRecords; ++i)
            run.push_back(MakeRecord({2024, 5, 1, 9, i / 60, i % 60}, 1000 + i, 1));
        s.continuous.records = run;
        Shown w(s);
        SpreadSheetView *view = w.dlg->DataGridView();
        QScrollBar *bar = view->verticalScrollBar();
        const auto lastRowInSight = [&](int lastRow) {
            QCoreApplication::processEvents();
            QVERIFY(bar->maximum() > 0);
            QCOMPARE(bar->value(), bar->maximum());
            const QRect last = view->CellRect(2, lastRow);
            QVERIFY2(view->viewport()->rect().contains(last),
                     qPrintable(QStringLiteral("row %1 at y %2, viewport %3 high")
                                    .arg(lastRow)
                                    .arg(last.y())
                                    .arg(view->viewport()->height())));
        };
        ClickOn(w.Control(CTonvaleDlg::IDC_CONNECT));
        SETTLE(w.dlg->Session());
        QCOMPARE(w.StoredRows(), kTodaysRecords);
        lastRowInSight(kTodaysRecords);
        QCOMPARE(w.Progress(), QStringLiteral("%1건 수신").arg(kTodaysRecords));

        // The continuous run: its three heading rows, then one row a record.
        ClickOn(w.Control(CTonvaleDlg::IDC_MODE_OUTPUT));
        ClickOn(w.Control(CTonvaleDlg::IDC_QUERY));
        SETTLE(w.dlg->Session());
        lastRowInSight(3 + kRunRecords);
        QCOMPARE(w.Progress(), QStringLiteral("%1건 수신").arg(kRunRecords));
    }

    void AnUnplugMidDownloadEndsWithTheResultTextAndTheRowsReceived()
    {
        Shown w;
        w.gate.HoldAtRecord(200);
        ClickOn(w.Control(CTonvaleDlg::IDC_CONNECT));
        QVERIFY(w.gate.WaitUntilHeld());
        w.sim.Bridge().Unplug(); // the session thread is held: nothing else touches the bridge now
        w.gate.Release();
        SETTLE(w.dlg->Session());

        QCOMPARE(w.messages.size(), 1);
        QVERIFY(w.messages[0].endsWith(")"));
        QVERIFY2(w.messages[0] == ResultText(RESULT_READ_FAILED) || w.messages[0] == ResultText(RESULT_TIMEOUT),
                 qPrintable(w.messages[0]));
        QCOMPARE(w.StoredRows(), 200);
        QVERIFY(w.dlg->Records().Incomplete());
        QCOMPARE(w.dlg->windowTitle(), CTonvaleDlg::kCaptionDisconnected);
        QVERIFY(!w.Control(CTonvaleDlg::IDC_CONNECT)->isEnabled());
    }

    void TheLogWindowTakesInputBesideTheModalMainWindowAndTheConsole()
    {
        Shown w(Scenario{});
        CDlgLog *log = w.dlg->LogWindow();
        ClickOn(w.Control(CTonvaleDlg::IDC_SHOW_LOG));
        QVERIFY(log->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(log));
        // Its own place: it covers none of the main window's buttons.
        for (QAbstractButton *button : w.dlg->findChildren<QAbstractButton *>()) {
            if (button->isVisible())
                QVERIFY2(!log->frameGeometry().intersects(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())),
                         qPrintable(button->text()));
        }

        ClickOn(log->LogSaveBox());
        QVERIFY(log->LogSaveBox()->isChecked());
        ClickOn(w.Control(CTonvaleDlg::IDC_CONNECT));
        SETTLE(w.dlg->Session());
        QFile hourly(log->LogFile().PathFor(w.clock.Now()));
        QVERIFY2(hourly.open(QIODevice::ReadOnly), qPrintable(hourly.fileName()));
        QVERIFY(hourly.readAll().contains("SEND-[" + FormatLocalTime(WindowTestStart()).left(16).toUtf8()));

        // Beside the console, which holds the main window: "Clear" and "Close" still act.
        bool cleared = false;
        bool closedByClick = false;
        w.dlg->SetConsoleOptions([](CDlgAdmin &console) { console.SetTimerEnabled(false); });
        QTimer::singleShot(0, [&] {
            auto *console = qobject_cast<CDlgAdmin *>(QApplication::activeModalWidget());
            QVERIFY(console);
            QVERIFY(QTest::qWaitForWindowExposed(console));
            ClickOn(log->findChild<QPushButton *>(QString::number(CDlgLog::IDC_CLEAR)));
            cleared = log->View()->toPlainText().isEmpty();
            ClickOn(log->findChild<QPushButton *>(QStringLiteral("2")));
            closedByClick = log->isHidden();
            static_cast<QDialog *>(console)->done(QDialog::Rejected);
        });
        ClickOn(w.Control(CTonvaleDlg::IDC_ADMIN));
        QVERIFY(cleared);
        QVERIFY(closedByClick);
    }
};

QTEST_MAIN(WindowsOnSessionTest)
#include "WindowsOnSessionTest.moc"
