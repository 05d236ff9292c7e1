#include "PdfReport.h"

#include "PdfPages.h"

#include "ChartSeries.h"
#include "RecordChart.h"
#include "RecordTables.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace {

// The page is laid out in points (1/72 inch).
constexpr int kResolution = 72;
constexpr qreal kMarginMm = 15.0;
constexpr qreal kRowHeight = 16.0;
constexpr qreal kTitleHeight = 28.0;
constexpr qreal kChartHeight = 250.0;
constexpr qreal kGap = 8.0;
constexpr qreal kFooterHeight = 18.0;
constexpr qreal kFontPoints = 8.5;
constexpr qreal kSmallestFontPoints = 6.0; // a long header text shrinks to this, then wraps
constexpr qreal kCellPadding = 2.0;
constexpr int kColumns = 5;
// Relative column widths of the table, after the workbook's; the verdict column comes last.
constexpr qreal kMemoryWidths[] = {6.0, 25.5, 26.12, 30.12, 25.75};
constexpr qreal kOutputWidths[] = {10.0, 25.75, 28.25, 24.62, 24.25};
constexpr qreal kVerdictWidth = 12.0;
const QColor kLabelBack(230, 230, 230);
const QColor kPassColor(0, 120, 40);
const QColor kFailColor(200, 30, 20);
const QColor kIncompleteColor(200, 30, 20);

QFont ReportFont(bool bold = false, qreal points = kFontPoints)
{
    return PdfFont(bold, points);
}

// Draws one row of cells with borders, texts centred; colors (per cell, black when missing) for the texts.
void DrawRow(QPainter &p, qreal y, const QList<qreal> &widths, const QStringList &texts, bool heading,
             const QList<QColor> &colors = {})
{
    qreal x = 0;
    for (int i = 0; i < widths.size(); ++i) {
        const QRectF cell(x, y, widths[i], kRowHeight);
        if (heading)
            p.fillRect(cell, kLabelBack);
        p.setPen(QPen(Qt::black, 0.5));
        p.drawRect(cell);
        p.setPen(colors.value(i, Qt::black));
        p.drawText(cell.adjusted(2, 0, -2, 0), Qt::AlignCenter, texts.value(i));
        x += widths[i];
    }
}

// A header text in a cell of `width`: its font (shrunk until the text fits on one line, down to
// kSmallestFontPoints), the drawing flags (wrapped when even that is too wide) and the height it needs.
struct FittedText {
    QFont font;
    int flags = Qt::AlignCenter;
    qreal height = kRowHeight;
};

FittedText FitHeaderText(QPainter &p, const QString &text, qreal width, bool bold)
{
    FittedText fitted{ReportFont(bold)};
    const qreal room = width - 2 * kCellPadding;
    for (qreal points = kFontPoints; points >= kSmallestFontPoints; points -= 0.5) {
        fitted.font = ReportFont(bold, points);
        if (QFontMetricsF(fitted.font, p.device()).horizontalAdvance(text) <= room)
            return fitted;
    }
    // Words wrap where they can; a word wider than the cell (a serial, say) breaks anywhere.
    const QFontMetricsF metrics(fitted.font, p.device());
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const bool wordsFit = std::all_of(words.begin(), words.end(),
                                      [&](const QString &word) { return metrics.horizontalAdvance(word) <= room; });
    fitted.flags = Qt::AlignCenter | (wordsFit ? Qt::TextWordWrap : Qt::TextWrapAnywhere);
    p.setFont(fitted.font);
    fitted.height =
        std::max(kRowHeight, p.boundingRect(QRectF(0, 0, room, 1e6), fitted.flags, text).height() + 2 * kCellPadding);
    return fitted;
}

// One row of the header block (label, value, label, value), every text whole on the page; draws it when
// `draw`. Returns the row's height.
qreal DrawHeaderRow(QPainter &p, qreal y, const QList<qreal> &widths, const QStringList &texts, bool draw = true)
{
    QList<FittedText> fitted;
    qreal height = kRowHeight;
    for (int i = 0; i < widths.size(); ++i) {
        fitted << FitHeaderText(p, texts.value(i), widths[i], false);
        height = std::max(height, fitted.last().height);
    }
    qreal x = 0;
    for (int i = 0; draw && i < widths.size(); ++i) {
        const QRectF cell(x, y, widths[i], height);
        p.setPen(QPen(Qt::black, 0.5));
        p.drawRect(cell);
        p.setFont(fitted[i].font);
        p.drawText(cell.adjusted(kCellPadding, kCellPadding, -kCellPadding, -kCellPadding), fitted[i].flags,
                   texts.value(i));
        x += widths[i];
    }
    p.setFont(ReportFont());
    return height;
}

QList<qreal> ScaledWidths(const qreal *relative, int count, bool verdict, qreal total)
{
    QList<qreal> widths(relative, relative + count);
    if (verdict)
        widths.append(kVerdictWidth);
    qreal sum = 0;
    for (qreal w : widths)
        sum += w;
    for (qreal &w : widths)
        w = w / sum * total;
    return widths;
}

} // namespace

PdfReport::PdfReport(const ReportHeader &header, const Measurement &table)
    : m_header(header), m_records(table), m_rows(ReportRowsOf(table))
{
    if (!table.IncompleteWhy().isEmpty())
        m_incompleteNote = IncompleteReportNote(table.IncompleteWhy());
    if (!table.Judged())
        return;
    for (int i = 0; i < table.StoredCount(); ++i)
        if (table.IsTicked(i))
            m_verdicts.append(table.RowVerdict(i));
}

QString PdfReport::TargetPath(const QString &chosen)
{
    if (chosen.right(4).compare(QLatin1String(".pdf"), Qt::CaseInsensitive) == 0)
        return chosen;
    return chosen + QLatin1String(".pdf");
}

QList<QStringList> PdfReport::HeaderTexts() const
{
    const InstrumentIdentity &id = m_header.identity;
    return {
        {QStringLiteral("작성 일시"), m_header.createdAt, QStringLiteral("회사 명"), m_header.company},
        {QStringLiteral("보고서 명"), m_header.reportName, QStringLiteral("작성자 명"), m_header.author},
        {QStringLiteral("측정기 명"), id.Name(), QStringLiteral("측정기 S/N"), id.Serial()},
        {QStringLiteral("15톤 로드셀 S/N"), id.LoadCell15Serial(), QStringLiteral("15톤 로드셀 커버 S/N"),
         id.Cover15Serial()},
        {QStringLiteral("30톤 로드셀 S/N"), id.LoadCell30Serial(), QStringLiteral("25톤 로드셀 커버 S/N"),
         id.Cover25Serial()},
        {QStringLiteral("30톤 로드셀 커버 S/N"), id.Cover30Serial(), QStringLiteral("버전 정보"), id.Version()},
    };
}

QStringList PdfReport::HeadingTexts() const
{
    QStringList texts = RecordColumnTitles();
    texts[0] = QStringLiteral("NO.");
    if (!m_verdicts.isEmpty())
        texts << QStringLiteral("판정");
    return texts;
}

QStringList PdfReport::RowTexts(int row) const
{
    const ReportRows::Row &cells = m_rows.rows[row];
    QStringList texts{QString::number(row + 1)};
    texts.append(QStringList(cells.begin(), cells.end()));
    if (!m_verdicts.isEmpty()) {
        const QString verdict = VerdictText(m_verdicts.value(row, Verdict::None));
        texts << (verdict.isEmpty() ? QStringLiteral("-") : verdict);
    }
    return texts;
}

struct PdfReport::PageLayout {
    qreal width = 0;
    qreal bodyBottom = 0;
    QList<qreal> headerWidths;
    QList<QStringList> headerTexts;
    int firstPageRows = 0;
    int laterPageRows = 0;
    int pageCount = 0;
};

PdfReport::PageLayout PdfReport::Paginate(QPainter &p, const QRectF &page) const
{
    PageLayout layout;
    layout.width = page.width();
    layout.bodyBottom = page.height() - kFooterHeight;
    const qreal width = layout.width;
    layout.headerWidths = {width * 0.2, width * 0.3, width * 0.2, width * 0.3};
    layout.headerTexts = HeaderTexts();
    qreal headerHeight = 0;
    for (const QStringList &texts : layout.headerTexts)
        headerHeight += DrawHeaderRow(p, 0, layout.headerWidths, texts, false);
    if (!m_incompleteNote.isEmpty())
        headerHeight += kRowHeight;

    // First page: the header block, the title, the chart (and the statistics and counts) above the table.
    qreal firstTableTop = headerHeight + kGap + kTitleHeight + kChartHeight + kGap;
    if (!Memory())
        firstTableTop += 2 * kRowHeight + kGap;
    if (!m_verdicts.isEmpty())
        firstTableTop += kRowHeight;
    layout.firstPageRows = std::max(0, int((layout.bodyBottom - firstTableTop - kRowHeight) / kRowHeight));
    layout.laterPageRows = std::max(1, int((layout.bodyBottom - kRowHeight) / kRowHeight));
    const int rows = RowCount();
    layout.pageCount = 1 + (rows > layout.firstPageRows
                                ? (rows - layout.firstPageRows + layout.laterPageRows - 1) / layout.laterPageRows
                                : 0);
    return layout;
}

qreal PdfReport::DrawHeader(QPainter &p, const PageLayout &layout) const
{
    const qreal width = layout.width;
    p.setFont(ReportFont());
    qreal y = 0;
    for (const QStringList &texts : layout.headerTexts)
        y += DrawHeaderRow(p, y, layout.headerWidths, texts);
    if (!m_incompleteNote.isEmpty()) {
        const QRectF note(0, y, width, kRowHeight);
        p.setPen(QPen(Qt::black, 0.5));
        p.drawRect(note);
        p.setFont(ReportFont(true));
        p.setPen(kIncompleteColor);
        p.drawText(note, Qt::AlignCenter, m_incompleteNote);
        p.setFont(ReportFont());
        p.setPen(Qt::black);
        y += kRowHeight;
    }
    y += kGap;
    p.setFont(ReportFont(true, 13));
    p.drawText(QRectF(0, y, width, kTitleHeight), Qt::AlignCenter,
               Memory() ? QStringLiteral("저장 압력 확인 데이터") : QStringLiteral("연속 측정 모드 데이터"));
    p.setFont(ReportFont());
    p.drawText(QRectF(0, y, width, kTitleHeight), Qt::AlignRight | Qt::AlignVCenter,
               Memory() ? QStringLiteral("(단위: 톤)") : QStringLiteral("(단위: KN)"));
    return y + kTitleHeight;
}

qreal PdfReport::DrawChartAndSummary(QPainter &p, qreal y, const PageLayout &layout) const
{
    const qreal width = layout.width;
    const ChartSeriesData chart = BuildChartSeries(m_records, ChartScope::TickedOnly);
    RecordChart::Paint(chart, &p, QRectF(0, y, width, kChartHeight), QSizeF(width * 1.6, kChartHeight * 1.6));
    y += kChartHeight + kGap;
    p.setFont(ReportFont());

    if (!Memory()) {
        const QList<qreal> statisticsWidths = ScaledWidths(kOutputWidths, kColumns, false, width);
        DrawRow(p, y, statisticsWidths, SummaryColumnTitles(), true);
        DrawRow(p, y + kRowHeight, statisticsWidths, m_rows.summary, false);
        y += 2 * kRowHeight + kGap;
    }
    if (!m_verdicts.isEmpty()) {
        const VerdictCounts counts = CountVerdicts(m_records);
        QStringList ranges;
        for (int c = 0; c < kPressClassCount; ++c)
            if (const auto &range = m_records.Limits().Range(c))
                ranges << QStringLiteral("%1 %2").arg(PressClassLimits::ClassName(c), range->DisplayText());
        p.drawText(QRectF(0, y, width, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("판정: 합격 %1 · 불합격 %2   (기준: %3)")
                       .arg(counts.pass)
                       .arg(counts.fail)
                       .arg(ranges.join(QStringLiteral(", "))));
        y += kRowHeight;
    }
    return y;
}

void PdfReport::DrawTable(QPainter &p, QPdfWriter &writer, qreal y, const PageLayout &layout) const
{
    const QList<qreal> tableWidths =
        ScaledWidths(Memory() ? kMemoryWidths : kOutputWidths, kColumns, !m_verdicts.isEmpty(), layout.width);
    const QStringList heading = HeadingTexts();
    int row = 0;
    for (int pageNumber = 1; pageNumber <= layout.pageCount; ++pageNumber) {
        if (pageNumber > 1) {
            writer.newPage();
            y = 0;
        }
        p.setFont(ReportFont(true));
        DrawRow(p, y, tableWidths, heading, true);
        y += kRowHeight;
        p.setFont(ReportFont());
        const int rowsHere = pageNumber == 1 ? layout.firstPageRows : layout.laterPageRows;
        for (int i = 0; i < rowsHere && row < RowCount(); ++i, ++row, y += kRowHeight) {
            QList<QColor> colors;
            if (!m_verdicts.isEmpty()) {
                const Verdict verdict = m_verdicts.value(row, Verdict::None);
                colors = QList<QColor>(kColumns, Qt::black);
                colors << (verdict == Verdict::Pass ? kPassColor : verdict == Verdict::Fail ? kFailColor : Qt::black);
            }
            DrawRow(p, y, tableWidths, RowTexts(row), false, colors);
        }
        p.setFont(ReportFont());
        p.setPen(Qt::black);
        p.drawText(QRectF(0, layout.bodyBottom, layout.width, kFooterHeight), Qt::AlignHCenter | Qt::AlignBottom,
                   QStringLiteral("페이지 %1 / %2").arg(pageNumber).arg(layout.pageCount));
    }
}

bool PdfReport::Save(const QString &path, QString *error) const
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());

    QPdfWriter writer(&file);
    SetUpPdfPages(writer, QFileInfo(path).completeBaseName(), kResolution, kMarginMm);
    QPainter p;
    if (!p.begin(&writer))
        return fail(QStringLiteral("PDF 파일을 만들 수 없습니다."));
    const PageLayout layout = Paginate(p, writer.pageLayout().paintRectPixels(kResolution));
    const qreal chartTop = DrawHeader(p, layout);
    DrawTable(p, writer, DrawChartAndSummary(p, chartTop, layout), layout);
    if (!p.end())
        return fail(QStringLiteral("PDF 파일을 쓸 수 없습니다."));
    if (!file.commit())
        return fail(file.errorString());
    return true;
}
