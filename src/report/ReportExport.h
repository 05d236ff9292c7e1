#pragma once

#include "CSpreadSheet.h"
#include "ReportContents.h"
#include "ReportTemplate.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

// One report workbook: the stored template of a mode, filled from the header and the record sheet as the
// main window shows them, then saved. Needs no window, so the command-line tool writes the same workbook.
class ReportExport {
  public:
    explicit ReportExport(ReportMode mode);

    // False when the stored template could not be loaded; LoadError() says why.
    bool IsReady() const { return m_loadError.isEmpty(); }
    const QString &LoadError() const { return m_loadError; }
    ReportMode Mode() const { return m_mode; }
    const CSpreadSheet &Sheet() const { return m_sheet; }

    void FillHeader(const ReportHeader &header);
    // The rows in the layout of the mode, numbered 1, 2, 3 ...; OUTPUT with the statistics above them.
    // Returns the number of data rows written.
    int FillRecords(const ReportRows &records);
    // The table is incomplete (`why`: what is missing, IncompleteTableText): the workbook says so
    // (IncompleteReportNote) in the left section of its page footer, the template's cells stay as they are.
    void MarkIncomplete(const QString &why);

    // Writes the workbook. An existing file at `path` is replaced only by a complete new one; on failure it
    // stays as it was and *error tells why.
    bool Save(const QString &path, QString *error = nullptr) const;

    // The path a chosen file name is saved under: ".xls" is appended unless the name already ends with it
    // (in any case).
    static QString TargetPath(const QString &chosen);

    // The file name the save dialog proposes: "<serial>_<MODE>_<YYYY-MM-DD>.xls", for example
    // PF24050117_MEMORY_2026-12-07.xls. The serial comes from the instrument, so every character but letters,
    // digits and '-' becomes '_' (a '/' would lead out of the folder); without a serial (empty, or the
    // template's "-") the name starts with the mode.
    static QString ProposedFileName(const QString &serial, ReportMode mode, const QDate &date);

    // The stored-record rows whose tick box (column 1) holds 1.
    static int TickedRowCount(const CSpreadSheet &records);

  private:
    void FillRows(const QList<ReportRows::Row> &rows, int modelRow);
    void SetText(int col, int row, const QString &text);

    ReportMode m_mode;
    CSpreadSheet m_sheet;
    QString m_loadError;
};
