#include "yield_counters.h"

void YieldCounters::Add(const std::vector<TestRecord>& records)
{
    if (records.empty())
        return;
    std::lock_guard lock(mutex_);
    for (const TestRecord& r : records) {
        for (YieldCount* c : {&total_, &perPosition_[r.page]}) {
            ++c->tested;
            ++(r.pass ? c->passed : c->failed);
        }
    }
    ++generation_;
}

void YieldCounters::Reset()
{
    std::lock_guard lock(mutex_);
    total_ = {};
    perPosition_.clear();
    ++generation_;
}

YieldCount YieldCounters::Total() const
{
    std::lock_guard lock(mutex_);
    return total_;
}

std::map<int, YieldCount> YieldCounters::PerPosition() const
{
    std::lock_guard lock(mutex_);
    return perPosition_;
}

std::uint64_t YieldCounters::Generation() const
{
    std::lock_guard lock(mutex_);
    return generation_;
}
