#pragma once

// Reads the cell texts of a BIFF8 workbook stream with code of its own: the shared strings (SST and the
// CONTINUE records after it, where a string may go on with a new character-size flag) and the LABELSST
// cells of the first sheet. nullopt on anything malformed.

#include <QByteArray>
#include <QMap>
#include <QPair>
#include <QString>

#include <optional>

// Texts by (row, column), both from 0.
using BiffCellTexts = QMap<QPair<int, int>, QString>;

std::optional<BiffCellTexts> ReadBiffCellTexts(const QByteArray &workbookStream);
