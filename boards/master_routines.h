#pragma once
// Moving page settings between the offline master's stations and the page table.
#include <cstdint>

class CColorBar;
class hiddata_masterHID;

// Pages of the grid's served cells from their stations (a tenth of a second before each table
// read), references halfway between the limits, and the board's data range to every page of the
// grid. The caller holds the main window's csMasterInit.
void InitMaster(hiddata_masterHID& master, const CColorBar& grid);
// One page's mask, limits and data range to the station of its cell-map entry, served or not;
// the range read back goes to pages 0 to 3. A page without an entry (below 0, or 16 and above)
// sends nothing.
void DownloadMasterPage(hiddata_masterHID& master, int page);
// Bits 6-0 of the page's cell-map entry; 0 for a page without an entry.
std::uint8_t MasterStationOfPage(hiddata_masterHID& master, int page);
