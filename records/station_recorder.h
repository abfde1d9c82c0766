#pragma once
// The station's recording: judged passes in, placements tracked, finished records counted and
// handed to the writer thread. Observe runs on the acquisition worker; the rest on any thread.
#include "placement_tracker.h"
#include "record_writer.h"
#include "yield_counters.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class StationRecorder {
public:
    StationRecorder(const std::string& storePath, std::string stationId, RecordWriter::Problem problem = {},
                    RecordWriter::Recovered recovered = {},
                    std::int64_t holdMs = PlacementTracker::DEFAULT_HOLD_MS);

    // The board that the next placements are made on; the loaded configuration's hash.
    void SetBoard(std::string kind, std::string identity);
    void SetConfigHash(std::string hash);

    // A judged pass of the worker that started at `generation`. Passes of a worker older than the
    // last EndAll are dropped: they belong to a board that has gone.
    void Observe(PassTime time, const std::vector<ObservedCell>& cells, std::uint64_t generation);
    // The board went away (or the program closes): every open placement ends.
    void EndAll(PassTime time, std::uint64_t generation);

    YieldCounters& Counters() { return counters_; }
    RecordWriter& Writer() { return *writer_; }
    int OpenPlacements() const;

private:
    void Finish(std::vector<TestRecord> records);

    mutable std::mutex mutex_;
    PlacementTracker tracker_;
    PlacementContext context_;
    std::uint64_t minGeneration_ = 0;
    YieldCounters counters_;
    std::unique_ptr<RecordWriter> writer_;
};
