#include "PressHistoryWindow.h"

#include "LocalTime.h"
#include "RegisterJobs.h"
#include "ScreenFit.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

PressTrendWidget::PressTrendWidget(QWidget *parent) : QWidget(parent)
{
    setMinimumSize(320, 160);
}

void PressTrendWidget::SetTrend(PressTrend trend)
{
    m_trend = std::move(trend);
    update();
}

void PressTrendWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    PaintPressTrend(painter, rect(), m_trend, TrendLook::Screen);
}

PressHistoryWindow::PressHistoryWindow(ArchiveLocation location, QString pressId, PressClassLimits stationLimits,
                                       std::function<qint64()> now, QWidget *parent)
    : QDialog(parent), m_summary(new QLabel(QStringLiteral("읽는 중..."), this)), m_trend(new PressTrendWidget(this)),
      m_capability(new QLabel(this)), m_checks(new QTableWidget(0, 9, this)),
      m_pdf(new QPushButton(QStringLiteral("PDF 저장"), this))
{
    setWindowTitle(QStringLiteral("설비 점검 이력 - %1").arg(pressId));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_checks->setHorizontalHeaderLabels({QStringLiteral("점검"), QStringLiteral("측정 시간"), QStringLiteral("기록 수"),
                                         QStringLiteral("평균"), QStringLiteral("최소"), QStringLiteral("최대"),
                                         QStringLiteral("표준편차"), QStringLiteral("판정"),
                                         QStringLiteral("지정자 / 측정 PC")});
    m_checks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_checks->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_checks->verticalHeader()->hide();
    m_checks->horizontalHeader()->setStretchLastSection(true);
    m_pdf->setEnabled(false);
    m_pdf->setAutoDefault(false);
    connect(m_pdf, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("PDF 저장"), QStringLiteral("설비 점검 이력 %1.pdf").arg(m_history->press.id),
            QStringLiteral("PDF (*.pdf)"));
        if (!path.isEmpty())
            SavePdf(path);
    });
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_capability, 1);
    buttons->addWidget(m_pdf);
    auto *close = new QPushButton(QStringLiteral("닫기"), this);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_trend, 3);
    layout->addWidget(m_checks, 2);
    layout->addLayout(buttons);
    ResizeWithinScreen(this, {860, 640});

    RunRegisterJob<PressHistory>(
        this, location, MeasurementArchive::Purpose::Read,
        [pressId, stationLimits, now = now()](PressRegister &presses) {
            return LoadPressHistory(presses, pressId, stationLimits, now);
        },
        [this, pressId](const RegisterAnswer<PressHistory> &answer) {
            if (answer.value)
                Show(*answer.value);
            else
                m_summary->setText(answer.error.isEmpty() ? QStringLiteral("등록되지 않은 설비입니다: %1").arg(pressId)
                                                          : answer.error);
            emit Loaded();
        });
}

void PressHistoryWindow::Show(const PressHistory &history)
{
    m_history = history;
    const Press &p = history.press;
    m_summary->setText(QStringLiteral("%1 %2 · %3 · %4 · 점검 주기 %5일 · 판정 범위 %6 · 다음 점검 %7 (%8)%9")
                           .arg(p.id, p.name, PressClassLimits::ClassName(p.pressClass),
                                p.location.isEmpty() ? QStringLiteral("위치 없음") : p.location)
                           .arg(p.intervalDays)
                           .arg(history.RangeText(), history.due.due.toString(QStringLiteral("yyyy-MM-dd")),
                                DueStateText(history.due.state),
                                p.inService ? QString() : QStringLiteral(" · 사용 안 함")));
    m_trend->SetTrend({history.checks, history.range});
    const bool weak = history.capability && !history.capability->Capable();
    m_capability->setText(QStringLiteral("공정 능력: ") + history.CapabilityText());
    m_capability->setStyleSheet(weak ? QStringLiteral("color: #ff6e64; font-weight: bold") : QString());
    m_checks->setRowCount(int(history.checks.size()));
    for (int row = 0; row < history.checks.size(); ++row) {
        const PressCheck &c = history.checks[row];
        const QStringList texts{QString::number(c.id),
                                FormatLocalTime(c.measuredAt),
                                QString::number(c.statistics.count),
                                QString::number(c.statistics.mean, 'f', 2),
                                QString::number(c.statistics.minimum, 'f', 1),
                                QString::number(c.statistics.maximum, 'f', 1),
                                QString::number(c.statistics.deviation, 'f', 2),
                                VerdictText(c.verdict),
                                c.assignedBy + QStringLiteral(" / ") + c.station};
        for (int col = 0; col < texts.size(); ++col)
            m_checks->setItem(row, col, new QTableWidgetItem(texts[col]));
        if (c.verdict == Verdict::Fail)
            m_checks->item(row, 7)->setForeground(QColor(255, 110, 100));
    }
    m_checks->resizeColumnsToContents();
    m_pdf->setEnabled(true);
}

bool PressHistoryWindow::SavePdf(const QString &path)
{
    QString error;
    if (m_history && WritePressHistoryPdf(path, *m_history, &error))
        return true;
    QMessageBox::warning(this, windowTitle(), QStringLiteral("PDF 저장 실패 : ") + error);
    return false;
}
