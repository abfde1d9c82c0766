#include "master_routines.h"

#include "colorbar.h"
#include "hiddata_masterHID.h"
#include "page_table.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace {
// The board needs this long between table reads of a station.
constexpr auto TABLE_READ_DELAY = std::chrono::milliseconds(100);

std::array<std::uint8_t, 32> CopyCellMap(hiddata_masterHID& master)
{
    std::array<std::uint8_t, 32> map{};
    ScopedLock guard(master.lock);
    std::memcpy(map.data(), master.cellMap, map.size());
    return map;
}

// The lower limit plus half the distance between the limits, swapped limits too (high 500 and low
// 600 give 650). Saturates rather than wrapping, so extreme swapped limits never give a reference
// near zero.
std::uint16_t Reference(std::uint16_t high, std::uint16_t low)
{
    const int ref = low + std::abs(high - low) / 2;
    return static_cast<std::uint16_t>(std::min(ref, 0xFFFF));
}

// Pages from 16 on have no cell-map entry.
bool HasMapEntry(int page)
{
    return page >= 0 && page < hiddata_masterHID::CELL_MAP_PAGES;
}
} // namespace

void InitMaster(hiddata_masterHID& master, const CColorBar& grid)
{
    const int cells = std::clamp(grid.GetColumns() * grid.GetRows(), 0, PAGE_COUNT);
    const auto map = CopyCellMap(master);
    // Pages from 16 on have no cell-map entry: never served.
    const int mapped = std::min(cells, hiddata_masterHID::CELL_MAP_PAGES);
    for (int i = 0; i < mapped; ++i) {
        const std::uint8_t entry = map[2 * static_cast<std::size_t>(i) + 1];
        if ((entry & hiddata_masterHID::STATION_SERVED) == 0)
            continue;
        const auto station = static_cast<std::uint8_t>(entry & hiddata_masterHID::STATION_ADDRESS);
        // Board first, page table after: its lock is never held during an exchange.
        std::array<std::uint16_t, PAGE_CHANNELS> high{}, low{};
        std::array<std::uint8_t, PAGE_CHANNELS> mask{};
        hiddata::PauseUnlessCancelled(TABLE_READ_DELAY);
        std::copy_n(master.ReadUpperLimits(station), PAGE_CHANNELS, high.begin());
        hiddata::PauseUnlessCancelled(TABLE_READ_DELAY);
        std::copy_n(master.ReadLowerLimits(station), PAGE_CHANNELS, low.begin());
        hiddata::PauseUnlessCancelled(TABLE_READ_DELAY);
        std::copy_n(master.ReadMask(station), PAGE_CHANNELS, mask.begin());

        std::lock_guard lock(pageTableLock());
        PageRecord& page = pageTable[i];
        for (int k = 0; k < PAGE_CHANNELS; ++k) {
            page.thresholdHigh[k] = high[k];
            page.thresholdLow[k] = low[k];
            page.refData[k] = Reference(high[k], low[k]);
            page.mask[k] = mask[k];
        }
    }

    const std::uint16_t dataMax = master.ReadDataRangeMax();
    const std::uint16_t dataMin = master.ReadDataRangeMin();
    std::lock_guard lock(pageTableLock());
    for (int j = 0; j < std::max(cells, 1); ++j) {
        pageTable[j].dataMax = dataMax;
        pageTable[j].dataMin = dataMin;
    }
}

void DownloadMasterPage(hiddata_masterHID& master, int page)
{
    // Without an entry there is no station to send to; station 0 would get another cell's settings.
    if (!HasMapEntry(page))
        return;
    const std::uint8_t station = MasterStationOfPage(master, page);
    PageChannels settings;
    {
        std::lock_guard lock(pageTableLock());
        settings = UnpackChannels(pageTable[page]);
    }
    master.WriteMask(station, settings.mask.data(), PAGE_CHANNELS);
    master.WriteUpperLimits(station, settings.thresholdHigh.data(), PAGE_CHANNELS);
    master.WriteLowerLimits(station, settings.thresholdLow.data(), PAGE_CHANNELS);
    master.WriteDataRangeMax(static_cast<std::uint16_t>(settings.dataMax & 0xFFFF));
    master.WriteDataRangeMin(static_cast<std::uint16_t>(settings.dataMin & 0xFFFF));
    const std::uint16_t dataMax = master.ReadDataRangeMax();
    const std::uint16_t dataMin = master.ReadDataRangeMin();

    // The board has one data range; pages 1 to 3 follow page 0 whatever the grid's size.
    std::lock_guard lock(pageTableLock());
    for (int j = 0; j <= 3; ++j) {
        pageTable[j].dataMax = dataMax;
        pageTable[j].dataMin = dataMin;
    }
}

std::uint8_t MasterStationOfPage(hiddata_masterHID& master, int page)
{
    if (!HasMapEntry(page))
        return 0;
    ScopedLock guard(master.lock);
    return static_cast<std::uint8_t>(master.cellMap[2 * static_cast<std::size_t>(page) + 1] &
                                     hiddata_masterHID::STATION_ADDRESS);
}
