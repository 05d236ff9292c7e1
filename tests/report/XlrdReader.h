#pragma once

// Reads a workbook with xlrd (Debian's python3-xlrd), an implementation independent of ours, and returns
// what it saw as JSON: {"nrows", "ncols", "texts": [[...]] (strings, numbers for number cells), "types": [[...]]
// (xlrd's cell types: 1 text, 2 number, 6 blank), "merged": [[r1, r2, c1, c2]...],
// "colwidths": {col: width}, "rowheights": {row: twips}, "formats": {"r,c": {...}}} with 0-based indexes.
// Formats are reported for the first formatRows rows only. "names": the defined names, each {"name",
// "builtin", "scope" (sheet index, -1 global), "area" [sheet1, sheet2, row1, row2, col1, col2] (ends exclusive)}.
// "print" holds the sheet's page setup, which xlrd itself does not decode: "records" (ids of the sheet's records in
// order, from after its BOF), "fit_to_pages", "horz_center", "vert_center", "margins" {left, right, top, bottom} in
// inches, and from SETUP "paper_size_code", "scale", "fit_width_to_pages", "fit_height_to_pages", "portrait", "no_pls",
// "no_orient", "copies", and "header", "footer"; a key is missing when its record is.

#include <QJsonObject>
#include <QString>

QJsonObject ReadWithXlrd(const QString &xlsPath, int formatRows, QString *failure);
