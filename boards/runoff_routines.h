#pragma once
// Moving page settings between a one-to-one board and the page table.
class CColorBar;
class hiddata_simple_runoff;

// Page 0 from the board's stored settings; offsets and percentage stay as they are.
void InitRunoff(hiddata_simple_runoff& runoff);
// The page of the grid's hover cell to the board.
void DownloadRunoff(hiddata_simple_runoff& runoff, const CColorBar& grid);
