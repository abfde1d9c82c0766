#include "grid_observation.h"

#include "page_table.h"

void ObserveGrid(const CColorBar& grid, const std::bitset<64>& fresh, std::vector<ObservedCell>& out)
{
    out.clear();
    const int columns = grid.GetColumns(), rows = grid.GetRows();
    ObservedCell cell;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int page = PageOfCell(c, r, columns);
            if (page < 0 || !grid.CopyTestedCell(c, r, &cell.cell))
                continue;
            cell.column = c;
            cell.row = r;
            cell.page = page;
            cell.fresh = page < static_cast<int>(fresh.size()) && fresh.test(static_cast<std::size_t>(page));
            out.push_back(cell);
        }
    }
}
