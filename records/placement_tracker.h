#pragma once
// Turns the stream of judged passes into one test record per sensor placement. A placement
// begins when a fresh measurement of a cell finds a sensor, and ends when the position has read
// empty for a while (the sensor was taken off), the cell is no longer tested (its board went
// silent or away, the emergency stop latched) or the board goes away. One thread at a time; the
// recorder locks.
//
// Only fresh measurements count: a board that reads one station or one channel a pass leaves the
// other cells showing values read before, and judging those again would count one noisy reading
// several times. Contacts bounce for tens of milliseconds when a sensor is laid on or lifted, so
// both the FAIL verdict and the end of a placement must hold for a time, over at least two
// measurements, before they count.
#include "grid_model.h"
#include "test_record.h"

#include <cstdint>
#include <string>
#include <vector>

struct ObservedCell {
    int column = 0;
    int row = 0;
    int page = 0;
    bool fresh = false; // this pass brought the cell a new, complete measurement
    ColorBarCell cell{};
};

struct PlacementContext {
    std::string stationId;
    std::string boardKind;
    std::string boardIdentity;
    std::string configHash;
};

// When a pass was judged: the wall clock for the record's stamps, a monotonic clock for every
// duration, so that a clock step never makes a record end before it starts.
struct PassTime {
    std::int64_t wallMs = 0;
    std::int64_t monoMs = 0;
};
PassTime PassTimeNow();

enum class CellReading { Empty, Pass, Fail };

// LOAD when no channel is tested, or when no sensor lies on the position: every tested channel
// reads below a quarter of its lower limit (an empty position reads near zero). `failing` gets
// the tested channels outside their limits.
CellReading ClassifyCell(const ColorBarCell& cell, std::uint32_t* failing = nullptr);

class PlacementTracker {
public:
    static constexpr std::int64_t DEFAULT_HOLD_MS = 100;
    // Fresh measurements a FAIL (or an empty position) needs besides the time.
    static constexpr int HOLD_MEASUREMENTS = 2;

    // A sensor fails when its cell reads FAIL for holdMs over at least HOLD_MEASUREMENTS fresh
    // measurements in a row; a placement ends when the position reads empty likewise.
    explicit PlacementTracker(std::int64_t holdMs = DEFAULT_HOLD_MS);

    // One judged pass: every tested cell of the grid. An open placement whose cell is missing
    // (untested now) ends. Returns the placements that ended.
    std::vector<TestRecord> Observe(PassTime time, const std::vector<ObservedCell>& cells,
                                    const PlacementContext& context);
    // The board went away: every open placement ends.
    std::vector<TestRecord> EndAll(PassTime time);
    int OpenPlacements() const;
    std::int64_t HoldMs() const { return holdMs_; }

private:
    struct Run {
        int count = 0;
        std::int64_t sinceMs = 0; // monotonic
        void Reset() { count = 0; }
        // Counts one measurement at nowMs; true once the run has held long enough.
        bool Extend(std::int64_t nowMs, std::int64_t holdMs);
    };
    struct Placement {
        bool open = false;
        std::int64_t startWallMs = 0;
        std::int64_t startMonoMs = 0;
        int measurements = 0;
        bool failed = false;
        bool passed = false; // at least one measurement judged PASS
        Run failRun;
        Run emptyRun;
        ObservedCell lastPass;
        int runWorstCount = -1; // worst FAIL measurement of the current run
        ObservedCell runWorst;
        int worstCount = -1; // worst FAIL measurement of any run that held
        ObservedCell worst;
        int anyWorstCount = -1; // worst FAIL measurement of all
        ObservedCell anyWorst;
        PlacementContext context;
    };
    void Measure(Placement& p, const ObservedCell& seen, PassTime time, const PlacementContext& context,
                 std::vector<TestRecord>& ended);
    TestRecord Close(Placement& p, std::int64_t endMonoMs);
    static std::int64_t EndOf(const Placement& p, PassTime time);

    std::int64_t holdMs_;
    Placement cells_[GRID_MAX_COLUMNS][GRID_MAX_ROWS];
};
