#pragma once
// Turns the stream of judged passes into one test record per sensor placement. A placement
// begins when a cell stops reading LOAD (a sensor is laid down) and ends when it reads LOAD again
// (the sensor is taken off) or the board goes away. One thread at a time; the recorder locks.
#include "grid_model.h"
#include "test_record.h"

#include <cstdint>
#include <string>
#include <vector>

struct ObservedCell {
    int column = 0;
    int row = 0;
    int page = 0;
    ColorBarCell cell{};
};

struct PlacementContext {
    std::string stationId;
    std::string boardKind;
    std::string boardIdentity;
    std::string configHash;
};

enum class CellReading { Empty, Pass, Fail };

// LOAD when no channel is tested, or when no sensor lies on the position: every tested channel
// reads below a quarter of its lower limit (an empty position reads near zero). `failing` gets
// the tested channels outside their limits.
CellReading ClassifyCell(const ColorBarCell& cell, std::uint32_t* failing = nullptr);

class PlacementTracker {
public:
    // A sensor fails only when this many passes in a row judge it FAIL: one noisy pass does not.
    static constexpr int FAIL_RUN = 3;

    // One judged pass: the tested cells. A cell missing from it (not measured this pass) keeps
    // its placement as it is. Returns the placements that ended.
    std::vector<TestRecord> Observe(std::int64_t timeMs, const std::vector<ObservedCell>& cells,
                                    const PlacementContext& context);
    // The board went away: every open placement ends at timeMs.
    std::vector<TestRecord> EndAll(std::int64_t timeMs);
    int OpenPlacements() const;

private:
    struct Placement {
        bool open = false;
        std::int64_t startMs = 0;
        int passes = 0;
        int failRun = 0;
        bool failed = false;
        ObservedCell last;
        int runWorstCount = -1; // worst FAIL pass of the current run
        ObservedCell runWorst;
        int worstCount = -1; // worst FAIL pass of any run long enough to fail the sensor
        ObservedCell worst;
        PlacementContext context;
    };
    TestRecord Close(Placement& p, std::int64_t endMs);

    Placement cells_[GRID_MAX_COLUMNS][GRID_MAX_ROWS];
};
