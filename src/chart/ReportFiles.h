#pragma once

#include "Measurement.h"
#include "ReportContents.h"

#include <QList>
#include <QString>
#include <QStringList>

// The header texts of a report; a null text is taken from the INI file.
struct ReportHeaderTexts {
    QString company;
    QString reportName;
    QString author;
};

// Which report files to write; an empty path is not written.
struct ReportFileTargets {
    QString xlsPath;
    QString pdfPath;
};

struct ReportFilesResult {
    QString error;  // Korean, as the operator is told ("엑셀 저장 실패 : ..."); empty when every file was written
    QString reason; // the same without the file's kind ("..."), for a caller that names the kind itself
    bool xlsWritten = false;
    bool pdfWritten = false;
};

// The workbook and the PDF of one table, as the operator's "엑셀 저장" writes them: the header from the
// table's identity (which it must have) and time ("작성 일시"), the texts (the INI file's where null), the
// ticked records and, in the PDF, the chart and the verdicts against the table's press-class limits; an
// incomplete table marks both. The workbook is written first, and nothing after a failure. Every writer of
// report files goes through here, so that the command line and the web view hand out the same bytes.
ReportFilesResult WriteReportFiles(const ReportFileTargets &targets, const Measurement &table,
                                   const ReportHeaderTexts &texts, const QString &iniPath);
// The same with the whole header given, as the operator's window has it.
ReportFilesResult WriteReportFiles(const ReportFileTargets &targets, const ReportHeader &header,
                                   const Measurement &table);

// One line of a download's table as tonvale-cli prints it (and the web view's CSV holds it).
struct TableLine {
    enum class Kind { Titles, Summary, Record };
    Kind kind = Kind::Record;
    QStringList texts;
    int record = -1; // Record: its index in the table
};

// OUTPUT: the summary's titles and line first; then the records' titles and one line per record, numbered
// from 1.
QList<TableLine> DownloadTableLines(const Measurement &table);
