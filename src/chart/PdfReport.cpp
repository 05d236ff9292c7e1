#include "PdfReport.h"

#include "PdfPages.h"

#include "ChartSeries.h"
#include "RecordChart.h"
#include "ReportExport.h"

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
constexpr int kHeaderRows = ReportTemplate::kHeaderRows;
constexpr int kTitleRow = 8;
constexpr int kMemoryHeadingRow = 9;
constexpr int kOutputStatisticsHeadingRow = 9;
constexpr int kOutputHeadingRow = 11;
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

PdfReport::PdfReport(const ReportExport &report, int dataRows, const Measurement &records)
    : m_report(report), m_dataRows(dataRows), m_records(records)
{
    if (report.Mode() != ReportMode::Memory || !records.Judged())
        return;
    for (int i = 0; i < records.StoredCount(); ++i)
        if (records.IsTicked(i))
            m_verdicts.append(records.RowVerdict(i));
}

QString PdfReport::TargetPath(const QString &chosen)
{
    if (chosen.right(4).compare(QLatin1String(".pdf"), Qt::CaseInsensitive) == 0)
        return chosen;
    return chosen + QLatin1String(".pdf");
}

QStringList PdfReport::HeadingTexts() const
{
    const CSpreadSheet &sheet = m_report.Sheet();
    const int row = m_report.Mode() == ReportMode::Memory ? kMemoryHeadingRow : kOutputHeadingRow;
    QStringList texts;
    for (int col = 1; col <= kColumns; ++col)
        texts << sheet.text(col, row);
    if (!m_verdicts.isEmpty())
        texts << QStringLiteral("판정");
    return texts;
}

QStringList PdfReport::RowTexts(int row) const
{
    const CSpreadSheet &sheet = m_report.Sheet();
    const int sheetRow = (m_report.Mode() == ReportMode::Memory ? kMemoryHeadingRow : kOutputHeadingRow) + 1 + row;
    QStringList texts;
    for (int col = 1; col <= kColumns; ++col)
        texts << sheet.text(col, sheetRow);
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
    const CSpreadSheet &sheet = m_report.Sheet();
    const qreal width = layout.width;
    layout.headerWidths = {width * 0.2, width * 0.3, width * 0.2, width * 0.3};
    qreal headerHeight = 0;
    for (int row = 1; row <= kHeaderRows; ++row) {
        layout.headerTexts << QStringList{sheet.text(1, row), sheet.text(3, row), sheet.text(4, row),
                                          sheet.text(5, row)};
        headerHeight += DrawHeaderRow(p, 0, layout.headerWidths, layout.headerTexts.last(), false);
    }
    if (!m_report.IncompleteNote().isEmpty())
        headerHeight += kRowHeight;

    // First page: the header block, the title, the chart (and the statistics and counts) above the table.
    qreal firstTableTop = headerHeight + kGap + kTitleHeight + kChartHeight + kGap;
    if (m_report.Mode() != ReportMode::Memory)
        firstTableTop += 2 * kRowHeight + kGap;
    if (!m_verdicts.isEmpty())
        firstTableTop += kRowHeight;
    layout.firstPageRows = std::max(0, int((layout.bodyBottom - firstTableTop - kRowHeight) / kRowHeight));
    layout.laterPageRows = std::max(1, int((layout.bodyBottom - kRowHeight) / kRowHeight));
    layout.pageCount = 1 + (m_dataRows > layout.firstPageRows
                                ? (m_dataRows - layout.firstPageRows + layout.laterPageRows - 1) / layout.laterPageRows
                                : 0);
    return layout;
}

qreal PdfReport::DrawHeader(QPainter &p, const PageLayout &layout) const
{
    const CSpreadSheet &sheet = m_report.Sheet();
    const qreal width = layout.width;
    p.setFont(ReportFont());
    qreal y = 0;
    for (const QStringList &texts : layout.headerTexts)
        y += DrawHeaderRow(p, y, layout.headerWidths, texts);
    const QString incomplete = m_report.IncompleteNote();
    if (!incomplete.isEmpty()) {
        const QRectF note(0, y, width, kRowHeight);
        p.setPen(QPen(Qt::black, 0.5));
        p.drawRect(note);
        p.setFont(ReportFont(true));
        p.setPen(kIncompleteColor);
        p.drawText(note, Qt::AlignCenter, incomplete);
        p.setFont(ReportFont());
        p.setPen(Qt::black);
        y += kRowHeight;
    }
    y += kGap;
    p.setFont(ReportFont(true, 13));
    p.drawText(QRectF(0, y, width, kTitleHeight), Qt::AlignCenter, sheet.text(1, kTitleRow).trimmed());
    p.setFont(ReportFont());
    p.drawText(QRectF(0, y, width, kTitleHeight), Qt::AlignRight | Qt::AlignVCenter,
               sheet.text(5, kTitleRow).trimmed());
    return y + kTitleHeight;
}

qreal PdfReport::DrawChartAndSummary(QPainter &p, qreal y, const PageLayout &layout) const
{
    const qreal width = layout.width;
    const ChartSeriesData chart = BuildChartSeries(m_records, ChartScope::TickedOnly);
    RecordChart::Paint(chart, &p, QRectF(0, y, width, kChartHeight), QSizeF(width * 1.6, kChartHeight * 1.6));
    y += kChartHeight + kGap;
    p.setFont(ReportFont());

    if (m_report.Mode() != ReportMode::Memory) {
        const CSpreadSheet &sheet = m_report.Sheet();
        const QList<qreal> statisticsWidths = ScaledWidths(kOutputWidths, kColumns, false, width);
        QStringList headings, values;
        for (int col = 1; col <= kColumns; ++col) {
            headings << sheet.text(col, kOutputStatisticsHeadingRow);
            values << sheet.text(col, ReportTemplate::kOutputStatisticsRow);
        }
        DrawRow(p, y, statisticsWidths, headings, true);
        DrawRow(p, y + kRowHeight, statisticsWidths, values, false);
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
    const bool memory = m_report.Mode() == ReportMode::Memory;
    const QList<qreal> tableWidths =
        ScaledWidths(memory ? kMemoryWidths : kOutputWidths, kColumns, !m_verdicts.isEmpty(), layout.width);
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
        for (int i = 0; i < rowsHere && row < m_dataRows; ++i, ++row, y += kRowHeight) {
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
    if (!m_report.IsReady())
        return fail(m_report.LoadError());
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
