#pragma once
// What a judged pass of the grid hands to the recorder: a copy of every tested cell.
#include "colorbar.h"
#include "placement_tracker.h"

#include <bitset>
#include <vector>

// Any thread (the grid locks per cell); `out` is cleared and refilled, so a caller can reuse it.
// `fresh`: the pages this pass measured anew.
void ObserveGrid(const CColorBar& grid, const std::bitset<64>& fresh, std::vector<ObservedCell>& out);
