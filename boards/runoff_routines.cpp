#include "runoff_routines.h"

#include "colorbar.h"
#include "hiddata_simple_runoff.h"
#include "page_table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

void InitRunoff(hiddata_simple_runoff& runoff)
{
    // Read everything first: the page-table lock is never held during a board exchange.
    std::array<std::uint16_t, 32> reference{}, upper{}, lower{};
    std::array<std::uint8_t, 32> mask{};
    std::copy_n(runoff.ReadReference(), 32, reference.begin());
    std::copy_n(runoff.ReadUpperLimits(), 32, upper.begin());
    std::copy_n(runoff.ReadLowerLimits(), 32, lower.begin());
    std::copy_n(runoff.ReadMask(), 32, mask.begin());
    const std::uint16_t dataMax = runoff.ReadDataRangeMax();
    const std::uint16_t dataMin = runoff.ReadDataRangeMin();

    std::lock_guard lock(pageTableLock());
    PageRecord& page = pageTable[0];
    std::memcpy(page.refData, reference.data(), sizeof reference);
    std::memcpy(page.thresholdHigh, upper.data(), sizeof upper);
    std::memcpy(page.thresholdLow, lower.data(), sizeof lower);
    std::memcpy(page.mask, mask.data(), sizeof mask);
    page.dataMax = dataMax;
    page.dataMin = dataMin;
}

void DownloadRunoff(hiddata_simple_runoff& runoff, const CColorBar& grid)
{
    const int p = PageOfCell(grid.GetHoverColumn(), grid.GetHoverRow(), grid.GetColumns());
    if (p < 0)
        return;
    PageChannels page;
    {
        std::lock_guard lock(pageTableLock());
        page = UnpackChannels(pageTable[p]);
    }
    runoff.WriteMask(page.mask.data(), 32);
    runoff.WriteUpperLimits(page.thresholdHigh.data(), 32);
    runoff.WriteLowerLimits(page.thresholdLow.data(), 32);
    runoff.WriteReference(page.refData.data(), 32);
    runoff.WriteDataRangeMax(static_cast<std::uint32_t>(page.dataMax) & 0xFFFF);
    runoff.WriteDataRangeMin(static_cast<std::uint32_t>(page.dataMin) & 0xFFFF);
}
