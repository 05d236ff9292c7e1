#pragma once

#include "GridTypes.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

class CSpreadSheet;
class Measurement;
struct ReportRows;

// The data grid's two sheets: sheet 1 holds stored records (one ticked row each), sheet 2 the
// continuous run (label row, summary row, label row, then one row per record from row 4).

constexpr int kStoredRecordSheet = 1;
constexpr int kContinuousSheet = 2;
constexpr int kStoredColumnCount = 6;
constexpr int kContinuousColumnCount = 5;
constexpr int kContinuousSummaryRow = 2;
constexpr int kContinuousFixedRows = 3;

// "No", "측정 시간", "측정 압력 값", "측정 압력 설정 값", "로드셀 종류": the titles of a record's texts,
// sheet 1's column headers 2 to 6 and sheet 2's row 3.
QStringList RecordColumnTitles();

// "측정횟수", "압력 평균 값", "최소 값", "최대 값", "압력 편차": sheet 2's row 1, over the summary.
QStringList SummaryColumnTitles();

// The palette colours the sheets are drawn with (Windows RGB values).
struct RecordSheetColors {
    int textColor = grid::Rgb(0, 0, 0);
    int labelBackColor = grid::Rgb(192, 192, 192);
    int borderColor = grid::Rgb(128, 128, 128);
};

// Builds both sheets as the main window shows them at start-up: sheet count 2, sheet 1 with its six
// headed columns (check boxes in column 1, the only unlocked column) and no rows, sheet 2 with its
// three fixed rows and label backgrounds. applyGridStyle, when given, runs on each sheet right after it
// is addressed (the common dialog look), before the sheet's own settings. Leaves sheet 1 addressed.
void SetUpRecordSheets(CSpreadSheet &grid, const RecordSheetColors &colors,
                       const std::function<void(CSpreadSheet &)> &applyGridStyle = {});

// Both sheets made from scratch (as SetUpRecordSheets) with the rows of `table`, its mode's sheet addressed.
void FillRecordSheets(const Measurement &table, CSpreadSheet &grid);

// What a report takes of `table`: MEMORY its ticked rows, OUTPUT the summary and every record.
ReportRows ReportRowsOf(const Measurement &table);

// Emptying before a download, on the addressed sheet: the stored-record sheet loses every row; the
// continuous sheet keeps its three fixed rows with the summary row cleared.
void EmptyStoredRecordSheet(CSpreadSheet &grid);
void EmptyContinuousSheet(CSpreadSheet &grid);

// The operator's ticks of the stored-record sheet (check boxes in column 1; row index + 1 holds record
// index) into `table`, whichever sheet is addressed.
void TakeStoredTicks(Measurement &table, const CSpreadSheet &grid);

// How a stored record's force cell stands out beyond its text: a text colour and a tooltip. A marker answers
// nullopt for a record that is shown plainly (the palette's text colour, no tooltip).
struct ForceCellMark {
    int textColor = 0;
    QString toolTip;
};
using ForceCellMarker = std::function<std::optional<ForceCellMark>(const uint8_t *record)>;

// Writes downloaded records as rows of the grid's addressed sheet. Every cell goes through
// SetCellTextIfChanged, so a row rebuilt with the same texts changes nothing. The grid holds texts only:
// the program keeps no other copy of the records.
class RecordTableWriter {
  public:
    // textColor: the colour of the stored force cell (the palette's text colour).
    RecordTableWriter(CSpreadSheet *grid, int textColor);

    void SetTextColor(int rgb) { m_textColor = rgb; }
    int TextColor() const { return m_textColor; }
    // Marks stored force cells from now on; an empty function shows them all plainly.
    void SetForceCellMarker(ForceCellMarker marker) { m_forceMarker = std::move(marker); }

    // index from 0; record points at the 10 record bytes. Adds or overwrites row index + 1, ticked.
    void AddStoredRecordRow(int index, const uint8_t *record);
    // Colours the force cell of row index + 1 and sets its tooltip as the marker says, touching nothing else
    // (the tick stays): for rows already shown when the marker changes.
    void MarkStoredForceCell(int index, const uint8_t *record);
    // summary points at the 9 summary bytes. Fills row 2; the row count stays.
    void SetContinuousSummary(const uint8_t *summary);
    // index from 0; record points at the 10 record bytes. Decodes it and passes its texts on.
    void AddContinuousRecordRow(int index, const uint8_t *record);
    // Fills row index + 4, growing the sheet to hold it.
    void SetContinuousRow(int index, const QString &time, const QString &force, const QString &setValue,
                          const QString &loadCell);

  private:
    void EnsureRowCount(int row);

    CSpreadSheet *m_grid;
    int m_textColor;
    ForceCellMarker m_forceMarker;
};
