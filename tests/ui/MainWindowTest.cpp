// The operator's window on the simulated instrument, on a virtual clock: presence, connect, queries
// in both modes, and the packet log that the exchanges feed.
#include "CDlgLog.h"
#include "CFt260.h"
#include "CIniSysInfo.h"
#include "CSpreadSheet.h"
#include "CTonvaleDlg.h"
#include "Clock.h"
#include "JobContext.h"
#include "LocalTime.h"
#include "ResultCodes.h"
#include "Simulation.h"
#include "SpreadSheetView.h"
#include "WindowBench.h"
#include "session/SessionTestSupport.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimerEvent>

#include <memory>

namespace {

// 2024-05-01 10:00:00 in Seoul.
constexpr qint64 kMay1_1000 = 1714525200;
constexpr qint64 kDay = 86400;

RawRecord At(int day, int hour, int minute, int raw, int setting = 1)
{
    return MakeRecord(LocalFields{2024, 5, day, hour, minute, 0}, raw, setting);
}

// Two records on 29 April, one on 30 April, three today (1 May, the last at 23:59:59) and one
// tomorrow, which no query of today may show.
Scenario ThreeDays()
{
    Scenario s;
    s.stored = std::vector<RawRecord>{
        MakeRecord({2024, 4, 29, 8, 0, 0}, 980, 0),
        MakeRecord({2024, 4, 29, 9, 30, 0}, 1960, 1),
        MakeRecord({2024, 4, 30, 14, 0, 0}, 2940, 2),
        At(1, 8, 15, 1470, 0),
        At(1, 9, 45, 2450, 1),
        MakeRecord({2024, 5, 1, 23, 59, 59}, 2058, 2),
        At(2, 0, 0, 999, 1),
    };
    return s;
}

QStringList LinesOf(const QPlainTextEdit *view)
{
    QStringList lines = view->toPlainText().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// One window on one simulated instrument, with the INI's texts; message boxes are answered with OK.
struct Bench : WindowBench {
    explicit Bench(const Scenario &scenario = ThreeDays(), const QString &logDir = QString())
        : WindowBench(scenario, kMay1_1000, [&logDir](WindowBench &b) {
              b.info.company = QStringLiteral("한국정밀");
              b.info.reportName = QStringLiteral("5월 점검");
              b.info.userName = QStringLiteral("김철수");
              if (!logDir.isEmpty())
                  b.info.logDir = logDir;
          })
    {
    }

    void Tick() { Poll(); }
    // A click and the job it starts, to its end.
    void Click(int id)
    {
        qobject_cast<QAbstractButton *>(dlg->Control(id))->click();
        SETTLE(dlg->Session());
    }
    // Runs `work` on the session thread, as a job of a client of its own.
    void OnSession(std::function<void(CFt260 &)> work)
    {
        SessionClient client(dlg->Session());
        Job job;
        job.run = [work](JobContext &context) { work(context.Link()); };
        client.Submit(job);
        SETTLE(dlg->Session());
    }
    void Connect()
    {
        Tick();
        Click(CTonvaleDlg::IDC_CONNECT);
    }
    QStringList Times()
    {
        QStringList times;
        for (int row = 1; row <= Rows(1); ++row)
            times << Cell(1, 3, row);
        return times;
    }
    void SetRange(qint64 start, qint64 end)
    {
        dlg->StartDate()->setDate(LocalDateOf(start));
        dlg->EndDate()->setDate(LocalDateOf(end));
    }
};

const int kInstrumentControls[] = {CTonvaleDlg::IDC_CONNECT, CTonvaleDlg::IDC_QUERY, CTonvaleDlg::IDC_READ_TIME,
                                   CTonvaleDlg::IDC_SET_TIME, CTonvaleDlg::IDC_TELEPHONE};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void StartsDisconnectedWithTheIniTextsAndTheLayoutOfItsSize()
    {
        Bench b;
        CTonvaleDlg &dlg = *b.dlg;
        QCOMPARE(dlg.windowTitle(), CTonvaleDlg::kCaptionDisconnected);
        for (int id : kInstrumentControls)
            QVERIFY2(!dlg.Control(id)->isEnabled(), qPrintable(QString::number(id)));
        QCOMPARE(dlg.DeviceGrid().text(2, 2), QString("5월 점검"));
        QCOMPARE(dlg.DeviceGrid().text(4, 1), QString("한국정밀"));
        QCOMPARE(dlg.DeviceGrid().text(4, 2), QString("김철수"));
        QCOMPARE(dlg.DeviceGrid().text(1, 6), QString("30톤 로드셀 커버 S/N"));
        QCOMPARE(dlg.DeviceGrid().text(3, 5), QString("25톤 로드셀 커버 S/N"));
        QCOMPARE(dlg.PresenceTimerId(), 0); // switched off by the bench
        dlg.SetTimersEnabled(true);
        QVERIFY(dlg.PresenceTimerId() != 0);
        QVERIFY(dlg.LogWindow() && dlg.LogWindow()->isHidden());

        // 1280 x 720 on a screen with room, never narrower than 1280; a larger window keeps the bottom row
        // 10 pixels above its edge.
        QCOMPARE(dlg.size(), QSize(1280, 720));
        QCOMPARE(dlg.minimumSize().width(), 1280);
        dlg.show();
        dlg.resize(1600, 900);
        QCOMPARE(dlg.Control(CTonvaleDlg::IDC_EXPORT)->geometry(), QRect(1470, 860, 120, 30));
        QCOMPARE(dlg.DataGridView()->geometry().right(), 1600 - 10 - 1);
        QCOMPARE(dlg.DataGridView()->geometry().bottom(), 900 - 50 - 1);
        const QRect b3 = dlg.Control(CTonvaleDlg::IDC_CONNECT)->geometry();
        QCOMPARE(dlg.DeviceGridView()->geometry(),
                 QRect(b3.right() + 11, b3.top(), 1590 - b3.right() - 11, b3.height()));
    }

    void ConnectReadsTheIdentityAndTodaysRecordsAllTicked()
    {
        Bench b;
        b.Connect();
        CSpreadSheet &dev = b.dlg->DeviceGrid();
        QCOMPARE(dev.text(2, 3), QString("PFM-3000"));
        QCOMPARE(dev.text(4, 3), QString("PF24050117"));
        QCOMPARE(dev.text(2, 4), QString("L15-24031"));
        QCOMPARE(dev.text(4, 4), QString("C15-240312"));
        QCOMPARE(dev.text(2, 5), QString("L30-24027"));
        QCOMPARE(dev.text(4, 5), QString("C25-240115"));
        QCOMPARE(dev.text(2, 6), QString("C30-240227"));
        QCOMPARE(dev.text(4, 6), QString("V1.3"));
        QVERIFY(dev.text(2, 1).startsWith("2024-05-01 10:00:"));

        QCOMPARE(b.Times(), (QStringList{"2024-05-01 08:15:00", "2024-05-01 09:45:00", "2024-05-01 23:59:59"}));
        for (int row = 1; row <= 3; ++row) {
            int ticked = 0;
            QVERIFY(b.Grid().GetCellInteger(1, row, &ticked));
            QCOMPARE(ticked, 1);
            QCOMPARE(b.Cell(1, 2, row), QString::number(row));
        }
        QCOMPARE(b.Cell(1, 4, 1), QString("15.0 톤"));
        QVERIFY(b.messages.isEmpty());
    }

    void AnErasedSerialShowsADashButNameAndVersionAsRead()
    {
        Scenario s = ThreeDays();
        for (uint8_t cmd : {0x37, 0x39, 0x3B, 0x3D, 0x3F})
            s.identity[cmd] = QByteArray(s.identity[cmd].size(), char(0xFF));
        s.identity[0x32] = QByteArray(s.identity[0x32].size(), '\0');
        Bench b(s);
        b.Connect();
        CSpreadSheet &dev = b.dlg->DeviceGrid();
        for (auto [col, row] : {std::pair{2, 4}, {2, 5}, {2, 6}, {4, 3}, {4, 4}, {4, 5}})
            QCOMPARE(dev.text(col, row), QString("-"));
        QCOMPARE(dev.text(2, 3), QString("PFM-3000"));
        QCOMPARE(dev.text(4, 6), QString("V1.3"));
    }

    void OutputModeHidesTheDatesAndFillsSheetTwoLeavingSheetOne()
    {
        Bench b;
        b.Connect();
        const QStringList memoryRows = b.Times();

        b.Click(CTonvaleDlg::IDC_MODE_OUTPUT);
        QCOMPARE(b.dlg->m_nMode, 1);
        for (int id : {1019, 1015, 1005, 1014})
            QVERIFY(b.dlg->Control(id)->isHidden());
        // The dates do not matter here: a range without stored records changes nothing.
        b.SetRange(kMay1_1000 + 30 * kDay, kMay1_1000 + 30 * kDay);
        b.Click(CTonvaleDlg::IDC_QUERY);

        const int n = uint8_t(b.sim.Instrument().ContinuousSummary()[0]);
        QVERIFY(n > 0);
        QCOMPARE(b.Rows(2), 3 + n);
        QCOMPARE(b.Cell(2, 1, 1), QString("측정횟수"));
        QCOMPARE(b.Cell(2, 5, 3), QString("로드셀 종류"));
        QCOMPARE(b.Cell(2, 1, 2), QString::number(n));
        QVERIFY(b.Cell(2, 2, 2).endsWith(" KN"));
        QCOMPARE(b.Cell(2, 1, 4), QString("1"));
        QCOMPARE(b.Cell(2, 1, 3 + n), QString::number(n));
        QVERIFY(b.messages.isEmpty());
        QCOMPARE(b.Grid().GetShownSheet(), 2);

        b.Click(CTonvaleDlg::IDC_MODE_MEMORY);
        for (int id : {1019, 1015, 1005, 1014})
            QVERIFY(!b.dlg->Control(id)->isHidden());
        QCOMPARE(b.Times(), memoryRows);
        QCOMPARE(b.Rows(2), 3 + n);
    }

    void ANarrowerSecondQueryReplacesTheRows()
    {
        Bench b;
        b.Connect();
        b.SetRange(kMay1_1000 - 2 * kDay, kMay1_1000);
        b.Click(CTonvaleDlg::IDC_QUERY);
        QCOMPARE(b.Rows(1), 6);

        b.Grid().SetCellInteger(1, 2, 0);
        b.SetRange(kMay1_1000 - kDay, kMay1_1000 - kDay);
        b.Click(CTonvaleDlg::IDC_QUERY);
        QCOMPARE(b.Times(), QStringList{"2024-04-30 14:00:00"});
        int ticked = 0;
        b.Grid().GetCellInteger(1, 1, &ticked);
        QCOMPARE(ticked, 1);

        // A day without records says so and leaves the sheet empty.
        b.SetRange(kMay1_1000 + 5 * kDay, kMay1_1000 + 5 * kDay);
        b.Click(CTonvaleDlg::IDC_QUERY);
        QCOMPARE(b.Rows(1), 0);
        QCOMPARE(b.messages, QStringList{"메모리 데이터 없음!"});
    }

    void ThePickersShowAndAskForTheLocalDayAtEveryHour_data()
    {
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        // Before 09:00 the UTC date is the day before Seoul's; 23:30 is late on Seoul's day.
        QTest::newRow("00:30") << 0 << 30;
        QTest::newRow("08:59") << 8 << 59;
        QTest::newRow("12:00") << 12 << 0;
        QTest::newRow("23:30") << 23 << 30;
    }
    void ThePickersShowAndAskForTheLocalDayAtEveryHour()
    {
        QFETCH(int, hour);
        QFETCH(int, minute);
        Bench b;
        b.clock.SetNow(*LocalTimeFromFields({2024, 5, 1, hour, minute, 0}));
        b.dlg->LogWindow()->View()->clear();
        b.Connect();
        QCOMPARE(b.dlg->StartDate()->date(), QDate(2024, 5, 1));
        QCOMPARE(b.dlg->EndDate()->date(), QDate(2024, 5, 1));
        QCOMPARE(b.Times(), (QStringList{"2024-05-01 08:15:00", "2024-05-01 09:45:00", "2024-05-01 23:59:59"}));

        // The next day, picked with the keyboard in both, asks for that day and shows its record.
        b.dlg->show();
        QVERIFY(QTest::qWaitForWindowActive(b.dlg.get()));
        for (QDateTimeEdit *picker : {b.dlg->StartDate(), b.dlg->EndDate()}) {
            picker->setFocus();
            picker->setCurrentSection(QDateTimeEdit::DaySection);
            QTest::keyClick(b.dlg->windowHandle(), Qt::Key_Up);
            QCOMPARE(picker->date(), QDate(2024, 5, 2));
        }
        b.dlg->LogWindow()->View()->clear();
        b.Click(CTonvaleDlg::IDC_QUERY);
        QVERIFY(LinesOf(b.dlg->LogWindow()->View()).first().contains("] 02 08 35 07 E8 05 02 00 00 00 "));
        QCOMPARE(b.Times(), QStringList{"2024-05-02 00:00:00"});
        QVERIFY(b.messages.isEmpty());
    }

    void AnInstrumentClockFarFromThePcsIsToldAfterConnect_data()
    {
        QTest::addColumn<int>("offsetSeconds"); // the instrument's clock minus the PC's
        QTest::addColumn<QString>("told");      // empty: nothing is said
        QTest::newRow("4 minutes slow") << -240 << QString();
        QTest::newRow("5 minutes fast") << 300 << QString();
        QTest::newRow("6 minutes fast") << 360 << QStringLiteral("6분 빠릅니다");
        QTest::newRow("2.5 years slow") << -int(912 * kDay + 2 * 3600 + 5 * 60)
                                        << QStringLiteral("장비 시간(2021-11-01 07:55:00)이 컴퓨터 시간(2024-05-01 "
                                                          "10:00:00)보다 912일 2시간 5분 느립니다");
    }
    void AnInstrumentClockFarFromThePcsIsToldAfterConnect()
    {
        QFETCH(int, offsetSeconds);
        QFETCH(QString, told);
        Scenario s = ThreeDays();
        s.clock = LocalFieldsOf(kMay1_1000 + offsetSeconds);
        Bench b(s);
        b.Connect();
        QCOMPARE(b.dlg->DeviceGrid().text(2, 3), QString("PFM-3000"));
        if (told.isEmpty()) {
            QVERIFY2(b.messages.isEmpty(), qPrintable(b.messages.join('|')));
            return;
        }
        QVERIFY(!b.messages.isEmpty());
        QVERIFY2(b.messages.last().contains(told) && b.messages.last().contains("'현재시간 설정'"),
                 qPrintable(b.messages.last()));
    }

    void UnpluggingDisablesWithinOneTickAndReplugEnablesWithoutAClick()
    {
        Bench b;
        b.Connect();
        QCOMPARE(b.dlg->windowTitle(), CTonvaleDlg::kCaptionConnected);
        for (int id : kInstrumentControls)
            QVERIFY(b.dlg->Control(id)->isEnabled());

        b.sim.Bridge().Unplug();
        b.Tick();
        QCOMPARE(b.dlg->windowTitle(), CTonvaleDlg::kCaptionDisconnected);
        for (int id : kInstrumentControls)
            QVERIFY(!b.dlg->Control(id)->isEnabled());
        bool open = true;
        b.OnSession([&open](CFt260 &link) { open = link.IsOpen(); });
        QVERIFY(!open); // discovery closed the link of the bridge that went

        b.sim.Bridge().Plug();
        b.Tick();
        QCOMPARE(b.dlg->windowTitle(), CTonvaleDlg::kCaptionConnected);
        for (int id : kInstrumentControls)
            QVERIFY(b.dlg->Control(id)->isEnabled());
    }

    void ABridgeThatCannotBeOpenedIsReportedAndLeavesEverythingEmptied()
    {
        Bench b;
        b.Connect();
        b.sim.Bridge().Unplug();
        b.OnSession([](CFt260 &link) { link.Close(); });
        b.Click(CTonvaleDlg::IDC_CONNECT); // before the next tick has noticed
        QCOMPARE(b.messages, QStringList{ResultText(RESULT_OPEN_FAILED)});
        QCOMPARE(b.dlg->DeviceGrid().text(2, 3), QString());
        QCOMPARE(b.Rows(1), 0);
        QCOMPARE(b.Rows(2), 3);
        // The failure told the window at once that the bridge is gone.
        QCOMPARE(b.dlg->windowTitle(), CTonvaleDlg::kCaptionDisconnected);
        QVERIFY(!b.dlg->Control(CTonvaleDlg::IDC_CONNECT)->isEnabled());

        // A bridge this user may not open: the way to get access follows the result text.
        b.dlg->SetOpenFailureAdvice([] { return QStringLiteral("udev 규칙을 설치하십시오."); });
        b.messages.clear();
        b.dlg->OnConnect();
        SETTLE(b.dlg->Session());
        QCOMPARE(b.messages, QStringList{ResultText(RESULT_OPEN_FAILED) + "\n\nudev 규칙을 설치하십시오."});
    }

    void ReportFieldsKeepOperatorEditsExceptTheCreationTime()
    {
        Bench b;
        CSpreadSheet &dev = b.dlg->DeviceGrid();
        QVERIFY(dev.OperatorSetText(1, 2, 1, "어제"));
        QVERIFY(dev.OperatorSetText(1, 2, 2, "프레스 A동"));
        QVERIFY(dev.OperatorSetText(1, 4, 1, "대한공업"));
        QVERIFY(dev.OperatorSetText(1, 4, 2, "이영희"));
        QVERIFY(!dev.OperatorSetText(1, 2, 3, "not editable"));
        b.Connect();
        b.clock.AdvanceMicros(3600LL * 1000000);
        b.Click(CTonvaleDlg::IDC_CONNECT);
        QVERIFY(dev.text(2, 1).startsWith("2024-05-01 11:00:"));
        QCOMPARE(dev.text(2, 2), QString("프레스 A동"));
        QCOMPARE(dev.text(4, 1), QString("대한공업"));
        QCOMPARE(dev.text(4, 2), QString("이영희"));
    }

    void AFailingDownloadShowsTheResultTextAndKeepsItsRows()
    {
        Scenario s = ThreeDays();
        s.faults.storedStreamStopsAfter = 2; // of today's three, then silence
        Bench b(s);
        b.Connect();
        QCOMPARE(b.messages, QStringList{ResultText(RESULT_TIMEOUT)});
        QCOMPARE(b.Times(), (QStringList{"2024-05-01 08:15:00", "2024-05-01 09:45:00"}));
    }

    void ASilentInstrumentIsToldAfterTwoTimeOutsWithoutAQuery()
    {
        Scenario s = ThreeDays();
        for (uint8_t command = CMD_FIRST; command <= CMD_LAST; ++command)
            s.faults.answers.push_back({AnswerFault::Kind::Silent, command});
        Bench b(s);
        const qint64 before = b.clock.MonotonicMicros();
        b.Connect();
        QCOMPARE(b.messages, QStringList{ResultText(RESULT_READ_FAILED)});
        QCOMPARE(b.sim.Instrument().Requests().size(), size_t(2));
        QVERIFY(b.clock.MonotonicMicros() - before < 5'100'000);
        QCOMPARE(b.Rows(1), 0);
    }

    void EveryIdentityExchangeIsOneSendAndOneReceiveLineInTheViewAndTheFile()
    {
        Bench b;
        CDlgLog *log = b.dlg->LogWindow();
        log->LogSaveBox()->setChecked(true);
        b.Connect();

        const QStringList lines = LinesOf(log->View());
        const char *ids[] = {"31", "37", "3B", "3D", "32", "39", "3F", "30"};
        QVERIFY(lines.size() >= 20);
        for (int i = 0; i < 8; ++i) {
            QVERIFY2(lines[2 * i].startsWith("SEND-[2024-05-01 10:00:"), qPrintable(lines[2 * i]));
            QVERIFY2(lines[2 * i].contains(QString("] 02 02 %1 00 ").arg(ids[i])), qPrintable(lines[2 * i]));
            QVERIFY2(lines[2 * i + 1].startsWith("RECV-[2024-05-01 10:00:"), qPrintable(lines[2 * i + 1]));
            QVERIFY(lines[2 * i + 1].contains(QString(" %1 ").arg(ids[i])));
        }
        // The instrument's clock, then the stored download: its request, then the record frames.
        QVERIFY(lines[16].contains("] 02 02 4B 00 "));
        QVERIFY(lines[18].contains("] 02 08 35 07 E8 05 01 00 00 00 "));

        QFile file(log->LogFile().PathFor(kMay1_1000));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), lines.join('\n') + '\n');

        // The "로그 보기" button shows and hides the same window.
        b.Click(CTonvaleDlg::IDC_SHOW_LOG);
        QVERIFY(log->isVisible());
        b.dlg->ToggleLogWindow();
        QVERIFY(log->isHidden());
    }

    void ALogFileThatCannotBeWrittenDoesNotStopTheExchange()
    {
        QTemporaryDir tmp;
        QFile blocker(tmp.path() + "/Log");
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a plain file where the log directory belongs
        blocker.close();
        Bench b(ThreeDays(), tmp.path() + "/Log/");
        b.dlg->LogWindow()->LogSaveBox()->setChecked(true);
        b.Connect();
        QCOMPARE(b.dlg->DeviceGrid().text(2, 3), QString("PFM-3000"));
        QCOMPARE(b.Rows(1), 3);
        QVERIFY(b.messages.isEmpty());
        QVERIFY(LinesOf(b.dlg->LogWindow()->View()).size() >= 16);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
