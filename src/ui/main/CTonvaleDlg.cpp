#include "CTonvaleDlg.h"
#include "KoreanMessageBox.h"
#include "WaitCursor.h"

#include "CDlgHistory.h"
#include "CDlgLog.h"
#include "CIniSysInfo.h"
#include "CSpreadSheet.h"
#include "CTonvaleApp.h"
#include "ChartWindow.h"
#include "Clock.h"
#include "Commands.h"
#include "DeviceGridCells.h"
#include "GridLayout.h"
#include "InstrumentClock.h"
#include "InstrumentIdentity.h"
#include "LimitsSettings.h"
#include "LocalTime.h"
#include "Mailbox.h"
#include "Measurement.h"
#include "PressRegisterHooks.h"
#include "ReportExport.h"
#include "ResultCodes.h"
#include "SessionJobs.h"
#include "SpreadSheetView.h"
#include "TonvaleArt.h"
#include "VerdictMarker.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QDateEdit>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QTimerEvent>

#include <algorithm>
#include <optional>
#include <utility>

using namespace dlgstyle;

const QString CTonvaleDlg::kCaptionConnected = QStringLiteral("압력 계측기 : 장비 연결 성공");
const QString CTonvaleDlg::kCaptionDisconnected = QStringLiteral("압력 계측기 : 연결장비 없음");

namespace {

constexpr int kTemplateId = 102;
constexpr int kGridFontSize = 11;
constexpr QSize kHelpPictureSize(180, 90);
// The data grid starts this far below the help picture and ends this far above the window's bottom edge
// (the bottom row of buttons); it is never lower than kMinimumGridHeight.
constexpr int kDataGridTop = 45;
constexpr int kBottomRow = 50;
constexpr int kMinimumGridHeight = 120;

// The device grid: labels in columns 1 and 3, values in 2 and 4.
constexpr int kDeviceColumns = 4;
constexpr int kDeviceRows = 6;
const char16_t *const kDeviceLabels[kDeviceRows][2] = {
    {u"작성 일시", u"회사 명"},
    {u"보고서 명", u"작성자 명"},
    {u"측정기 명", u"측정기 S/N"},
    {u"15톤 로드셀 S/N", u"15톤 로드셀 커버 S/N"},
    {u"30톤 로드셀 S/N", u"25톤 로드셀 커버 S/N"},
    {u"30톤 로드셀 커버 S/N", u"버전 정보"},
};
// The report header cells the operator may edit: written on connect (date) or from the INI file.
constexpr QPoint kCreatedCell(2, 1), kReportNameCell(2, 2), kCompanyCell(4, 1), kUserNameCell(4, 2);

// Every identity read is optional: a failing one leaves its cell empty and the others are still read.
QList<ExchangeStep> IdentitySteps()
{
    QList<ExchangeStep> steps;
    for (const IdentityField &field : kIdentityFields)
        steps.append(ExchangeStep{field.readCommand, QByteArray(1, '\0'), true});
    return steps;
}

// A rectangle from its edges, right and bottom exclusive.
QRect FromEdges(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left, bottom - top);
}

} // namespace

DialogTemplate CTonvaleDlg::MakeTemplate()
{
    DialogTemplate t;
    t.id = kTemplateId;
    t.caption = kCaptionDisconnected;
    t.style =
        DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_VISIBLE;
    t.cx = 500;
    t.cy = 325;
    t.pointSize = 12;
    t.weight = 400;
    t.fontFace = QStringLiteral("굴림체");
    const quint32 push = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
    const quint32 label = WS_VISIBLE | SS_RIGHT | SS_CENTERIMAGE;
    const quint32 radio = WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON | BS_PUSHLIKE;
    const quint32 picker = WS_VISIBLE | WS_TABSTOP | DTS_RIGHTALIGN;
    t.controls = {
        {IDC_HELP_IMAGE, ControlClass::Button, QString(), 5, 4, 94, 58, push},
        {IDC_CONNECT, ControlClass::Button, QStringLiteral("장비 조회"), 103, 4, 46, 58, push},
        {IDC_DEVICE_GRID, ControlClass::Grid, QString(), 152, 4, 343, 58, WS_VISIBLE | WS_TABSTOP},
        {IDC_MODE_MEMORY, ControlClass::Button, QStringLiteral("MEMORY"), 5, 71, 60, 9, radio | WS_GROUP},
        {IDC_MODE_OUTPUT, ControlClass::Button, QStringLiteral("OUTPUT"), 66, 71, 60, 9, radio},
        {IDC_START_LABEL, ControlClass::Static, QStringLiteral("시작일"), 213, 67, 72, 9, label},
        {IDC_START_DATE, ControlClass::DatePicker, QString(), 288, 67, 55, 9, picker},
        {IDC_END_LABEL, ControlClass::Static, QStringLiteral("종료일"), 343, 67, 32, 9, label},
        {IDC_END_DATE, ControlClass::DatePicker, QString(), 378, 67, 55, 9, picker},
        {IDC_QUERY, ControlClass::Button, QStringLiteral("데이터 조회"), 440, 67, 55, 9, push},
        {IDC_DATA_GRID, ControlClass::Grid, QString(), 5, 80, 490, 225, WS_VISIBLE | WS_TABSTOP},
        {IDC_SELECT_ALL, ControlClass::Button, QStringLiteral("전체 선택"), 5, 311, 40, 11, push},
        {IDC_SELECT_NONE, ControlClass::Button, QStringLiteral("전체 해제"), 47, 311, 40, 11, push},
        {IDC_SELECT_INVERT, ControlClass::Button, QStringLiteral("선택 반전"), 90, 311, 40, 11, push},
        {IDC_SET_TIME, ControlClass::Button, QStringLiteral("현재시간 설정"), 142, 310, 70, 12, push | BS_MULTILINE},
        {IDC_READ_TIME, ControlClass::Button, QStringLiteral("장비시간 조회"), 215, 310, 70, 12, push | BS_MULTILINE},
        {IDC_CLOCK_DISPLAY, ControlClass::Static, QStringLiteral("YYYY-MM-DD HH:MM:SS"), 287, 311, 80, 11,
         WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE},
        {IDC_TELEPHONE, ControlClass::Edit, QString(), 370, 312, 60, 9, WS_BORDER | ES_CENTER},
        {IDC_EXPORT, ControlClass::Button, QStringLiteral("엑셀 저장"), 435, 311, 60, 11, push},
        {IDC_ADMIN, ControlClass::Button, QStringLiteral("관리자 모드"), 372, 311, 60, 11, WS_TABSTOP | BS_PUSHBUTTON},
        {IDC_SHOW_LOG, ControlClass::Button, QStringLiteral("로그 보기"), 310, 311, 60, 11, WS_TABSTOP | BS_PUSHBUTTON},
        {IDC_HISTORY, ControlClass::Button, QStringLiteral("기록 보기"), 246, 311, 30, 11, push},
        {IDC_CHART, ControlClass::Button, QStringLiteral("그래프 보기"), 278, 311, 30, 11, push},
        {IDC_STATUS, ControlClass::Static, QStringLiteral("장비 상태 : 없음"), 5, 64, 100, 9, SS_LEFT},
        {1, ControlClass::Button, QStringLiteral("확인"), 390, 0, 50, 9, WS_DISABLED | BS_DEFPUSHBUTTON},
        {2, ControlClass::Button, QStringLiteral("취소"), 445, 0, 50, 9, BS_PUSHBUTTON},
    };
    return t;
}

CTonvaleDlg::CTonvaleDlg(Ft260Device &device, DeviceDiscovery &discovery, Clock &clock, CIniSysInfo &sysInfo,
                         QWidget *parent)
    : CDlgComm(MakeTemplate(), parent), m_clock(clock), m_sysInfo(sysInfo),
      m_archive(std::make_shared<DownloadArchive>(DownloadArchive::SettingsFor(sysInfo.iniPath, &m_archiveError))),
      m_session(device, discovery, clock)
{
    setWindowIcon(TonvaleAppIcon());
    CreateTemplateControls();
    // Not in the template: the download's cancel button and its progress line, beside the mode buttons.
    m_btnCancelDownload = new QPushButton(QStringLiteral("취소"), this);
    SetControlId(m_btnCancelDownload, IDC_CANCEL_DOWNLOAD);
    m_btnCancelDownload->setAutoDefault(false);
    m_btnCancelDownload->hide();
    m_progressLabel = new QLabel(this);
    SetControlId(m_progressLabel, IDC_PROGRESS);
    BindControls();
    m_nMode = MODE_MEMORY;
    connect(m_btnCancelDownload, &QPushButton::clicked, this, &CTonvaleDlg::OnCancelDownload);
    connect(&m_session, &SessionHost::presenceChanged, this, [this] {
        ShowCaption();
        UpdateControls();
    });
    if (m_archive->Enabled()) {
        m_session.SetRecordObserver(m_archive.get());
        m_archive->TellOutcomes(new Mailbox(this), [this](const ArchiveOutcome &archived) { TellArchived(archived); });
    }
    connect(&m_client, &SessionClient::jobStarted, this, &CTonvaleDlg::OnJobStarted);
    connect(&m_client, &SessionClient::recordsArrived, this, &CTonvaleDlg::AddRecordBatch);
    connect(&m_client, &SessionClient::jobFinished, this, &CTonvaleDlg::OnJobFinished);
}

CTonvaleDlg::~CTonvaleDlg()
{
    m_archive->TellOutcomes(nullptr, {});
    OnDestroy();
}

QWidget *CTonvaleDlg::CreateCustomControl(const DialogControl &control)
{
    auto *grid = new CSpreadSheet(this);
    auto *view = new SpreadSheetView(grid, this);
    if (control.id == IDC_DEVICE_GRID) {
        m_deviceGrid = grid;
        m_deviceGridView = view;
    } else {
        m_dataGrid = grid;
        m_dataGridView = view;
    }
    return view;
}

void CTonvaleDlg::BindControls()
{
    m_btnHelp = DlgItem<QPushButton>(IDC_HELP_IMAGE);
    m_btnConnect = DlgItem<QPushButton>(IDC_CONNECT);
    m_btnQuery = DlgItem<QPushButton>(IDC_QUERY);
    m_btnExport = DlgItem<QPushButton>(IDC_EXPORT);
    m_btnSelectAll = DlgItem<QPushButton>(IDC_SELECT_ALL);
    m_btnSelectNone = DlgItem<QPushButton>(IDC_SELECT_NONE);
    m_btnSelectInvert = DlgItem<QPushButton>(IDC_SELECT_INVERT);
    m_btnSetTime = DlgItem<QPushButton>(IDC_SET_TIME);
    m_btnReadTime = DlgItem<QPushButton>(IDC_READ_TIME);
    m_btnAdmin = DlgItem<QPushButton>(IDC_ADMIN);
    m_btnShowLog = DlgItem<QPushButton>(IDC_SHOW_LOG);
    m_btnHistory = DlgItem<QPushButton>(IDC_HISTORY);
    m_btnChart = DlgItem<QPushButton>(IDC_CHART);
    m_radioMemory = DlgItem<QAbstractButton>(IDC_MODE_MEMORY);
    m_radioOutput = DlgItem<QAbstractButton>(IDC_MODE_OUTPUT);
    m_startLabel = DlgItem<QLabel>(IDC_START_LABEL);
    m_endLabel = DlgItem<QLabel>(IDC_END_LABEL);
    m_clockDisplay = DlgItem<QLabel>(IDC_CLOCK_DISPLAY);
    m_startDate = DlgItem<QDateTimeEdit>(IDC_START_DATE);
    m_endDate = DlgItem<QDateTimeEdit>(IDC_END_DATE);
    m_telephone = DlgItem<QLineEdit>(IDC_TELEPHONE);
    m_rows = RecordTableWriter(m_dataGrid, int(TonvaleApp().palette.textColor));

    connect(m_btnConnect, &QPushButton::clicked, this, &CTonvaleDlg::OnConnect);
    connect(m_btnQuery, &QPushButton::clicked, this, &CTonvaleDlg::OnQueryData);
    connect(m_btnExport, &QPushButton::clicked, this, &CTonvaleDlg::OnExportExcel);
    FollowOperatorTicks();
    connect(m_btnSelectAll, &QPushButton::clicked, this, &CTonvaleDlg::OnSelectAll);
    connect(m_btnSelectNone, &QPushButton::clicked, this, &CTonvaleDlg::OnSelectNone);
    connect(m_btnSelectInvert, &QPushButton::clicked, this, &CTonvaleDlg::OnSelectInvert);
    connect(m_btnHelp, &QPushButton::clicked, this, &CTonvaleDlg::OnHelp);
    connect(m_btnAdmin, &QPushButton::clicked, this, &CTonvaleDlg::OnAdminMode);
    connect(m_btnShowLog, &QPushButton::clicked, this, &CTonvaleDlg::OnShowLog);
    connect(m_btnReadTime, &QPushButton::clicked, this, &CTonvaleDlg::OnReadDeviceTime);
    connect(m_btnSetTime, &QPushButton::clicked, this, &CTonvaleDlg::OnSetDeviceTime);
    connect(m_btnHistory, &QPushButton::clicked, this, &CTonvaleDlg::OnShowHistory);
    connect(m_btnChart, &QPushButton::clicked, this, &CTonvaleDlg::OnShowChart);
    // The pressed-in mode button in the accent colour, so the mode reads at a glance.
    for (QAbstractButton *radio : {m_radioMemory, m_radioOutput})
        radio->setStyleSheet(QStringLiteral("QPushButton:checked { background-color: #007ACC; color: white; "
                                            "border: 1px solid #3F3F46; border-radius: 2px; }"));
    connect(m_radioMemory, &QAbstractButton::clicked, this, &CTonvaleDlg::OnModeMemory);
    connect(m_radioOutput, &QAbstractButton::clicked, this, &CTonvaleDlg::OnModeOutput);
    // F1 anywhere in the window, whichever control has the focus.
    auto *help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, &CTonvaleDlg::OnHelp);
}

QWidget *CTonvaleDlg::Control(int id) const
{
    return GetDlgItem(id);
}

// ---- initialisation ----

bool CTonvaleDlg::OnInitDialog()
{
    // Every control is polished in the application's theme (set at start-up) before the scaler gives out
    // its font: a control polished later would drop that font again.
    TakeThemeColors();
    for (QWidget *control : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        control->ensurePolished();
    m_fontScaler.Apply(m_template, this, FontResolution());
    InitControls();
    CreateLogWindow();

    // As wide as the bottom row of buttons needs; as high as the rows above and below the data grid
    // and a few of its rows need. It opens at its usual size, or lower on a smaller screen (a high scale
    // factor), and inside the screen's free area with its frame.
    const int minimumHeight = m_btnConnect->geometry().bottom() + 1 + kDataGridTop + kMinimumGridHeight + kBottomRow;
    setMinimumSize(kStartWidth, minimumHeight);
    QSize start(kStartWidth, kStartHeight);
    if (const QScreen *shown = screen()) {
        const QRect area = shown->availableGeometry();
        start = start.boundedTo(area.size().shrunkBy(CDlgLog::kAssumedFrame)).expandedTo(minimumSize());
        move(area.topLeft());
    }
    resize(start);
    m_bLayoutReady = true;
    RepositionControls();

    setWindowTitle(kCaptionDisconnected);
    UpdateControls();
    if (m_timersEnabled)
        m_presenceTimer = startTimer(kPresenceIntervalMs);
    HookPressRegister();
    return true;
}

void CTonvaleDlg::HookPressRegister()
{
    if (!m_archive->Enabled())
        return;
    const auto ticked = [this] {
        TickedRecords ticked{GridIdentity(), {}, QStringLiteral("설비에 지정할 저장 기록을 선택하세요.")};
        if (m_records.Continuous()) {
            ticked.whyNone = QStringLiteral("메모리 조회의 저장 기록만 설비에 지정할 수 있습니다.");
            return ticked;
        }
        const Measurement &shown = m_records.Shown();
        for (int i = 0; i < shown.StoredCount(); ++i)
            if (shown.IsTicked(i))
                ticked.records.push_back(shown.Stored(i));
        return ticked;
    };
    const auto propose = [this](const QString &name) {
        m_deviceGrid->SetCellTextIfChanged(kReportNameCell.x(), kReportNameCell.y(), name);
    };
    auto *presses = new PressRegisterHooks({this, m_dataGridView, ticked, propose, [this] { return m_clock.Now(); }},
                                           m_archive->Settings()->location, LoadPressClassLimits(m_sysInfo.iniPath));
    QTimer::singleShot(0, presses, &PressRegisterHooks::TellDuePresses);
}

void CTonvaleDlg::TakeThemeColors()
{
    const AppPalette &pal = TonvaleApp().palette;
    m_clrFrame = pal.borderColor;
    ApplyControlColors();
    m_rows.SetTextColor(int(pal.textColor));
}

void CTonvaleDlg::InitControls()
{
    m_btnHelp->setIcon(QIcon(HelpButtonPicture(kHelpPictureSize)));
    m_btnHelp->setIconSize(kHelpPictureSize);
    m_btnHelp->setToolTip(QStringLiteral("도움말 (F1)"));

    m_clockDisplay->setText(QStringLiteral("0000-00-00 00:00:00"));
    m_telephone->setText(QStringLiteral("000-0000-0000"));
    m_btnAdmin->show();
    m_btnShowLog->show();
    m_radioMemory->setChecked(true);

    // Both pickers start at the present day of the clock the link runs on, and in a bold face.
    QFont bold(CDlgFontScaler::ResolveFamily(QStringLiteral("GulimChe")));
    bold.setPixelSize(12);
    bold.setWeight(QFont::DemiBold);
    for (QDateTimeEdit *picker : {m_startDate, m_endDate})
        picker->setFont(bold);
    ShowDayInPickers(m_clock.Now());

    InitDeviceGrid();

    const AppPalette &pal = TonvaleApp().palette;
    RecordSheetColors colors;
    colors.textColor = int(pal.textColor);
    colors.labelBackColor = int(pal.labelBackColor);
    colors.borderColor = int(pal.borderColor);
    SetUpRecordSheets(*m_dataGrid, colors, [this](CSpreadSheet &grid) {
        ApplyGridStyle(grid, GridColorsOf(TonvaleApp().palette), ResolutionX());
    });
    m_dataGrid->SetShownSheet(kStoredRecordSheet);
    // Force cells judged against the press classes' ranges of the configuration file, if any. Lines that
    // are no ranges are told once, when the window is up, since they leave their classes unjudged.
    QStringList limitsProblems;
    m_records.SetLimits(LoadPressClassLimits(m_sysInfo.iniPath, &limitsProblems));
    m_rows.SetForceCellMarker(VerdictMarker(m_records.Shown().Limits()));
    if (!limitsProblems.isEmpty()) {
        QTimer::singleShot(0, this, [this, limitsProblems] {
            MessageBox(
                QStringLiteral("설정 파일의 판정 기준 중 다음 줄은 잘못되어 무시했습니다:\n%1\n\n'그래프 보기'의 "
                               "'판정 기준'에서 다시 정할 수 있습니다.")
                    .arg(limitsProblems.join(QLatin1Char('\n'))),
                QString(), QMessageBox::Ok, QMessageBox::Warning);
        });
    }

    m_deviceGrid->SetCellTextIfChanged(kReportNameCell.x(), kReportNameCell.y(), m_sysInfo.reportName);
    m_deviceGrid->SetCellTextIfChanged(kCompanyCell.x(), kCompanyCell.y(), m_sysInfo.company);
    m_deviceGrid->SetCellTextIfChanged(kUserNameCell.x(), kUserNameCell.y(), m_sysInfo.userName);
}

void CTonvaleDlg::InitDeviceGrid()
{
    CSpreadSheet &g = *m_deviceGrid;
    const AppPalette &pal = TonvaleApp().palette;
    ApplyGridStyle(g, GridColorsOf(TonvaleApp().palette), ResolutionX());
    g.SetCurrentColumn(grid::kAll);
    g.SetCurrentRow(grid::kAll);
    g.SetFontSize(kGridFontSize);
    g.SetColumnHeadersShown(false);
    g.SetRowHeadersShown(false);
    g.SetScrollBars(0);
    g.SetColumnCount(kDeviceColumns);
    g.SetRowCount(kDeviceRows);

    for (int col : {1, 3}) {
        g.SetCurrentColumn(col);
        g.SetCurrentRow(grid::kAll);
        g.SetCellBackColor(int(pal.labelBackColor));
    }
    for (int row = 1; row <= kDeviceRows; ++row) {
        g.SetCellTextIfChanged(1, row, QString::fromUtf16(kDeviceLabels[row - 1][0]));
        g.SetCellTextIfChanged(3, row, QString::fromUtf16(kDeviceLabels[row - 1][1]));
    }
    const QPoint editable[] = {kCreatedCell, kCompanyCell, kReportNameCell, kUserNameCell};
    for (const QPoint &cell : editable) {
        g.SetCurrentColumn(cell.x());
        g.SetCurrentRow(cell.y());
        g.SetCellBackColor(int(pal.valueBackColor));
    }
    g.DrawBlockBorder(1, 1, kDeviceColumns, kDeviceRows, grid::EdgeAll, int(pal.borderColor), grid::BorderSolid);

    g.SetCurrentColumn(grid::kAll);
    g.SetCurrentRow(grid::kAll);
    g.SetCellType(grid::CellStaticText);
    g.SetHorizontalAlign(grid::AlignHCenter);
    g.SetVerticalAlign(grid::AlignVCenter);
    for (const QPoint &cell : editable) {
        g.SetCurrentColumn(cell.x());
        g.SetCurrentRow(cell.y());
        g.SetCellType(grid::CellEditText);
        g.SetHorizontalAlign(grid::AlignHCenter);
        g.SetVerticalAlign(grid::AlignVCenter);
    }
}

void CTonvaleDlg::CreateLogWindow()
{
    // Created hidden, kept for the whole run; it receives every packet whether shown or not. It is a
    // window of its own, not a child of this one, so that it stays usable while the administrator
    // console holds this window modally.
    m_pDlgLog = new CDlgLog(m_clock, m_sysInfo.logDir, nullptr);
    if (!m_pDlgLog->Create()) {
        delete m_pDlgLog;
        m_pDlgLog = nullptr;
        return;
    }
    // Over the rows when it cannot open beside the window.
    m_pDlgLog->SetCompanion(this, [this] { return m_dataGridView->geometry(); });
    connect(&m_session, &SessionHost::packetsArrived, m_pDlgLog, &CDlgLog::AddPackets);
}

void CTonvaleDlg::OnDestroy()
{
    if (m_presenceTimer) {
        killTimer(m_presenceTimer);
        m_presenceTimer = 0;
    }
    // The session goes first: its job is cancelled and the link closed before the log window and the
    // grids it reports to are gone.
    m_session.Shutdown();
    delete m_pDlgLog;
    m_pDlgLog = nullptr;
}

// ---- layout ----

void CTonvaleDlg::RepositionControls()
{
    const int w = width();
    const int h = height();
    const QRect b = m_btnConnect->geometry(); // 1003 and 1016 keep their scaled template places
    const int bRight = b.x() + b.width();
    const int bBottom = b.y() + b.height();

    const QRect deviceRect = FromEdges(bRight + 10, b.y(), w - 10, bBottom);
    FitGridToRect(*m_deviceGrid, true, deviceRect, GridScreen{ResolutionX(), ResolutionY()});

    m_btnQuery->setGeometry(w - 120, bBottom + 10, 110, 25);
    m_endDate->setGeometry(w - 245, bBottom + 10, 110, 25);
    m_endLabel->setGeometry(w - 315, bBottom + 10, 65, 25);
    m_startDate->setGeometry(w - 425, bBottom + 10, 110, 25);
    m_startLabel->setGeometry(w - 575, bBottom + 10, 145, 25);
    m_radioMemory->setGeometry(10, bBottom + 20, 120, 25);
    m_radioOutput->setGeometry(131, bBottom + 20, 120, 25);
    m_btnCancelDownload->setGeometry(262, bBottom + 20, 70, 25);
    m_progressLabel->setGeometry(340, bBottom + 20, std::max(0, w - 575 - 350), 25);

    const QRect dataRect = FromEdges(10, bBottom + kDataGridTop, w - 10, h - kBottomRow);
    m_dataGridView->setGeometry(dataRect);
    for (int sheet : {kStoredRecordSheet, kContinuousSheet}) {
        m_dataGrid->SetAddressedSheet(sheet);
        StretchGridColumns(*m_dataGrid, dataRect, GridScreen{ResolutionX(), ResolutionY()});
    }
    m_dataGrid->SetAddressedSheet(m_nMode + 1);

    m_btnSelectAll->setGeometry(10, h - 40, 80, 30);
    m_btnSelectNone->setGeometry(95, h - 40, 80, 30);
    m_btnSelectInvert->setGeometry(180, h - 40, 80, 30);
    m_btnSetTime->setGeometry(285, h - 42, 140, 34);
    m_btnReadTime->setGeometry(430, h - 42, 140, 34);
    m_clockDisplay->setGeometry(575, h - 40, 160, 30);
    m_telephone->setGeometry(740, h - 37, 120, 24);
    // From the right edge; the last two end before the clock display (at 735) also at the smallest width.
    m_btnExport->setGeometry(w - 130, h - 40, 120, 30);
    m_btnAdmin->setGeometry(w - 250, h - 40, 115, 30);
    m_btnShowLog->setGeometry(w - 365, h - 40, 110, 30);
    m_btnChart->setGeometry(w - 455, h - 40, 85, 30);
    m_btnHistory->setGeometry(w - 545, h - 40, 85, 30);
    update();
}

// ---- presence ----

void CTonvaleDlg::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_presenceTimer && m_presenceTimer != 0)
        PollPresence();
    else
        CDlgComm::timerEvent(event);
}

void CTonvaleDlg::PollPresence()
{
    // Discovery runs on the session (it also closes an open link when the bridge has gone); at most
    // one poll is outstanding.
    m_session.PollPresence();
}

void CTonvaleDlg::SetTimersEnabled(bool enabled)
{
    m_timersEnabled = enabled;
    if (!enabled && m_presenceTimer) {
        killTimer(m_presenceTimer);
        m_presenceTimer = 0;
    } else if (enabled && !m_presenceTimer && m_bLayoutReady) {
        m_presenceTimer = startTimer(kPresenceIntervalMs);
    }
}

void CTonvaleDlg::UpdateControls()
{
    // Instrument controls need the bridge and an idle session; whatever changes the sheets, the
    // range or the console waits for the job's end too, so that no input given meanwhile acts later.
    const bool busy = m_client.Busy();
    const bool instrument = m_session.Present() && !busy;
    for (QWidget *w :
         std::initializer_list<QWidget *>{m_btnConnect, m_btnQuery, m_btnReadTime, m_btnSetTime, m_telephone})
        w->setEnabled(instrument);
    for (QWidget *w :
         std::initializer_list<QWidget *>{m_radioMemory, m_radioOutput, m_startDate, m_endDate, m_btnExport, m_btnAdmin,
                                          m_btnSelectAll, m_btnSelectNone, m_btnSelectInvert, m_btnHistory})
        w->setEnabled(!busy);
    m_btnCancelDownload->setVisible(busy && m_records.Progress().Running());
}

// ---- modes ----

void CTonvaleDlg::OnModeMemory()
{
    m_dataGrid->SetAddressedSheet(kStoredRecordSheet);
    m_dataGrid->SetShownSheet(kStoredRecordSheet);
    m_nMode = MODE_MEMORY;
    for (QWidget *w : std::initializer_list<QWidget *>{m_startLabel, m_endLabel, m_startDate, m_endDate})
        w->show();
}

void CTonvaleDlg::OnModeOutput()
{
    m_dataGrid->SetAddressedSheet(kContinuousSheet);
    m_dataGrid->SetShownSheet(kContinuousSheet);
    m_nMode = MODE_OUTPUT;
    // Continuous records are not filtered by date.
    for (QWidget *w : std::initializer_list<QWidget *>{m_startLabel, m_endLabel, m_startDate, m_endDate})
        w->hide();
}

// ---- jobs ----

bool CTonvaleDlg::StartJob(const Job &job, std::function<void(const JobResult &)> then)
{
    if (!m_client.Submit(job, std::move(then)))
        return false;
    UpdateControls();
    return true;
}

void CTonvaleDlg::OnJobStarted(JobId, int)
{
    // The wait cursor shows over the window while the operator waits; presence polls never set it.
    if (!m_waitCursor) {
        setCursor(Qt::WaitCursor);
        m_waitCursor = true;
    }
}

void CTonvaleDlg::OnJobFinished(const JobResult &result)
{
    if (m_waitCursor) {
        unsetCursor();
        m_waitCursor = false;
    }
    if (!result.present)
        ShowCaption();
    // The job's own follow-up (its message boxes) comes after this, when the window is usable again.
    UpdateControls();
}

// ---- connect and query ----

void CTonvaleDlg::OnConnect()
{
    if (m_client.Busy())
        return;
    m_deviceGrid->ClearBlock(2, 3, 2, kDeviceRows, true);
    m_deviceGrid->ClearBlock(4, 3, 4, kDeviceRows, true);

    const int addressed = m_dataGrid->GetAddressedSheet();
    m_dataGrid->SetAddressedSheet(kStoredRecordSheet);
    EmptyStoredRecordSheet(*m_dataGrid);
    m_dataGrid->SetAddressedSheet(kContinuousSheet);
    EmptyContinuousSheet(*m_dataGrid);
    m_dataGrid->SetAddressedSheet(addressed);
    m_records.Clear(MeasurementMode::Memory);
    m_records.Clear(MeasurementMode::Output);

    const int sheet = m_nMode + 1;
    DownloadStart start;
    start.mode = m_nMode == MODE_OUTPUT ? DownloadMode::Output : DownloadMode::Memory;
    if (m_nMode == MODE_MEMORY) {
        // Today's records, as the connect asks for them.
        start.rangeFrom = m_clock.Now();
        start.rangeTo = start.rangeFrom;
    }
    // The instrument's clock after its identity: one far from the PC's files the records under other days.
    QList<ExchangeStep> steps = IdentitySteps();
    steps.append(ExchangeStep{CMD_READ_CLOCK, QByteArray(1, '\0'), true});
    const Job job = m_archive->Finished(SessionJobs::Connect(steps, m_nMode == MODE_OUTPUT, sheet, m_openFailureAdvice,
                                                             m_archive->BeginAfterIdentity(start)));
    BeginDownload();
    StartJob(job, [this](const JobResult &result) {
        if (result.nothingSent) {
            // The link could not be opened: the emptied sheets are complete, and nothing was asked.
            EndDownload(RESULT_OK, 0, false);
            MessageBox(result.advice.isEmpty() ? result.text : result.text + "\n\n" + result.advice);
            return;
        }
        ShowIdentity(result);
        FinishDownload(result);
        TellUnreadIdentity(result);
        TellClockOffset(result);
    });
}

void CTonvaleDlg::TellClockOffset(const JobResult &result)
{
    for (const ExchangeOutcome &outcome : result.exchanges) {
        if (outcome.command != CMD_READ_CLOCK || outcome.code < 0 ||
            outcome.response.size() < InstrumentClock::kPayloadSize)
            continue;
        const QString notice = InstrumentClock::ClockOffsetNotice(
            reinterpret_cast<const uint8_t *>(outcome.response.constData()), result.moment);
        if (!notice.isEmpty())
            MessageBox(notice, QString(), QMessageBox::Ok, QMessageBox::Warning);
    }
}

void CTonvaleDlg::ReadDeviceInfo()
{
    StartJob(SessionJobs::Script(IdentitySteps()), [this](const JobResult &result) { ShowIdentity(result); });
}

void CTonvaleDlg::ShowIdentity(const JobResult &result)
{
    // A failed read leaves its cell empty; the others are still read.
    m_readIdentity = SessionJobs::IdentityFromExchanges(result.exchanges);
    ShowIdentityTexts(m_readIdentity, result.moment);
    ShowDayInPickers(result.moment);
}

void CTonvaleDlg::ShowDayInPickers(qint64 moment)
{
    // The pickers hold local calendar days only: a date picker keeps its date in UTC, which before
    // 09:00 in Korea is the day before, so neither a time nor its QDateTime goes into them.
    const QDate day = LocalDateOf(moment);
    m_startDate->setDate(day);
    m_endDate->setDate(day);
}

void CTonvaleDlg::ShowIdentityTexts(const InstrumentIdentity &identity, qint64 createdAt)
{
    m_deviceGrid->SetCellTextIfChanged(kCreatedCell.x(), kCreatedCell.y(), FormatLocalTime(createdAt));
    for (size_t i = 0; i < kIdentityCells.size(); ++i)
        m_deviceGrid->SetCellTextIfChanged(kIdentityCells[i].x(), kIdentityCells[i].y(), identity.texts[i]);
}

InstrumentIdentity CTonvaleDlg::GridIdentity() const
{
    // An empty cell was not read (or read empty): it stays unknown until the download reads it again.
    InstrumentIdentity identity;
    for (size_t i = 0; i < kIdentityCells.size(); ++i) {
        const QString text = m_deviceGrid->text(kIdentityCells[i].x(), kIdentityCells[i].y());
        if (!text.isEmpty())
            identity.texts[i] = text;
    }
    // The bytes behind the texts, while the grid still shows what was read.
    if (identity.texts == m_readIdentity.texts)
        identity.bytes = m_readIdentity.bytes;
    return identity;
}

ReportHeader CTonvaleDlg::DeviceGridHeader() const
{
    ReportHeader header;
    header.createdAt = m_deviceGrid->text(kCreatedCell.x(), kCreatedCell.y());
    header.company = m_deviceGrid->text(kCompanyCell.x(), kCompanyCell.y());
    header.reportName = m_deviceGrid->text(kReportNameCell.x(), kReportNameCell.y());
    header.author = m_deviceGrid->text(kUserNameCell.x(), kUserNameCell.y());
    for (size_t i = 0; i < kIdentityCells.size(); ++i)
        header.identity.texts[i] = m_deviceGrid->text(kIdentityCells[i].x(), kIdentityCells[i].y());
    return header;
}

void CTonvaleDlg::ShowReadIdentityTexts(const JobResult &result)
{
    const InstrumentIdentity read = SessionJobs::IdentityFromExchanges(result.exchanges);
    for (size_t i = 0; i < kIdentityCells.size(); ++i)
        if (!read.texts[i].isNull())
            m_deviceGrid->SetCellTextIfChanged(kIdentityCells[i].x(), kIdentityCells[i].y(), read.texts[i]);
}

void CTonvaleDlg::TellUnreadIdentity(const JobResult &result)
{
    // When nothing answered, the download's own failure says so.
    QStringList unread;
    bool anyRead = false;
    for (const ExchangeOutcome &outcome : result.exchanges) {
        const int index = IdentityFieldIndex(outcome.command);
        if (index < 0)
            continue;
        anyRead = anyRead || outcome.code >= 0;
        if (outcome.code < 0)
            unread << QStringLiteral("%1 : %2").arg(QString::fromUtf8(kIdentityFields[size_t(index)].label),
                                                    ResultText(outcome.code));
    }
    if (anyRead && !unread.isEmpty())
        MessageBox(QStringLiteral("장비 정보를 읽지 못한 항목이 있습니다 (빈 칸으로 둡니다).\n%1")
                       .arg(unread.join(QLatin1Char('\n'))),
                   QString(), QMessageBox::Ok, QMessageBox::Warning);
}

void CTonvaleDlg::OnQueryData()
{
    if (m_client.Busy())
        return;
    // The first second of each picked local day: the instrument is asked for whole days.
    const qint64 start = LocalDayStart(m_startDate->date()).value_or(0);
    const qint64 end = LocalDayStart(m_endDate->date()).value_or(0);
    const int sheet = m_nMode + 1;
    DownloadStart filed;
    filed.identity = GridIdentity();
    filed.mode = m_nMode == MODE_OUTPUT ? DownloadMode::Output : DownloadMode::Memory;
    if (m_nMode == MODE_MEMORY) {
        filed.rangeFrom = start;
        filed.rangeTo = end;
    }
    const Job job = m_archive->Archived(m_nMode == MODE_MEMORY ? SessionJobs::StoredDownload(start, end, sheet)
                                                               : SessionJobs::ContinuousDownload(sheet),
                                        filed);
    // The mode's sheet takes the rows, whatever a helper left addressed.
    m_dataGrid->SetAddressedSheet(sheet);
    if (m_nMode == MODE_MEMORY)
        EmptyStoredRecordSheet(*m_dataGrid);
    else
        EmptyContinuousSheet(*m_dataGrid);
    BeginDownload();
    StartJob(job, [this](const JobResult &result) {
        ShowReadIdentityTexts(result);
        FinishDownload(result);
    });
}

void CTonvaleDlg::OnCancelDownload()
{
    if (m_records.Progress().Running())
        m_client.Cancel();
}

void CTonvaleDlg::BeginDownload()
{
    m_records.Begin(m_nMode == MODE_OUTPUT);
    m_dataGridView->SetFollowLastRow(true);
    m_archivedCaption.clear();
    ShowCaption();
    ShowProgress();
}

void CTonvaleDlg::EndDownload(int code, int damaged, bool received)
{
    m_dataGridView->SetFollowLastRow(false);
    m_dataGridView->viewport()->update();
    // Damaged records left out make the table as incomplete as an early end does.
    m_records.Finish(code, damaged, received);
    UpdateControls();
    ShowProgress();
}

void CTonvaleDlg::FinishDownload(const JobResult &result)
{
    EndDownload(result.code, result.damaged, !result.nothingSent);
    const DownloadProgress &download = m_records.Progress();

    if (result.code == RESULT_CANCELLED)
        MessageBox(QStringLiteral("%1\n받은 데이터 %2건").arg(result.text).arg(download.Rows()));
    else if (result.code < 0)
        MessageBox(result.text);
    if (result.damaged > 0)
        MessageBox(DamagedRecordsText(result.damaged));
    else if (result.code == RESULT_OK && download.Mode() == MeasurementMode::Memory && download.Rows() == 0)
        MessageBox(QStringLiteral("메모리 데이터 없음!"));
    // What was not archived and why: once per download, after the download's own messages.
    if (!m_archiveError.isEmpty())
        MessageBox(QStringLiteral("측정 기록 보관 안 함 - [ARCHIVE] DATABASE 값이 잘못되었습니다: %1")
                       .arg(std::exchange(m_archiveError, QString())),
                   QString(), QMessageBox::Ok, QMessageBox::Warning);
}

void CTonvaleDlg::TellArchived(const ArchiveOutcome &archived)
{
    // What was not archived and why, once per download, when the archive's thread has it.
    for (const QString &text : archived.databaseTexts)
        if (m_pDlgLog)
            m_pDlgLog->AddNote(text);
    for (const QString &notice : archived.notices)
        MessageBox(notice, QString(), QMessageBox::Ok, QMessageBox::Warning);
}

void CTonvaleDlg::ShowProgress()
{
    m_progressLabel->setText(m_records.Progress().StatusText());
}

// ---- rows from the downloads ----

void CTonvaleDlg::AddRecordBatch(const RecordBatch &batch)
{
    // Batches name their sheet: whatever is addressed or shown meanwhile, the rows land where the
    // download started, and the addressed sheet is left as it was.
    const int addressed = m_dataGrid->GetAddressedSheet();
    m_dataGrid->SetAddressedSheet(batch.sheet);
    if (!batch.summary.isEmpty()) {
        const auto *summary = reinterpret_cast<const uint8_t *>(batch.summary.constData());
        m_rows.SetContinuousSummary(summary);
    }
    for (int i = 0; i < batch.Count(); ++i) {
        if (batch.continuous)
            m_rows.AddContinuousRecordRow(batch.firstIndex + i, batch.Record(i));
        else
            m_rows.AddStoredRecordRow(batch.firstIndex + i, batch.Record(i));
    }
    m_dataGrid->SetAddressedSheet(addressed);
    m_records.Append(batch);
    ShowProgress();
}

// ---- log window, message boxes, exit ----

void CTonvaleDlg::ToggleLogWindow()
{
    if (!m_pDlgLog)
        return;
    if (m_pDlgLog->isVisible())
        m_pDlgLog->hide();
    else
        m_pDlgLog->ShowBeside();
}

QMessageBox::StandardButton CTonvaleDlg::MessageBox(const QString &text, const QString &caption,
                                                    QMessageBox::StandardButtons buttons, QMessageBox::Icon icon,
                                                    QMessageBox::StandardButton defaultButton)
{
    if (m_messageBoxHandler) {
        const QString title = caption.isEmpty() ? QGuiApplication::applicationDisplayName() : caption;
        return m_messageBoxHandler(MessageBoxRequest{text, title, buttons, icon, defaultButton});
    }
    return ShowKoreanMessageBox(this, icon, caption, text, buttons, defaultButton);
}

void CTonvaleDlg::reject()
{
    OnCancel();
}

void CTonvaleDlg::closeEvent(QCloseEvent *event)
{
    // The close box asks as Escape does; only a Yes ends the window (through accept()).
    event->ignore();
    OnCancel();
}
