#include "PressHistoryPdf.h"

#include "LocalTime.h"
#include "PdfPages.h"
#include "PressTrendPainter.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace {

constexpr int kResolution = 300;
constexpr qreal kMarginMm = 15;
const QColor kFailColor(200, 30, 20);


QString Tons(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QStringList CheckTexts(const PressCheck &c)
{
    const ForceStatistics &s = c.statistics;
    return {QString::number(c.id),
            FormatLocalTime(c.measuredAt),
            QString::number(s.count),
            Tons(s.mean, 2),
            Tons(s.minimum, 1),
            Tons(s.maximum, 1),
            Tons(s.deviation, 2),
            VerdictText(c.verdict).isEmpty() ? QStringLiteral("-") : VerdictText(c.verdict),
            c.assignedBy + QStringLiteral(" / ") + c.station};
}

// One row of bordered cells; the verdict column in red when it failed.
qreal DrawCells(QPainter &p, qreal top, const QList<qreal> &widths, const QStringList &texts, bool heading)
{
    const qreal height = QFontMetricsF(p.font(), p.device()).height() * 1.5;
    qreal left = 0;
    for (int i = 0; i < widths.size(); ++i) {
        const QRectF cell(left, top, widths[i], height);
        if (heading)
            p.fillRect(cell, QColor(230, 230, 230));
        p.setPen(Qt::black);
        p.drawRect(cell);
        if (texts.value(i) == VerdictText(Verdict::Fail))
            p.setPen(kFailColor);
        p.drawText(cell.adjusted(4, 0, -4, 0), Qt::AlignCenter, texts.value(i));
        left += widths[i];
    }
    return height;
}

} // namespace

QString PressHistory::RangeText() const
{
    if (!range)
        return QStringLiteral("없음 (판정하지 않음)");
    return range->DisplayText() + (press.range ? QString() : QStringLiteral(" (등급 기준)"));
}

QString PressHistory::CapabilityText() const
{
    if (!range)
        return QStringLiteral("범위가 없어 공정 능력을 구할 수 없습니다");
    if (!capability)
        return QStringLiteral("기록이 둘 이상이고 값이 달라야 공정 능력을 구할 수 있습니다");
    const int used = std::min<int>(int(checks.size()), kCapabilityChecks);
    QString text = QStringLiteral("Cp %1, Cpk %2 (최근 점검 %3회, 기록 %4개)")
                       .arg(capability->cp, 0, 'f', 2)
                       .arg(capability->cpk, 0, 'f', 2)
                       .arg(used)
                       .arg(capability->statistics.count);
    if (!capability->Capable())
        text += QStringLiteral(" - Cpk %1 미만").arg(Capability::kCapableCpk, 0, 'f', 2);
    return text;
}

std::optional<PressHistory> LoadPressHistory(PressRegister &presses, const QString &pressId,
                                             const PressClassLimits &stationLimits, qint64 now)
{
    PressHistory history;
    const std::optional<Press> press = presses.FindPress(pressId);
    if (!press)
        return std::nullopt;
    const std::optional<QList<PressCheck>> checks = presses.Checks(pressId);
    const std::optional<std::vector<int>> forces =
        checks ? presses.ForcesOfLatestChecks(pressId, PressHistory::kCapabilityChecks) : std::nullopt;
    if (!forces)
        return std::nullopt;
    history.press = *press;
    history.checks = *checks;
    history.range = PressRegister::JudgingRange(*press, stationLimits);
    if (history.range)
        history.capability = ComputeCapability(*forces, *history.range);
    history.due = DueDateOf(checks->isEmpty() ? std::nullopt : std::optional(checks->first().measuredAt),
                            press->intervalDays, now);
    history.printedAt = now;
    return history;
}

bool WritePressHistoryPdf(const QString &path, const PressHistory &history, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    QPdfWriter writer(&file);
    SetUpPdfPages(writer, QStringLiteral("설비 점검 이력 %1").arg(history.press.id), kResolution, kMarginMm);
    QPainter p;
    if (!p.begin(&writer))
        return fail(QStringLiteral("PDF 파일을 만들 수 없습니다."));
    const QRectF page = writer.pageLayout().paintRectPixels(kResolution);
    const qreal width = page.width();
    p.setFont(PdfFont(false, 9));
    const qreal line = QFontMetricsF(p.font(), p.device()).height();
    const qreal footer = line * 2;

    p.setFont(PdfFont(true, 15));
    qreal y = 0;
    p.drawText(QRectF(0, y, width, line * 2.2), Qt::AlignCenter, QStringLiteral("설비 점검 이력"));
    y += line * 2.6;
    p.setFont(PdfFont(false, 9));

    const Press &press = history.press;
    const QList<QStringList> registerRows{
        {QStringLiteral("설비 번호"), press.id, QStringLiteral("설비 이름"), press.name},
        {QStringLiteral("위치"), press.location, QStringLiteral("등급"), PressClassLimits::ClassName(press.pressClass)},
        {QStringLiteral("점검 주기"), QStringLiteral("%1일").arg(press.intervalDays), QStringLiteral("판정 범위"),
         history.RangeText()},
        {QStringLiteral("다음 점검"),
         history.due.due.toString(QStringLiteral("yyyy-MM-dd")) +
             QStringLiteral(" (%1)").arg(DueStateText(history.due.state)),
         QStringLiteral("상태"), press.inService ? QStringLiteral("사용") : QStringLiteral("사용 안 함")}};
    const QList<qreal> registerWidths{width * 0.15, width * 0.35, width * 0.15, width * 0.35};
    for (const QStringList &row : registerRows)
        y += DrawCells(p, y, registerWidths, row, false);
    y += line;

    const QRectF chart(0, y, width, width * 0.45);
    PaintPressTrend(p, chart, {history.checks, history.range}, TrendLook::Paper);
    p.setPen(Qt::black);
    p.drawRect(chart);
    y = chart.bottom() + line * 0.6;
    p.setPen(history.capability && !history.capability->Capable() ? kFailColor : QColor(Qt::black));
    p.drawText(QRectF(0, y, width, line * 1.4), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("공정 능력: ") + history.CapabilityText());
    y += line * 2;

    const QStringList heading{
        QStringLiteral("점검"),     QStringLiteral("측정 시간"), QStringLiteral("기록 수"),
        QStringLiteral("평균"),     QStringLiteral("최소"),      QStringLiteral("최대"),
        QStringLiteral("표준편차"), QStringLiteral("판정"),      QStringLiteral("지정자 / 측정 PC")};
    const QList<qreal> widths{width * 0.07, width * 0.2,  width * 0.08, width * 0.09, width * 0.08,
                              width * 0.08, width * 0.09, width * 0.08, width * 0.23};
    // Pages are counted first, so that every footer can say "n / m".
    const qreal rowHeight = line * 1.5;
    const int firstPageRows = std::max(0, int((page.height() - footer - y) / rowHeight) - 1);
    const int laterPageRows = std::max(1, int((page.height() - footer) / rowHeight) - 1);
    const int rest = std::max(0, int(history.checks.size()) - firstPageRows);
    const int pages = 1 + (rest + laterPageRows - 1) / laterPageRows;
    const auto drawFooter = [&](int number) {
        p.setPen(Qt::black);
        p.drawText(QRectF(0, page.height() - line * 1.4, width, line * 1.4), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("출력: %1").arg(FormatLocalTime(history.printedAt)));
        p.drawText(QRectF(0, page.height() - line * 1.4, width, line * 1.4), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("페이지 %1 / %2").arg(number).arg(pages));
    };
    int pageNumber = 1;
    int onPage = 0;
    int room = firstPageRows;
    y += DrawCells(p, y, widths, heading, true);
    if (history.checks.isEmpty())
        p.drawText(QRectF(0, y, width, rowHeight), Qt::AlignCenter, QStringLiteral("점검 기록이 없습니다"));
    for (const PressCheck &check : history.checks) {
        if (onPage == room) {
            drawFooter(pageNumber++);
            if (!writer.newPage())
                return fail(QStringLiteral("PDF 파일을 만들 수 없습니다."));
            y = DrawCells(p, 0, widths, heading, true);
            onPage = 0;
            room = laterPageRows;
        }
        y += DrawCells(p, y, widths, CheckTexts(check), false);
        ++onPage;
    }
    drawFooter(pageNumber);
    if (!p.end())
        return fail(QStringLiteral("PDF 파일을 만들 수 없습니다."));
    if (!file.commit())
        return fail(file.errorString());
    return true;
}
