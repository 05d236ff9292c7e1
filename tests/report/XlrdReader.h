#pragma once

// Reads a workbook with xlrd (Debian's python3-xlrd), an implementation independent of ours, and returns
// what it saw as JSON: {"nrows", "ncols", "texts": [[...]], "merged": [[r1, r2, c1, c2]...],
// "colwidths": {col: width}, "rowheights": {row: twips}, "formats": {"r,c": {...}}} with 0-based indexes.
// Formats are reported for the first formatRows rows only.

#include <QJsonObject>
#include <QString>

QJsonObject ReadWithXlrd(const QString &xlsPath, int formatRows, QString *failure);
