#include "page_table.h"

#include "grid_model.h"

PageRecord pageTable[PAGE_COUNT] = {};

std::recursive_mutex& pageTableLock()
{
    static std::recursive_mutex lock;
    return lock;
}

namespace {
// Channels 0 to 31 and the page's settings; entry 32 is left as it is.
void ApplyDefaults(PageRecord& page)
{
    for (int k = 0; k < PAGE_CHANNELS; ++k) {
        page.measured[k] = 0;
        page.mask[k] = 1;
        page.thresholdHigh[k] = 1100;
        page.thresholdLow[k] = 500;
        page.refData[k] = 700;
    }
    page.dataMax = 1500;
    page.dataMin = 10;
    page.offsetType = 1;
    page.percentage = 10.0f;
    page.offsetUpper = 100;
    page.offsetLower = 100;
}
} // namespace

PageRecord DefaultPageRecord()
{
    PageRecord page{};
    ApplyDefaults(page);
    return page;
}

void InitPageTableDefaults()
{
    std::lock_guard guard(pageTableLock());
    for (PageRecord& page : pageTable)
        ApplyDefaults(page);
}

int PageOfCell(int column, int row, int columns)
{
    if (column < 0 || row < 0 || column >= GRID_MAX_COLUMNS || row >= GRID_MAX_ROWS || column >= columns)
        return -1;
    const int page = row * columns + column;
    return page < PAGE_COUNT ? page : -1;
}

PageChannels UnpackChannels(const PageRecord& page)
{
    PageChannels out;
    for (int k = 0; k < PAGE_CHANNELS; ++k) {
        out.thresholdHigh[k] = page.thresholdHigh[k];
        out.thresholdLow[k] = page.thresholdLow[k];
        out.mask[k] = page.mask[k];
        out.measured[k] = page.measured[k];
        out.refData[k] = page.refData[k];
    }
    out.dataMax = page.dataMax;
    out.dataMin = page.dataMin;
    return out;
}
