#pragma once
// What a judged pass of the grid hands to the recorder: a copy of every tested cell.
#include "colorbar.h"
#include "placement_tracker.h"

#include <vector>

// Any thread (the grid locks per cell); `out` is cleared and refilled, so a caller can reuse it.
void ObserveGrid(const CColorBar& grid, std::vector<ObservedCell>& out);
