// The administrator console on the simulated instrument and a virtual clock: what it shows, what it
// sends, and what the instrument holds afterwards.

#include "CDlgAdmin.h"
#include "AdminPrompts.h"
#include "CFt260.h"
#include "CSpreadSheet.h"
#include "CalibrationFields.h"
#include "Clock.h"
#include "InstrumentClock.h"
#include "SessionHost.h"
#include "SessionJobs.h"
#include "Simulation.h"
#include "SpreadSheetView.h"
#include "session/SessionTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>

namespace {

// Answers every question from a script (Yes unless told otherwise) and keeps what was asked and shown.
struct ScriptedPrompts : AdminPrompts {
    QStringList questions;
    QStringList notices;
    QList<bool> defaultNo; // for each question, whether Enter would answer No
    std::deque<bool> answers;
    QString file;
    std::function<void()> whileAsking;

    bool Ask(QWidget *, const QString &text, bool noByDefault) override
    {
        questions << text;
        defaultNo << noByDefault;
        if (whileAsking)
            whileAsking();
        if (answers.empty())
            return true;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    void Notify(QWidget *, const QString &text) override { notices << text; }
    QString ChooseFirmwareFile(QWidget *) override { return file; }
};

// One console on one simulated instrument.
struct Rig {
    VirtualClock clock;
    Simulation sim;
    SessionHost host;
    ScriptedPrompts prompts;
    int logToggles = 0;
    CDlgAdmin dlg;

    explicit Rig(const Scenario &scenario = Scenario())
        : sim(scenario, clock), host(sim.Bridge(), sim.Discovery(), clock), dlg(host, [this] { ++logToggles; })
    {
        host.PollPresence();
        settle();
        dlg.SetPrompts(&prompts);
        dlg.Create();
    }
    // Waits for the console's job (and any other) to end.
    void settle() { SETTLE(host); }

    CSpreadSheet &info() { return dlg.InfoGrid(); }
    CSpreadSheet &cal() { return dlg.CalGrid(); }
    SimulatedInstrument &instrument() { return sim.Instrument(); }
    template <class T> T *item(int id) { return dlg.DlgItem<T>(id); }
    QCheckBox *autoRead() { return item<QCheckBox>(CDlgAdmin::IDC_AUTO_READ); }
    QString status() { return item<QLabel>(CDlgAdmin::IDC_FIRMWARE_STATUS)->text(); }
    QPushButton *upload() { return item<QPushButton>(CDlgAdmin::IDC_UPLOAD); }

    void silence(uint8_t command, int occurrence = 0)
    {
        FaultPlan plan;
        plan.answers.push_back({AnswerFault::Kind::Silent, command, occurrence});
        sim.Line().SetFaults(plan);
    }
    // Information read, automatic reading on: the state in which the timer reads calibration values.
    void readyForCalibration()
    {
        dlg.QueryDeviceInfo();
        settle();
        QVERIFY(dlg.InfoRead());
        autoRead()->setChecked(true);
    }
    QByteArray lastData(uint8_t command)
    {
        const auto &requests = instrument().Requests();
        for (auto it = requests.rbegin(); it != requests.rend(); ++it) {
            if (it->command == command)
                return it->data;
        }
        return QByteArray();
    }
    QString firmwareFile(const QByteArray &bytes)
    {
        QFile f(dir.filePath(QString("fw%1.bin").arg(++files)));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }
    void chooseFirmware(const QString &path)
    {
        prompts.file = path;
        dlg.OnBnClickedFirmwareOpen();
    }

    QTemporaryDir dir;
    int files = 0;
};

QByteArray Image(int size)
{
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = char(i * 7 + 1);
    image[0] = 0x33;
    image[1] = 0x55;
    return image;
}

// The value cells of the information grid, in reading order.
const std::pair<int, int> kValueCells[] = {{2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5},
                                           {5, 1}, {5, 2}, {5, 3}, {5, 4}, {5, 6}};

} // namespace

class CDlgAdminTest : public QObject {
    Q_OBJECT

  private slots:
    void templateLaysOutEveryControl();
    void fullQueryFillsEveryValueCell();
    void unsetFieldsAndBattery();
    void clockYearWindow();
    void failingVersionDoesNotStopTheQuery();
    void failureStopsTheQueryAndKeepsEarlierCells();
    void traceLines();
    void identityWritesReachTheInstrument();
    void identityWritesRefusedOrSkipped();
    void clockWrites();
    void timerTicksAndReadsCalibration();
    void radiosRelabelAndRead();
    void correctionAndCaptureWrites();
    void firmwareUploadInBlocks();
    void firmwareHeaderOnlyAndAnswers();
    void firmwareFailuresStopAtOnce();
    void firmwareFileChoices();
    void armedFirmwareLocksOut();
    void automaticReadingRecoversAfterFailedReads();
    void nothingClosesTheConsoleDuringAnUpload();
    void aCaptureAtTheWrongLoadIsToldAndEnterRefusesIt();
};

void CDlgAdminTest::templateLaysOutEveryControl()
{
    Rig rig;
    const DialogTemplate t = CDlgAdmin::MakeTemplate();
    QCOMPARE(t.cx, 699);
    QCOMPARE(t.cy, 304);
    const CDlgFontScaler &scaler = rig.dlg.FontScaler();
    for (const DialogControl &c : t.controls) {
        QWidget *w = rig.dlg.GetDlgItem(c.id);
        QVERIFY2(w, qPrintable(QString::number(c.id)));
        if (c.kind != ControlClass::Grid)
            QCOMPARE(w->geometry(), scaler.DialogUnitsToPixels(QRect(c.x, c.y, c.cx, c.cy)));
    }
    // The information grid fills the width beside "장비 조회", the calibration grid its group box.
    QWidget *query = rig.dlg.GetDlgItem(CDlgAdmin::IDC_QUERY_INFO);
    QWidget *infoView = rig.dlg.GetDlgItem(CDlgAdmin::IDC_INFO_GRID);
    QCOMPARE(infoView->geometry().left(), query->geometry().right() + 6);
    QCOMPARE(infoView->geometry().right(), rig.dlg.width() - 6);
    QCOMPARE(infoView->geometry().top(), query->geometry().top());
    QWidget *group = rig.dlg.GetDlgItem(CDlgAdmin::IDC_CAL_GROUP);
    QCOMPARE(rig.dlg.GetDlgItem(CDlgAdmin::IDC_CAL_GRID)->geometry().left(), group->geometry().left() + 5);

    QVERIFY(!rig.upload()->isEnabled());
    QVERIFY(!rig.item<QPushButton>(CDlgAdmin::IDC_CANCEL_UPLOAD)->isEnabled());
    QVERIFY(rig.item<QRadioButton>(CDlgAdmin::IDC_LOADCELL_15)->isChecked());
    QVERIFY(!rig.autoRead()->isChecked());
    QCOMPARE(rig.cal().text(1, 5), QString("140 KN"));
    int ticked = 0;
    rig.info().GetCellInteger(6, 5, &ticked);
    QCOMPARE(ticked, 1);

    rig.item<QPushButton>(CDlgAdmin::IDC_SHOW_LOG)->click();

    rig.settle();
    QCOMPARE(rig.logToggles, 1);
}

void CDlgAdminTest::fullQueryFillsEveryValueCell()
{
    Rig rig;
    rig.info().SetCellTextIfChanged(2, 3, "old");
    rig.item<QPushButton>(CDlgAdmin::IDC_QUERY_INFO)->click();
    rig.settle();
    QVERIFY(rig.dlg.InfoRead());
    QVERIFY(rig.prompts.notices.isEmpty());
    for (const auto &[col, row] : kValueCells)
        QVERIFY2(!rig.info().text(col, row).isEmpty(), qPrintable(QString("%1,%2").arg(col).arg(row)));
    QCOMPARE(rig.info().text(2, 1), QString("PFM-3000"));
    QCOMPARE(rig.info().text(2, 3), QString("L15-24031"));
    QCOMPARE(rig.info().text(5, 1), QString("V1.3"));
    QCOMPARE(rig.info().text(5, 2), QString("87 %"));
    QCOMPARE(rig.info().text(5, 4), QString("C25-240115"));
    QCOMPARE(rig.info().text(4, 6), QString("장비 시간"));
}

void CDlgAdminTest::unsetFieldsAndBattery()
{
    Scenario s;
    s.battery = 0xFF;
    s.identity[CMD_READ_LC15_SN] = QByteArray(9, '\xFF');
    s.identity[CMD_READ_LC30_SN] = QByteArray(9, '\0');
    Rig rig(s);
    rig.dlg.QueryDeviceInfo();
    rig.settle();
    QVERIFY(rig.dlg.InfoRead());
    QCOMPARE(rig.info().text(5, 2), QString("-1 %"));
    QCOMPARE(rig.info().text(2, 3), QString("-"));
    QCOMPARE(rig.info().text(2, 4), QString("-"));
}

void CDlgAdminTest::clockYearWindow()
{
    for (int year : {1970, 1971, 2199, 2200}) {
        Rig rig;
        QVERIFY(rig.instrument().SetClock(LocalFields{year, 6, 1, 12, 0, 0}));
        rig.dlg.QueryDeviceInfo();
        rig.settle();
        QVERIFY(rig.dlg.InfoRead()); // an unset clock is not an error
        const QString shown = rig.info().text(5, 6);
        if (year == 1970 || year == 2200)
            QCOMPARE(shown, QString("-"));
        else
            QVERIFY2(shown.startsWith(QString("%1-06-01 12:00:0").arg(year)), qPrintable(shown));
    }
}

void CDlgAdminTest::failingVersionDoesNotStopTheQuery()
{
    Rig rig;
    rig.silence(CMD_READ_VERSION);
    rig.dlg.QueryDeviceInfo();
    rig.settle();
    QVERIFY(rig.dlg.InfoRead());
    QVERIFY(rig.prompts.notices.isEmpty());
    QCOMPARE(rig.info().text(5, 1), QString());
    QCOMPARE(rig.info().text(5, 2), QString("87 %"));
    QVERIFY(!rig.info().text(5, 6).isEmpty());
}

void CDlgAdminTest::failureStopsTheQueryAndKeepsEarlierCells()
{
    Rig rig;
    rig.dlg.QueryDeviceInfo(); // a full first query: its values must go
    rig.settle();
    rig.autoRead()->setChecked(true);
    rig.silence(CMD_READ_LC15_SN);
    rig.instrument().ClearRequests();
    rig.dlg.QueryDeviceInfo();
    rig.settle();

    QVERIFY(!rig.dlg.InfoRead());
    QCOMPARE(rig.prompts.notices, QStringList{"UART 읽기 실패 (-1092)"});
    QVERIFY(!rig.autoRead()->isChecked());
    QCOMPARE(rig.info().text(2, 1), QString("PFM-3000"));
    QCOMPARE(rig.info().text(2, 2), QString("PF24050117"));
    for (const auto &[col, row] : kValueCells) {
        if (col == 5 || row > 2)
            QVERIFY2(rig.info().text(col, row).isEmpty(), qPrintable(QString("%1,%2").arg(col).arg(row)));
    }
    QCOMPARE(rig.info().text(4, 6), QString("장비 시간"));
    QCOMPARE(rig.instrument().Requests().size(), size_t(3)); // nothing after the failing read
    // The answer never came: no bytes, count 0, the read failure.
    QVERIFY(rig.item<QLabel>(CDlgAdmin::IDC_TRACE_RECV)->text().endsWith("]  (0 BYTE) UART 읽기 실패 (-1092)"));
}

void CDlgAdminTest::traceLines()
{
    Rig rig;
    SessionClient client(rig.host);
    JobResult read;
    QObject::connect(&client, &SessionClient::jobFinished, [&](const JobResult &r) { read = r; });
    client.Submit(SessionJobs::Read(CMD_READ_BATTERY));
    rig.settle();
    QCOMPARE(read.code, 0);
    rig.dlg.ShowTrace(read.trace);
    const QString send = rig.item<QLabel>(CDlgAdmin::IDC_TRACE_SEND)->text();
    const QString recv = rig.item<QLabel>(CDlgAdmin::IDC_TRACE_RECV)->text();
    QVERIFY2(send.startsWith("SEND : [2024-05-01 09:00:0"), qPrintable(send));
    QVERIFY2(send.endsWith("] 02 02 33 00 33 03  (6 BYTE)"), qPrintable(send));
    QVERIFY2(recv.endsWith("] 02 02 33 57 64 03  (6 BYTE) 성공 (0)"), qPrintable(recv));
}

void CDlgAdminTest::identityWritesReachTheInstrument()
{
    struct Case {
        int col, row;
        uint8_t write, read;
        QString value;
        QByteArray stored;
    };
    const Case cases[] = {
        {3, 2, CMD_WRITE_SERIAL, CMD_READ_SERIAL, "A12", QByteArray("A12\0\0\0\0\0\0\0\0", 11)},
        {3, 2, CMD_WRITE_SERIAL, CMD_READ_SERIAL, "A1234567890", QByteArray("A1234567890")},
        {3, 3, CMD_WRITE_LC15_SN, CMD_READ_LC15_SN, "L15-00001", QByteArray("L15-00001")},
        {3, 4, CMD_WRITE_LC30_SN, CMD_READ_LC30_SN, "L30", QByteArray("L30\0\0\0\0\0\0", 9)},
        {3, 5, CMD_WRITE_LC30_COVER_SN, CMD_READ_LC30_COVER_SN, "C30", QByteArray("C30\0\0\0\0\0\0\0", 10)},
        {6, 3, CMD_WRITE_LC15_COVER_SN, CMD_READ_LC15_COVER_SN, "C15-999", QByteArray("C15-999\0\0\0", 10)},
        {6, 4, CMD_WRITE_LC25_COVER_SN, CMD_READ_LC25_COVER_SN, "가나다라마",
         QByteArray("\xB0\xA1\xB3\xAA\xB4\xD9\xB6\xF3\xB8\xB6", 10)},
    };
    Rig rig;
    for (const Case &c : cases) {
        rig.prompts.questions.clear();
        rig.prompts.notices.clear();
        rig.info().SetCellTextIfChanged(c.col - 1, c.row, c.value);
        rig.dlg.OnButtonClickedInfoGrid(c.col, c.row, 0);
        rig.settle();
        QCOMPARE(
            rig.prompts.questions,
            QStringList{QString("%1-'%2' 값을 설정하시겠습니까?").arg(rig.info().text(c.col - 2, c.row), c.value)});
        QCOMPARE(rig.prompts.notices, QStringList{"성공"});
        QCOMPARE(rig.lastData(c.write), c.stored);
        QCOMPARE(rig.instrument().IdentityField(c.read), c.stored);
    }

    // A failing write says why.
    rig.prompts.notices.clear();
    rig.silence(CMD_WRITE_SERIAL);
    rig.info().SetCellTextIfChanged(2, 2, "B1");
    rig.dlg.OnButtonClickedInfoGrid(3, 2, 0);
    rig.settle();
    QCOMPARE(rig.prompts.notices, QStringList{"설정 실패 - UART 읽기 실패 (-1092)"});
}

void CDlgAdminTest::identityWritesRefusedOrSkipped()
{
    Rig rig;
    const QByteArray before = rig.instrument().IdentityField(CMD_READ_SERIAL);

    rig.prompts.answers = {false}; // No
    rig.info().SetCellTextIfChanged(2, 2, "A12");
    rig.dlg.OnButtonClickedInfoGrid(3, 2, 0);
    rig.settle();
    rig.info().SetCellTextIfChanged(2, 2, "가나다라마바"); // 12 bytes for an 11-byte field
    rig.dlg.OnButtonClickedInfoGrid(3, 2, 0);
    rig.settle();
    rig.info().SetCellTextIfChanged(2, 2, QString::fromUtf8("A\xF0\x9F\x98\x80")); // no code page 949 form
    rig.dlg.OnButtonClickedInfoGrid(3, 2, 0);
    rig.settle();
    rig.info().SetCellTextIfChanged(2, 2, QString());
    rig.dlg.OnButtonClickedInfoGrid(3, 2, 0); // empty: ignored silently
    rig.settle();
    rig.dlg.OnButtonClickedInfoGrid(6, 5, 0); // the check box
    rig.settle();
    rig.dlg.OnButtonClickedInfoGrid(5, 2, 0); // no button
    rig.settle();

    QCOMPARE(rig.prompts.questions.size(), 1);
    QCOMPARE(rig.prompts.notices.size(), 2);
    QVERIFY(rig.prompts.notices[0].contains("너무 깁니다"));
    QVERIFY(rig.prompts.notices[1].contains("저장할 수 없는 문자"));
    QVERIFY(rig.instrument().Requests().empty());
    QCOMPARE(rig.instrument().IdentityField(CMD_READ_SERIAL), before);
}

void CDlgAdminTest::clockWrites()
{
    Rig rig;
    const auto packed = InstrumentClock::PackTelephone(InstrumentClock::ServiceTelephone());
    QVERIFY(packed);
    const QByteArray phone(reinterpret_cast<const char *>(packed->data()), int(packed->size()));

    // Ticked: the PC's time, whatever the cell holds.
    rig.info().SetCellTextIfChanged(5, 6, "garbage");
    rig.dlg.OnButtonClickedInfoGrid(6, 6, 0);
    rig.settle();
    QCOMPARE(rig.prompts.questions, QStringList{"장비시간을 설정하시겠습니까?"});
    QCOMPARE(rig.prompts.notices, QStringList{"성공"});
    const QByteArray pcTime = rig.lastData(CMD_SET_CLOCK);
    QCOMPARE(pcTime.size(), 13);
    QCOMPARE(pcTime.left(7), QByteArray("\x07\xE8\x05\x01\x09\x00\x00", 7)); // 2024-05-01 09:00:00 in Seoul
    QCOMPARE(pcTime.mid(7), phone);
    QCOMPARE(rig.instrument().TelephoneBytes(), phone);

    // Unticked: the typed time.
    rig.info().SetCellInteger(6, 5, 0);
    rig.prompts.notices.clear();
    rig.info().SetCellTextIfChanged(5, 6, "2024-03-05 07:08:09");
    rig.dlg.OnButtonClickedInfoGrid(6, 6, 0);
    rig.settle();
    QCOMPARE(rig.prompts.notices, QStringList{"성공"});
    QCOMPARE(rig.lastData(CMD_SET_CLOCK).left(7), QByteArray("\x07\xE8\x03\x05\x07\x08\x09", 7));
    const LocalFields set = rig.instrument().ClockFields();
    QCOMPARE(QList<int>({set.year, set.month, set.day, set.hour, set.minute}), QList<int>({2024, 3, 5, 7, 8}));

    // Refused before the question, and nothing is sent.
    const size_t sent = rig.instrument().Requests().size();
    const qsizetype asked = rig.prompts.questions.size();
    for (const char *typed : {"2024-3-5 7:8:9", "2024-02-31 07:08:09", "2024-13-05 07:08:09", "2024-ab-05 07:08:09"}) {
        rig.prompts.notices.clear();
        rig.info().SetCellTextIfChanged(5, 6, typed);
        rig.dlg.OnButtonClickedInfoGrid(6, 6, 0);
        rig.settle();
        QCOMPARE(rig.prompts.notices, QStringList{"시간 정보가 잘못되었습니다. 확인바랍니다."});
    }
    QCOMPARE(rig.prompts.questions.size(), asked);
    QCOMPARE(rig.instrument().Requests().size(), sent);
}

void CDlgAdminTest::timerTicksAndReadsCalibration()
{
    Scenario s;
    s.calibration[0] = CalibrationTable{{0xFFFFFF, 1, 2, 3}, 4, {0, -2048, 63487}};
    Rig rig(s);
    QVERIFY(rig.dlg.TimerActive());
    rig.dlg.OnTimer();
    rig.settle();
    QCOMPARE(rig.info().text(5, 5), QString("2024-05-01 09:00:00"));
    rig.clock.AdvanceMicros(1000000);
    rig.dlg.OnTimer();
    rig.settle();
    QCOMPARE(rig.info().text(5, 5), QString("2024-05-01 09:00:01"));
    QVERIFY(rig.instrument().Requests().empty()); // no information read yet

    rig.readyForCalibration();
    rig.dlg.OnTimer();
    rig.settle();
    QCOMPARE(rig.instrument().RequestCount(CMD_READ_CAL15), 1);
    QCOMPARE(rig.cal().text(2, 2), QString("16777215"));
    QCOMPARE(rig.cal().text(2, 6), QString("4"));
    QCOMPARE(rig.cal().text(2, 7), QString("0"));
    QCOMPARE(rig.cal().text(2, 8), QString("-2048"));
    QCOMPARE(rig.cal().text(2, 9), QString("63487"));
    QVERIFY(rig.item<QLabel>(CDlgAdmin::IDC_TRACE_SEND)->text().endsWith("02 02 43 00 43 03  (6 BYTE)"));

    // A failed read keeps the values and shows itself only in the trace.
    rig.silence(CMD_READ_CAL15);
    rig.dlg.OnTimer();
    rig.settle();
    QCOMPARE(rig.cal().text(2, 8), QString("-2048"));
    QVERIFY(rig.item<QLabel>(CDlgAdmin::IDC_TRACE_RECV)->text().endsWith("UART 읽기 실패 (-1092)"));
    QVERIFY(rig.prompts.notices.isEmpty());

    rig.dlg.reject();
    QVERIFY(!rig.dlg.TimerActive());
}

void CDlgAdminTest::radiosRelabelAndRead()
{
    Rig rig;
    auto *radio15 = rig.item<QRadioButton>(CDlgAdmin::IDC_LOADCELL_15);
    auto *radio30 = rig.item<QRadioButton>(CDlgAdmin::IDC_LOADCELL_30);

    radio30->click(); // automatic reading off: relabel only

    rig.settle();
    QCOMPARE(rig.dlg.LoadCell(), 1);
    QCOMPARE(rig.cal().text(1, 3), QString("160 KN"));
    QCOMPARE(rig.cal().text(1, 5), QString("280 KN"));
    QCOMPARE(rig.cal().text(1, 9), QString("280 KN 보정 값"));
    QCOMPARE(rig.cal().text(1, 2), QString("0 KN"));
    for (int row = 7; row <= 9; ++row)
        QCOMPARE(rig.cal().text(3, row), QString("0"));
    QVERIFY(rig.instrument().Requests().empty());

    rig.readyForCalibration();
    rig.cal().SetCellTextIfChanged(3, 7, "5");
    radio30->click(); // the selected radio: read, no relabel, no reset
    rig.settle();
    QCOMPARE(rig.instrument().RequestCount(CMD_READ_CAL30), 1);
    QCOMPARE(rig.cal().text(3, 7), QString("5"));
    QCOMPARE(rig.cal().text(2, 2), QString("101800"));

    radio15->click();

    rig.settle();
    QCOMPARE(rig.cal().text(1, 5), QString("140 KN"));
    QCOMPARE(rig.cal().text(1, 7), QString("80 KN 보정 값"));
    QCOMPARE(rig.cal().text(3, 7), QString("0"));
    QCOMPARE(rig.instrument().RequestCount(CMD_READ_CAL15), 1);
    QCOMPARE(rig.cal().text(2, 2), QString("102400"));
}

void CDlgAdminTest::correctionAndCaptureWrites()
{
    Rig rig;
    rig.readyForCalibration();
    rig.dlg.OnTimer(); // fills the current values and the live reading
    rig.settle();
    // A tick while the question is open reads nothing: the value being confirmed stays put.
    bool readWhileAsking = false;
    rig.prompts.whileAsking = [&] {
        rig.dlg.OnTimer();
        readWhileAsking = readWhileAsking || rig.dlg.Client().Busy();
    };

    rig.cal().SetCellTextIfChanged(3, 7, "-1000");
    rig.dlg.OnButtonClickedCalGrid(4, 7, 0);
    rig.settle();
    QCOMPARE(rig.prompts.questions.last(), QString("15톤 80 KN 보정 값 '0' -> '-1000' 값으로 설정하시겠습니까?"));
    QVERIFY(!readWhileAsking);
    QVERIFY(rig.autoRead()->isChecked());
    QCOMPARE(rig.lastData(CMD_WRITE_CAL), QByteArray("\x00\x04\x18", 3));
    QCOMPARE(rig.instrument().Calibration(0).corrections[0], -1000);

    rig.cal().SetCellTextIfChanged(3, 9, "1000");
    rig.dlg.OnButtonClickedCalGrid(4, 9, 0);
    rig.settle();
    QCOMPARE(rig.lastData(CMD_WRITE_CAL), QByteArray("\x02\x0B\xE8", 3));

    rig.cal().SetCellTextIfChanged(3, 8, "7");
    rig.dlg.OnButtonClickedCalGrid(4, 8, 0);
    rig.settle();
    QCOMPARE(rig.lastData(CMD_WRITE_CAL), QByteArray("\x01\x08\x07", 3));

    rig.item<QRadioButton>(CDlgAdmin::IDC_LOADCELL_30)->click();

    rig.settle();
    rig.cal().SetCellTextIfChanged(3, 8, "-4");
    rig.dlg.OnButtonClickedCalGrid(4, 8, 0);
    rig.settle();
    QCOMPARE(rig.lastData(CMD_WRITE_CAL), QByteArray("\x04\x07\xFC", 3));
    QCOMPARE(rig.instrument().Calibration(1).corrections[1], -4);

    // A capture at the point's load: the question shows the old point and the reading, Yes by default.
    rig.instrument().SetLiveReading(1, 1510100);
    rig.dlg.OnTimer();
    rig.settle();
    rig.prompts.notices.clear();
    rig.dlg.OnButtonClickedCalGrid(4, 4, 0);
    rig.settle();
    QCOMPARE(
        rig.prompts.questions.last(),
        QString("30톤 220 KN 보정값을 현재 로드셀 값으로 설정하시겠습니까?\n기존 값 '1510220' -> 새 값 '1510100'"));
    QVERIFY(!rig.prompts.defaultNo.last());
    QCOMPARE(rig.lastData(CMD_CAL30_FROM_LIVE), QByteArray("\x02", 1));
    QCOMPARE(rig.instrument().Calibration(1).points[2], 1510100u);
    QCOMPARE(rig.prompts.notices, QStringList{"성공"});

    // Out of range (only reachable by a program, the grid refuses it) and empty cells send nothing.
    const size_t sent = rig.instrument().Requests().size();
    rig.cal().SetCellTextIfChanged(3, 7, "1001");
    rig.dlg.OnButtonClickedCalGrid(4, 7, 0);
    rig.settle();
    rig.cal().SetCellTextIfChanged(3, 8, QString());
    rig.dlg.OnButtonClickedCalGrid(4, 8, 0);
    rig.settle();
    QCOMPARE(rig.instrument().Requests().size(), sent);
    QVERIFY(rig.prompts.notices.last().contains("-1000 ~ 1000"));
}

void CDlgAdminTest::firmwareUploadInBlocks()
{
    Rig rig;
    const QByteArray image = Image(2050);
    const QString path = rig.firmwareFile(image);
    rig.chooseFirmware(path);
    QCOMPARE(rig.status(), QString("상태 : 파일 읽기 성공 (파일사이즈 : 2050)"));
    QCOMPARE(rig.item<QLineEdit>(CDlgAdmin::IDC_FIRMWARE_PATH)->text(), path);
    QVERIFY(rig.dlg.FirmwareReady());
    QVERIFY(rig.upload()->isEnabled());
    QVERIFY(!rig.item<QPushButton>(CDlgAdmin::IDC_QUERY_INFO)->isEnabled());

    auto *progress = rig.item<QProgressBar>(CDlgAdmin::IDC_PROGRESS);
    QCOMPARE(progress->text(), QString("업로드 대기중."));
    QStringList captions;
    connect(progress, &QProgressBar::valueChanged, this,
            [&](int value) { captions << QString("%1:%2").arg(value).arg(progress->text()); });
    const qint64 start = rig.clock.MonotonicMicros();
    rig.upload()->click();
    rig.settle();

    QCOMPARE(captions,
             (QStringList{"5:5% - 펌웨어 업데이트 요청", "10:10% - 펌웨어 업데이트 요청 완료",
                          "15:15% - 펌웨어 헤더 전송", "20:20% - 펌웨어 헤더 전송 완료",
                          "60:60% -  데이터 업로드 중(50.0%)...", "100:100% -  데이터 업로드 완료(100.0%)..."}));
    QCOMPARE(rig.status(), QString("펌웨어 업데이트 완료"));
    QCOMPARE(rig.instrument().FirmwareImage(), image);
    std::vector<int> sizes;
    for (const auto &r : rig.instrument().Requests())
        sizes.push_back(r.command == CMD_FW_REQUEST ? -1 : r.data.size());
    QCOMPARE(sizes, (std::vector<int>{-1, 2, 1024, 1024}));
    QVERIFY(rig.instrument().Requests()[1].longFrame);
    // The pauses before the data phase and before each block.
    QVERIFY(rig.clock.MonotonicMicros() - start >= (100 + 3 * 300 + 2 * 100) * 1000);

    QVERIFY(!rig.dlg.FirmwareReady());
    QVERIFY(!rig.upload()->isEnabled());
    QVERIFY(rig.item<QPushButton>(2)->isEnabled());
    QVERIFY(rig.item<QPushButton>(CDlgAdmin::IDC_QUERY_INFO)->isEnabled());
}

void CDlgAdminTest::firmwareHeaderOnlyAndAnswers()
{
    {
        Rig rig;
        rig.chooseFirmware(rig.firmwareFile("\x33\x55"));
        rig.dlg.OnBnClickedUpload();
        rig.settle();
        QCOMPARE(rig.status(), QString("펌웨어 업데이트 완료"));
        QCOMPARE(rig.instrument().RequestCount(CMD_FW_DATA), 0);
        QCOMPARE(rig.item<QProgressBar>(CDlgAdmin::IDC_PROGRESS)->value(), 20);
    }
    {
        Rig rig; // a block answered 2 counts as sent
        rig.instrument().SetFirmwareBlockAcceptAnswer(2);
        const QByteArray image = Image(2050);
        rig.chooseFirmware(rig.firmwareFile(image));
        rig.dlg.OnBnClickedUpload();
        rig.settle();
        QCOMPARE(rig.status(), QString("펌웨어 업데이트 완료"));
        QCOMPARE(rig.instrument().FirmwareImage(), image);
    }
}

void CDlgAdminTest::firmwareFailuresStopAtOnce()
{
    struct Case {
        const char *name;
        std::function<void(Rig &)> arrange;
        QString status;
        int blocksSent;
    };
    const Case cases[] = {
        {"crc", [](Rig &r) { r.instrument().Firmware().crcErrorBlock = 1; }, "펌웨어 파일 업로드 CRC 에러", 1},
        {"header", [](Rig &r) { r.instrument().Firmware().rejectHeader = true; }, "펌웨어 파일 Head 값 에러", 0},
        {"block lost", [](Rig &r) { r.silence(CMD_FW_DATA, 1); }, "펌웨어 데이터 전송 실패 UART 읽기 실패 (-1092)", 1},
        {"request lost", [](Rig &r) { r.silence(CMD_FW_REQUEST); }, "펌웨어 업데이트 요청 실패 UART 읽기 실패 (-1092)",
         0},
    };
    for (const Case &c : cases) {
        Rig rig;
        c.arrange(rig);
        rig.chooseFirmware(rig.firmwareFile(Image(3000)));
        rig.dlg.OnBnClickedUpload();
        rig.settle();
        QVERIFY2(rig.status() == c.status, c.name);
        QVERIFY2(rig.instrument().RequestCount(CMD_FW_DATA) == c.blocksSent, c.name);
        QVERIFY(!rig.dlg.FirmwareReady());
        QVERIFY(rig.item<QPushButton>(2)->isEnabled());
    }
}

void CDlgAdminTest::firmwareFileChoices()
{
    Rig rig;
    auto *path = rig.item<QLineEdit>(CDlgAdmin::IDC_FIRMWARE_PATH);
    const QString good = rig.firmwareFile(Image(100));
    rig.chooseFirmware(good);

    for (const QByteArray &bad : {QByteArray("\x33"), QByteArray("\x55\x33\x00\x00", 4)}) {
        rig.chooseFirmware(good);
        rig.chooseFirmware(rig.firmwareFile(bad));
        QCOMPARE(rig.status(), QString("상태 : 정상적인 펌웨어 파일이 아닙니다."));
        QCOMPARE(path->text(), good);
        QVERIFY(!rig.upload()->isEnabled());
        QCOMPARE(rig.dlg.FirmwareSize(), 0u);
    }

    rig.chooseFirmware(good);
    rig.item<QPushButton>(CDlgAdmin::IDC_CANCEL_UPLOAD)->click();
    rig.settle();
    QCOMPARE(rig.status(), QString("펌웨어 업데이트 취소"));
    QVERIFY(path->text().isEmpty());
    QVERIFY(!rig.upload()->isEnabled());

    // Unreadable while armed: disarmed, status line and path untouched.
    rig.chooseFirmware(good);
    const QString armedStatus = rig.status();
    rig.chooseFirmware(rig.dir.filePath("missing.bin"));
    QCOMPARE(rig.status(), armedStatus);
    QCOMPARE(path->text(), good);
    QVERIFY(!rig.upload()->isEnabled());

    // Cancelling the file dialog changes nothing but the automatic reading.
    rig.chooseFirmware(good);
    rig.autoRead()->setChecked(true);
    rig.chooseFirmware(QString());
    QVERIFY(rig.upload()->isEnabled());
    QVERIFY(!rig.autoRead()->isChecked());

    QFile big(rig.firmwareFile(Image(16)));
    big.resize(16 * 1024 * 1024 + 1);
    rig.chooseFirmware(big.fileName());
    QVERIFY(rig.status().contains("너무 큽니다"));
    QVERIFY(!rig.upload()->isEnabled());
    QVERIFY(rig.instrument().Requests().empty());
}

void CDlgAdminTest::armedFirmwareLocksOut()
{
    Rig rig;
    rig.readyForCalibration();
    rig.chooseFirmware(rig.firmwareFile(Image(10)));
    rig.autoRead()->setChecked(true);
    rig.instrument().ClearRequests();

    QVERIFY(!rig.autoRead()->isEnabled());
    QVERIFY(!rig.item<QRadioButton>(CDlgAdmin::IDC_LOADCELL_30)->isEnabled());
    rig.dlg.OnTimer();
    rig.settle();
    rig.info().SetCellTextIfChanged(2, 2, "A12");
    rig.dlg.OnButtonClickedInfoGrid(3, 2, 0);
    rig.settle();
    rig.dlg.OnButtonClickedInfoGrid(6, 6, 0);
    rig.settle();
    rig.cal().SetCellTextIfChanged(3, 7, "1");
    rig.dlg.OnButtonClickedCalGrid(4, 7, 0);
    rig.settle();
    QVERIFY(rig.instrument().Requests().empty());
    QVERIFY(rig.prompts.questions.isEmpty());
}

void CDlgAdminTest::automaticReadingRecoversAfterFailedReads()
{
    Rig rig;
    rig.dlg.SetTimerEnabled(false);
    rig.readyForCalibration();
    rig.dlg.OnTimer();
    rig.settle();
    QCOMPARE(rig.cal().text(2, Calibration::kLiveRow), QString::number(rig.instrument().Calibration(0).live));

    // A failed read closes the link; the next tick opens it again and reads, and meanwhile the cell
    // says there is no present value instead of keeping the last one.
    rig.silence(CMD_READ_CAL15);
    rig.dlg.OnTimer();
    rig.settle();
    QCOMPARE(rig.cal().text(2, Calibration::kLiveRow), Calibration::kNoLiveValue);
    const int reads = rig.instrument().RequestCount(CMD_READ_CAL15);
    rig.dlg.OnTimer();
    rig.settle();
    QCOMPARE(rig.instrument().RequestCount(CMD_READ_CAL15), reads + 1);
    QCOMPARE(rig.cal().text(2, Calibration::kLiveRow), Calibration::kNoLiveValue);
    // No capture of a value that is not there.
    rig.dlg.OnButtonClickedCalGrid(4, 2, 0);
    rig.settle();
    QVERIFY(rig.prompts.questions.isEmpty());

    rig.sim.Line().SetFaults(FaultPlan{});
    rig.instrument().SetLiveReading(0, 4242);
    rig.dlg.OnTimer();
    rig.settle();
    QCOMPARE(rig.cal().text(2, Calibration::kLiveRow), QString("4242"));

    // Ticks never queue reads behind one another: a tick while a read runs is skipped.
    const int before = rig.instrument().RequestCount(CMD_READ_CAL15);
    rig.dlg.OnTimer();
    rig.dlg.OnTimer();
    rig.dlg.OnTimer();
    rig.settle();
    QCOMPARE(rig.instrument().RequestCount(CMD_READ_CAL15), before + 1);
}

void CDlgAdminTest::nothingClosesTheConsoleDuringAnUpload()
{
    Rig rig;
    rig.dlg.SetTimerEnabled(false);
    SessionGate gate;
    rig.host.SetRecordObserver(&gate);
    rig.dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.dlg));
    const QByteArray image = Image(5000);
    rig.chooseFirmware(rig.firmwareFile(image));
    QVERIFY(rig.dlg.FirmwareReady());

    const auto click = [&rig](QWidget *widget) {
        QTest::mouseClick(rig.dlg.windowHandle(), Qt::LeftButton, {}, widget->mapTo(&rig.dlg, widget->rect().center()));
    };
    gate.HoldAtPacket(8); // inside the data blocks
    click(rig.upload());
    QVERIFY(gate.WaitUntilHeld());
    QVERIFY(rig.dlg.Uploading());
    QPushButton *close = rig.item<QPushButton>(2);
    for (int id : {2, int(CDlgAdmin::IDC_CANCEL_UPLOAD), int(CDlgAdmin::IDC_FIRMWARE_OPEN), int(CDlgAdmin::IDC_UPLOAD),
                   int(CDlgAdmin::IDC_QUERY_INFO), int(CDlgAdmin::IDC_LOADCELL_30)})
        QVERIFY2(!rig.item<QWidget>(id)->isEnabled(), qPrintable(QString::number(id)));
    click(close);
    click(rig.item<QPushButton>(CDlgAdmin::IDC_CANCEL_UPLOAD));
    QTest::keyClick(rig.dlg.windowHandle(), Qt::Key_Escape);
    QVERIFY(!rig.dlg.close()); // the window manager's close box
    QVERIFY(rig.dlg.isVisible());
    gate.Release();
    rig.settle();
    QTest::qWait(50); // anything a late click would have queued

    QVERIFY(rig.dlg.isVisible());
    QCOMPARE(rig.status(), QString("펌웨어 업데이트 완료"));
    QCOMPARE(rig.instrument().FirmwareImage(), image);
    QVERIFY(close->isEnabled());
    click(close);
    QVERIFY(!rig.dlg.isVisible());
    rig.host.SetRecordObserver(nullptr);
    rig.settle();
}

void CDlgAdminTest::aCaptureAtTheWrongLoadIsToldAndEnterRefusesIt()
{
    Rig rig; // the 15 t cell unloaded: its live reading sits by the 0 KN point
    rig.dlg.SetTimerEnabled(false);
    rig.readyForCalibration();
    rig.dlg.OnTimer();
    rig.settle();
    DialogPrompts boxes; // the real message boxes, each answered with Enter
    rig.dlg.SetPrompts(&boxes);
    rig.dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.dlg));
    QStringList shown;
    QTimer enter;
    connect(&enter, &QTimer::timeout, [&shown] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown << box->text();
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    enter.start(10);
    auto *view = rig.item<SpreadSheetView>(CDlgAdmin::IDC_CAL_GRID);
    const auto clickCapture = [&](int row) {
        const QPoint at = view->viewport()->mapTo(&rig.dlg, view->CellRect(4, row).center());
        QTest::mouseClick(rig.dlg.windowHandle(), Qt::LeftButton, {}, at);
        rig.settle();
    };

    const size_t sent = rig.instrument().Requests().size();
    clickCapture(3); // 80 KN
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].contains("15톤 80 KN") && shown[0].contains("'1150320' -> 새 값 '102650'") &&
                 shown[0].contains("주의") && shown[0].contains("약 0 KN"),
             qPrintable(shown[0]));
    QCOMPARE(rig.instrument().Requests().size(), sent);
    QCOMPARE(rig.instrument().Calibration(0).points[1], 1150320u);

    // Loaded as the point needs, Enter captures it and the notice follows.
    rig.instrument().SetLiveReading(0, 1150200);
    rig.dlg.OnTimer();
    rig.settle();
    shown.clear();
    clickCapture(3);
    QCOMPARE(shown.size(), 2);
    QVERIFY2(!shown[0].contains("주의"), qPrintable(shown[0]));
    QCOMPARE(shown[1], QString("성공"));
    QCOMPARE(rig.instrument().Calibration(0).points[1], 1150200u);
    rig.dlg.SetPrompts(nullptr);
}

QTEST_MAIN(CDlgAdminTest)
#include "CDlgAdminTest.moc"
