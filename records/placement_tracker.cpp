#include "placement_tracker.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>

PassTime PassTimeNow()
{
    const auto mono = std::chrono::steady_clock::now().time_since_epoch();
    return {NowUtcMs(), std::chrono::duration_cast<std::chrono::milliseconds>(mono).count()};
}

CellReading ClassifyCell(const ColorBarCell& cell, std::uint32_t* failing)
{
    std::uint32_t out = 0;
    for (int k = 0; k < GRID_CHANNELS; ++k)
        if (cell.channelState[k] == Active && (IsAboveUpper(cell, k) || IsBelowLower(cell, k)))
            out |= 1u << k;
    if (failing)
        *failing = out;
    if (ReadsEmpty(cell.value, cell.lowerLimit, cell.channelState))
        return CellReading::Empty;
    return JudgeCell(cell) == Fail ? CellReading::Fail : CellReading::Pass;
}

bool PlacementTracker::Run::Extend(std::int64_t nowMs, std::int64_t holdMs)
{
    if (count++ == 0)
        sinceMs = nowMs;
    return count >= HOLD_MEASUREMENTS && nowMs - sinceMs >= holdMs;
}

PlacementTracker::PlacementTracker(std::int64_t holdMs) : holdMs_(std::max<std::int64_t>(holdMs, 0)) {}

std::vector<TestRecord> PlacementTracker::Observe(PassTime time, const std::vector<ObservedCell>& cells,
                                                  const PlacementContext& context)
{
    std::vector<TestRecord> ended;
    bool seen[GRID_MAX_COLUMNS][GRID_MAX_ROWS] = {};
    for (const ObservedCell& cell : cells) {
        if (cell.column < 0 || cell.column >= GRID_MAX_COLUMNS || cell.row < 0 || cell.row >= GRID_MAX_ROWS)
            continue;
        seen[cell.column][cell.row] = true;
        if (cell.fresh)
            Measure(cells_[cell.column][cell.row], cell, time, context, ended);
    }
    // A cell no longer tested measures nothing: what lies there now is not known.
    for (int c = 0; c < GRID_MAX_COLUMNS; ++c)
        for (int r = 0; r < GRID_MAX_ROWS; ++r)
            if (cells_[c][r].open && !seen[c][r])
                ended.push_back(Close(cells_[c][r], EndOf(cells_[c][r], time)));
    return ended;
}

void PlacementTracker::Measure(Placement& p, const ObservedCell& seen, PassTime time,
                               const PlacementContext& context, std::vector<TestRecord>& ended)
{
    std::uint32_t failing = 0;
    const CellReading reading = ClassifyCell(seen.cell, &failing);
    if (reading == CellReading::Empty) {
        if (!p.open)
            return;
        p.failRun.Reset();
        p.runWorstCount = -1;
        if (p.emptyRun.Extend(time.monoMs, holdMs_))
            ended.push_back(Close(p, p.emptyRun.sinceMs)); // the sensor left when the position first read empty
        return;
    }
    if (!p.open) {
        p = Placement{};
        p.open = true;
        p.startWallMs = time.wallMs;
        p.startMonoMs = time.monoMs;
    }
    p.emptyRun.Reset(); // a bounce, not the sensor leaving
    ++p.measurements;
    p.context = context;
    if (reading == CellReading::Pass) {
        p.passed = true;
        p.lastPass = seen;
        p.failRun.Reset();
        p.runWorstCount = -1;
        return;
    }
    const int count = std::popcount(failing);
    if (count > p.anyWorstCount) {
        p.anyWorstCount = count;
        p.anyWorst = seen;
    }
    if (count > p.runWorstCount) {
        p.runWorstCount = count;
        p.runWorst = seen;
    }
    if (p.failRun.Extend(time.monoMs, holdMs_)) {
        p.failed = true;
        if (p.runWorstCount > p.worstCount) {
            p.worstCount = p.runWorstCount;
            p.worst = p.runWorst;
        }
    }
}

std::int64_t PlacementTracker::EndOf(const Placement& p, PassTime time)
{
    // A position already reading empty lost its sensor then, not now.
    return p.emptyRun.count > 0 ? p.emptyRun.sinceMs : time.monoMs;
}

std::vector<TestRecord> PlacementTracker::EndAll(PassTime time)
{
    std::vector<TestRecord> ended;
    for (auto& column : cells_)
        for (Placement& p : column)
            if (p.open)
                ended.push_back(Close(p, EndOf(p, time)));
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

TestRecord PlacementTracker::Close(Placement& p, std::int64_t endMonoMs)
{
    // A sensor fails when a FAIL held; it passes when it was seen passing. One that was never seen
    // passing and whose FAIL never held (lifted at once, or cut short by a stop) is not passed.
    const bool pass = !p.failed && p.passed;
    const ObservedCell& decisive = p.failed ? p.worst : pass ? p.lastPass : p.anyWorst;
    const ColorBarCell& cell = decisive.cell;
    TestRecord r;
    r.startMs = p.startWallMs;
    r.endMs = p.startWallMs + std::max<std::int64_t>(endMonoMs - p.startMonoMs, 0);
    r.stationId = p.context.stationId;
    r.boardKind = p.context.boardKind;
    r.boardIdentity = p.context.boardIdentity;
    r.configHash = p.context.configHash;
    r.page = decisive.page;
    r.column = decisive.column;
    r.row = decisive.row;
    r.pass = pass;
    r.passes = p.measurements;
    if (!pass)
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
