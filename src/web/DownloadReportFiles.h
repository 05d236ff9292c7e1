#pragma once

#include "CSpreadSheet.h"
#include "ChartRecordSink.h"
#include "ChartRecords.h"
#include "ReportTemplate.h"

#include <QString>

struct ArchivedDownload;
struct InstrumentIdentity;

// The header texts of a report; a null text is taken from the program's INI file.
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
    QString error; // Korean, as the operator is told ("엑셀 저장 실패 : ..."); empty when every file was written
    bool xlsWritten = false;
    bool pdfWritten = false;
};

// The workbook and the PDF of one table, as the operator's "엑셀 저장" writes them: the header from the
// instrument's identity, the download's time ("작성 일시", seconds since 1970) and the texts (the INI file's
// where null), the ticked rows of `records` (the mode's sheet addressed) and, in the PDF, the chart and the
// verdicts of `raw` against the INI file's press-class limits. incompleteWhy (IncompleteTableText), when not
// empty, marks both as of an incomplete table. Every writer of report files goes through here, so that the
// command line and the web view hand out the same bytes.
ReportFilesResult WriteReportFiles(const ReportFileTargets &targets, ReportMode mode, const CSpreadSheet &records,
                                   const ChartRecords &raw, qint64 downloadTime, const InstrumentIdentity &identity,
                                   const QString &incompleteWhy, const ReportHeaderTexts &texts,
                                   const QString &iniPath);

// The table's lines as the command line prints them and the web view's CSV holds them: MEMORY the header line
// and the stored rows without their check-box column, OUTPUT every row of the continuous sheet. `grid` has
// the mode's sheet addressed.
QList<QStringList> DownloadTableTexts(const CSpreadSheet &grid, ReportMode mode);

// An archived download rebuilt as its table: the grid with the mode's sheet addressed and every row ticked,
// and its raw records with the same ticks.
class ArchivedTable {
  public:
    explicit ArchivedTable(const ArchivedDownload &download);
    ArchivedTable(const ArchivedTable &) = delete;
    ArchivedTable &operator=(const ArchivedTable &) = delete;

    ReportMode Mode() const { return m_mode; }
    CSpreadSheet &Grid() { return m_grid; }
    const CSpreadSheet &Grid() const { return m_grid; }
    ChartRecords &Records() { return m_sink.Records(); }
    // What the download's files say is missing from it (empty when complete).
    const QString &IncompleteWhy() const { return m_incompleteWhy; }

    // The download's report files with the INI file's texts, as `history show ID --xls/--pdf` writes them.
    ReportFilesResult WriteFiles(const ReportFileTargets &targets, const QString &iniPath);

  private:
    const ArchivedDownload &m_download;
    ReportMode m_mode;
    CSpreadSheet m_grid;
    ChartRecordSink m_sink;
    QString m_incompleteWhy;
};
