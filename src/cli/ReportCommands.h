#pragma once

#include "InstrumentIdentity.h"
#include "Measurement.h"
#include "ReportTemplate.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

struct CliContext;

// The report options of the memory and output commands:
//   [--xls FILE] [--pdf FILE] [--png FILE] [--rows LIST] [--company TEXT] [--report-name TEXT] [--author TEXT]
// They write the same workbook and PDF as the operator's "엑셀 저장", and the chart of the reported records
// alone as a PNG. The header texts come from the program's INI file, each overridden by its option, and so do
// the press-class limits the PDF judges by; the INI file is never changed.
// Running numbers first..last of a --rows list, both ends included.
struct RowRange {
    int first = 0;
    int last = 0;
};

struct ReportOptions {
    QString xlsPath;      // empty: no workbook
    QString pdfPath;      // empty: no PDF
    QString pngPath;      // empty: no chart picture
    QList<RowRange> rows; // running numbers to tick (memory only); empty with allRows: every row
    bool allRows = true;
    QString company;    // null: the INI file's text
    QString reportName; // null: the INI file's text
    QString author;     // null: the INI file's text

    bool AnyOutput() const { return !xlsPath.isEmpty() || !pdfPath.isEmpty() || !pngPath.isEmpty(); }
};

// The usage text of the options, for the command's usage line.
QString ReportOptionsUsage(ReportMode mode);

// Takes the report options out of `arguments`, leaving the command's own. False after printing a usage
// error on err (an option without its value, a report option without a file to write, a bad --rows list,
// --rows for output).
bool TakeReportOptions(QStringList &arguments, ReportMode mode, ReportOptions &options, QTextStream &err);

// "1,3,5-7" -> the ranges 1-1, 3-3 and 5-7, as written (never expanded row by row, so a list costs
// no more than its text); false on anything else.
bool ParseRowList(const QString &list, QList<RowRange> &rows);

// The eight identity fields, read as the operator's window reads them; a field whose exchange fails stays
// unknown (null). Returns 0, or the result code of the last exchange that failed.
int ReadIdentity(CliContext &context, InstrumentIdentity &identity);

// After a download into `table`: ticks the --rows, takes the instrument's identity for the header (read from
// the instrument when the table has none) and writes the files asked for. The table's time becomes the
// report's "작성 일시"; an incomplete table marks the files as such. Returns the command's exit status.
int WriteReports(CliContext &context, const ReportOptions &options, Measurement &table);
