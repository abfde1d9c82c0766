#pragma once
// Cell data builders shared by the grid tests.
#include "colorbar.h"
#include "grid_model.h"

#include <array>
#include <cstdint>

struct CellData {
    std::array<std::uint16_t, GRID_CHANNELS> value{};
    std::array<std::uint16_t, GRID_CHANNELS> reference{};
    std::array<std::uint16_t, GRID_CHANNELS> upper{};
    std::array<std::uint16_t, GRID_CHANNELS> lower{};
    std::array<std::uint8_t, GRID_CHANNELS> state{};
    int high = 1500;
    int low = 10;

    // Every channel tested, 500..1100 limits, value 700, reference 700.
    static CellData passing()
    {
        CellData d;
        d.value.fill(700);
        d.reference.fill(700);
        d.upper.fill(1100);
        d.lower.fill(500);
        return d;
    }
};

inline void feed(CColorBar& bar, int column, int row, const CellData& d)
{
    bar.SetValues(column, row, d.value.data());
    bar.SetReference(column, row, d.reference.data());
    bar.SetUpperLimits(column, row, d.upper.data());
    bar.SetLowerLimits(column, row, d.lower.data());
    bar.SetChannelStates(column, row, d.state.data());
    bar.SetDataRange(column, row, d.high, d.low);
}

inline ColorBarCell toCell(const CellData& d)
{
    ColorBarCell cell{};
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        cell.value[k] = d.value[std::size_t(k)];
        cell.reference[k] = d.reference[std::size_t(k)];
        cell.upperLimit[k] = d.upper[std::size_t(k)];
        cell.lowerLimit[k] = d.lower[std::size_t(k)];
        cell.channelState[k] = d.state[std::size_t(k)];
    }
    cell.rangeHigh = d.high;
    cell.rangeLow = d.low;
    return cell;
}
