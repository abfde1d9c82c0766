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
#include <array>

// The dialog's result, taken on the UI thread, stored into the page on the board thread.
struct BaselineEdit {
    int page = 0;
    std::array<std::uint8_t, 32> mask{};
    std::array<std::uint16_t, 32> high{}, low{}, reference{};
    std::int32_t rangeMax = 0, rangeMin = 0;
    std::uint8_t offsetType = 0;
    float percentage = 0;
    std::int32_t upperOffset = 0, lowerOffset = 0;
    double similarityThreshold = 0;
    bool similarityOn = false;
};

namespace {

BaselineEdit TakeEdit(const CBaseLineDlg& dlg)
{
    BaselineEdit edit;
    edit.page = selectedPage;
    for (std::size_t k = 0; k < 32; ++k) {
        edit.mask[k] = static_cast<std::uint8_t>(editMask[k] & 0xFF);
        edit.high[k] = editThresholdHigh[k];
        edit.low[k] = editThresholdLow[k];
        edit.reference[k] = editRefData[k];
    }
    edit.rangeMax = dlg.rangeMax;
    edit.rangeMin = dlg.rangeMin;
    edit.offsetType = dlg.byPercentage ? 1 : 0;
    edit.percentage = dlg.percentage;
    edit.upperOffset = dlg.upperOffset;
    edit.lowerOffset = dlg.lowerOffset;
    edit.similarityThreshold = dlg.preview.GetSimilarityThreshold(0, 0);
    edit.similarityOn = dlg.preview.GetSimilarityOn(0, 0);
    return edit;
}

// The dialog's result into the selected page's record.
void StoreEdit(const BaselineEdit& edit)
{
    std::lock_guard lock(pageTableLock());
    PageRecord& page = pageTable[edit.page];
    for (std::size_t k = 0; k < 32; ++k) {
        page.mask[k] = edit.mask[k];
        page.thresholdHigh[k] = edit.high[k];
        page.thresholdLow[k] = edit.low[k];
        page.refData[k] = edit.reference[k];
    }
    page.dataMax = edit.rangeMax;
    page.dataMin = edit.rangeMin;
    page.offsetType = edit.offsetType;
    page.percentage = edit.percentage;
    page.offsetUpper = edit.upperOffset;
    page.offsetLower = edit.lowerOffset;
}
} // namespace

void CVorlaineDlg::OnGridClicked()
{
    if (BoardsBusy())
        return; // the boards are busy with other work; the dialog would read stale settings
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
    // The boards were free when the dialog opened; work queued since (a device event) runs first.
    RunOnBoards(BoardWork::Event, [this, edit = TakeEdit(dlg)] { DownloadBaseline(edit); });
}

// On the board thread. Each download holds its board's lock, so the worker's exchanges never
// fall between its reports.
void CVorlaineDlg::DownloadBaseline(const BaselineEdit& edit)
{
    ReportActivity(QString::fromUtf8(QT_TRANSLATE_NOOP("activity", "下载基线设置…")));
    if (engine.runoffAbsent == 0) {
        StoreEdit(edit);
        {
            ScopedLock guard(engine.runoff.lock);
            DownloadRunoff(engine.runoff, grid);
        }
        grid.SetSimilarityThreshold(0, 0, edit.similarityThreshold);
        grid.SetSimilarityOn(0, 0, edit.similarityOn);
    }
    if (engine.kelspireAbsent == 0) {
        StoreEdit(edit);
        ScopedLock guard(engine.kelspire.lock);
        DownloadKelspirePage(engine.kelspire, edit.page);
    }
    if (engine.masterAbsent == 0) {
        StoreEdit(edit);
        std::uint16_t dataMax = 0;
        std::uint16_t dataMin = 0;
        {
            ScopedLock guard(engine.master.lock);
            DownloadMasterPage(engine.master, edit.page);
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
        StoreEdit(edit);
        ScopedLock guard(engine.classic.lock);
        DownloadClassic(engine.classic);
    }
}
