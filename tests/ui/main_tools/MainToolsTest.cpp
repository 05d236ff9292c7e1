// The clock, selection, help, log, administrator, export and exit actions of the operator's window,
// against the simulated instrument on the virtual clock.

#include "AdminPrompts.h"
#include "CDlgAdmin.h"
#include "CDlgExport.h"
#include "CDlgLog.h"
#include "CIniSysInfo.h"
#include "CSpreadSheet.h"
#include "CTonvaleApp.h"
#include "CTonvaleDlg.h"
#include "Clock.h"
#include "Commands.h"
#include "HelpText.h"
#include "IniFile.h"
#include "InstrumentClock.h"
#include "KoreanLocale.h"
#include "RememberedFolders.h"
#include "SimulatedFaults.h"
#include "Simulation.h"
#include "XlsBook.h"
#include "session/SessionTestSupport.h"
#include "ui/WindowBench.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <limits>
#include <memory>
#include <signal.h>
#include <sys/resource.h>

namespace {

using Box = CTonvaleDlg::MessageBoxRequest;

const LocalFields kNow{2024, 3, 5, 14, 7, 9};

QByteArray Utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

// Answers the next file dialog once it shows, as an operator would: `answer` reads what the dialog shows and
// returns what to type, one entry after another, each confirmed with the accept button (a folder opens, a
// file name ends the dialog); nothing to type presses Escape. A dialog that does not show leaves the test to
// fail on what it did not see.
void AnswerNextFileDialog(QObject *context, std::function<QStringList(QFileDialog &, QLineEdit &)> answer)
{
    auto *poll = new QTimer(context);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, context, [poll, tries, answer] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        auto *edit = dialog ? dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
        if (!edit || !edit->isVisible()) {
            if (++*tries > 500)
                poll->deleteLater();
            return;
        }
        poll->stop();
        poll->deleteLater();
        const QStringList entries = answer(*dialog, *edit);
        if (entries.isEmpty())
            QTest::keyClick(edit, Qt::Key_Escape);
        auto *buttons = dialog->findChild<QDialogButtonBox *>();
        for (const QString &entry : entries) {
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(edit, entry);
            QApplication::processEvents();
            for (QAbstractButton *button : buttons->buttons())
                if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole)
                    QTest::mouseClick(button, Qt::LeftButton);
        }
    });
    poll->start(10);
}

} // namespace

class MainToolsTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<WindowBench> m_bench;
    QList<Box> m_boxes;
    QList<QMessageBox::StandardButton> m_answers; // taken in order; then Yes, or Ok
    QStringList m_revealed;
    QStringList m_fileAnswers; // what the operator types into the save dialogs, in order

    CTonvaleDlg &Dlg() { return *m_bench->dlg; }
    CSpreadSheet &Data() { return m_bench->dlg->DataGrid(); }
    int SetClockRequests() const { return m_bench->sim.Instrument().RequestCount(CMD_SET_CLOCK); }

    // Rows as a download's batch brings them.
    void AddRows(int sheet, const std::vector<RawRecord> &records)
    {
        RecordBatch batch;
        batch.sheet = sheet;
        batch.continuous = sheet == kContinuousSheet;
        for (const RawRecord &record : records)
            batch.records.append(reinterpret_cast<const char *>(record.data()), int(record.size()));
        Dlg().AddRecordBatch(batch);
    }
    void AddStoredRows(int count)
    {
        std::vector<RawRecord> records;
        for (int i = 0; i < count; ++i)
            records.push_back(MakeRecord({2024, 3, 1 + i, 9, 30, 0}, 980 + i, 2));
        AddRows(kStoredRecordSheet, records);
    }
    void Settle() { SETTLE(m_bench->dlg->Session()); }
    QList<int> Checks()
    {
        QList<int> values;
        for (int row = 1; row <= Data().GetRowCount(); ++row) {
            int value = -1;
            Data().GetCellInteger(1, row, &value);
            values << value;
        }
        return values;
    }
    // As the operator ticks: a click on each box that differs.
    void SetChecks(const QList<int> &values)
    {
        const QList<int> now = Checks();
        for (int row = 1; row <= values.size(); ++row)
            if (now.value(row - 1) != values[row - 1])
                QVERIFY(Data().OperatorToggleCheck(kStoredRecordSheet, 1, row));
    }

  private slots:
    void init()
    {
        m_boxes.clear();
        m_answers.clear();
        Scenario scenario;
        scenario.clock = kNow;
        scenario.telephone = QStringLiteral("012-3456-7890");
        m_bench = std::make_unique<WindowBench>(scenario, *LocalTimeFromFields(kNow), [this](WindowBench &b) {
            b.info.SetExecutablePath(b.tmp.filePath(QStringLiteral("tonvale")));
            b.info.SetWritableCheck([](const QString &) { return true; });
            b.info.Load();
            b.reply = [this](const Box &box) {
                m_boxes << box;
                if (!m_answers.isEmpty())
                    return m_answers.takeFirst();
                return box.buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
            };
        });
        m_bench->Poll();
        m_revealed.clear();
        CDlgExport::SetRevealFunction([this](const QString &path) {
            m_revealed << path;
            return true;
        });
        m_fileAnswers.clear();
        CDlgExport::SetFileQuestion(
            [this](QWidget *) { return m_fileAnswers.isEmpty() ? QString() : m_fileAnswers.takeFirst(); });
    }

    void cleanup()
    {
        CDlgExport::SetRevealFunction({});
        CDlgExport::SetFileQuestion({});
        m_bench.reset();
    }

    void readClockShowsTheInstrumentsTimeAndTelephone()
    {
        Dlg().OnReadDeviceTime();
        Settle();
        QVERIFY(m_boxes.isEmpty());
        QCOMPARE(Dlg().ClockDisplay()->text(), QStringLiteral("2024-03-05 14:07:09"));
        QCOMPARE(Dlg().TelephoneEdit()->text(), QStringLiteral("012-3456-7890"));

        // A read that fails says so and falls back to the zero texts.
        FaultPlan silent;
        silent.answers = {AnswerFault{AnswerFault::Kind::Silent, CMD_READ_CLOCK}};
        m_bench->sim.Line().SetFaults(silent);
        Dlg().OnReadDeviceTime();
        Settle();
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY(m_boxes[0].text.startsWith(QStringLiteral("장비시간 읽기 실패 : ")));
        QVERIFY(m_boxes[0].text.size() > QStringLiteral("장비시간 읽기 실패 : ").size());
        QCOMPARE(Dlg().ClockDisplay()->text(), QStringLiteral("0000-00-00 00:00:00"));
        QCOMPARE(Dlg().TelephoneEdit()->text(), QStringLiteral("000-0000-0000"));
    }

    void setClockSendsThePcsTimeAndTheServiceTelephone()
    {
        Dlg().OnSetDeviceTime();
        Settle();
        QCOMPARE(m_boxes.size(), 2);
        QCOMPARE(m_boxes[0].text, QStringLiteral("장비시간을 설정하시겠습니까?"));
        QCOMPARE(m_boxes[0].caption, QStringLiteral("설정"));
        QCOMPARE(m_boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(m_boxes[1].text, QStringLiteral("성공"));

        QByteArray sent;
        for (const auto &request : m_bench->sim.Instrument().Requests())
            if (request.command == CMD_SET_CLOCK)
                sent = request.data;
        const auto phone = *InstrumentClock::PackTelephone(InstrumentClock::ServiceTelephone());
        QCOMPARE(sent.toHex(' '),
                 (QByteArray::fromHex("07E80305 0E0709") + QByteArray(reinterpret_cast<const char *>(phone.data()), 6))
                     .toHex(' '));
        QCOMPARE(m_bench->sim.Instrument().TelephoneText(), InstrumentClock::ServiceTelephone());
        // Setting does not read back: the display stays as it was.
        QCOMPARE(Dlg().ClockDisplay()->text(), QStringLiteral("0000-00-00 00:00:00"));
        Dlg().OnReadDeviceTime();
        Settle();
        QCOMPARE(Dlg().TelephoneEdit()->text(), InstrumentClock::ServiceTelephone());
    }

    void setClockSendsNothingWithoutConsentOrWithoutAPcTime()
    {
        m_answers << QMessageBox::No;
        Dlg().OnSetDeviceTime();
        Settle();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(SetClockRequests(), 0);

        // The PC's clock gives a time the C library cannot make a local time of.
        m_bench->clock.SetNow(std::numeric_limits<qint64>::max() / 2);
        Dlg().OnSetDeviceTime();
        Settle();
        QCOMPARE(SetClockRequests(), 0);
        QCOMPARE(m_boxes.size(), 3);
        QVERIFY(m_boxes[2].text.startsWith(QStringLiteral("설정 실패 - ")));
        QVERIFY(m_boxes[2].text.contains(QStringLiteral("시간")));

        m_bench->clock.SetNow(*LocalTimeFromFields(kNow));
        FaultPlan silent;
        silent.answers = {AnswerFault{AnswerFault::Kind::Silent, CMD_SET_CLOCK}};
        m_bench->sim.Line().SetFaults(silent);
        Dlg().OnSetDeviceTime();
        Settle();
        QVERIFY(m_boxes.last().text.startsWith(QStringLiteral("설정 실패 - ")));
    }

    void selectionButtonsActOnStoredRowsOnly()
    {
        Dlg().OnSelectAll(); // no rows: nothing to do, nothing breaks
        QCOMPARE(Data().GetRowCount(), 0);

        AddStoredRows(3);
        SetChecks({1, 0, 1});
        Dlg().OnSelectInvert();
        QCOMPARE(Checks(), (QList<int>{0, 1, 0}));
        Dlg().OnSelectInvert();
        QCOMPARE(Checks(), (QList<int>{1, 0, 1}));
        Dlg().OnSelectNone();
        QCOMPARE(Checks(), (QList<int>{0, 0, 0}));
        Dlg().OnSelectAll();
        QCOMPARE(Checks(), (QList<int>{1, 1, 1}));

        // OUTPUT mode: neither sheet changes.
        SetChecks({1, 0, 1});
        Dlg().OnModeOutput();
        const RawRecord record = MakeRecord({2024, 3, 5, 9, 0, 0}, 1234, 1);
        AddRows(kContinuousSheet, {record});
        const QStringList continuousRow{Data().text(1, 4), Data().text(2, 4), Data().text(3, 4)};
        for (auto handler : {&CTonvaleDlg::OnSelectAll, &CTonvaleDlg::OnSelectNone, &CTonvaleDlg::OnSelectInvert})
            (Dlg().*handler)();
        QCOMPARE((QStringList{Data().text(1, 4), Data().text(2, 4), Data().text(3, 4)}), continuousRow);
        QCOMPARE(Data().GetRowCount(), 4);
        Dlg().OnModeMemory();
        QCOMPARE(Checks(), (QList<int>{1, 0, 1}));
    }

    void helpShowsHelpDatOrTheContactNotice()
    {
        const QString text = QStringLiteral("도움말\r\n1. 장비 조회를 누릅니다.\r\n\r\n2. 엑셀 저장\n끝");
        QFile file(m_bench->tmp.filePath(QStringLiteral("help.dat")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\xFF\xFE") + Utf16(text));
        file.close();

        Dlg().show();
        QApplication::setActiveWindow(&Dlg());
        QVERIFY(QTest::qWaitForWindowActive(&Dlg()));
        QTest::keyClick(&Dlg(), Qt::Key_F1);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, text);
        QCOMPARE(m_boxes[0].caption, QStringLiteral("정보"));
        QCOMPARE(m_boxes[0].buttons, QMessageBox::Ok);

        QVERIFY(file.remove());
        QTest::keyClick(&Dlg(), Qt::Key_F1);
        QCOMPARE(m_boxes.size(), 2);
        QCOMPARE(m_boxes[1].text, HelpText::BuiltInContactText());
    }

    void exitAsksAndOnlyYesEndsTheWindow()
    {
        Dlg().show();
        QVERIFY(QTest::qWaitForWindowExposed(&Dlg()));
        AddStoredRows(2);
        m_answers << QMessageBox::No << QMessageBox::No;
        QTest::keyClick(&Dlg(), Qt::Key_Escape);
        Dlg().close();
        QCOMPARE(m_boxes.size(), 2);
        for (const Box &box : m_boxes) {
            QCOMPARE(box.text, QStringLiteral("프로그램을 종료하시겠습니까?"));
            QCOMPARE(box.caption, QStringLiteral("프로그램 종료"));
            QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
        }
        QVERIFY(Dlg().isVisible());
        QCOMPARE(Dlg().result(), 0);
        QCOMPARE(Data().GetRowCount(), 2);

        QTest::keyClick(&Dlg(), Qt::Key_Escape);
        QVERIFY(!Dlg().isVisible());
        QCOMPARE(Dlg().result(), int(QDialog::Accepted));
    }

    void escapeThenEnterKeepsTheProgramRunning()
    {
        Dlg().show();
        QVERIFY(QTest::qWaitForWindowExposed(&Dlg()));
        Dlg().SetMessageBoxHandler({}); // the real box, answered with Enter as a habit would
        QString shown;
        QTimer::singleShot(0, this, [&shown] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            shown = box->windowTitle() + '|' + box->text();
            for (QAbstractButton *button : box->buttons())
                shown += '|' + button->text();
            QTest::keyClick(box, Qt::Key_Return);
        });
        QTest::keyClick(&Dlg(), Qt::Key_Escape);
        QCOMPARE(shown, QStringLiteral("프로그램 종료|프로그램을 종료하시겠습니까?|예(&Y)|아니요(&N)"));
        QVERIFY(Dlg().isVisible());
        QCOMPARE(Dlg().result(), 0);
    }

    void logButtonShowsAndHidesTheLogWindow()
    {
        QVERIFY(Dlg().LogWindow());
        QVERIFY(!Dlg().LogWindow()->isVisible());
        Dlg().OnShowLog();
        QVERIFY(Dlg().LogWindow()->isVisible());
        Dlg().OnShowLog();
        QVERIFY(!Dlg().LogWindow()->isVisible());
    }

    void adminModeRunsTheConsoleOnTheWindowsLink()
    {
        QString seen;
        Qt::WindowModality modality = Qt::NonModal;
        QTimer::singleShot(0, [&] {
            auto *admin = qobject_cast<CDlgAdmin *>(QApplication::activeModalWidget());
            seen = admin ? admin->windowTitle() : QStringLiteral("none");
            if (admin) {
                modality = admin->windowModality();
                static_cast<QDialog *>(admin)->done(QDialog::Rejected);
            }
        });
        Dlg().OnAdminMode();
        QCOMPARE(seen, QStringLiteral("관리자 모드"));
        // The console holds only the main window; the log window, a window of its own, stays usable.
        QCOMPARE(modality, Qt::WindowModal);
        QVERIFY(Dlg().LogWindow()->parentWidget() == nullptr);
        // The link is still the window's and still works.
        Dlg().OnReadDeviceTime();
        Settle();
        QCOMPARE(Dlg().ClockDisplay()->text().left(10), QStringLiteral("2024-03-05"));
    }

    void exportWritesTheMemoryReportAndKeepsTheTexts()
    {
        Dlg().ReadDeviceInfo();
        Settle();
        Dlg().DeviceGrid().SetCellTextIfChanged(4, 1, QStringLiteral("한빛 프레스"));
        Dlg().DeviceGrid().SetCellTextIfChanged(2, 2, QStringLiteral("3월 점검"));
        Dlg().DeviceGrid().SetCellTextIfChanged(4, 2, QStringLiteral("김 민준"));
        AddStoredRows(10);
        SetChecks({0, 1, 0, 0, 1, 0, 0, 0, 1, 0});

        m_fileAnswers << m_bench->tmp.filePath(QStringLiteral("Report.XLS"));
        Dlg().OnExportExcel();
        const QString path = m_bench->tmp.filePath(QStringLiteral("Report.XLS"));
        // The operator is told where the file went; Yes opens its folder.
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY2(m_boxes[0].text.contains(path), qPrintable(m_boxes[0].text));
        QCOMPARE(m_boxes[0].icon, QMessageBox::Information);
        QCOMPARE(m_revealed, QStringList{path});

        const XlsBook book = ReadXls(path);
        QVERIFY2(book.Ok(), qPrintable(book.error));
        QCOMPARE(book.Text(5, 1), QStringLiteral("한빛 프레스"));
        QCOMPARE(book.Text(3, 2), QStringLiteral("3월 점검"));
        QCOMPARE(book.Text(5, 2), QStringLiteral("김 민준"));
        QCOMPARE(book.Text(3, 1), Dlg().DeviceGrid().text(2, 1));
        QCOMPARE(book.Text(3, 3), Dlg().DeviceGrid().text(2, 3));
        QCOMPARE(book.Text(5, 6), Dlg().DeviceGrid().text(4, 6));
        QCOMPARE(book.Rows(), 12);
        for (int k = 1; k <= 3; ++k) {
            const int row = QList<int>{2, 5, 9}[k - 1];
            QCOMPARE(book.RowTexts(9 + k), (QStringList{QString::number(k), Data().text(3, row), Data().text(4, row),
                                                        Data().text(5, row), Data().text(6, row)}));
        }

        CIniSysInfo reread;
        reread.SetExecutablePath(m_bench->info.exePath);
        reread.SetWritableCheck([](const QString &) { return true; });
        reread.Load();
        QCOMPARE(reread.company, QStringLiteral("한빛 프레스"));
        QCOMPARE(reread.reportName, QStringLiteral("3월 점검"));
        QCOMPARE(reread.userName, QStringLiteral("김 민준"));
    }

    void exportSaysWhenTheFolderCannotBeOpened()
    {
        // The desktop's own way of showing the file, on a desktop without a file manager, a session bus
        // or a program that opens folders.
        CDlgExport::SetRevealFunction({});
        const QByteArray path = qgetenv("PATH"), bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        const bool busSet = qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS");
        QTemporaryDir nothing;
        qputenv("PATH", nothing.path().toLocal8Bit());
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + nothing.filePath(QStringLiteral("bus")).toLocal8Bit());
        AddStoredRows(2);
        const QString target = m_bench->tmp.filePath(QStringLiteral("Report.xls"));
        m_fileAnswers << target;
        Dlg().OnExportExcel(); // "Yes" to opening the folder
        qputenv("PATH", path);
        if (busSet)
            qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
        else
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");

        QVERIFY(QFile::exists(target));
        QCOMPARE(m_boxes.size(), 2);
        QVERIFY2(m_boxes[1].text.startsWith(QStringLiteral("폴더를 열 수 없습니다")) &&
                     m_boxes[1].text.contains(target),
                 qPrintable(m_boxes[1].text));
        QCOMPARE(m_boxes[1].icon, QMessageBox::Warning);
    }

    void exportOfOutputTakesEveryRecord()
    {
        Dlg().OnModeOutput();
        std::vector<RawRecord> records;
        for (int i = 0; i < 3; ++i)
            records.push_back(MakeRecord({2024, 3, 5, 10, 0, i}, 1500 + i, 0));
        AddRows(kContinuousSheet, records);
        m_fileAnswers << m_bench->tmp.filePath(QStringLiteral("Report"));
        Dlg().OnExportExcel();
        const QString path = m_bench->tmp.filePath(QStringLiteral("Report.xls"));
        QCOMPARE(m_revealed, QStringList{path});
        const XlsBook book = ReadXls(path);
        QVERIFY2(book.Ok(), qPrintable(book.error));
        QCOMPARE(book.Rows(), 14);
        QCOMPARE(book.Text(1, 8).trimmed(), QStringLiteral("연속 측정 모드 데이터"));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(book.RowTexts(12 + i),
                     (QStringList{QString::number(i + 1), Data().text(2, 4 + i), Data().text(3, 4 + i),
                                  Data().text(4, 4 + i), Data().text(5, 4 + i)}));
    }

    // Texts that cannot be kept in the INI file (here a folder stands in its place) are reported; the
    // workbook is written all the same.
    void exportSaysWhenTheTextsCannotBeKept()
    {
        QVERIFY(QDir().mkpath(m_bench->info.iniPath));
        Dlg().DeviceGrid().SetCellTextIfChanged(4, 1, QStringLiteral("새 회사"));
        m_fileAnswers << m_bench->tmp.filePath(QStringLiteral("kept.xls"));
        Dlg().OnExportExcel();
        const auto failure = std::find_if(m_boxes.begin(), m_boxes.end(), [&](const auto &box) {
            return box.text.startsWith(QStringLiteral("설정 파일을 저장할 수 없습니다: ") + m_bench->info.iniPath);
        });
        QVERIFY(failure != m_boxes.end());
        QCOMPARE(failure->icon, QMessageBox::Warning);
        QCOMPARE(m_revealed, QStringList{m_bench->tmp.filePath(QStringLiteral("kept.xls"))});
        QVERIFY(QFileInfo(m_bench->info.iniPath).isDir());
    }

    // "old" becomes "old.xls", which exists: the operator is asked first. A save that fails half-way says so
    // and leaves the older workbook whole; the texts are in the INI file all the same.
    void exportAsksBeforeReplacingAndFailsVisibly()
    {
        AddStoredRows(1);
        const QString path = m_bench->tmp.filePath(QStringLiteral("old.xls"));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("older workbook");
        }
        Dlg().DeviceGrid().SetCellTextIfChanged(4, 1, QStringLiteral("새 회사"));

        m_answers << QMessageBox::No;
        m_fileAnswers << m_bench->tmp.filePath(QStringLiteral("old"));
        Dlg().OnExportExcel();
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY(m_boxes[0].text.contains(QStringLiteral("old.xls")));
        QCOMPARE(m_boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(m_revealed.isEmpty());
        QVERIFY(!QFile::exists(m_bench->info.iniPath)); // declined before anything was done

        // Yes, but the disk then takes only 512 bytes (a file-size limit holds for root too). The limit
        // starts with the answer, so that only the export itself meets it.
        signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        Dlg().SetMessageBoxHandler([&](const Box &box) {
            m_boxes << box;
            if (box.buttons.testFlag(QMessageBox::Yes)) {
                rlimit small = saved;
                small.rlim_cur = 512;
                setrlimit(RLIMIT_FSIZE, &small);
                return QMessageBox::Yes;
            }
            setrlimit(RLIMIT_FSIZE, &saved);
            return QMessageBox::Ok;
        });
        m_fileAnswers << m_bench->tmp.filePath(QStringLiteral("old"));
        Dlg().OnExportExcel();
        setrlimit(RLIMIT_FSIZE, &saved);

        QCOMPARE(m_boxes.size(), 3);
        QVERIFY2(m_boxes[2].text.startsWith(QStringLiteral("엑셀 저장 실패 : ")), qPrintable(m_boxes[2].text));
        QVERIFY(m_boxes[2].text.size() > QStringLiteral("엑셀 저장 실패 : ").size() + 3);
        QVERIFY(m_revealed.isEmpty());
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("older workbook"));
        QFile ini(m_bench->info.iniPath);
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(ini.readAll()).contains(QStringLiteral("새 회사")));
    }

    // No ticked row: the operator is asked before the save dialog; No ends the export, Yes writes the report
    // of the header and the template's model row. OUTPUT takes every record and never asks.
    void exportWithNoTickedRowAsksFirst()
    {
        AddStoredRows(3);
        SetChecks({0, 0, 0});
        const QString path = m_bench->tmp.filePath(QStringLiteral("empty.xls"));
        m_fileAnswers << path;
        m_answers << QMessageBox::No;
        Dlg().OnExportExcel();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, CDlgExport::kNothingTickedQuestion);
        QCOMPARE(m_boxes[0].icon, QMessageBox::Question);
        QCOMPARE(m_fileAnswers.size(), 1); // the save dialog never opened
        QVERIFY(!QFile::exists(path));

        m_answers << QMessageBox::Yes << QMessageBox::No;
        Dlg().OnExportExcel();
        QCOMPARE(m_boxes.size(), 3); // the question again, then where the file went
        QVERIFY(m_boxes[2].text.contains(path));
        QVERIFY(m_revealed.isEmpty()); // No: the folder stays closed
        const XlsBook book = ReadXls(path);
        QVERIFY2(book.Ok(), qPrintable(book.error));
        QCOMPARE(book.RowTexts(10), (QStringList{"1", "-", "-", "-", "-"}));

        Dlg().OnModeOutput();
        m_fileAnswers << m_bench->tmp.filePath(QStringLiteral("output.xls"));
        Dlg().OnExportExcel();
        QCOMPARE(m_boxes.size(), 4);
        QVERIFY(m_boxes[3].text.contains(QStringLiteral("output.xls")));
    }

    // Qt's own save dialog, driven by the keyboard: it first opens in the documents folder (or home) with the
    // name of serial, mode and date; after an export it opens where that export went, and the configuration
    // file remembers the folder for the next start.
    void saveDialogProposesTheLastFolderAndANameOfSerialModeAndDate()
    {
        CDlgExport::SetFileQuestion({});
        KoreanLocale::Install(); // as the program does at start-up
        Dlg().ReadDeviceInfo();
        Settle();
        AddStoredRows(2);
        const QString serial = Dlg().DeviceGrid().text(4, 3);
        QVERIFY(!serial.isEmpty() && serial != QStringLiteral("-"));
        const QString proposed = serial + QStringLiteral("_MEMORY_2024-03-05.xls");
        const QString exports = m_bench->tmp.filePath(QStringLiteral("exports"));
        QVERIFY(QDir().mkpath(exports));

        struct Seen {
            QString folder, name, accept;
        };
        // The operator goes to a folder (as from the side bar) and types a name, or cancels.
        auto answerDialog = [this](Seen &seen, const QString &folder, const QStringList &typed) {
            AnswerNextFileDialog(this, [&seen, folder, typed](QFileDialog &dialog, QLineEdit &edit) {
                seen.folder = dialog.directory().absolutePath();
                seen.name = edit.text();
                seen.accept = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->text();
                if (!folder.isEmpty())
                    dialog.setDirectory(folder);
                return typed;
            });
        };

        Seen first;
        answerDialog(first, exports, {QStringLiteral("first")});
        Dlg().OnExportExcel();
        QString fallback = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (!QFileInfo(fallback).isDir())
            fallback = QDir::homePath();
        QCOMPARE(first.folder, QDir(fallback).absolutePath());
        QCOMPARE(first.name, proposed);
        // Qt's own dialog in Korean, not the desktop's.
        QVERIFY2(first.accept.startsWith(QStringLiteral("저장")), qPrintable(first.accept));
        // ".xls" appended to the name typed.
        QVERIFY(QFile::exists(exports + QStringLiteral("/first.xls")));

        Seen second;
        answerDialog(second, QString(), {});
        Dlg().OnExportExcel();
        QCOMPARE(second.folder, exports);
        QCOMPARE(second.name, proposed);

        const QString ini = IniFile::ReadFile(m_bench->info.iniPath).value_or(IniFile::Contents{}).text;
        QCOMPARE(IniFile::FindValue(ini, QStringLiteral("PATHS"), QStringLiteral("EXPORT_DIR")).value_or(QString()),
                 exports);
    }

    // The firmware dialog keeps a folder of its own, apart from the export's.
    void firmwareDialogRemembersItsOwnFolder()
    {
        const QString firmware = m_bench->tmp.filePath(QStringLiteral("fw"));
        QVERIFY(QDir().mkpath(firmware));
        QFile image(firmware + QStringLiteral("/image.bin"));
        QVERIFY(image.open(QIODevice::WriteOnly));
        image.close();
        TonvaleApp().sysInfo.iniPath = m_bench->info.iniPath;
        QVERIFY(RememberedFolders::RememberFolderOf(m_bench->info.iniPath, RememberedFolders::kExportKey,
                                                    m_bench->tmp.filePath(QStringLiteral("report.xls"))));

        // The operator goes to the firmware's folder (as from the side bar), then names the image.
        QString opened;
        auto answer = [this, &opened](const QString &folder, const QStringList &typed) {
            AnswerNextFileDialog(this, [&opened, folder, typed](QFileDialog &dialog, QLineEdit &) {
                opened = dialog.directory().absolutePath();
                if (!folder.isEmpty())
                    dialog.setDirectory(folder);
                return typed;
            });
        };
        DialogPrompts prompts;
        answer(firmware, {QStringLiteral("image.bin")});
        QCOMPARE(prompts.ChooseFirmwareFile(&Dlg()), image.fileName());
        QCOMPARE(opened, QDir::currentPath());

        answer(QString(), {});
        QCOMPARE(prompts.ChooseFirmwareFile(&Dlg()), QString());
        QCOMPARE(opened, firmware);
        QCOMPARE(RememberedFolders::Folder(m_bench->info.iniPath, RememberedFolders::kExportKey, QString()),
                 m_bench->tmp.path());
        TonvaleApp().sysInfo.iniPath.clear();
    }
};

QTEST_MAIN(MainToolsTest)
#include "MainToolsTest.moc"
