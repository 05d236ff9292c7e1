#pragma once

#include <QByteArray>
#include <QString>

class CSpreadSheet;

// The two report layouts, kept as data in the program's resources (templates/*.json) rather than built in
// code. A template file holds the sheet size, column widths, row heights, format blocks, cell texts, joins and
// how the sheet prints.
enum class ReportMode { Memory = 0, Output = 1 };

namespace ReportTemplate {

// Rows of the header block, and where the data go in each layout: the export copies the model row down.
constexpr int kHeaderRows = 6;
constexpr int kMemoryModelRow = 10;
constexpr int kOutputStatisticsRow = 10;
constexpr int kOutputModelRow = 12;

// Resource path of a mode's template.
QString ResourcePath(ReportMode mode);

// Replaces the addressed sheet of `sheet` with the template of `mode`. False with *error when the stored
// template cannot be read.
bool Load(ReportMode mode, CSpreadSheet &sheet, QString *error = nullptr);
// The same from the JSON text of a template.
bool LoadJson(const QByteArray &json, CSpreadSheet &sheet, QString *error = nullptr);

} // namespace ReportTemplate
