#pragma once

#include "ArchiveTypes.h"
#include "CDlgComm.h"
#include "DownloadArchive.h"
#include "DownloadRecords.h"
#include "RecordTables.h"
#include "SessionClient.h"
#include "SessionHost.h"

#include <QMessageBox>
#include <QString>

#include <functional>
#include <memory>

class CDlgAdmin;
struct ReportHeader;
class CDlgHistory;
class Measurement;
class ChartWindow;
class PressClassLimits;
class CDlgLog;
class CIniSysInfo;
class CSpreadSheet;
class Clock;
class DeviceDiscovery;
class Ft260Device;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QAbstractButton;
class QPushButton;
class SpreadSheetView;

// The operator's window: the instrument's identity and the report header in the device grid, the
// downloaded measurements in the data grid (sheet 1 stored records, sheet 2 continuous run), the
// buttons that drive the instrument, and the caption as the only status line. It owns the instrument
// session (the link on its own thread) for its whole life, and the packet log window. Every job runs
// on the session; the window stays alive meanwhile, and the controls that start instrument work are
// disabled until the job ends.
//
// Every control carries its number as object name ("1003" is "장비 조회"), so tests and the tools
// handlers find it with Control(id).
class CTonvaleDlg : public CDlgComm {
    Q_OBJECT
  public:
    // Control numbers of the window.
    enum ControlId : int {
        IDC_DATA_GRID = 1001,
        IDC_DEVICE_GRID = 1002,
        IDC_CONNECT = 1003,
        IDC_START_DATE = 1005,
        IDC_EXPORT = 1006,
        IDC_ADMIN = 1007,
        IDC_QUERY = 1008,
        IDC_SELECT_ALL = 1009,
        IDC_SELECT_NONE = 1010,
        IDC_SELECT_INVERT = 1011,
        IDC_MODE_MEMORY = 1012,
        IDC_MODE_OUTPUT = 1013,
        IDC_END_DATE = 1014,
        IDC_END_LABEL = 1015,
        IDC_HELP_IMAGE = 1016,
        IDC_SHOW_LOG = 1017,
        IDC_STATUS = 1018,
        IDC_START_LABEL = 1019,
        IDC_CLOCK_DISPLAY = 1020,
        IDC_SET_TIME = 1021,
        IDC_READ_TIME = 1022,
        IDC_TELEPHONE = 1039,
        IDC_CANCEL_DOWNLOAD = 1040, // "취소": stops a download after its current frame
        IDC_PROGRESS = 1041,        // rows received, or the state of an incomplete table
        IDC_HISTORY = 1042,         // "기록 보기": the archived downloads
        IDC_CHART = 1043,           // "그래프 보기": the chart of the shown table
    };
    static constexpr int kPresenceIntervalMs = 1000;
    static constexpr int kStartWidth = 1280;
    static constexpr int kStartHeight = 720;

    enum Mode : int { MODE_MEMORY = 0, MODE_OUTPUT = 1 };

    static const QString kCaptionConnected;    // "압력 계측기 : 장비 연결 성공"
    static const QString kCaptionDisconnected; // "압력 계측기 : 연결장비 없음"

    // The window's template: 500 x 325 dialog units in 굴림체 12 pt, every control in creation order.
    static DialogTemplate MakeTemplate();

    // device, discovery and clock are the bridge the link talks through (the USB one or the simulated
    // one); sysInfo gives the report texts and the log directory. All must outlive the window.
    CTonvaleDlg(Ft260Device &device, DeviceDiscovery &discovery, Clock &clock, CIniSysInfo &sysInfo,
                QWidget *parent = nullptr);
    ~CTonvaleDlg() override;

    // ---- what other parts of the program reach ----
    // The instrument session; SetRecordObserver on it adds an observer of every record.
    SessionHost &Session() { return m_session; }
    // The window's own handle on the session (one job at a time).
    SessionClient &Client() { return m_client; }
    // The raw records of the shown download (stored or continuous) and whether it is complete.
    DownloadRecords &Records() { return m_records; }
    Clock &GetClock() const { return m_clock; }
    CIniSysInfo &SysInfo() const { return m_sysInfo; }
    CSpreadSheet &DeviceGrid() const { return *m_deviceGrid; }
    CSpreadSheet &DataGrid() const { return *m_dataGrid; }
    SpreadSheetView *DeviceGridView() const { return m_deviceGridView; }
    SpreadSheetView *DataGridView() const { return m_dataGridView; }
    // The measurement archive the window's downloads go to.
    DownloadArchive &Archive() { return *m_archive; }
    // The chart window; null until "그래프 보기" first opens it.
    ChartWindow *Chart() const { return m_chart; }
    // The packet log window; null when it could not be created.
    CDlgLog *LogWindow() const { return m_pDlgLog; }
    // Shows a hidden log window and hides a shown one (both "로그 보기" buttons).
    void ToggleLogWindow();
    // A control by its number; null for an unknown one.
    QWidget *Control(int id) const;
    QLabel *ClockDisplay() const { return m_clockDisplay; }  // 1020
    QLineEdit *TelephoneEdit() const { return m_telephone; } // 1039, never shown
    QDateTimeEdit *StartDate() const { return m_startDate; } // 1005
    QDateTimeEdit *EndDate() const { return m_endDate; }     // 1014

    // ---- message boxes ----
    // Every message box of the window goes through here: text, caption (empty: the program's title) and
    // buttons; the answer is the button pressed. A handler set with SetMessageBoxHandler answers instead
    // of a real box (tests, scripted runs).
    struct MessageBoxRequest {
        QString text;
        QString caption;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon;
        QMessageBox::StandardButton defaultButton; // NoButton: the box's own choice
    };
    using MessageBoxHandler = std::function<QMessageBox::StandardButton(const MessageBoxRequest &)>;
    // Says how to get access to a bridge that is on the bus but may not be opened (empty otherwise);
    // shown under the result text when connecting fails.
    void SetOpenFailureAdvice(std::function<QString()> advice) { m_openFailureAdvice = std::move(advice); }
    void SetMessageBoxHandler(MessageBoxHandler handler) { m_messageBoxHandler = std::move(handler); }
    // Runs on every console the window opens, before it is shown (tests set its prompts and timer).
    void SetConsoleOptions(std::function<void(CDlgAdmin &)> options) { m_consoleOptions = std::move(options); }
    QMessageBox::StandardButton MessageBox(const QString &text, const QString &caption = QString(),
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                           QMessageBox::Icon icon = QMessageBox::NoIcon,
                                           QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    // ---- the row builders: record batches of the current download become rows of their sheet ----
    void AddRecordBatch(const RecordBatch &batch);

    // ---- the window's actions ----
    void OnConnect();        // 1003 "장비 조회"
    void ReadDeviceInfo();   // the eight identity reads into the device grid
    void OnQueryData();      // 1008 "데이터 조회"
    void OnCancelDownload(); // 1040 "취소"
    void OnModeMemory();     // 1012
    void OnModeOutput();     // 1013
    // One presence poll (timer 1001): asks the session to look for the bridge; caption and enabling
    // follow when it answers.
    void PollPresence();
    // The id of the running presence timer (QObject::startTimer); 0 when it is not running.
    int PresenceTimerId() const { return m_presenceTimer; }
    // Tests drive the presence poll themselves.
    void SetTimersEnabled(bool enabled);

    // Handlers of the clock, selection, help, log, administrator and exit commands live in
    // CTonvaleDlgTools.cpp.
    void OnReadDeviceTime(); // 1022 "장비시간 조회"
    void OnSetDeviceTime();  // 1021 "현재시간 설정"
    void OnSelectAll();      // 1009 "전체 선택"
    void OnSelectNone();     // 1010 "전체 해제"
    void OnSelectInvert();   // 1011 "선택 반전"
    void OnHelp();           // 1016 and F1
    void OnShowLog();        // 1017 "로그 보기"
    void OnAdminMode();      // 1007 "관리자 모드"
    void OnExportExcel();    // 1006 "엑셀 저장"
    void OnCancel();         // Escape and the close box: asks before the program ends
    void OnShowHistory();    // 1042 "기록 보기": a download opened there fills the grids
    void OnShowChart();      // 1043 "그래프 보기"
    // An archived download into the grids and the records store, as if it had just been downloaded.
    void ShowArchivedDownload(const ArchivedDownload &download);

    // The query mode: MODE_MEMORY (sheet 1) or MODE_OUTPUT (sheet 2).
    int m_nMode = MODE_MEMORY;

  protected:
    bool OnInitDialog() override;
    void InitControls() override;
    void RepositionControls() override;
    double FontResolution() const override { return 92.0; }
    QWidget *CreateCustomControl(const DialogControl &control) override;
    void timerEvent(QTimerEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

  private:
    // "설비 지정", "설비 관리" and the start-up notice of presses due (src/ui/register).
    void HookPressRegister();
    void BindControls();
    void TakeThemeColors();
    void InitDeviceGrid();
    void CreateLogWindow();
    void OnDestroy();
    void UpdateControls();
    // Starts a job of this window; `then` runs on this thread when it has ended.
    bool StartJob(const Job &job, std::function<void(const JobResult &)> then);
    void OnJobStarted(JobId id, int kind);
    void OnJobFinished(const JobResult &result);
    // A download into the mode's sheet: the sheet is emptied and the records store starts anew.
    void BeginDownload();
    // The download ended with `code` and `damaged` records left out; received: its rows count as received.
    void EndDownload(int code, int damaged, bool received);
    // EndDownload for a download job, then what the operator must be told of it.
    void FinishDownload(const JobResult &result);
    // A download's archive outcome, when the archive's thread has it: the notices and the databases' texts.
    void TellArchived(const ArchiveOutcome &archived);
    void ShowIdentity(const JobResult &result);
    // After a connect: the operator is told when the instrument's clock is far from the PC's.
    void TellClockOffset(const JobResult &result);
    // The identity's cells and the report's creation time.
    void ShowIdentityTexts(const InstrumentIdentity &identity, qint64 createdAt);
    // Both date pickers on the local calendar day of a time.
    void ShowDayInPickers(qint64 moment);
    // The identity the device grid shows, as the archive files a download under it (empty cells unknown).
    InstrumentIdentity GridIdentity() const;
    // The report's header as the device grid shows it (the operator may have edited its texts).
    ReportHeader DeviceGridHeader() const;
    // The identity fields a download read because the grid did not have them.
    void ShowReadIdentityTexts(const JobResult &result);
    // Which identity fields the connect could not read, and why.
    void TellUnreadIdentity(const JobResult &result);
    void ShowProgress();
    // The chart follows the records store and the ticks of the stored-record sheet.
    void ConnectChart();
    void PlaceChart();
    // The stored table's ticks follow each tick the operator sets or clears in the grid, and the selection
    // buttons' changes (TicksFromSelection); the chart follows the table.
    void FollowOperatorTicks();
    void TicksFromSelection();
    void ShowTicksInChart();
    // The table of the present mode, with the operator's ticks.
    const Measurement &ModeTable() const;
    // The force cells of the stored-record sheet marked again for these limits.
    void MarkForceCells(const PressClassLimits &limits);
    // The caption: an archived download's while one is shown, else the bridge's presence.
    void ShowCaption();

    Clock &m_clock;
    CIniSysInfo &m_sysInfo;
    QString m_archiveError; // why the configured archive cannot be used; told once (set by m_archive's making)
    // Before the session: the session thread reaches it until the session has shut down.
    std::shared_ptr<DownloadArchive> m_archive;
    SessionHost m_session;
    SessionClient m_client{m_session};
    DownloadRecords m_records;
    CDlgLog *m_pDlgLog = nullptr;
    ChartWindow *m_chart = nullptr;
    QString m_archivedCaption;         // the caption of the archived download shown, empty for a fresh one
    InstrumentIdentity m_readIdentity; // as last read from the instrument, with its fields' bytes
    MessageBoxHandler m_messageBoxHandler;
    std::function<QString()> m_openFailureAdvice;
    std::function<void(CDlgAdmin &)> m_consoleOptions;
    int m_presenceTimer = 0;
    bool m_timersEnabled = true;
    bool m_waitCursor = false;

    CSpreadSheet *m_deviceGrid = nullptr;
    CSpreadSheet *m_dataGrid = nullptr;
    RecordTableWriter m_rows{nullptr, 0};
    SpreadSheetView *m_deviceGridView = nullptr;
    SpreadSheetView *m_dataGridView = nullptr;
    QPushButton *m_btnHelp = nullptr;
    QPushButton *m_btnConnect = nullptr;
    QPushButton *m_btnQuery = nullptr;
    QPushButton *m_btnExport = nullptr;
    QPushButton *m_btnSelectAll = nullptr;
    QPushButton *m_btnSelectNone = nullptr;
    QPushButton *m_btnSelectInvert = nullptr;
    QPushButton *m_btnSetTime = nullptr;
    QPushButton *m_btnReadTime = nullptr;
    QPushButton *m_btnAdmin = nullptr;
    QPushButton *m_btnShowLog = nullptr;
    QPushButton *m_btnCancelDownload = nullptr;
    QPushButton *m_btnHistory = nullptr;
    QPushButton *m_btnChart = nullptr;
    QLabel *m_progressLabel = nullptr;
    QAbstractButton *m_radioMemory = nullptr;
    QAbstractButton *m_radioOutput = nullptr;
    QLabel *m_startLabel = nullptr;
    QLabel *m_endLabel = nullptr;
    QLabel *m_clockDisplay = nullptr;
    QDateTimeEdit *m_startDate = nullptr;
    QDateTimeEdit *m_endDate = nullptr;
    QLineEdit *m_telephone = nullptr;
};
