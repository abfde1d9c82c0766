// A click on the live grid: the baseline dialog for the clicked cell's page, and after OK the
// page record and the downloads to every connected board.
#include "baseline_edit.h"
#include "cbaseline_dlg.h"
#include "classic_routines.h"
#include "cvorlaine_dlg.h"
#include "kelspire_routines.h"
#include "master_routines.h"
#include "page_table.h"
#include "runoff_routines.h"

#include <algorithm>

namespace {
// The dialog's result into the selected page's record.
void StoreEdit(const CBaseLineDlg& dlg)
{
    std::lock_guard lock(pageTableLock());
    PageRecord& page = pageTable[selectedPage];
    for (int k = 0; k < 32; ++k) {
        page.mask[k] = static_cast<std::uint8_t>(editMask[k] & 0xFF);
        page.thresholdHigh[k] = editThresholdHigh[k];
        page.thresholdLow[k] = editThresholdLow[k];
        page.refData[k] = editRefData[k];
    }
    page.dataMax = dlg.rangeMax;
    page.dataMin = dlg.rangeMin;
    page.offsetType = dlg.byPercentage ? 1 : 0;
    page.percentage = dlg.percentage;
    page.offsetUpper = dlg.upperOffset;
    page.offsetLower = dlg.lowerOffset;
}
} // namespace

void CVorlaineDlg::OnGridClicked()
{
    if (engine.runoffAbsent == 1 && engine.kelspireAbsent == 1 && engine.masterAbsent == 1 &&
        engine.classicAbsent == 1)
        return;
    const int column = grid.GetHoverColumn();
    const int row = grid.GetHoverRow();
    const int page = PageOfCell(column, row, grid.GetColumns());
    if (page < 0)
        return; // cells of a 10 x 10 grid beyond the table have no page to edit
    selectedPage = page;
    {
        std::lock_guard lock(pageTableLock());
        for (int k = 0; k < 32; ++k) {
            editMask[k] = pageTable[page].mask[k];
            editThresholdHigh[k] = pageTable[page].thresholdHigh[k];
            editThresholdLow[k] = pageTable[page].thresholdLow[k];
            editRefData[k] = pageTable[page].refData[k];
        }
    }

    CBaseLineDlg dlg(grid.GetSimilarityOn(column, row), grid.GetSimilarityThreshold(column, row), this);
    if (dlg.exec() != QDialog::Accepted)
        return;

    // Each download holds its board's lock, so the worker's exchanges never fall between its reports.
    if (engine.runoffAbsent == 0) {
        StoreEdit(dlg);
        {
            ScopedLock guard(engine.runoff.lock);
            DownloadRunoff(engine.runoff, grid);
        }
        grid.SetSimilarityThreshold(0, 0, dlg.preview.GetSimilarityThreshold(0, 0));
        grid.SetSimilarityOn(0, 0, dlg.preview.GetSimilarityOn(0, 0));
    }
    if (engine.kelspireAbsent == 0) {
        StoreEdit(dlg);
        ScopedLock guard(engine.kelspire.lock);
        DownloadKelspirePage(engine.kelspire, selectedPage);
    }
    if (engine.masterAbsent == 0) {
        StoreEdit(dlg);
        std::uint16_t dataMax = 0;
        std::uint16_t dataMin = 0;
        {
            ScopedLock guard(engine.master.lock);
            DownloadMasterPage(engine.master, selectedPage);
            dataMax = engine.master.ReadDataRangeMax();
            dataMin = engine.master.ReadDataRangeMin();
        }
        // The board keeps one data range for all its stations.
        const int pages = std::min(grid.GetRows() * grid.GetColumns(), PAGE_COUNT);
        std::lock_guard lock(pageTableLock());
        pageTable[0].dataMax = dataMax;
        pageTable[0].dataMin = dataMin;
        for (int p = 1; p < pages; ++p) {
            pageTable[p].dataMax = pageTable[0].dataMax;
            pageTable[p].dataMin = pageTable[0].dataMin;
        }
    }
    if (engine.classicAbsent == 0) {
        StoreEdit(dlg);
        ScopedLock guard(engine.classic.lock);
        DownloadClassic(engine.classic);
    }
}
