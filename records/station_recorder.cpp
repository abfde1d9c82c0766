#include "station_recorder.h"

#include <utility>

StationRecorder::StationRecorder(const std::string& storePath, std::string stationId, RecordWriter::Problem problem,
                                 RecordWriter::Recovered recovered, std::int64_t holdMs)
    : tracker_(holdMs), writer_(std::make_unique<RecordWriter>(storePath, std::move(problem), std::move(recovered)))
{
    context_.stationId = std::move(stationId);
}

void StationRecorder::SetBoard(std::string kind, std::string identity)
{
    std::lock_guard lock(mutex_);
    context_.boardKind = std::move(kind);
    context_.boardIdentity = std::move(identity);
}

void StationRecorder::SetConfigHash(std::string hash)
{
    std::lock_guard lock(mutex_);
    context_.configHash = std::move(hash);
}

void StationRecorder::Observe(PassTime time, const std::vector<ObservedCell>& cells, std::uint64_t generation)
{
    std::vector<TestRecord> ended;
    {
        std::lock_guard lock(mutex_);
        if (generation < minGeneration_)
            return;
        ended = tracker_.Observe(time, cells, context_);
    }
    Finish(std::move(ended));
}

void StationRecorder::EndAll(PassTime time, std::uint64_t generation)
{
    std::vector<TestRecord> ended;
    {
        std::lock_guard lock(mutex_);
        minGeneration_ = std::max(minGeneration_, generation);
        ended = tracker_.EndAll(time);
    }
    Finish(std::move(ended));
}

int StationRecorder::OpenPlacements() const
{
    std::lock_guard lock(mutex_);
    return tracker_.OpenPlacements();
}

void StationRecorder::Finish(std::vector<TestRecord> records)
{
    if (records.empty())
        return;
    counters_.Add(records);
    writer_->Submit(std::move(records));
}
