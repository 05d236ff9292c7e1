#include "ChartWindow.h"

#include "ChartSeries.h"
#include "ChartView.h"
#include "LimitsDialog.h"
#include "LimitsSettings.h"
#include "RecordChart.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

#include <algorithm>

namespace {

ChartWindow::FileQuestion &FileQuestionHook()
{
    static ChartWindow::FileQuestion hook;
    return hook;
}

} // namespace

ChartWindow::ChartWindow(QWidget *mainWindow, const QString &iniPath)
    : QWidget(mainWindow, Qt::Window), m_iniPath(iniPath), m_limits(LoadPressClassLimits(iniPath)),
      m_chart(new RecordChart(RecordChart::Look::Screen)), m_view(new ChartView(m_chart))
{
    m_records.SetLimits(m_limits);
    setWindowTitle(QStringLiteral("그래프 보기"));
    setWindowModality(Qt::NonModal);
    resize(900, 600);

    m_reset = new QPushButton(QStringLiteral("원래 크기"));
    m_save = new QPushButton(QStringLiteral("PNG 저장"));
    m_limitsButton = new QPushButton(QStringLiteral("판정 기준"));
    m_counts = new QLabel;
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_counts, 1);
    buttons->addWidget(m_limitsButton);
    buttons->addWidget(m_reset);
    buttons->addWidget(m_save);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);

    connect(m_reset, &QPushButton::clicked, this, [this] { m_chart->ResetZoom(); });
    connect(m_save, &QPushButton::clicked, this, &ChartWindow::OnSavePng);
    connect(m_limitsButton, &QPushButton::clicked, this, &ChartWindow::OnEditLimits);
    m_redraw.setSingleShot(true);
    m_redraw.setInterval(kRedrawDelayMs);
    connect(&m_redraw, &QTimer::timeout, this, &ChartWindow::Redraw);
    Redraw();
}

ChartWindow::~ChartWindow() = default;

void ChartWindow::SetMode(MeasurementMode mode)
{
    if (mode == m_records.Mode())
        return;
    m_records.SetMode(mode);
    m_rebuild = true;
    ScheduleRedraw();
}

void ChartWindow::Clear()
{
    m_records.Clear();
    m_rebuild = true;
    ScheduleRedraw();
}

void ChartWindow::SetRecords(const Measurement &records)
{
    m_records = records;
    m_records.SetLimits(m_limits);
    m_rebuild = true;
    ScheduleRedraw();
}

void ChartWindow::SetStoredRecord(int index, const uint8_t *record, bool ticked)
{
    m_records.SetStoredRecord(index, record, ticked);
    ScheduleRedraw();
}

void ChartWindow::SetTicked(int index, bool ticked)
{
    m_records.SetTicked(index, ticked);
    ScheduleRedraw();
}

void ChartWindow::TakeTicks(const Measurement &table)
{
    for (int i = 0; i < m_records.StoredCount() && i < table.Count(); ++i)
        m_records.SetTicked(i, table.IsTicked(i));
    ScheduleRedraw();
}

void ChartWindow::SetSummary(const uint8_t *summary)
{
    m_records.SetSummary(summary);
    ScheduleRedraw();
}

void ChartWindow::SetContinuousRecord(int index, const uint8_t *record)
{
    m_records.SetContinuousRecord(index, record);
    ScheduleRedraw();
}

void ChartWindow::SetLimits(const PressClassLimits &limits)
{
    m_limits = limits;
    m_records.SetLimits(limits);
    ScheduleRedraw();
}

void ChartWindow::ScheduleRedraw()
{
    if (!m_redraw.isActive())
        m_redraw.start();
}

void ChartWindow::Refresh()
{
    m_redraw.stop();
    Redraw();
}

void ChartWindow::Redraw()
{
    QElapsedTimer took;
    took.start();
    const ChartSeriesData data = BuildChartSeries(m_records, ChartScope::AllRecords);
    if (m_rebuild)
        m_chart->SetData(data);
    else
        m_chart->Update(data);
    m_rebuild = false;
    UpdateCounts();
    // A large table takes longer to draw: the window then redraws less often, so that following a download
    // never keeps the main window's thread busy for more than about a third of the time.
    m_redraw.setInterval(std::clamp(int(took.elapsed()) * 2, kRedrawDelayMs, kLongestRedrawDelayMs));
}

void ChartWindow::UpdateCounts()
{
    const ChartSeriesData &data = m_chart->Data();
    if (m_records.Mode() == MeasurementMode::Output) {
        m_counts->setText(QStringLiteral("연속 측정 %1개").arg(m_records.ContinuousCount()));
    } else if (m_limits.IsEmpty()) {
        m_counts->setText(QStringLiteral("선택 %1개 · 판정 기준 없음").arg(m_records.TickedCount()));
    } else {
        m_counts->setText(QStringLiteral("선택 %1개 · 합격 %2 · 불합격 %3")
                              .arg(m_records.TickedCount())
                              .arg(data.counts.pass)
                              .arg(data.counts.fail));
    }
}

bool ChartWindow::SavePng(const QString &path, QString *error)
{
    Refresh();
    const QPixmap picture = m_view->grab();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

void ChartWindow::SetFileQuestion(FileQuestion question)
{
    FileQuestionHook() = std::move(question);
}

void ChartWindow::OnSavePng()
{
    QString path = FileQuestionHook() ? FileQuestionHook()(this)
                                      : QFileDialog::getSaveFileName(this, QStringLiteral("PNG 저장"), QString(),
                                                                     QStringLiteral("PNG (*.png)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        path += QLatin1String(".png");
    QString error;
    if (!SavePng(path, &error))
        QMessageBox::warning(this, QStringLiteral("PNG 저장"), QStringLiteral("PNG 저장 실패 : %1").arg(error));
    else
        QMessageBox::information(this, QStringLiteral("PNG 저장"),
                                 QStringLiteral("그래프를 저장했습니다.\n%1")
                                     .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
}

void ChartWindow::OnEditLimits()
{
    LimitsDialog dialog(m_limits, this);
    if (dialog.exec() != QDialog::Accepted || dialog.Limits() == m_limits)
        return;
    if (!SavePressClassLimits(dialog.Limits(), m_iniPath))
        QMessageBox::warning(this, dialog.windowTitle(),
                             QStringLiteral("판정 기준을 설정 파일에 저장하지 못했습니다:\n%1").arg(m_iniPath));
    SetLimits(dialog.Limits());
    Refresh();
    emit LimitsChanged(m_limits);
}
