// The views over the operator's window: the archived downloads ("기록 보기"), the chart of the shown
// table ("그래프 보기") with the verdicts it marks in the grid, and the report as a PDF.
#include "CDlgExport.h"
#include "CDlgHistory.h"
#include "CDlgLog.h"
#include "CIniSysInfo.h"
#include "CSpreadSheet.h"
#include "CTonvaleDlg.h"
#include "ChartWindow.h"
#include "DownloadReplay.h"
#include "Measurement.h"
#include "MeasurementRecord.h"
#include "PressClassLimits.h"
#include "RecordTables.h"
#include "ResultCodes.h"
#include "RowSelection.h"
#include "SpreadSheetView.h"
#include "VerdictMarker.h"

#include <QAbstractButton>
#include <QScreen>

namespace {

// The smallest chart window that is still worth opening beside the main window instead of over its rows.
constexpr QSize kLeastChart(480, 360);

MeasurementMode ChartModeOf(bool continuous)
{
    return continuous ? MeasurementMode::Output : MeasurementMode::Memory;
}

} // namespace

void CTonvaleDlg::ShowCaption()
{
    if (!m_archivedCaption.isEmpty())
        setWindowTitle(m_archivedCaption);
    else
        setWindowTitle(m_session.Present() ? kCaptionConnected : kCaptionDisconnected);
}

// ---- history ----

void CTonvaleDlg::OnShowHistory()
{
    if (m_client.Busy())
        return;
    if (!m_archive->Enabled()) {
        MessageBox(QStringLiteral("측정 기록 보관소가 설정되어 있지 않습니다."), QString(), QMessageBox::Ok,
                   QMessageBox::Warning);
        return;
    }
    CDlgHistory dlg(m_archive->Settings()->location, this);
    connect(&dlg, &CDlgHistory::DownloadOpened, this, &CTonvaleDlg::ShowArchivedDownload);
    dlg.exec();
}

void CTonvaleDlg::ShowArchivedDownload(const ArchivedDownload &download)
{
    if (m_client.Busy())
        return;
    const bool output = download.summary.mode == DownloadMode::Output;
    (output ? m_radioOutput : m_radioMemory)->setChecked(true);
    if (output)
        OnModeOutput();
    else
        OnModeMemory();

    // The identity the download was filed under, and when it was made.
    m_deviceGrid->ClearBlock(2, 3, 2, m_deviceGrid->GetRowCount(), true);
    m_deviceGrid->ClearBlock(4, 3, 4, m_deviceGrid->GetRowCount(), true);
    ShowIdentityTexts(download.summary.identity, download.summary.startedAt);

    // The rows as the download made them, through the same row builders and records store.
    const int sheet = m_nMode + 1;
    m_dataGrid->SetAddressedSheet(sheet);
    if (output)
        EmptyContinuousSheet(*m_dataGrid);
    else
        EmptyStoredRecordSheet(*m_dataGrid);
    BeginDownload();
    // An incomplete download opens as incomplete: cut short, or with damaged records left out.
    const Measurement table = ReplayedMeasurement(download);
    RecordBatch batch;
    batch.sheet = sheet;
    batch.continuous = output;
    if (table.Summary())
        batch.summary = QByteArray(reinterpret_cast<const char *>(table.Summary()->data()), kSummarySize);
    for (int i = 0; i < table.Count(); ++i)
        batch.records.append(reinterpret_cast<const char *>(table.Record(i).data()), kRecordSize);
    AddRecordBatch(batch);
    EndDownload(table.ResultCode(), table.Damaged(), true);

    m_archivedCaption = CDlgHistory::ArchivedCaption(download.summary);
    ShowCaption();
}

// ---- chart ----

void CTonvaleDlg::OnShowChart()
{
    if (!m_chart) {
        m_chart = new ChartWindow(this, m_sysInfo.iniPath);
        connect(m_chart, &ChartWindow::LimitsChanged, this, &CTonvaleDlg::MarkForceCells);
        ConnectChart();
        PlaceChart();
    }
    m_chart->SetMode(ChartModeOf(m_records.Continuous()));
    m_chart->SetRecords(m_records.Shown());
    m_chart->show();
    m_chart->raise();
    m_chart->activateWindow();
}

void CTonvaleDlg::PlaceChart()
{
    // Beside this window when the screen has room for a chart that can still be read; otherwise over the rows of the
    // data grid, never over a button, and inside the screen so that it can be moved away. Its frame is not known before
    // the window manager has framed it once: a usual one is assumed.
    const QRect area = screen() ? screen()->availableGeometry() : QRect();
    const QRect rows(mapToGlobal(m_dataGridView->geometry().topLeft()), m_dataGridView->size());
    const QRect place =
        CDlgLog::PlaceBeside(frameGeometry(), rows, area, m_chart->size().grownBy(CDlgLog::kAssumedFrame),
                             kLeastChart.grownBy(CDlgLog::kAssumedFrame));
    m_chart->resize(place.size().shrunkBy(CDlgLog::kAssumedFrame));
    m_chart->move(place.topLeft());
}

void CTonvaleDlg::ConnectChart()
{
    connect(&m_records, &DownloadRecords::cleared, m_chart, [this] {
        m_chart->SetMode(ChartModeOf(m_records.Continuous()));
        m_chart->Clear();
    });
    connect(&m_records, &DownloadRecords::summaryChanged, m_chart,
            [this] { m_chart->SetSummary(m_records.Shown().Summary()->data()); });
    connect(&m_records, &DownloadRecords::recordsAppended, m_chart, [this](int first, int count) {
        for (int i = first; i < first + count; ++i) {
            if (m_records.Continuous())
                m_chart->SetContinuousRecord(i, m_records.Record(i));
            else
                m_chart->SetStoredRecord(i, m_records.Record(i));
        }
    });
    connect(&m_records, &DownloadRecords::finished, m_chart, [this] { ShowTicksInChart(); });
}

void CTonvaleDlg::FollowOperatorTicks()
{
    // A tick the operator sets or clears in the stored-record sheet's first column.
    connect(m_dataGrid, &CSpreadSheet::CellChangedByOperator, this, [this](int sheet, int col, int row) {
        if (sheet != kStoredRecordSheet || col != RowSelection::kCheckColumn)
            return;
        int ticked = 0;
        m_records.Table(MeasurementMode::Memory)
            .SetTicked(row - 1, m_dataGrid->GetSheetCellInteger(sheet, col, row, &ticked) && ticked == 1);
        ShowTicksInChart();
    });
}

void CTonvaleDlg::TicksFromSelection()
{
    TakeStoredTicks(m_records.Table(MeasurementMode::Memory), *m_dataGrid);
    ShowTicksInChart();
}

void CTonvaleDlg::ShowTicksInChart()
{
    if (m_chart && !m_records.Continuous())
        m_chart->TakeTicks(m_records.Table(MeasurementMode::Memory));
}

void CTonvaleDlg::MarkForceCells(const PressClassLimits &limits)
{
    m_records.SetLimits(limits);
    m_rows.SetForceCellMarker(VerdictMarker(limits));
    if (m_records.Continuous())
        return;
    const int addressed = m_dataGrid->GetAddressedSheet();
    m_dataGrid->SetAddressedSheet(kStoredRecordSheet);
    for (int i = 0; i < m_records.Count(); ++i)
        m_rows.MarkStoredForceCell(i, m_records.Record(i));
    m_dataGrid->SetAddressedSheet(addressed);
    m_dataGridView->viewport()->update();
}

const Measurement &CTonvaleDlg::ModeTable() const
{
    return m_records.Table(m_nMode == MODE_OUTPUT ? MeasurementMode::Output : MeasurementMode::Memory);
}
