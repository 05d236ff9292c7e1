// The main window with its archive, history, chart and PDF report: real input events on the shown
// window, the simulated instrument on a virtual clock, and a real SQLite archive in a temporary folder.
#include "CDlgExport.h"
#include "CDlgHistory.h"
#include "CDlgLog.h"
#include "CIniSysInfo.h"
#include "CSpreadSheet.h"
#include "CTonvaleDlg.h"
#include "ChartWindow.h"
#include "Clock.h"
#include "Commands.h"
#include "LimitsSettings.h"
#include "MeasurementArchive.h"
#include "RecordTables.h"
#include "ResultCodes.h"
#include "Simulation.h"
#include "ToolOutput.h"
#include "WindowBench.h"
#include "WindowInput.h"
#include "session/SessionTestSupport.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kTodaysRecords = 40;

Scenario Today()
{
    return StoredFromEight(kTodaysRecords, [](int i) { return 500 + 37 * i; });
}

// The main window shown modal as the program shows it, its configuration file (and so its archive) in a
// temporary folder; iniText is written to that file first.
// Questions are answered with No unless a test says otherwise.
struct Shown : WindowBench {
    explicit Shown(const QByteArray &iniText = {}, const Scenario &scenario = Today())
        : WindowBench(scenario, WindowTestStart(), [&iniText](WindowBench &b) {
              b.info.iniPath = b.tmp.filePath(QStringLiteral("tonvale.ini"));
              QFile ini(b.info.iniPath);
              if (ini.open(QIODevice::WriteOnly))
                  ini.write(iniText);
              b.answer = QMessageBox::No;
          })
    {
        ShowModal();
    }
    void Run(int id)
    {
        ClickOn(Control(id));
        SETTLE(dlg->Session());
    }
    // The archive's downloads, newest first, once it lists `count` and has written the end of each: the
    // archive writes on a thread of its own, after the job has ended.
    QList<DownloadSummary> Archived(int count)
    {
        QList<DownloadSummary> listed;
        (void)QTest::qWaitFor(
            [&] {
                MeasurementArchive archive(DefaultArchiveLocation(tmp.path()));
                if (archive.Open(MeasurementArchive::Purpose::Read))
                    listed = archive.ListDownloads(DownloadFilter{}).value_or(QList<DownloadSummary>{});
                return listed.size() == count && std::all_of(listed.begin(), listed.end(),
                                                             [](const auto &d) { return d.resultCode.has_value(); });
            },
            30000);
        return listed;
    }
};

} // namespace

class MainWindowViewsTest : public QObject {
    Q_OBJECT
  private slots:
    void TheBottomRowHoldsBothButtonsWithoutOverlapAtAnySize()
    {
        Shown w;
        for (const QSize size : {QSize(CTonvaleDlg::kStartWidth, CTonvaleDlg::kStartHeight), QSize(1600, 900)}) {
            w.dlg->resize(size);
            QCoreApplication::processEvents();
            QWidget *history = w.Control(CTonvaleDlg::IDC_HISTORY);
            QWidget *chart = w.Control(CTonvaleDlg::IDC_CHART);
            QVERIFY(history && chart && history->isVisible() && chart->isVisible());
            for (QWidget *button : {history, chart}) {
                QVERIFY(w.dlg->rect().contains(button->geometry()));
                for (QWidget *other : w.dlg->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                    if (other != button && other->isVisible())
                        QVERIFY2(!other->geometry().intersects(button->geometry()),
                                 qPrintable(other->objectName() + " overlaps " + button->objectName()));
                }
            }
        }
    }

    void ADownloadIsArchivedAndOpeningItFromTheHistoryRefillsTheGrids()
    {
        Shown w;
        w.Run(CTonvaleDlg::IDC_CONNECT);
        QCOMPARE(w.Rows(kStoredRecordSheet), kTodaysRecords);
        QVERIFY(w.messages.isEmpty());
        const QString serial = w.dlg->DeviceGrid().text(4, 3);
        QVERIFY(!serial.isEmpty());
        const QString firstTime = w.dlg->DataGrid().text(3, 1);

        // Then a continuous run replaces the shown records; both downloads are in the archive, filed under
        // the identity the connect read.
        ClickOn(w.Control(CTonvaleDlg::IDC_MODE_OUTPUT));
        w.Run(CTonvaleDlg::IDC_QUERY);
        QVERIFY(w.dlg->Records().Continuous());
        const QList<DownloadSummary> archived = w.Archived(2);
        QCOMPARE(archived.size(), 2);
        const DownloadSummary &stored = archived[1]; // newest first
        QCOMPARE(stored.mode, DownloadMode::Memory);
        QCOMPARE(stored.rowCount, kTodaysRecords);
        QVERIFY(stored.complete);
        QCOMPARE(stored.identity.Serial(), serial);
        QCOMPARE(archived[0].identity.Serial(), serial);

        // "기록 보기" lists both; a double click on the stored one brings it back as it was downloaded.
        w.dlg->DeviceGrid().SetCellTextIfChanged(4, 3, QString());
        int listed = -1;
        QTimer::singleShot(0, [&] {
            auto *history = qobject_cast<CDlgHistory *>(QApplication::activeModalWidget());
            QVERIFY(history);
            QVERIFY(QTest::qWaitForWindowExposed(history));
            auto *table = history->findChild<QTableWidget *>();
            QVERIFY(table);
            // The window reads on a thread of its own: the list and the download come when they come.
            if (QTest::qWaitFor([&] { return table->rowCount() == 2; }, 10000)) {
                listed = table->rowCount();
                const QPoint row = table->visualItemRect(table->item(1, 0)).center();
                QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, row);
                QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, row);
                if (QTest::qWaitFor([&] { return !history->isVisible(); }, 10000))
                    return;
            }
            history->reject();
        });
        ClickOn(w.Control(CTonvaleDlg::IDC_HISTORY));
        QCOMPARE(listed, 2);
        QCOMPARE(w.dlg->m_nMode, int(CTonvaleDlg::MODE_MEMORY));
        QVERIFY(w.Control(CTonvaleDlg::IDC_MODE_MEMORY)->property("checked").toBool());
        QCOMPARE(w.Rows(kStoredRecordSheet), kTodaysRecords);
        QCOMPARE(w.dlg->DataGrid().text(3, 1), firstTime);
        QCOMPARE(w.dlg->DeviceGrid().text(4, 3), serial);
        QCOMPARE(w.dlg->windowTitle(), CDlgHistory::ArchivedCaption(stored));
        QVERIFY(!w.dlg->Records().Continuous());
        QCOMPARE(w.dlg->Records().Count(), kTodaysRecords);
        // A presence poll keeps the archived caption.
        w.dlg->PollPresence();
        SETTLE(w.dlg->Session());
        QCOMPARE(w.dlg->windowTitle(), CDlgHistory::ArchivedCaption(stored));
    }

    // "데이터 조회" without "장비 조회" reads the identity it lacks; a name that never answers is unknown in the
    // archive and told after "장비 조회"; a damaged record leaves the table incomplete until the next download.
    void DownloadsWithAnUnreadNameAndADamagedRecordAreArchivedAndTheTableStaysIncomplete()
    {
        Scenario scenario = Today();
        scenario.faults.answers.push_back({AnswerFault::Kind::Silent, CMD_READ_NAME});
        scenario.faults.storedBadChecksum = {3};
        Shown w({}, scenario);
        w.Run(CTonvaleDlg::IDC_QUERY);
        QCOMPARE(w.Rows(kStoredRecordSheet), kTodaysRecords - 1);
        QCOMPARE(w.messages, QStringList{DamagedRecordsText(1)});
        const QString serial = w.dlg->DeviceGrid().text(4, 3);
        QVERIFY(!serial.isEmpty());
        QVERIFY(w.dlg->DeviceGrid().text(2, 3).isEmpty());
        QList<DownloadSummary> archived = w.Archived(1);
        QCOMPARE(archived.size(), 1);
        QCOMPARE(archived[0].identity.Serial(), serial);
        QVERIFY(archived[0].identity.texts[0].isNull());
        QCOMPARE(archived[0].damaged, 1);
        QVERIFY(!archived[0].complete);
        QVERIFY2(w.Progress().contains("완전하지 않습니다") && w.Progress().contains("손상된 기록 1건 제외"),
                 qPrintable(w.Progress()));

        // Export asks first; "아니오" ends it before a file is asked for.
        w.messages.clear();
        w.answer = QMessageBox::No;
        bool fileAsked = false;
        CDlgExport::SetFileQuestion([&fileAsked](QWidget *) {
            fileAsked = true;
            return QString();
        });
        ClickOn(w.Control(CTonvaleDlg::IDC_EXPORT));
        CDlgExport::SetFileQuestion({});
        QVERIFY(!fileAsked);
        QCOMPARE(w.messages.size(), 1);
        QVERIFY2(w.messages[0].contains("완전하지 않습니다 (손상된 기록 1건 제외)"), qPrintable(w.messages[0]));

        // "장비 조회" tells which field it could not read, and archives the download all the same.
        w.messages.clear();
        w.Run(CTonvaleDlg::IDC_CONNECT);
        QCOMPARE(w.messages.size(), 2);
        QCOMPARE(w.messages[0], DamagedRecordsText(1));
        QVERIFY2(w.messages[1].contains("측정기 명 : " + ResultText(RESULT_READ_FAILED)), qPrintable(w.messages[1]));
        archived = w.Archived(2);
        QCOMPARE(archived.size(), 2);
        QVERIFY(archived[0].identity.texts[0].isNull());

        // "기록 보기" shows both as incomplete, with the count; one opened from there is incomplete again.
        QStringList results;
        QTimer::singleShot(0, [&] {
            auto *history = qobject_cast<CDlgHistory *>(QApplication::activeModalWidget());
            QVERIFY(history);
            auto *table = history->findChild<QTableWidget *>();
            QTRY_COMPARE(table->rowCount(), 2); // the list is read on the window's reader thread
            for (int row = 0; row < table->rowCount(); ++row)
                results << table->item(row, table->columnCount() - 1)->text();
            const QPoint first = table->visualItemRect(table->item(0, 0)).center();
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, first);
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, first);
            QTRY_VERIFY(!history->isVisible()); // closed once the download is read and opened
        });
        w.dlg->DeviceGrid().SetCellTextIfChanged(4, 3, QString());
        ClickOn(w.Control(CTonvaleDlg::IDC_HISTORY));
        QCOMPARE(results, QStringList(2, QStringLiteral("불완전 (손상된 기록 1건 제외)")));
        QCOMPARE(w.dlg->DeviceGrid().text(4, 3), serial);
        QVERIFY2(w.Progress().endsWith("완전하지 않습니다 : 손상된 기록 1건 제외"), qPrintable(w.Progress()));
    }

    // A connect empties both sheets: the stored table a query left incomplete is gone with its note, and an
    // export of the emptied sheet does not ask about a table that no longer is there.
    void AConnectEmptyingAnIncompleteTableEndsItsNote()
    {
        Scenario scenario = Today();
        scenario.faults.storedBadChecksum = {3};
        Shown w({}, scenario);
        w.Run(CTonvaleDlg::IDC_QUERY);
        QVERIFY2(w.Progress().startsWith("MEMORY 표가 완전하지 않습니다"), qPrintable(w.Progress()));

        ClickOn(w.Control(CTonvaleDlg::IDC_MODE_OUTPUT));
        w.messages.clear();
        w.Run(CTonvaleDlg::IDC_CONNECT);
        QCOMPARE(w.Rows(kStoredRecordSheet), 0);
        QVERIFY2(w.Progress().endsWith("건 수신"), qPrintable(w.Progress()));

        ClickOn(w.Control(CTonvaleDlg::IDC_MODE_MEMORY));
        w.messages.clear();
        w.answer = QMessageBox::No;
        ClickOn(w.Control(CTonvaleDlg::IDC_EXPORT));
        QCOMPARE(w.messages, QStringList{CDlgExport::kNothingTickedQuestion});
    }

    void AnArchiveThatCannotTakeTheDownloadStillShowsTheRowsAndTellsOnce()
    {
        // The archive's folder is a file: nothing can be created there.
        QTemporaryDir other;
        const QString blocked = other.filePath(QStringLiteral("not-a-folder"));
        QFile file(blocked);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        Shown w("[ARCHIVE]\nDATABASE=sqlite:" + blocked.toUtf8() + "/archive.sqlite\n");
        w.Run(CTonvaleDlg::IDC_CONNECT);
        QCOMPARE(w.Rows(kStoredRecordSheet), kTodaysRecords);
        QCOMPARE(w.dlg->Records().Count(), kTodaysRecords);
        QCOMPARE(w.messages.size(), 1);
        QVERIFY2(w.messages[0].contains(QStringLiteral("보관 실패")), qPrintable(w.messages[0]));
        // The database's own text is in the packet log (when the archive's thread has it: among or after the
        // download's last packets).
        const QStringList log = w.dlg->LogWindow()->View()->toPlainText().split(QLatin1Char('\n'));
        const QStringList notes = log.filter(QRegularExpression(QStringLiteral("^NOTE-\\[.*unable to open")));
        QVERIFY2(notes.size() == 1, qPrintable(log.join(QLatin1Char('\n')).right(2000)));

        // A location that is none: the first download tells why nothing is archived, the next one is quiet.
        Shown unknown("[ARCHIVE]\nDATABASE=mysql://db.plant/tonvale\n");
        unknown.Run(CTonvaleDlg::IDC_CONNECT);
        QCOMPARE(unknown.Rows(kStoredRecordSheet), kTodaysRecords);
        QCOMPARE(unknown.messages.size(), 1);
        QVERIFY2(unknown.messages[0].contains(QStringLiteral("[ARCHIVE] DATABASE")), qPrintable(unknown.messages[0]));
        unknown.Run(CTonvaleDlg::IDC_QUERY);
        QCOMPARE(unknown.messages.size(), 1);
        QVERIFY(!QFile::exists(unknown.tmp.filePath(QStringLiteral("archive.sqlite"))));
    }

    // A server that takes the connection and never answers holds up neither the download nor the window:
    // the download ends with its rows at once, and the archive's notice follows when the connection has
    // timed out and the records are kept on this PC.
    void AServerThatNeverAnswersHoldsUpNeitherTheDownloadNorTheWindow()
    {
        // Listening, never accepting: the system completes the connection and nothing ever answers.
        const int silent = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        QVERIFY(bind(silent, reinterpret_cast<sockaddr *>(&address), size) == 0 && listen(silent, 4) == 0 &&
                getsockname(silent, reinterpret_cast<sockaddr *>(&address), &size) == 0);
        Shown w("[ARCHIVE]\nDATABASE=postgresql://tonvale@127.0.0.1:" + QByteArray::number(ntohs(address.sin_port)) +
                "/tonvale\n");
        w.Run(CTonvaleDlg::IDC_CONNECT);
        QCOMPARE(w.Rows(kStoredRecordSheet), kTodaysRecords);
        QVERIFY2(w.messages.isEmpty(), qPrintable(w.messages.join('\n')));
        QTRY_COMPARE_WITH_TIMEOUT(w.messages.size(), 1, 60000);
        QVERIFY2(w.messages[0].contains(QStringLiteral("이 PC의 보관 파일")), qPrintable(w.messages[0]));
        QCOMPARE(w.Archived(1).size(), 1);
        close(silent);
    }

    void TicksSetWhileTheChartIsClosedReachItWhenItOpens()
    {
        Shown w;
        w.Run(CTonvaleDlg::IDC_CONNECT);
        CSpreadSheet &grid = w.dlg->DataGrid();
        QVERIFY(grid.OperatorToggleCheck(kStoredRecordSheet, 1, 3));
        QVERIFY(grid.OperatorToggleCheck(kStoredRecordSheet, 1, 1));
        QVERIFY(grid.OperatorToggleCheck(kStoredRecordSheet, 1, 1));
        ClickOn(w.Control(CTonvaleDlg::IDC_CHART));
        const Measurement &charted = w.dlg->Chart()->Records();
        QCOMPARE(charted.TickedCount(), kTodaysRecords - 1);
        QVERIFY(charted.IsTicked(0));
        QVERIFY(!charted.IsTicked(2));
    }

    void TheChartBesideTheModalWindowFollowsDownloadsAndTicks()
    {
        Shown w;
        ClickOn(w.Control(CTonvaleDlg::IDC_CHART));
        ChartWindow *chart = w.dlg->Chart();
        QVERIFY(chart);
        QVERIFY(QTest::qWaitForWindowExposed(chart));
        QCOMPARE(chart->Records().StoredCount(), 0);

        w.Run(CTonvaleDlg::IDC_CONNECT);
        QCOMPARE(chart->Records().Mode(), MeasurementMode::Memory);
        QCOMPARE(chart->Records().StoredCount(), kTodaysRecords);
        QCOMPARE(chart->Records().TickedCount(), kTodaysRecords);
        ClickOn(w.Control(CTonvaleDlg::IDC_SELECT_NONE));
        QCOMPARE(chart->Records().TickedCount(), 0);
        ClickOn(w.Control(CTonvaleDlg::IDC_SELECT_INVERT));
        QCOMPARE(chart->Records().TickedCount(), kTodaysRecords);

        // New limits from the chart ("판정 기준") mark the rows already shown.
        CSpreadSheet &grid = w.dlg->DataGrid();
        grid.SetAddressedSheet(kStoredRecordSheet);
        for (const auto &[range, verdict] : {std::pair{"0.0,700.0", "합격"}, std::pair{"0.0,0.1", "불합격"}}) {
            const QString ini = QStringLiteral("[LIMITS]\nCLASS_10_13=%1\nCLASS_15=%1\nCLASS_25_30=%1\n").arg(range);
            emit chart->LimitsChanged(PressClassLimitsFromIniText(ini));
            for (int row : {1, kTodaysRecords})
                QVERIFY2(grid.toolTip(4, row).startsWith(QString::fromUtf8(verdict) + " ("),
                         qPrintable(grid.toolTip(4, row)));
        }

        // The chart's own buttons take the operator's clicks while the main window is modal.
        const QString png = w.tmp.filePath(QStringLiteral("chart.png"));
        ChartWindow::SetFileQuestion([&](QWidget *) { return png; });
        QString told; // where the picture went, in a box that Enter closes
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&told] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                told = box->text();
                QTest::keyClick(box, Qt::Key_Return);
            }
        });
        answer.start(10);
        ClickOn(chart->SaveButton());
        answer.stop();
        QVERIFY2(told.contains(png), qPrintable(told));
        ChartWindow::SetFileQuestion({});
        QVERIFY(QFile::exists(png));

        // A continuous run empties the stored records and shows the run.
        ClickOn(w.Control(CTonvaleDlg::IDC_MODE_OUTPUT));
        w.Run(CTonvaleDlg::IDC_QUERY);
        QCOMPARE(chart->Records().Mode(), MeasurementMode::Output);
        QCOMPARE(chart->Records().StoredCount(), 0);
        QCOMPARE(chart->Records().ContinuousCount(), w.dlg->Records().Count());
        QVERIFY(chart->Records().Summary().has_value());
    }

    void LimitsLinesThatAreNoRangesAreToldOnce()
    {
        Shown w("[LIMITS]\nCLASS_10_13=13.0,10.0\nCLASS_15=abc,def\nCLASS_25_30=25.0,30.0\n");
        QTRY_COMPARE(w.messages.size(), 1);
        const QString told = w.messages[0];
        for (const char *part :
             {"CLASS_10_13=13.0,10.0 : 하한은 상한보다 작아야 합니다.", "CLASS_15=abc,def : ", "abc", "'판정 기준'"})
            QVERIFY2(told.contains(QString::fromUtf8(part)), qPrintable(told));
        QVERIFY(!told.contains("CLASS_25_30"));

        // Not again: a download, the chart and its judgement of the valid class go on without a word.
        w.Run(CTonvaleDlg::IDC_CONNECT);
        ClickOn(w.Control(CTonvaleDlg::IDC_CHART));
        QCOMPARE(w.messages.size(), 1);
        QVERIFY(!w.dlg->Chart()->Limits().IsEmpty());
    }

    void ThePdfExportWritesTheTickedRowsOrTellsWhyNot()
    {
        Shown w;
        w.Run(CTonvaleDlg::IDC_CONNECT);
        CSpreadSheet &grid = w.dlg->DataGrid();
        ClickOn(w.Control(CTonvaleDlg::IDC_SELECT_NONE));
        QVERIFY(grid.OperatorToggleCheck(kStoredRecordSheet, 1, 2));
        QVERIFY(grid.OperatorToggleCheck(kStoredRecordSheet, 1, 5));
        CDlgExport::SetRevealFunction([](const QString &) { return true; });

        QString target = w.tmp.filePath(QStringLiteral("보고서.pdf"));
        CDlgExport::SetFileQuestion([&](QWidget *) { return target; });
        ClickOn(w.Control(CTonvaleDlg::IDC_EXPORT));
        QCOMPARE(w.messages.size(), 1);
        QVERIFY2(w.messages[0].startsWith(QStringLiteral("PDF 파일을 저장했습니다.")), qPrintable(w.messages[0]));
        const QString text = ToolOutput(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), target, "-"});
        const int second = text.indexOf(grid.text(3, 2));
        const int fifth = text.indexOf(grid.text(3, 5));
        QVERIFY2(second >= 0 && fifth > second, qPrintable(text));
        QVERIFY(!text.contains(grid.text(3, 3)));

        w.messages.clear();
        target = w.tmp.filePath(QStringLiteral("missing/보고서.pdf"));
        ClickOn(w.Control(CTonvaleDlg::IDC_EXPORT));
        CDlgExport::SetFileQuestion({});
        CDlgExport::SetRevealFunction({});
        QCOMPARE(w.messages.size(), 1);
        QVERIFY2(w.messages[0].startsWith(QStringLiteral("PDF 저장 실패 : ")), qPrintable(w.messages[0]));
        QVERIFY(!QFile::exists(target));
    }
};

QTEST_MAIN(MainWindowViewsTest)
#include "MainWindowViewsTest.moc"
