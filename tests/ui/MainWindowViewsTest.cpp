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
#include "MeasurementArchive.h"
#include "PressClassLimits.h"
#include "RecordTables.h"
#include "Simulation.h"
#include "ToolOutput.h"
#include "WindowInput.h"
#include "session/SessionTestSupport.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

constexpr int kTodaysRecords = 40;

Scenario Today()
{
    Scenario s;
    std::vector<RecordBytes> records;
    for (int i = 0; i < kTodaysRecords; ++i)
        records.push_back(MakeRecord({2024, 5, 1, 8, i / 60, i % 60}, 500 + 37 * i, i % 3));
    s.stored = records;
    return s;
}

// The main window shown modal as the program shows it, its configuration file (and so its archive) in a
// temporary folder; iniText is written to that file first.
struct Shown {
    explicit Shown(const QByteArray &iniText = {}) : clock(kMay1_1000), sim(Today(), clock)
    {
        info.logDir = tmp.path() + QStringLiteral("/Log/");
        info.iniPath = tmp.filePath(QStringLiteral("tonvale.ini"));
        QFile ini(info.iniPath);
        if (ini.open(QIODevice::WriteOnly))
            ini.write(iniText);
        ini.close();
        dlg = std::make_unique<CTonvaleDlg>(sim.Bridge(), sim.Discovery(), clock, info);
        dlg->SetMessageBoxHandler([this](const CTonvaleDlg::MessageBoxRequest &r) {
            messages << r.text;
            return answer;
        });
        dlg->Create();
        dlg->SetTimersEnabled(false);
        dlg->setWindowModality(Qt::ApplicationModal);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        dlg->PollPresence();
        SETTLE(dlg->Session());
    }
    QWidget *Control(int id) { return dlg->Control(id); }
    void Run(int id)
    {
        ClickOn(Control(id));
        SETTLE(dlg->Session());
    }
    int Rows(int sheet)
    {
        CSpreadSheet &grid = dlg->DataGrid();
        const int kept = grid.GetAddressedSheet();
        grid.SetAddressedSheet(sheet);
        const int rows = grid.GetRowCount();
        grid.SetAddressedSheet(kept);
        return rows;
    }
    QList<DownloadSummary> Archived()
    {
        MeasurementArchive archive(DefaultArchiveLocation(tmp.path()));
        if (!archive.Open(MeasurementArchive::Purpose::Read))
            return {};
        return archive.ListDownloads(DownloadFilter{}).value_or(QList<DownloadSummary>{});
    }

    QTemporaryDir tmp;
    VirtualClock clock;
    Simulation sim;
    CIniSysInfo info;
    std::unique_ptr<CTonvaleDlg> dlg;
    QStringList messages;
    QMessageBox::StandardButton answer = QMessageBox::No;
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
        const QList<DownloadSummary> archived = w.Archived();
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
            listed = table->rowCount();
            const QPoint row = table->visualItemRect(table->item(1, 0)).center();
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, row);
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, row);
            if (history->isVisible())
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
        // The database's own text is in the packet log, after the download's packets.
        const QString log = w.dlg->LogWindow()->View()->toPlainText();
        const QString note = log.section(QLatin1Char('\n'), -2, -2);
        QVERIFY2(note.startsWith(QStringLiteral("NOTE-[")) && note.contains(QStringLiteral("unable to open")),
                 qPrintable(note));

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

    void TheChartBesideTheModalWindowFollowsDownloadsAndTicks()
    {
        Shown w;
        ClickOn(w.Control(CTonvaleDlg::IDC_CHART));
        ChartWindow *chart = w.dlg->Chart();
        QVERIFY(chart);
        QVERIFY(QTest::qWaitForWindowExposed(chart));
        QCOMPARE(chart->Records().StoredCount(), 0);

        w.Run(CTonvaleDlg::IDC_CONNECT);
        QCOMPARE(chart->Records().Mode(), ChartMode::Memory);
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
            emit chart->LimitsChanged(PressClassLimits::FromIniText(ini));
            for (int row : {1, kTodaysRecords})
                QVERIFY2(grid.toolTip(4, row).startsWith(QString::fromUtf8(verdict) + " ("),
                         qPrintable(grid.toolTip(4, row)));
        }

        // The chart's own buttons take the operator's clicks while the main window is modal.
        const QString png = w.tmp.filePath(QStringLiteral("chart.png"));
        ChartWindow::SetFileQuestion([&](QWidget *) { return png; });
        ClickOn(chart->SaveButton());
        ChartWindow::SetFileQuestion({});
        QVERIFY(QFile::exists(png));

        // A continuous run empties the stored records and shows the run.
        ClickOn(w.Control(CTonvaleDlg::IDC_MODE_OUTPUT));
        w.Run(CTonvaleDlg::IDC_QUERY);
        QCOMPARE(chart->Records().Mode(), ChartMode::Output);
        QCOMPARE(chart->Records().StoredCount(), 0);
        QCOMPARE(chart->Records().ContinuousCount(), w.dlg->Records().Count());
        QVERIFY(chart->Records().Summary().has_value());
    }

    void ThePdfExportWritesTheTickedRowsOrTellsWhyNot()
    {
        Shown w;
        w.Run(CTonvaleDlg::IDC_CONNECT);
        CSpreadSheet &grid = w.dlg->DataGrid();
        ClickOn(w.Control(CTonvaleDlg::IDC_SELECT_NONE));
        grid.SetCellInteger(1, 2, 1);
        grid.SetCellInteger(1, 5, 1);
        CDlgExport::SetRevealFunction([](const QString &) {});

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
