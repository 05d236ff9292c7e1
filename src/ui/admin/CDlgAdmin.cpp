#include "CDlgAdmin.h"
#include "WaitCursor.h"

#include "AdminPrompts.h"
#include "CSpreadSheet.h"
#include "CTonvaleApp.h"
#include "CalibrationFields.h"
#include "Clock.h"
#include "Commands.h"
#include "FirmwareUpload.h"
#include "GridLayout.h"
#include "InfoGridFields.h"
#include "InstrumentClock.h"
#include "LocalTime.h"
#include "ResultCodes.h"
#include "SessionHost.h"
#include "SessionJobs.h"
#include "SpreadSheetView.h"
#include "TraceLines.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include <utility>

using namespace dlgstyle;

namespace {

constexpr int IDC_STATIC = -1;

void SetBlockBackColor(CSpreadSheet &grid, int col, int row, ColorRef color)
{
    grid.SetCurrentColumn(col);
    grid.SetCurrentRow(row);
    grid.SetCellBackColor(int(color));
}

void SetBlockType(CSpreadSheet &grid, int col, int row, int type)
{
    grid.SetCurrentColumn(col);
    grid.SetCurrentRow(row);
    grid.SetCellType(type);
    grid.SetHorizontalAlign(grid::AlignHCenter);
    grid.SetVerticalAlign(grid::AlignVCenter);
}

void SetButtonLook(CSpreadSheet &grid, const AppPalette &pal)
{
    grid.SetGridProperty(grid::PropButtonBorderColor, int(pal.labelBackColor));
    grid.SetGridProperty(grid::PropButtonShadowColor, int(pal.selectedColor));
    grid.SetGridProperty(grid::PropButtonHighlightColor, int(pal.selectedColor));
    grid.SetGridProperty(grid::PropButtonFaceColor, int(pal.buttonColor));
    grid.SetGridProperty(grid::PropButtonTextColor, int(pal.textColor));
}

const QString kSetCaption = QStringLiteral("설정");
// The frame a window manager usually puts around a window (title bar, borders).
constexpr QMargins kUsualFrame(4, 32, 4, 4);

const QString kClockRefused = QStringLiteral("시간 정보가 잘못되었습니다. 확인바랍니다.");

} // namespace

DialogTemplate CDlgAdmin::MakeTemplate()
{
    DialogTemplate t;
    t.id = IDD;
    t.caption = QStringLiteral("관리자 모드");
    t.cx = 699;
    t.cy = 304;
    t.pointSize = 10;
    t.fontFace = QStringLiteral("GulimChe");
    const quint32 v = WS_VISIBLE | WS_TABSTOP;
    const quint32 line = SS_LEFT | SS_CENTERIMAGE; // one line, never wrapped
    t.controls = {
        {IDC_QUERY_INFO, ControlClass::Button, QStringLiteral("장비 조회"), 7, 7, 45, 90, v | BS_MULTILINE},
        {IDC_INFO_GRID, ControlClass::Grid, QString(), 54, 7, 637, 89, v},
        {IDC_CAL_GROUP, ControlClass::Button, QStringLiteral("보정"), 7, 104, 239, 193, WS_VISIBLE | BS_GROUPBOX},
        {IDC_LOADCELL_15, ControlClass::Button, QStringLiteral("15톤 보정"), 15, 117, 78, 16,
         v | WS_GROUP | BS_AUTORADIOBUTTON},
        {IDC_LOADCELL_30, ControlClass::Button, QStringLiteral("30톤 보정"), 94, 117, 78, 16, v | BS_AUTORADIOBUTTON},
        {IDC_CAL_GRID, ControlClass::Grid, QString(), 15, 137, 224, 134, v},
        {IDC_AUTO_READ, ControlClass::Button, QStringLiteral("값 자동 읽기"), 18, 280, 119, 10, v | BS_AUTOCHECKBOX},
        {IDC_FIRMWARE_GROUP, ControlClass::Button, QStringLiteral("펌웨어 업로드"), 253, 104, 439, 78,
         WS_VISIBLE | BS_GROUPBOX},
        {IDC_STATIC, ControlClass::Static, QStringLiteral("파일 경로"), 265, 125, 47, 8, WS_VISIBLE | line},
        {IDC_FIRMWARE_PATH, ControlClass::Edit, QString(), 315, 122, 336, 14, v | WS_BORDER | ES_READONLY},
        {IDC_FIRMWARE_OPEN, ControlClass::Button, QStringLiteral("..."), 659, 122, 26, 14, v},
        {IDC_FIRMWARE_STATUS, ControlClass::Static, QStringLiteral("상태 : 파일 선택"), 263, 146, 234, 8,
         WS_VISIBLE | line},
        {IDC_PROGRESS, ControlClass::ProgressBar, QString(), 262, 159, 296, 14, WS_VISIBLE},
        {IDC_UPLOAD, ControlClass::Button, QStringLiteral("업로드"), 574, 150, 53, 19, v | WS_DISABLED},
        {IDC_CANCEL_UPLOAD, ControlClass::Button, QStringLiteral("취소"), 628, 150, 53, 19, v | WS_DISABLED},
        {IDC_TRACE_SEND, ControlClass::Static, QStringLiteral("Send"), 254, 186, 438, 8, WS_VISIBLE | line},
        {IDC_TRACE_RECV, ControlClass::Static, QStringLiteral("Recv"), 254, 203, 438, 8, WS_VISIBLE | line},
        {IDC_SHOW_LOG, ControlClass::Button, QStringLiteral("로그 보기"), 560, 278, 64, 19, v},
        {2, ControlClass::Button, QStringLiteral("닫 기"), 639, 278, 53, 19, v},
        {1, ControlClass::Button, QStringLiteral("확인"), 303, 283, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON},
    };
    return t;
}

CDlgAdmin::CDlgAdmin(SessionHost &session, std::function<void()> toggleLog, QWidget *parent)
    : CDlgComm(MakeTemplate(), parent), m_client(session), m_toggleLog(std::move(toggleLog)),
      m_defaultPrompts(std::make_unique<DialogPrompts>())
{
    connect(&m_client, &SessionClient::jobFinished, this, &CDlgAdmin::OnJobFinished);
    connect(&m_client, &SessionClient::progress, this,
            [this](JobId, int position, const QString &caption) { SetProgress(position, caption); });
    m_gridInfo = new CSpreadSheet(this);
    m_gridCal = new CSpreadSheet(this);
    CreateTemplateControls();
    BindControls();
    m_timer = new QTimer(this);
    m_timer->setInterval(kTimerIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &CDlgAdmin::OnTimer);
}

CDlgAdmin::~CDlgAdmin()
{
    OnDestroy();
}

QWidget *CDlgAdmin::CreateCustomControl(const DialogControl &control)
{
    if (control.id == IDC_INFO_GRID)
        return m_viewInfo = new SpreadSheetView(m_gridInfo, this);
    if (control.id == IDC_CAL_GRID)
        return m_viewCal = new SpreadSheetView(m_gridCal, this);
    return CDlgComm::CreateCustomControl(control);
}

void CDlgAdmin::BindControls()
{
    m_btnQuery = DlgItem<QPushButton>(IDC_QUERY_INFO);
    m_btnUpload = DlgItem<QPushButton>(IDC_UPLOAD);
    m_btnCancelUpload = DlgItem<QPushButton>(IDC_CANCEL_UPLOAD);
    m_btnClose = DlgItem<QPushButton>(2);
    m_radio15 = DlgItem<QRadioButton>(IDC_LOADCELL_15);
    m_radio30 = DlgItem<QRadioButton>(IDC_LOADCELL_30);
    m_chkAutoRead = DlgItem<QCheckBox>(IDC_AUTO_READ);
    m_editPath = DlgItem<QLineEdit>(IDC_FIRMWARE_PATH);
    m_status = DlgItem<QLabel>(IDC_FIRMWARE_STATUS);
    m_traceSend = DlgItem<QLabel>(IDC_TRACE_SEND);
    m_traceRecv = DlgItem<QLabel>(IDC_TRACE_RECV);
    m_progress = DlgItem<QProgressBar>(IDC_PROGRESS);
    m_btnFirmwareOpen = DlgItem<QPushButton>(IDC_FIRMWARE_OPEN);

    m_radio15->setChecked(true);
    m_chkAutoRead->setChecked(false);

    connect(m_btnQuery, &QPushButton::clicked, this, &CDlgAdmin::QueryDeviceInfo);
    connect(m_radio15, &QRadioButton::clicked, this, [this] { SelectLoadCell(0); });
    connect(m_radio30, &QRadioButton::clicked, this, [this] { SelectLoadCell(1); });
    connect(m_btnFirmwareOpen, &QPushButton::clicked, this, &CDlgAdmin::OnBnClickedFirmwareOpen);
    connect(m_btnUpload, &QPushButton::clicked, this, &CDlgAdmin::OnBnClickedUpload);
    connect(m_btnCancelUpload, &QPushButton::clicked, this, &CDlgAdmin::OnBnClickedCancelUpload);
    connect(DlgItem<QPushButton>(IDC_SHOW_LOG), &QPushButton::clicked, this, &CDlgAdmin::OnBnClickedShowLog);
    connect(m_gridInfo, &CSpreadSheet::ButtonClicked, this, &CDlgAdmin::OnButtonClickedInfoGrid);
    connect(m_gridCal, &CSpreadSheet::ButtonClicked, this, &CDlgAdmin::OnButtonClickedCalGrid);
}

void CDlgAdmin::SetPrompts(AdminPrompts *prompts)
{
    m_prompts = prompts;
}

AdminPrompts &CDlgAdmin::Prompts()
{
    return m_prompts ? *m_prompts : *m_defaultPrompts;
}

bool CDlgAdmin::TimerActive() const
{
    return m_timer->isActive();
}

void CDlgAdmin::SetTimerEnabled(bool enabled)
{
    m_timerEnabled = enabled;
    if (!enabled)
        m_timer->stop();
}

QRect CDlgAdmin::FreeArea() const
{
    const QRect send = m_traceSend->geometry();
    const QRect close = m_btnClose->geometry();
    return QRect(send.left(), send.top(), width() - send.left() - 5, close.top() - 5 - send.top());
}

bool CDlgAdmin::Ask(const QString &text, bool defaultNo)
{
    ++m_openPrompts;
    const bool yes = Prompts().Ask(this, text, defaultNo);
    --m_openPrompts;
    return yes;
}

void CDlgAdmin::Notify(const QString &text)
{
    ++m_openPrompts;
    Prompts().Notify(this, text);
    --m_openPrompts;
}

bool CDlgAdmin::StartJob(const Job &job, std::function<void(const JobResult &)> then)
{
    if (!m_client.Submit(job, std::move(then)))
        return false;
    m_userJob = job.userJob;
    if (m_userJob)
        setCursor(Qt::WaitCursor);
    UpdateControls();
    return true;
}

void CDlgAdmin::OnJobFinished(const JobResult &)
{
    if (m_userJob)
        unsetCursor();
    m_userJob = false;
    m_bUploading = false;
    UpdateControls();
}

void CDlgAdmin::UpdateControls()
{
    UpdateFirmwareControls();
}

// ---------------------------------------------------------------------------------------------------
// Set-up, layout and shut-down

void CDlgAdmin::FitToScreen()
{
    // The console is laid out in dialog units of its font: at a high scale factor its usual font makes it
    // larger than the screen, so a smaller font shrinks all of it until it fits with its frame.
    const QScreen *shown = screen();
    if (!shown)
        return;
    const QSize room = shown->availableGeometry().size().shrunkBy(kUsualFrame);
    for (double resolution = FontResolution();
         resolution > FontResolution() / 2 && (width() > room.width() || height() > room.height());
         resolution *= 0.97) {
        setMinimumSize(0, 0); // the fixed size of the larger font
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        m_fontScaler.Apply(m_template, this, resolution * 0.97);
        setFixedSize(size());
    }
}

void CDlgAdmin::InitControls()
{
    FitToScreen();
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setFormat(QString()); // no caption until a file is chosen
    m_progress->setTextVisible(true);
    m_progress->setAlignment(Qt::AlignCenter);
    BuildGrids();
    UpdateFirmwareControls();
    RepositionControls();
    if (m_timerEnabled)
        m_timer->start();
}

void CDlgAdmin::RepositionControls()
{
    const QRect query = m_btnQuery->geometry();
    const QRect info(query.right() + 1 + 5, query.top(), width() - 5 - (query.right() + 1 + 5), query.height());
    FitGridToRect(*m_gridInfo, false, info, GridScreen{ResolutionX(), ResolutionY()});
    StretchGridColumns(*m_gridInfo, info, GridScreen{ResolutionX(), ResolutionY()});

    const QRect group = DlgItem<QWidget>(IDC_CAL_GROUP)->geometry();
    const int top = m_radio15->geometry().bottom() + 1 + 2;
    const int bottom = m_chkAutoRead->geometry().top() - 5;
    const QRect cal(group.left() + 5, top, group.width() - 10, bottom - top);
    FitGridToRect(*m_gridCal, false, cal, GridScreen{ResolutionX(), ResolutionY()});
    StretchGridColumns(*m_gridCal, cal, GridScreen{ResolutionX(), ResolutionY()});
    update();
}

void CDlgAdmin::done(int result)
{
    // Nothing closes the console while the instrument is being written.
    if (m_bUploading)
        return;
    OnDestroy();
    CDlgComm::done(result);
}

void CDlgAdmin::closeEvent(QCloseEvent *event)
{
    if (m_bUploading) {
        event->ignore();
        return;
    }
    CDlgComm::closeEvent(event);
}

void CDlgAdmin::OnDestroy()
{
    if (m_timer)
        m_timer->stop();
    // A job still running keeps its own copy of what it sends; its end is no longer waited for.
    m_client.Cancel();
    m_pFirmware.clear();
    m_nFirmwareSize = 0;
}

void CDlgAdmin::OnTimer()
{
    m_gridInfo->SetCellTextIfChanged(5, 5, FormatLocalTime(m_client.Host().GetClock().Now()));
    // A tick while a job runs or a question is open is skipped, never queued behind it.
    if (m_client.Busy() || m_openPrompts > 0)
        return;
    if (m_bInfoRead && m_chkAutoRead->isChecked() && !m_bFirmwareReady)
        SelectLoadCell(m_nLoadCell);
}

void CDlgAdmin::OnBnClickedShowLog()
{
    if (m_toggleLog)
        m_toggleLog();
}

// ---------------------------------------------------------------------------------------------------
// Grids

void CDlgAdmin::BuildGrids()
{
    BuildInfoGrid();
    BuildCalGrid();
}

void CDlgAdmin::BuildInfoGrid()
{
    CSpreadSheet &g = *m_gridInfo;
    const AppPalette &pal = TonvaleApp().palette;
    ApplyGridStyle(g, GridColorsOf(TonvaleApp().palette), ResolutionX());
    g.SetColumnHeadersShown(false);
    g.SetRowHeadersShown(false);
    g.SetScrollBars(0);
    g.SetColumnCount(6);
    g.SetRowCount(6);
    g.SetVisibleColumns(6);

    SetBlockBackColor(g, 1, grid::kAll, pal.labelBackColor);
    SetBlockBackColor(g, 4, grid::kAll, pal.labelBackColor);
    const char *const left[] = {"측정기 명", "측정기 S/N", "15톤 로드셀 S/N", "30톤 로드셀 S/N",
                                "30톤 로드셀 커버 S/N"};
    const char *const right[] = {"버전 정보", "배터리 상태", "15톤 로드셀 커버 S/N", "25톤 로드셀 커버 S/N",
                                 "컴퓨터 시간"};
    for (int row = 1; row <= 5; ++row)
        g.SetCellTextIfChanged(1, row, QString::fromUtf8(left[row - 1]));
    for (int row = 1; row <= 5; ++row)
        g.SetCellTextIfChanged(4, row, QString::fromUtf8(right[row - 1]));
    g.JoinCells(1, 6, 3, 1);
    g.SetCellTextIfChanged(4, 6, QStringLiteral("장비 시간"));

    SetBlockBackColor(g, 2, grid::kAll, pal.valueBackColor);
    SetBlockBackColor(g, 5, grid::kAll, pal.valueBackColor);
    SetButtonLook(g, pal);
    g.SetCurrentColumn(grid::kAll);
    g.SetCurrentRow(grid::kAll);
    g.SetButtonCaption(kSetCaption);

    g.DrawBlockBorder(1, 1, 6, 6, grid::EdgeAll, int(pal.borderColor), grid::BorderSolid);
    SetBlockType(g, grid::kAll, grid::kAll, grid::CellStaticText);
    SetBlockType(g, 2, grid::kAll, grid::CellEditText);
    SetBlockType(g, 5, grid::kAll, grid::CellEditText);
    SetBlockType(g, 3, grid::kAll, grid::CellButton);
    SetBlockType(g, 6, grid::kAll, grid::CellButton);

    for (const auto &[col, row] : {std::pair{3, 1}, {6, 1}, {6, 2}})
        SetBlockType(g, col, row, grid::CellStaticText);
    for (const auto &[col, row] : {std::pair{5, 2}, {2, 1}, {5, 1}, {5, 5}}) {
        SetBlockType(g, col, row, grid::CellStaticText);
        g.SetCellBackColor(int(pal.backColor));
    }

    SetBlockType(g, 6, 5, grid::CellCheckBox);
    g.SetCheckCaption(QStringLiteral("현재시간적용"));
    g.SetCellInteger(6, 5, 1);

    SetBlockBackColor(g, 1, 6, pal.backColor);
    SetBlockBackColor(g, 2, 6, pal.backColor);

    const double widths[] = {18, 20, 12, 18, 20, 12};
    for (int col = 1; col <= 6; ++col)
        g.SetColumnWidth(col, widths[col - 1]);
    for (const InfoFields::IdentityField &field : InfoFields::kIdentityFields) {
        g.SetCurrentColumn(field.buttonCol - 1);
        g.SetCurrentRow(field.buttonRow);
        g.SetMaxTextLength(field.length);
    }
}

void CDlgAdmin::BuildCalGrid()
{
    CSpreadSheet &g = *m_gridCal;
    const AppPalette &pal = TonvaleApp().palette;
    ApplyGridStyle(g, GridColorsOf(TonvaleApp().palette), ResolutionX());
    g.SetColumnHeadersShown(false);
    g.SetRowHeadersShown(false);
    g.SetScrollBars(0);
    g.SetColumnCount(4);
    g.SetRowCount(9);
    g.SetVisibleColumns(4);
    g.SetVisibleRows(9);

    SetBlockBackColor(g, 1, grid::kAll, pal.labelBackColor);
    SetBlockBackColor(g, grid::kAll, 1, pal.labelBackColor);
    SetButtonLook(g, pal);
    SetBlockType(g, grid::kAll, grid::kAll, grid::CellStaticText);
    for (int row = 1; row <= Calibration::kLiveRow; ++row)
        g.JoinCells(2, row, 2, 1);

    for (int row = Calibration::kFirstCorrectionRow; row <= Calibration::kLastCorrectionRow; ++row) {
        SetBlockType(g, 3, row, grid::CellNumber);
        g.SetNumberMin(Calibration::kMinCorrection);
        g.SetNumberMax(Calibration::kMaxCorrection);
        g.SetNumberDecimals(0);
        g.SetCellBackColor(int(pal.valueBackColor));
    }
    SetBlockType(g, 4, grid::kAll, grid::CellButton);
    g.SetButtonCaption(kSetCaption);
    SetBlockType(g, 4, 1, grid::CellStaticText);
    SetBlockType(g, 4, Calibration::kLiveRow, grid::CellStaticText);

    g.SetCellTextIfChanged(1, 1, QStringLiteral("구 분"));
    for (int row = 2; row <= 9; ++row) {
        if (row == Calibration::kLiveRow)
            g.SetCellTextIfChanged(1, row, QStringLiteral("현 로드셀 값"));
        else
            g.SetCellTextIfChanged(1, row, Calibration::RowLabel(0, row));
    }
    g.SetCellTextIfChanged(2, 1, QStringLiteral("값"));
    g.SetCellTextIfChanged(4, 1, QString());

    g.DrawBlockBorder(1, 1, 4, 9, grid::EdgeAll, int(pal.borderColor), grid::BorderSolid);
    const double widths[] = {18, 13, 13, 13};
    for (int col = 1; col <= 4; ++col)
        g.SetColumnWidth(col, widths[col - 1]);
}

// ---------------------------------------------------------------------------------------------------
// Instrument information and settings

void CDlgAdmin::QueryDeviceInfo()
{
    if (m_client.Busy())
        return;
    m_bInfoRead = false;
    m_gridInfo->ClearBlock(2, 1, 2, 6, true);
    m_gridInfo->ClearBlock(5, 1, 5, 4, true);
    m_gridInfo->ClearBlock(5, 6, 5, 6, true);

    QList<ExchangeStep> steps;
    for (const InfoFields::ReadStep &step : InfoFields::kReadSteps)
        steps.append(ExchangeStep{step.command, QByteArray(1, '\0'), step.optional});
    StartJob(SessionJobs::Script(steps), [this](const JobResult &result) {
        for (int i = 0; i < result.exchanges.size() && i < int(InfoFields::kReadSteps.size()); ++i) {
            const InfoFields::ReadStep &step = InfoFields::kReadSteps[size_t(i)];
            const ExchangeOutcome &outcome = result.exchanges[i];
            if (outcome.code < 0)
                continue;
            const int length = kResponseDataLength[step.command - CMD_FIRST];
            m_gridInfo->SetCellTextIfChanged(
                step.col, step.row,
                InfoFields::RenderAnswer(step.rendering,
                                         reinterpret_cast<const uint8_t *>(outcome.response.constData()), length));
        }
        ShowTrace(result.trace);
        if (result.code < 0) {
            m_chkAutoRead->setChecked(false);
            Notify(result.text);
            return;
        }
        m_bInfoRead = true;
    });
}

void CDlgAdmin::OnButtonClickedInfoGrid(int col, int row, int)
{
    if (m_bFirmwareReady || m_client.Busy())
        return;
    if (col == 6 && row == 5) // the check box toggles itself
        return;
    if (col == 6 && row == 6) {
        SetInstrumentClock();
        return;
    }
    const InfoFields::IdentityField *field = InfoFields::IdentityFieldAt(col, row);
    if (!field)
        return;
    const QString value = m_gridInfo->text(col - 1, row);
    if (value.isEmpty())
        return;
    const QString label = m_gridInfo->text(col - 2, row);
    QString refusal;
    const std::optional<QByteArray> payload = InfoFields::IdentityPayload(label, value, field->length, &refusal);
    if (!payload) {
        Notify(refusal);
        return;
    }
    if (!Ask(QStringLiteral("%1-'%2' 값을 설정하시겠습니까?").arg(label, value)))
        return;
    SendWrite(field->command, payload->left(field->length));
}

void CDlgAdmin::SetInstrumentClock()
{
    int usePcTime = 0;
    m_gridInfo->GetCellInteger(6, 5, &usePcTime);
    // A typed time that is no calendar time is refused before the question, not after the consent.
    std::optional<InstrumentClock::Payload> typedPayload;
    if (usePcTime == 0) {
        const auto typed = InfoFields::ParseTypedClock(m_gridInfo->text(5, 6));
        typedPayload = typed ? InstrumentClock::SetClockPayload(*typed) : std::nullopt;
        if (!typedPayload) {
            Notify(kClockRefused);
            return;
        }
    }
    if (!Ask(QStringLiteral("장비시간을 설정하시겠습니까?")))
        return;
    if (usePcTime != 0) {
        // The PC time is taken on the session just before it is sent.
        StartJob(SessionJobs::SetClockNow(InstrumentClock::ServiceTelephone()), [this](const JobResult &result) {
            if (result.nothingSent)
                Notify(kClockRefused);
            else
                Notify(result.code < 0 ? QStringLiteral("설정 실패 - %1").arg(result.text) : QStringLiteral("성공"));
        });
        return;
    }
    SendWrite(CMD_SET_CLOCK,
              QByteArray(reinterpret_cast<const char *>(typedPayload->data()), int(typedPayload->size())));
}

void CDlgAdmin::SendWrite(uint8_t command, const QByteArray &data)
{
    StartJob(SessionJobs::Write(command, data), [this](const JobResult &result) {
        Notify(result.code < 0 ? QStringLiteral("설정 실패 - %1").arg(result.text) : QStringLiteral("성공"));
    });
}

void CDlgAdmin::ShowTrace(const LinkTrace &trace)
{
    m_traceSend->setText(TraceLines::SendLine(trace));
    m_traceRecv->setText(TraceLines::RecvLine(trace));
}

// ---------------------------------------------------------------------------------------------------
// Calibration

void CDlgAdmin::SelectLoadCell(int mode)
{
    const int previous = m_nLoadCell;
    m_nLoadCell = m_radio30->isChecked() ? 1 : 0;
    if (mode != previous) {
        RelabelCalGrid();
        for (int row = Calibration::kFirstCorrectionRow; row <= Calibration::kLastCorrectionRow; ++row)
            m_gridCal->SetCellTextIfChanged(3, row, QStringLiteral("0"));
    }
    // The link is opened again by the read itself when an earlier failure closed it.
    if (m_bInfoRead && m_chkAutoRead->isChecked() && !m_bFirmwareReady)
        ReadCalibration();
}

void CDlgAdmin::RelabelCalGrid()
{
    for (int row = Calibration::kFirstPointRow; row <= Calibration::kLastCorrectionRow; ++row) {
        if (row != Calibration::kLiveRow)
            m_gridCal->SetCellTextIfChanged(1, row, Calibration::RowLabel(m_nLoadCell, row));
    }
}

void CDlgAdmin::ReadCalibration()
{
    if (m_client.Busy())
        return;
    Job job = SessionJobs::Read(Calibration::ReadCommand(m_nLoadCell));
    job.userJob = false; // the automatic reading: no wait cursor, nothing disabled every second
    StartJob(job, [this](const JobResult &result) { ShowCalibration(result); });
}

void CDlgAdmin::ShowCalibration(const JobResult &result)
{
    if (result.code >= 0 && !result.exchanges.isEmpty()) {
        const auto *answer = reinterpret_cast<const uint8_t *>(result.exchanges.constLast().response.constData());
        const Calibration::Table table = Calibration::Decode(answer);
        for (int i = 0; i < 4; ++i)
            m_gridCal->SetCellTextIfChanged(2, Calibration::kFirstPointRow + i, QString::number(table.points[i]));
        m_gridCal->SetCellTextIfChanged(2, Calibration::kLiveRow, QString::number(table.live));
        for (int i = 0; i < 3; ++i)
            m_gridCal->SetCellTextIfChanged(2, Calibration::kFirstCorrectionRow + i,
                                            QString::number(table.corrections[i]));
    } else {
        // A failed read leaves no present value: a number kept here would look live.
        m_gridCal->SetCellTextIfChanged(2, Calibration::kLiveRow, Calibration::kNoLiveValue);
    }
    ShowTrace(result.trace);
}

std::optional<uint32_t> CDlgAdmin::CalNumber(int row) const
{
    bool ok = false;
    const uint32_t value = m_gridCal->text(2, row).toUInt(&ok);
    return ok ? std::optional<uint32_t>(value) : std::nullopt;
}

void CDlgAdmin::OnButtonClickedCalGrid(int col, int row, int)
{
    // The buttons sit in column 4. A click while a read runs starts nothing: the values it would
    // confirm are about to change.
    if (m_bFirmwareReady || col != 4 || m_client.Busy())
        return;
    m_nLoadCell = m_radio30->isChecked() ? 1 : 0;
    const QString prefix = Calibration::ModePrefix(m_nLoadCell);
    const QString label = m_gridCal->text(1, row);

    if (row >= Calibration::kFirstCorrectionRow && row <= Calibration::kLastCorrectionRow) {
        const QString newValue = m_gridCal->text(3, row);
        const QString current = m_gridCal->text(2, row);
        if (newValue.isEmpty() || current.isEmpty())
            return;
        const QString question =
            QStringLiteral("%1%2 '%3' -> '%4' 값으로 설정하시겠습니까?").arg(prefix, label, current, newValue);
        if (!Ask(question))
            return;
        bool isNumber = false;
        const int value = newValue.trimmed().toInt(&isNumber);
        const auto payload = isNumber ? Calibration::CorrectionWrite(m_nLoadCell, row, value) : std::nullopt;
        if (!payload) {
            Notify(QStringLiteral("보정 값은 %1 ~ %2 사이의 정수여야 합니다.")
                       .arg(Calibration::kMinCorrection)
                       .arg(Calibration::kMaxCorrection));
            return;
        }
        SendWrite(CMD_WRITE_CAL, QByteArray(reinterpret_cast<const char *>(payload->data()), int(payload->size())));
    } else if (row >= Calibration::kFirstPointRow && row <= Calibration::kLastPointRow) {
        // The question compares the live reading with the table as last read; without a reading there
        // is nothing to capture.
        const std::optional<uint32_t> live = CalNumber(Calibration::kLiveRow);
        std::array<uint32_t, 4> points{};
        for (int i = 0; i < 4; ++i) {
            const std::optional<uint32_t> point = CalNumber(Calibration::kFirstPointRow + i);
            if (!live || !point)
                return;
            points[i] = *point;
        }
        const Calibration::CaptureQuestion question = Calibration::CaptureQuestionFor(m_nLoadCell, row, points, *live);
        if (!Ask(question.text, question.doubtful))
            return;
        SendWrite(Calibration::CaptureCommand(m_nLoadCell), QByteArray(1, char(Calibration::CapturePoint(row))));
    }
}

// ---------------------------------------------------------------------------------------------------
// Firmware

void CDlgAdmin::UpdateFirmwareControls()
{
    // While the operator waits for a job nothing starts another; during the upload nothing at all in
    // the console may act, so that the image is written whole.
    const bool waiting = m_client.Busy() && m_userJob;
    const bool armed = m_bFirmwareReady;
    m_btnQuery->setEnabled(!armed && !waiting);
    m_chkAutoRead->setEnabled(!armed && !m_bUploading);
    m_radio15->setEnabled(!armed && !waiting);
    m_radio30->setEnabled(!armed && !waiting);
    m_btnCancelUpload->setEnabled(armed && !m_bUploading);
    m_btnUpload->setEnabled(armed && !waiting);
    m_btnFirmwareOpen->setEnabled(!m_bUploading);
    m_btnClose->setEnabled(!m_bUploading);
    m_viewInfo->setEnabled(!m_bUploading);
    m_viewCal->setEnabled(!m_bUploading);
}

void CDlgAdmin::SetProgress(int position, const QString &caption)
{
    m_progress->setFormat(caption);
    m_progress->setValue(position);
}

void CDlgAdmin::OnBnClickedFirmwareOpen()
{
    if (m_bUploading)
        return;
    m_chkAutoRead->setChecked(false);
    const QString path = Prompts().ChooseFirmwareFile(this);
    if (path.isEmpty())
        return;
    m_bFirmwareReady = false;
    const Firmware::LoadedFile file = Firmware::LoadFile(path);
    if (file.status != Firmware::LoadedFile::Unreadable) {
        m_pFirmware = file.image;
        m_nFirmwareSize = quint32(file.image.size());
        switch (file.status) {
        case Firmware::LoadedFile::Valid:
            m_bFirmwareReady = true;
            m_status->setText(QStringLiteral("상태 : 파일 읽기 성공 (파일사이즈 : %1)").arg(m_nFirmwareSize));
            m_editPath->setText(path);
            break;
        case Firmware::LoadedFile::TooLarge:
            m_status->setText(
                QStringLiteral("상태 : 파일이 너무 큽니다. (최대 %1 MiB)").arg(Firmware::kMaxFileSize / (1024 * 1024)));
            break;
        default: m_status->setText(QStringLiteral("상태 : 정상적인 펌웨어 파일이 아닙니다.")); break;
        }
        SetProgress(0, QStringLiteral("업로드 대기중."));
    }
    UpdateFirmwareControls();
}

void CDlgAdmin::OnBnClickedCancelUpload()
{
    if (m_bUploading)
        return;
    m_bFirmwareReady = false;
    m_status->setText(QStringLiteral("펌웨어 업데이트 취소"));
    m_editPath->clear();
    UpdateFirmwareControls();
}

void CDlgAdmin::OnBnClickedUpload()
{
    if (m_client.Busy() || !m_bFirmwareReady)
        return;
    // The job owns its copy of the image: nothing the console does meanwhile can take it away.
    const Job job = Firmware::UploadJob(m_pFirmware);
    m_bUploading = true;
    if (!StartJob(job, [this](const JobResult &result) {
            m_status->setText(result.status);
            m_bFirmwareReady = false;
            UpdateFirmwareControls();
        }))
        m_bUploading = false;
    UpdateFirmwareControls();
}
