#include "placement_tracker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
// A sensor cell with limits 900..1100 on every channel. 'P' reads 1000 everywhere, 'F' pushes
// channel 5 out, 'G' pushes channels 5 and 6 out, 'E' is an empty position (near zero), 'L' has
// every channel switched off.
ObservedCell Cell(int column, char reading)
{
    ObservedCell o;
    o.column = column;
    o.page = column;
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        o.cell.upperLimit[k] = 1100;
        o.cell.lowerLimit[k] = 900;
        o.cell.value[k] = reading == 'E' ? 8 : 1000;
        o.cell.reference[k] = 1000;
        o.cell.channelState[k] = reading == 'L' ? Hatched : Active;
    }
    if (reading == 'F' || reading == 'G')
        o.cell.value[5] = 1200;
    if (reading == 'G')
        o.cell.value[6] = 700;
    return o;
}

struct Expected {
    int column;
    bool pass;
    std::int64_t start, end; // pass numbers
    std::uint32_t failing;
};

// One string per cell (column 0 and 1), one character per pass, passes STEP_MS apart: a fresh
// reading; '.' for a pass that measured other cells only (the cell shows its old values); '-'
// for a pass in which the cell is not tested; 'U' when the board goes away after that pass.
struct Case {
    const char* name;
    std::string cell0, cell1;
    std::vector<Expected> records;
    std::int64_t holdMs = PlacementTracker::DEFAULT_HOLD_MS;
};

constexpr std::int64_t STEP_MS = 50;
constexpr std::int64_t WALL0 = 1'800'000'000'000;

PassTime At(std::size_t pass) { return {WALL0 + std::int64_t(pass) * STEP_MS, std::int64_t(pass) * STEP_MS}; }

std::vector<TestRecord> Replay(const Case& c)
{
    PlacementTracker tracker(c.holdMs);
    const PlacementContext context{"st-1", "one-to-one", "VASKARO", "abc"};
    std::vector<TestRecord> all;
    const std::size_t passes = std::max(c.cell0.size(), c.cell1.size());
    for (std::size_t t = 0; t < passes; ++t) {
        std::vector<ObservedCell> cells;
        bool unplug = false;
        for (int column = 0; column < 2; ++column) {
            const std::string& s = column == 0 ? c.cell0 : c.cell1;
            const char r = t < s.size() ? s[t] : '.';
            if (r == 'U') {
                unplug = true;
                continue;
            }
            if (r == '-')
                continue;
            ObservedCell cell = Cell(column, r == '.' ? 'F' : r); // a repeated value is never judged
            cell.fresh = r != '.';
            cells.push_back(cell);
        }
        for (auto& r : tracker.Observe(At(t), cells, context))
            all.push_back(r);
        if (unplug)
            for (auto& r : tracker.EndAll(At(t)))
                all.push_back(r);
    }
    return all;
}

TEST(PlacementTracker, VerdictSequencesGiveOneRecordPerPlacement)
{
    const Case cases[] = {
        {"good sensor laid and taken off", "EPPPPEEE", "", {{0, true, 1, 5, 0}}},
        {"switched-off cell counts as no sensor", "LPPLLL", "", {{0, true, 1, 3, 0}}},
        {"one noisy measurement does not fail", "EPPFPPEEE", "", {{0, true, 1, 6, 0}}},
        {"a FAIL shorter than the hold does not fail", "EPFFPEEE", "", {{0, true, 1, 5, 0}}},
        {"a FAIL that holds fails", "EPFFFPEEE", "", {{0, false, 1, 6, 1u << 5}}},
        {"the worst measurement of a held run decides", "EFGFPEEE", "", {{0, false, 1, 5, 1u << 5 | 1u << 6}}},
        {"a worse single measurement outside a held run does not", "EGPFFFEEE", "", {{0, false, 1, 6, 1u << 5}}},
        {"old values shown again are not measurements", "EPF....PEEE", "", {{0, true, 1, 8, 0}}},
        {"bounce when laid on and lifted", "EFEFPPPPFEFEEE", "", {{0, true, 1, 11, 0}}},
        {"a bad sensor lifted quickly", "EFFFEEE", "", {{0, false, 1, 4, 1u << 5}}},
        {"never seen passing is not a PASS", "EFFEEE", "", {{0, false, 1, 3, 1u << 5}}},
        {"a cell no longer tested ends its placement", "EPP-", "", {{0, true, 1, 3, 0}}},
        {"a position reading empty ended then", "EPPEE-", "", {{0, true, 1, 3, 0}}},
        {"unplug ends the placement", "EPPU", "", {{0, true, 1, 3, 0}}},
        {"unplug mid-failure keeps the verdict", "EFFFU", "", {{0, false, 1, 4, 1u << 5}}},
        {"nothing laid, nothing recorded", "EEEE", "", {}},
        {"two placements in a row", "PPEEEFFFEEE", "", {{0, true, 0, 2, 0}, {0, false, 5, 8, 1u << 5}}},
        {"two cells interleaved", "EPPPEEE", ".EFFFFEEE", {{0, true, 1, 4, 0}, {1, false, 2, 6, 1u << 5}}},
        {"a longer hold lets a longer FAIL pass", "EPFFFFPEEEEE", "", {{0, true, 1, 7, 0}}, 200},
        {"no hold: two measurements fail", "EFFPEEE", "", {{0, false, 1, 4, 1u << 5}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<TestRecord> got = Replay(c);
        ASSERT_EQ(got.size(), c.records.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].column, c.records[i].column);
            EXPECT_EQ(got[i].pass, c.records[i].pass);
            EXPECT_EQ(got[i].startMs, At(std::size_t(c.records[i].start)).wallMs);
            EXPECT_EQ(got[i].endMs, At(std::size_t(c.records[i].end)).wallMs);
            EXPECT_EQ(got[i].failingChannels, c.records[i].failing);
        }
    }
}

TEST(PlacementTracker, DurationComesFromTheMonotonicClockAcrossAClockStep)
{
    PlacementTracker tracker;
    const PlacementContext context;
    ObservedCell good = Cell(0, 'P');
    good.fresh = true;
    tracker.Observe({WALL0, 0}, {good}, context);
    tracker.Observe({WALL0 - 3'600'000, 400}, {good}, context); // the wall clock stepped back an hour
    const auto records = tracker.EndAll({WALL0 - 3'600'000 + 800, 1200});
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].startMs, WALL0);
    EXPECT_EQ(records[0].endMs, WALL0 + 1200);
}

TEST(PlacementTracker, RecordCarriesTheDecidingPassAndTheContext)
{
    PlacementTracker tracker;
    const PlacementContext context{"st-1", "offline-master", "ID-7", "hash"};
    ObservedCell bad = Cell(3, 'G');
    bad.row = 2;
    bad.page = 23;
    bad.cell.rangeHigh = 1500;
    bad.cell.rangeLow = 500;
    bad.cell.channelState[31] = Hatched;
    bad.fresh = true;
    for (std::size_t t = 0; t < 3; ++t)
        tracker.Observe(At(t), {bad}, context);
    ObservedCell good = Cell(3, 'P');
    good.row = 2;
    good.fresh = true;
    tracker.Observe(At(3), {good}, context);
    const auto records = tracker.EndAll(At(9));
    ASSERT_EQ(records.size(), 1u);
    const TestRecord& r = records[0];
    EXPECT_FALSE(r.pass);
    EXPECT_EQ(r.passes, 4);
    EXPECT_EQ(r.page, 23);
    EXPECT_EQ(r.column, 3);
    EXPECT_EQ(r.row, 2);
    EXPECT_EQ(r.values[5], 1200);
    EXPECT_EQ(r.values[6], 700);
    EXPECT_EQ(r.upperLimit[0], 1100);
    EXPECT_EQ(r.lowerLimit[0], 900);
    EXPECT_EQ(r.mask[31], Hatched);
    EXPECT_EQ(r.rangeHigh, 1500);
    EXPECT_EQ(r.boardKind, "offline-master");
    EXPECT_EQ(r.boardIdentity, "ID-7");
    EXPECT_EQ(r.configHash, "hash");
    EXPECT_EQ(ChannelList(r.failingChannels), "5 6");
    EXPECT_EQ(tracker.OpenPlacements(), 0);
}

TEST(PlacementTracker, UnconfiguredLimitsNeverReadAsAnEmptyPosition)
{
    ObservedCell o = Cell(0, 'E');
    for (auto& low : o.cell.lowerLimit)
        low = 0;
    EXPECT_NE(ClassifyCell(o.cell), CellReading::Empty);
    EXPECT_EQ(ClassifyCell(Cell(0, 'E').cell), CellReading::Empty);
    EXPECT_EQ(ClassifyCell(Cell(0, 'F').cell), CellReading::Fail);
}

TEST(UtcText, FormatsAndParsesIsoTimes)
{
    EXPECT_EQ(FormatUtc(0), "1970-01-01T00:00:00.000Z");
    std::int64_t ms = 0;
    struct Row {
        const char* text;
        bool ok;
        std::int64_t ms;
    } rows[] = {
        {"2026-12-10T22:11:35.123Z", true, 1796940695123},
        {"2026-12-10T22:11:35Z", true, 1796940695000},
        {"2026-12-10T22:11:35", true, 1796940695000}, // no offset: UTC
        {"2026-12-10T23:11:35+01:00", true, 1796940695000},
        {"2026-12-10", true, 1796860800000},
        {"yesterday", false, 0},
        {"", false, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(ParseUtc(r.text, &ms), r.ok);
        if (r.ok) {
            EXPECT_EQ(ms, r.ms);
        }
    }
}
} // namespace
