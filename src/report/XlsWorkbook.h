#pragma once

// The Excel 97-2003 workbook of one sheet: BIFF8 records in the "Workbook" stream of a compound file.

#include "GridSheet.h"

#include <QByteArray>
#include <QString>

namespace xls {

constexpr int kMaxRows = 65536;
constexpr int kMaxColumns = 256;

// Builds the Workbook stream of a one-sheet workbook. Empty on failure, with the reason in *error.
QByteArray BuildWorkbookStream(const grid::GridSheet &sheet, const QString &sheetName, QString *error);

// Builds the stream and writes the compound file to path; the file at path changes only on success.
bool SaveWorkbook(const grid::GridSheet &sheet, const QString &sheetName, const QString &path, QString *error);

// The first n UTF-16 units of s, one fewer when the n-th would be the first half of a surrogate pair: a
// text is never cut inside a character.
QString LeftWholeCharacters(const QString &s, int n);

// True for face names of Korean fonts, which a workbook must mark with the Hangul character set.
bool IsHangulFace(const QString &face);

} // namespace xls
