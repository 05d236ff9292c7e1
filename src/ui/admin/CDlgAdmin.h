#pragma once

#include "CDlgComm.h"
#include "SessionClient.h"

#include <QByteArray>

#include <functional>
#include <memory>
#include <optional>

class AdminPrompts;
class CSpreadSheet;
class SessionHost;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;
class SpreadSheetView;

// The administrator console (dialog 137, "관리자 모드"): the instrument-information grid with its
// identity and clock writes, load-cell calibration, firmware upload and a two-line trace of the last
// exchange. It works on the main window's instrument session through a client of its own: one job at
// a time, results applied when the job ends, questions always before a job and notices after it.
// While the firmware upload runs nothing in the console can stop it or close the console.
//
// The main window opens it modally on each click of "관리자 모드":
//
//     CDlgAdmin dlg(m_session, [this] { ToggleLogWindow(); }, this);
//     dlg.exec();
//
// Every control carries its number as object name (DlgItem<QPushButton>(CDlgAdmin::IDC_QUERY_INFO)).
class CDlgAdmin : public CDlgComm {
    Q_OBJECT
  public:
    static constexpr int IDD = 137;
    enum ControlId : int {
        IDC_UPLOAD = 1007,
        IDC_QUERY_INFO = 1015,
        IDC_INFO_GRID = 1016,
        IDC_FIRMWARE_OPEN = 1017,
        IDC_FIRMWARE_PATH = 1018,
        IDC_FIRMWARE_GROUP = 1019,
        IDC_CAL_GRID = 1020,
        IDC_CAL_GROUP = 1021,
        IDC_LOADCELL_15 = 1024,
        IDC_LOADCELL_30 = 1025,
        IDC_TRACE_RECV = 1026,
        IDC_TRACE_SEND = 1027,
        IDC_CANCEL_UPLOAD = 1028,
        IDC_FIRMWARE_STATUS = 1029,
        IDC_AUTO_READ = 1030,
        IDC_SHOW_LOG = 1031,
        IDC_PROGRESS = 1037,
    };
    static constexpr int kTimerId = 1001;
    static constexpr int kTimerIntervalMs = 1000;

    // The dialog as data: 699 x 304 dialog units in GulimChe 10 pt, every control at its rectangle.
    static DialogTemplate MakeTemplate();

    // session: the main window's instrument session, which must outlive the console. toggleLog shows or
    // hides the main window's packet log window ("로그 보기"); empty when there is none.
    CDlgAdmin(SessionHost &session, std::function<void()> toggleLog, QWidget *parent = nullptr);
    ~CDlgAdmin() override;

    // Where questions, notices and the file choice go; null restores the message boxes. Not owned.
    void SetPrompts(AdminPrompts *prompts);

    // ---- handlers (a click on the control runs the same) ----
    void QueryDeviceInfo();                                         // 1015 "장비 조회"
    void OnButtonClickedInfoGrid(int col, int row, int buttonDown); // information grid button cells
    void SelectLoadCell(int mode);                                  // radios 1024 (0) and 1025 (1), timer
    void OnButtonClickedCalGrid(int col, int row, int buttonDown);  // calibration grid button cells
    void OnBnClickedFirmwareOpen();                                 // 1017 "..."
    void OnBnClickedUpload();                                       // 1007 "업로드"
    void OnBnClickedCancelUpload();                                 // 1028 "취소"
    void OnBnClickedShowLog();                                      // 1031 "로그 보기"
    void UpdateFirmwareControls();
    void ShowTrace(const LinkTrace &trace);
    // One tick of timer 1001: the PC clock cell, then the automatic calibration read.
    void OnTimer();

    // ---- state, for the main window and tests ----
    CSpreadSheet &InfoGrid() const { return *m_gridInfo; }
    CSpreadSheet &CalGrid() const { return *m_gridCal; }
    bool InfoRead() const { return m_bInfoRead; }
    bool FirmwareReady() const { return m_bFirmwareReady; }
    int LoadCell() const { return m_nLoadCell; }
    quint32 FirmwareSize() const { return m_nFirmwareSize; }
    bool TimerActive() const;
    // Tests tick the timer themselves.
    void SetTimerEnabled(bool enabled);
    SessionClient &Client() { return m_client; }
    bool Uploading() const { return m_bUploading; }
    // Where the packet log may cover the console when the screen has no room beside it: the trace lines.
    QRect FreeArea() const;

  protected:
    void InitControls() override;
    // A smaller font, and so a smaller console, where the usual one would not fit the screen.
    void FitToScreen();
    void RepositionControls() override;
    QWidget *CreateCustomControl(const DialogControl &control) override;
    void done(int result) override;
    void closeEvent(QCloseEvent *event) override;

  private:
    void BindControls();
    void BuildGrids();
    void BuildInfoGrid();
    void BuildCalGrid();
    void SetInstrumentClock();
    void ReadCalibration();
    void ShowCalibration(const JobResult &result);
    void RelabelCalGrid();
    // The present value the calibration grid shows in `row`; nullopt when it shows none.
    std::optional<uint32_t> CalNumber(int row) const;
    // Sends one write and reports "성공" or "설정 실패 - %s".
    void SendWrite(uint8_t command, const QByteArray &data);
    void SetProgress(int position, const QString &caption);
    void OnDestroy();
    // Starts a job; `then` runs when it has ended. userJob: the operator waits for it (wait cursor,
    // instrument controls disabled); the automatic calibration read is not one.
    bool StartJob(const Job &job, std::function<void(const JobResult &)> then);
    void OnJobFinished(const JobResult &result);
    void UpdateControls();
    // Every question and notice goes through these, so that the timer knows a prompt is open.
    bool Ask(const QString &text, bool defaultNo = false);
    void Notify(const QString &text);
    AdminPrompts &Prompts();

    SessionClient m_client;
    bool m_userJob = false;
    bool m_bUploading = false;
    int m_openPrompts = 0;
    bool m_timerEnabled = true;
    std::function<void()> m_toggleLog;
    AdminPrompts *m_prompts = nullptr;
    std::unique_ptr<AdminPrompts> m_defaultPrompts;

    int m_nLoadCell = 0; // 0 = 15 t, 1 = 30 t
    bool m_bInfoRead = false;
    bool m_bFirmwareReady = false;
    QByteArray m_pFirmware; // the whole firmware file as read
    quint32 m_nFirmwareSize = 0;

    CSpreadSheet *m_gridInfo = nullptr;
    CSpreadSheet *m_gridCal = nullptr;
    SpreadSheetView *m_viewInfo = nullptr;
    SpreadSheetView *m_viewCal = nullptr;
    QPushButton *m_btnFirmwareOpen = nullptr;
    QProgressBar *m_progress = nullptr;
    QTimer *m_timer = nullptr;

    QPushButton *m_btnQuery = nullptr;
    QPushButton *m_btnUpload = nullptr;
    QPushButton *m_btnCancelUpload = nullptr;
    QPushButton *m_btnClose = nullptr;
    QRadioButton *m_radio15 = nullptr;
    QRadioButton *m_radio30 = nullptr;
    QCheckBox *m_chkAutoRead = nullptr;
    QLineEdit *m_editPath = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_traceSend = nullptr;
    QLabel *m_traceRecv = nullptr;
};
