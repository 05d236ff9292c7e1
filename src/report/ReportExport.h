#pragma once

#include "CSpreadSheet.h"
#include "ReportTemplate.h"

#include <QDate>
#include <QString>

#include <array>

// The texts of the report's header block, arranged as the main window's device grid holds them: six rows of
// a left and a right value (device grid columns 2 and 4, workbook columns 3 and 5).
struct ReportHeader {
    static constexpr int kRows = ReportTemplate::kHeaderRows;
    std::array<std::array<QString, 2>, kRows> values;

    QString &CreatedAt() { return values[0][0]; }
    QString &Company() { return values[0][1]; }
    QString &ReportName() { return values[1][0]; }
    QString &Author() { return values[1][1]; }
    const QString &Company() const { return values[0][1]; }
    const QString &ReportName() const { return values[1][0]; }
    const QString &Author() const { return values[1][1]; }
    const QString &Serial() const { return values[2][1]; } // the instrument's serial ("측정기 S/N")

    // Columns 2 and 4 of rows 1..6 of the device grid's addressed sheet.
    static ReportHeader FromDeviceGrid(const CSpreadSheet &deviceGrid);
};

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
    // The addressed sheet of `records` in the layout of the mode: MEMORY takes the stored-record sheet's
    // ticked rows (column 1 check box; columns 3..6 time, force, set value, load cell) and numbers them
    // 1, 2, 3 ...; OUTPUT takes the continuous sheet whole (statistics in row 2, records from row 4).
    // Returns the number of data rows written.
    int FillRecords(const CSpreadSheet &records);
    // The table is incomplete (`why`: what is missing, IncompleteTableText): the workbook says so in the
    // left section of its page footer, the template's cells stay as they are; the PDF shows IncompleteNote().
    void MarkIncomplete(const QString &why);
    // "표가 완전하지 않음 (...)", or empty for a complete table.
    const QString &IncompleteNote() const { return m_incompleteNote; }

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
    int FillStoredRows(const CSpreadSheet &records);
    int FillContinuousRows(const CSpreadSheet &records);
    void SetText(int col, int row, const QString &text);

    ReportMode m_mode;
    CSpreadSheet m_sheet;
    QString m_loadError;
    QString m_incompleteNote;
};
