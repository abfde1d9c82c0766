#include "placement_tracker.h"

#include <bit>
#include <cstring>

CellReading ClassifyCell(const ColorBarCell& cell, std::uint32_t* failing)
{
    std::uint32_t out = 0;
    bool allNearZero = true; // stays so when no channel is tested
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        if (cell.channelState[k] != Active)
            continue;
        if (IsAboveUpper(cell, k) || IsBelowLower(cell, k))
            out |= 1u << k;
        if (cell.value[k] >= cell.lowerLimit[k] / 4 || cell.lowerLimit[k] == 0)
            allNearZero = false;
    }
    if (failing)
        *failing = out;
    if (allNearZero)
        return CellReading::Empty;
    return JudgeCell(cell) == Fail ? CellReading::Fail : CellReading::Pass;
}

std::vector<TestRecord> PlacementTracker::Observe(std::int64_t timeMs, const std::vector<ObservedCell>& cells,
                                                  const PlacementContext& context)
{
    std::vector<TestRecord> ended;
    for (const ObservedCell& seen : cells) {
        if (seen.column < 0 || seen.column >= GRID_MAX_COLUMNS || seen.row < 0 || seen.row >= GRID_MAX_ROWS)
            continue;
        Placement& p = cells_[seen.column][seen.row];
        std::uint32_t failing = 0;
        const CellReading reading = ClassifyCell(seen.cell, &failing);
        if (reading == CellReading::Empty) {
            if (p.open)
                ended.push_back(Close(p, timeMs));
            continue;
        }
        if (!p.open) {
            p = Placement{};
            p.open = true;
            p.startMs = timeMs;
        }
        ++p.passes;
        p.last = seen;
        p.context = context;
        if (reading == CellReading::Fail) {
            ++p.failRun;
            const int count = std::popcount(failing);
            if (count > p.runWorstCount) {
                p.runWorstCount = count;
                p.runWorst = seen;
            }
            if (p.failRun >= FAIL_RUN) {
                p.failed = true;
                if (p.runWorstCount > p.worstCount) {
                    p.worstCount = p.runWorstCount;
                    p.worst = p.runWorst;
                }
            }
        } else {
            p.failRun = 0;
            p.runWorstCount = -1;
        }
    }
    return ended;
}

std::vector<TestRecord> PlacementTracker::EndAll(std::int64_t timeMs)
{
    std::vector<TestRecord> ended;
    for (auto& column : cells_)
        for (Placement& p : column)
            if (p.open)
                ended.push_back(Close(p, timeMs));
    return ended;
}

int PlacementTracker::OpenPlacements() const
{
    int open = 0;
    for (const auto& column : cells_)
        for (const Placement& p : column)
            open += p.open;
    return open;
}

TestRecord PlacementTracker::Close(Placement& p, std::int64_t endMs)
{
    const ObservedCell& decisive = p.failed ? p.worst : p.last;
    const ColorBarCell& cell = decisive.cell;
    TestRecord r;
    r.startMs = p.startMs;
    r.endMs = endMs;
    r.stationId = p.context.stationId;
    r.boardKind = p.context.boardKind;
    r.boardIdentity = p.context.boardIdentity;
    r.configHash = p.context.configHash;
    r.page = decisive.page;
    r.column = decisive.column;
    r.row = decisive.row;
    r.pass = !p.failed;
    r.passes = p.passes;
    if (p.failed)
        ClassifyCell(cell, &r.failingChannels);
    std::memcpy(r.values.data(), cell.value, sizeof cell.value);
    std::memcpy(r.upperLimit.data(), cell.upperLimit, sizeof cell.upperLimit);
    std::memcpy(r.lowerLimit.data(), cell.lowerLimit, sizeof cell.lowerLimit);
    std::memcpy(r.reference.data(), cell.reference, sizeof cell.reference);
    std::memcpy(r.mask.data(), cell.channelState, sizeof cell.channelState);
    r.rangeHigh = cell.rangeHigh;
    r.rangeLow = cell.rangeLow;
    p = Placement{};
    return r;
}
