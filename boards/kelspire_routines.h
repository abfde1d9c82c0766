#pragma once
// Moving page settings between the smart master's stations and the page table.
class CColorBar;
class hiddata_kelspire;

// The grid size from the layout record (when its byte 0 is 1; counts above 4 become 4), then
// pages 0 to 3 from stations 2 to 5. The caller holds the main window's csKelspireInit.
void InitKelspire(hiddata_kelspire& kelspire, CColorBar& grid);
// One page's mask, limits, references and data range to station page + 2. A page outside the
// page table sends nothing.
void DownloadKelspirePage(hiddata_kelspire& kelspire, int page);
