#pragma once

class CSpreadSheet;

// The operator's selection of stored-record rows for the report: the check boxes in column 1 of the
// addressed sheet. The caller addresses the stored-record sheet and calls these only in MEMORY mode; the
// continuous sheet has no check column.
namespace RowSelection {

constexpr int kCheckColumn = 1;

void SelectAll(CSpreadSheet &grid);
void SelectNone(CSpreadSheet &grid);
// A check box that cannot be read counts as cleared and becomes ticked.
void Invert(CSpreadSheet &grid);

} // namespace RowSelection
