#pragma once
// The process-wide table of per-sensor settings and last measurements, one page per grid cell.
// Used by the worker, the board routines, the configuration files and the baseline dialog.
// Depends on the standard library only.
#include <array>
#include <cstdint>
#include <mutex>

constexpr int PAGE_COUNT = 64;
constexpr int PAGE_ENTRIES = 33; // channels 0..31, plus the classic tester's channel 32 in `measured`
constexpr int PAGE_CHANNELS = 32;

#pragma pack(push, 1)
struct PageRecord {
    std::uint16_t thresholdHigh[PAGE_ENTRIES];
    std::uint16_t thresholdLow[PAGE_ENTRIES];
    std::uint8_t mask[PAGE_ENTRIES]; // 0 = tested, nonzero = excluded
    std::uint16_t measured[PAGE_ENTRIES];
    std::uint16_t refData[PAGE_ENTRIES];
    std::int32_t dataMax;
    std::int32_t dataMin;
    std::uint8_t offsetType; // 1 = limits by percentage, 0 = by fixed offsets
    float percentage;
    std::int32_t offsetUpper;
    std::int32_t offsetLower;
};
#pragma pack(pop)
static_assert(sizeof(PageRecord) == 318, "PageRecord must stay packed");

// Fields of the packed record sit on odd addresses: read and write them by value, element by
// element, or copy them with memcpy; never bind a typed pointer or reference to them (std::min,
// std::swap and test macros take references). The grid's setters copy with memcpy, so passing
// `pageTable[p].measured` to them is fine.
extern PageRecord pageTable[PAGE_COUNT];

// Guards pageTable. Recursive so that a routine holding it may call another one that takes it.
// Never hold it during a board exchange.
std::recursive_mutex& pageTableLock();

// Start-up defaults for channels 0..31 of every page; entry 32 is not touched.
// The settings every page starts with.
PageRecord DefaultPageRecord();
void InitPageTableDefaults();

// The page of grid cell (column, row) in a grid of `columns` columns, or -1 when the cell is
// outside the grid's capacity or its page would lie beyond the table (a 10 x 10 grid has cells
// without a page).
int PageOfCell(int column, int row, int columns);

// Channels 0..31 of a page's arrays, copied out of the packed record.
struct PageChannels {
    std::array<std::uint16_t, PAGE_CHANNELS> thresholdHigh{};
    std::array<std::uint16_t, PAGE_CHANNELS> thresholdLow{};
    std::array<std::uint8_t, PAGE_CHANNELS> mask{};
    std::array<std::uint16_t, PAGE_CHANNELS> measured{};
    std::array<std::uint16_t, PAGE_CHANNELS> refData{};
    std::int32_t dataMax = 0;
    std::int32_t dataMin = 0;
};
PageChannels UnpackChannels(const PageRecord& page);
