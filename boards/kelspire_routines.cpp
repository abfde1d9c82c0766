#include "kelspire_routines.h"

#include "colorbar.h"
#include "hiddata_kelspire.h"
#include "page_table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

namespace {
constexpr int INIT_PAGES = 4; // page 4, which the worker also reads, keeps its settings
constexpr int MAX_LAYOUT_COUNT = 4;

struct StationSettings {
    std::array<std::uint16_t, 32> reference{}, upper{}, lower{};
    std::array<std::uint8_t, 32> mask{};
    std::uint16_t dataMax = 0, dataMin = 0;
};
} // namespace

void InitKelspire(hiddata_kelspire& kelspire, CColorBar& grid)
{
    hiddata_kelspire::LayoutRecord layout{};
    std::copy_n(kelspire.ReadMask(hiddata_kelspire::LAYOUT_STATION), layout.size(), layout.begin());
    if (layout[hiddata_kelspire::LAYOUT_VALID] == 1) {
        grid.SetColumns(std::min<int>(layout[hiddata_kelspire::LAYOUT_COLUMNS], MAX_LAYOUT_COUNT));
        grid.SetRows(std::min<int>(layout[hiddata_kelspire::LAYOUT_ROWS], MAX_LAYOUT_COUNT));
    }

    // Read everything first: the page-table lock is never held during a board exchange.
    std::array<StationSettings, INIT_PAGES> stations;
    for (int p = 0; p < INIT_PAGES; ++p) {
        const auto station = static_cast<std::uint8_t>(hiddata_kelspire::FIRST_PAGE_STATION + p);
        StationSettings& s = stations[p];
        std::copy_n(kelspire.ReadReference(station), 32, s.reference.begin());
        std::copy_n(kelspire.ReadUpperLimits(station), 32, s.upper.begin());
        std::copy_n(kelspire.ReadLowerLimits(station), 32, s.lower.begin());
        std::copy_n(kelspire.ReadMask(station), 32, s.mask.begin());
        s.dataMax = kelspire.ReadDataRangeMax(station);
        s.dataMin = kelspire.ReadDataRangeMin(station);
    }

    std::lock_guard lock(pageTableLock());
    for (int p = 0; p < INIT_PAGES; ++p) {
        PageRecord& page = pageTable[p];
        const StationSettings& s = stations[p];
        std::memcpy(page.refData, s.reference.data(), sizeof s.reference);
        std::memcpy(page.thresholdHigh, s.upper.data(), sizeof s.upper);
        std::memcpy(page.thresholdLow, s.lower.data(), sizeof s.lower);
        std::memcpy(page.mask, s.mask.data(), sizeof s.mask);
        page.dataMax = s.dataMax;
        page.dataMin = s.dataMin;
    }
}

void DownloadKelspirePage(hiddata_kelspire& kelspire, int page)
{
    if (page < 0 || page >= PAGE_COUNT)
        return;
    PageChannels settings;
    {
        std::lock_guard lock(pageTableLock());
        settings = UnpackChannels(pageTable[page]);
    }
    const auto station = static_cast<std::uint8_t>(page + hiddata_kelspire::FIRST_PAGE_STATION);
    kelspire.WriteMask(station, settings.mask.data(), 32);
    kelspire.WriteUpperLimits(station, settings.thresholdHigh.data(), 32);
    kelspire.WriteLowerLimits(station, settings.thresholdLow.data(), 32);
    kelspire.WriteReference(station, settings.refData.data(), 32);
    kelspire.WriteDataRangeMax(station, static_cast<std::uint32_t>(settings.dataMax) & 0xFFFF);
    kelspire.WriteDataRangeMin(station, static_cast<std::uint32_t>(settings.dataMin) & 0xFFFF);
}
