#pragma once
// Tested / passed / failed since the last reset, for the whole station and per board position
// (page). Any thread.
#include "test_record.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

struct YieldCount {
    std::int64_t tested = 0;
    std::int64_t passed = 0;
    std::int64_t failed = 0;
    // Percent of tested that passed; negative when nothing was tested.
    double YieldPercent() const { return tested ? 100.0 * static_cast<double>(passed) / static_cast<double>(tested) : -1; }
};

class YieldCounters {
public:
    void Add(const std::vector<TestRecord>& records);
    void Reset();
    YieldCount Total() const;
    std::map<int, YieldCount> PerPosition() const;
    // Moves on with every change, so a display redraws only when needed.
    std::uint64_t Generation() const;

private:
    mutable std::mutex mutex_;
    YieldCount total_;
    std::map<int, YieldCount> perPosition_;
    std::uint64_t generation_ = 0;
};
