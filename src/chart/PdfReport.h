#pragma once

#include "Measurement.h"
#include "PressClassLimits.h"
#include "ReportContents.h"

#include <QString>
#include <QStringList>

#include <functional>

class QPainter;
class QPdfWriter;
class QRectF;

// The report as a PDF: A4 portrait, the header block, title and table the workbook holds (laid out in the
// PDF's own form), the chart of the reported records, and with press-class limits set (MEMORY) a verdict per
// row and the pass/fail counts; an incomplete table says so under the header. The table's heading row is
// repeated at the top of every page; every page ends with "페이지 n / m". Hangul is drawn in an embedded
// Korean font.
class PdfReport {
  public:
    // The report of `table`: its mode's layout, its ticked records (MEMORY) or its summary and every record
    // (OUTPUT), and the chart and the verdicts (the table's own, when it has limits) of the same records.
    PdfReport(const ReportHeader &header, const Measurement &table);

    // Writes the PDF to a temporary file beside path and renames it into place: an existing file is replaced
    // only by a complete new one. False with *error (Korean) when it cannot be written.
    bool Save(const QString &path, QString *error = nullptr) const;

    // The path a chosen name is saved under: ".pdf" appended unless it already ends with it (in any case).
    static QString TargetPath(const QString &chosen);

    // The texts of the table's rows as the PDF prints them (heading first), for the report and its tests.
    QStringList HeadingTexts() const;
    QStringList RowTexts(int row) const; // row from 0
    int RowCount() const { return int(m_rows.rows.size()); }

  private:
    struct PageLayout;
    // Where the header goes and how many rows each page takes (the header's height is measured with p).
    PageLayout Paginate(QPainter &p, const QRectF &page) const;
    // The header block, the incomplete note and the title; returns the y below them.
    qreal DrawHeader(QPainter &p, const PageLayout &layout) const;
    // The chart, the statistics (OUTPUT) and the verdict counts from y; returns the y below them.
    qreal DrawChartAndSummary(QPainter &p, qreal y, const PageLayout &layout) const;
    // The table from y, its heading again on every page, and each page's footer.
    void DrawTable(QPainter &p, QPdfWriter &writer, qreal y, const PageLayout &layout) const;

    bool Memory() const { return !m_records.Continuous(); }
    // The header block's rows: label, value, label, value.
    QList<QStringList> HeaderTexts() const;

    ReportHeader m_header;
    const Measurement &m_records;
    ReportRows m_rows;
    QString m_incompleteNote;
    QList<Verdict> m_verdicts; // per reported row, when there are limits
};
