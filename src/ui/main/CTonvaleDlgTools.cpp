// The smaller actions of the operator's window: the instrument clock, the row selection, help, the
// packet log, the administrator console, the report export and the exit question.
#include "CDlgAdmin.h"
#include "CDlgExport.h"
#include "CDlgLog.h"
#include "CIniSysInfo.h"
#include "CSpreadSheet.h"
#include "CTonvaleDlg.h"
#include "Clock.h"
#include "Commands.h"
#include "HelpText.h"
#include "InstrumentClock.h"
#include "LocalTime.h"
#include "ReportExport.h"
#include "ReportFiles.h"
#include "ResultCodes.h"
#include "RowSelection.h"
#include "SessionJobs.h"
#include "SpreadSheetView.h"
#include "WaitCursor.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>

void CTonvaleDlg::OnReadDeviceTime()
{
    StartJob(SessionJobs::Read(CMD_READ_CLOCK), [this](const JobResult &result) {
        InstrumentClock::Display display;
        if (result.code == RESULT_OK && !result.exchanges.isEmpty())
            display = InstrumentClock::DecodeAnswer(
                reinterpret_cast<const uint8_t *>(result.exchanges.constLast().response.constData()));
        // Also after a failure: the display never keeps a time it did not just read.
        m_clockDisplay->setText(display.time);
        m_telephone->setText(display.telephone);
        if (result.code < 0)
            MessageBox(QStringLiteral("장비시간 읽기 실패 : %1").arg(result.text));
    });
}

void CTonvaleDlg::OnSetDeviceTime()
{
    const QString telephone = InstrumentClock::ServiceTelephone();
    if (telephone.isEmpty())
        return;
    if (m_client.Busy() || MessageBox(QStringLiteral("장비시간을 설정하시겠습니까?"), QStringLiteral("설정"),
                                      QMessageBox::Yes | QMessageBox::No, QMessageBox::Question) != QMessageBox::Yes)
        return;
    // The PC time is taken on the session just before it is sent, not when the question was answered.
    StartJob(SessionJobs::SetClockNow(telephone), [this](const JobResult &result) {
        // Sending a made-up time would set the instrument wrong without anybody noticing.
        if (result.nothingSent)
            MessageBox(QStringLiteral("설정 실패 - 컴퓨터의 현재 시간을 알 수 없어 장비시간을 보내지 않았습니다."));
        else if (result.code >= 0)
            MessageBox(QStringLiteral("성공"));
        else
            MessageBox(QStringLiteral("설정 실패 - %1").arg(result.text));
    });
}

// The continuous sheet has no check column: in OUTPUT mode the selection buttons do nothing.
void CTonvaleDlg::OnSelectAll()
{
    if (m_nMode != MODE_OUTPUT)
        RowSelection::SelectAll(*m_dataGrid);
    TicksFromSelection();
}

void CTonvaleDlg::OnSelectNone()
{
    if (m_nMode != MODE_OUTPUT)
        RowSelection::SelectNone(*m_dataGrid);
    TicksFromSelection();
}

void CTonvaleDlg::OnSelectInvert()
{
    if (m_nMode != MODE_OUTPUT)
        RowSelection::Invert(*m_dataGrid);
    TicksFromSelection();
}

void CTonvaleDlg::OnHelp()
{
    QString text;
    {
        WaitCursor wait;
        text = HelpText::TextFor(m_sysInfo.HelpFilePath());
    }
    MessageBox(text, QStringLiteral("정보"), QMessageBox::Ok, QMessageBox::Information);
}

void CTonvaleDlg::OnShowLog()
{
    ToggleLogWindow();
}

// The console works on the window's session for as long as it runs; nothing here is refreshed
// afterwards.
void CTonvaleDlg::OnAdminMode()
{
    if (m_client.Busy())
        return;
    CDlgAdmin dlg(
        m_session, [this] { ToggleLogWindow(); }, this);
    if (m_consoleOptions)
        m_consoleOptions(dlg);
    // Modal to this window only; the packet log beside it stays usable.
    dlg.setWindowModality(Qt::WindowModal);
    if (m_pDlgLog)
        m_pDlgLog->SetCompanion(&dlg, [&dlg] { return dlg.FreeArea(); });
    dlg.exec();
    if (m_pDlgLog)
        m_pDlgLog->SetCompanion(this, [this] { return m_dataGridView->geometry(); });
}

void CTonvaleDlg::OnExportExcel()
{
    CDlgExport dlg(this, [this](const QString &text, const QString &caption, QMessageBox::StandardButtons buttons,
                                QMessageBox::Icon icon) { return MessageBox(text, caption, buttons, icon); });
    const ReportMode mode = m_nMode == MODE_OUTPUT ? ReportMode::Output : ReportMode::Memory;
    const Measurement &table = ModeTable();
    // A table a download left incomplete is written only when the operator says so.
    const QString incompleteWhy = table.IncompleteWhy();
    if (m_client.Busy() ||
        (!incompleteWhy.isEmpty() &&
         MessageBox(QStringLiteral("표가 완전하지 않습니다 (%1). 그래도 저장하시겠습니까?").arg(incompleteWhy),
                    QStringLiteral("엑셀 저장"), QMessageBox::Yes | QMessageBox::No,
                    QMessageBox::Question) != QMessageBox::Yes))
        return;
    if (!dlg.ConfirmRecords(table))
        return;
    const ReportHeader header = DeviceGridHeader();
    const std::optional<LocalFields> today = LocalFieldsOf(m_clock.Now());
    dlg.SetConfigurationFile(m_sysInfo.iniPath);
    dlg.SetProposedName(ReportExport::ProposedFileName(
        header.identity.Serial(), mode, today ? QDate(today->year, today->month, today->day) : QDate::currentDate()));
    CDlgExport::Format format = CDlgExport::Format::Xls;
    const QString path = dlg.AskTargetPath(&format);
    if (path.isEmpty())
        return;

    QString iniError;
    {
        WaitCursor wait;
        // The report texts are kept before the workbook is written, so they survive a failed save.
        m_sysInfo.company = header.company;
        m_sysInfo.reportName = header.reportName;
        m_sysInfo.userName = header.author;
        m_sysInfo.Save(&iniError);
    }
    // The workbook is still written; the operator learns that the texts were not kept for next time.
    if (!iniError.isEmpty())
        MessageBox(iniError, CDlgExport::kTitle, QMessageBox::Ok, QMessageBox::Warning);
    const bool pdf = format == CDlgExport::Format::Pdf;
    ReportFileTargets targets;
    (pdf ? targets.pdfPath : targets.xlsPath) = path;
    dlg.SaveWith(
        [&](QString *error) {
            const ReportFilesResult written = WriteReportFiles(targets, header, table);
            *error = written.reason;
            return written.error.isEmpty();
        },
        path, format);
}

void CTonvaleDlg::OnCancel()
{
    // "아니요" is the default: a habitual Escape, Enter keeps the program running.
    if (MessageBox(QStringLiteral("프로그램을 종료하시겠습니까?"), QStringLiteral("프로그램 종료"),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::Question, QMessageBox::No) == QMessageBox::Yes)
        accept();
}
