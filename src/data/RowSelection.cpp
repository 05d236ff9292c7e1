#include "RowSelection.h"

#include "CSpreadSheet.h"

namespace RowSelection {

namespace {

void SetEvery(CSpreadSheet &grid, int value)
{
    const int rows = grid.GetRowCount();
    for (int row = 1; row <= rows; ++row)
        grid.SetCellInteger(kCheckColumn, row, value);
}

} // namespace

void SelectAll(CSpreadSheet &grid)
{
    SetEvery(grid, 1);
}

void SelectNone(CSpreadSheet &grid)
{
    SetEvery(grid, 0);
}

void Invert(CSpreadSheet &grid)
{
    const int rows = grid.GetRowCount();
    for (int row = 1; row <= rows; ++row) {
        int value = 0;
        if (!grid.GetCellInteger(kCheckColumn, row, &value))
            value = 0;
        grid.SetCellInteger(kCheckColumn, row, value == 0 ? 1 : 0);
    }
}

} // namespace RowSelection
