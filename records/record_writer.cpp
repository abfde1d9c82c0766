#include "record_writer.h"

#include "records_csv.h"

#include <cstdio>
#include <fstream>
#include <span>
#include <utility>

RecordWriter::RecordWriter(std::string path, Problem problem, Recovered recovered)
    : path_(std::move(path)), problem_(std::move(problem)), recovered_(std::move(recovered))
{
    thread_ = std::thread([this] { Run(); });
}

RecordWriter::~RecordWriter()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void RecordWriter::Submit(std::vector<TestRecord> records)
{
    if (records.empty())
        return;
    {
        std::lock_guard lock(mutex_);
        for (TestRecord& r : records)
            queue_.push_back(std::move(r));
    }
    wake_.notify_one();
}

std::size_t RecordWriter::Unwritten() const
{
    std::lock_guard lock(mutex_);
    return queue_.size() + held_.size();
}

std::uint64_t RecordWriter::Spilled() const
{
    std::lock_guard lock(mutex_);
    return spilled_;
}

std::string RecordWriter::SpillPath() const
{
    std::lock_guard lock(mutex_);
    return spillPath_;
}

bool RecordWriter::OverBound() const
{
    return failing_ && !spillFailing_ && queue_.size() + held_.size() > MEMORY_BOUND;
}

bool RecordWriter::Flush(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    auto stored = [&] { return queue_.empty() && held_.empty() && spilled_ == 0; };
    if (stored())
        return true;
    const std::uint64_t attempt = attempts_;
    flushRequested_ = true;
    wake_.notify_all();
    // One attempt after this call has seen everything queued now.
    done_.wait_for(lock, timeout, [&] { return attempts_ >= attempt + 2 || stored(); });
    return stored();
}

void RecordWriter::Run()
{
    std::unique_lock lock(mutex_);
    auto nextAttempt = Clock::now();
    for (;;) {
        if (queue_.empty() && held_.empty() && (spilled_ == 0 || spillUnreadable_))
            wake_.wait(lock, [&] { return stop_ || flushRequested_ || !queue_.empty(); });
        // Batch: the first record waits for the ones that follow it within the window; after a
        // failure the next attempt waits its turn, and memory beyond its bound is spilled meanwhile.
        const auto due = failing_ ? nextAttempt : Clock::now() + BATCH_WINDOW;
        wake_.wait_until(lock, due, [&] { return stop_ || flushRequested_ || OverBound(); });
        const bool attempt = stop_ || flushRequested_ || Clock::now() >= due;
        if (attempt)
            flushRequested_ = false;
        for (TestRecord& r : queue_)
            held_.push_back(std::move(r));
        queue_.clear();
        const bool stopping = stop_;
        lock.unlock();
        if (attempt) {
            WriteHeld();
            spillFailing_ = false;
        }
        if (failing_)
            SpillExcess();
        lock.lock();
        if (attempt) {
            nextAttempt = Clock::now() + RETRY_AFTER;
            ++attempts_;
            done_.notify_all();
        }
        if (stopping && queue_.empty())
            break;
    }
    lock.unlock();
    SpillLeftovers();
}

void RecordWriter::WriteHeld()
{
    std::lock_guard gate(gate_);
    std::string error;
    bool ok = store_.IsOpen() || store_.Open(path_, false, &error);
    if (ok && !held_.empty())
        ok = store_.Insert(held_, &error);
    if (ok) {
        std::lock_guard lock(mutex_);
        written_ += held_.size();
        held_.clear();
    }
    if (ok && spill_ && !spillUnreadable_)
        ok = BringBackSpill(&error);
    if (ok) {
        if (failing_ && recovered_)
            recovered_();
        failing_ = false;
        return;
    }
    store_.Close(); // the next attempt opens afresh (a file made writable again, a new folder)
    if (!failing_ && problem_)
        problem_(error);
    failing_ = true;
}

bool RecordWriter::BringBackSpill(std::string* error)
{
    std::int64_t added = 0;
    bool fileBad = false;
    if (!ImportRecords(spill_->Path(), store_, &added, error, &fileBad)) {
        if (!fileBad)
            return false;
        // Someone else's change to the file: its records stay there, and the window keeps naming it.
        std::fprintf(stderr, "vorlaine: %s cannot be brought back into %s: %s\n", spill_->Path().c_str(),
                     path_.c_str(), error->c_str());
        spillUnreadable_ = true;
        return true;
    }
    written_ += static_cast<std::uint64_t>(added);
    std::string removeError;
    if (!spill_->Remove(&removeError)) // brought in again, it would add nothing
        std::fprintf(stderr, "vorlaine: %s is in the store now but stays: %s\n", spill_->Path().c_str(),
                     removeError.c_str());
    spill_.reset();
    std::lock_guard lock(mutex_);
    spilled_ = 0;
    spillPath_.clear();
    return true;
}

void RecordWriter::SpillExcess()
{
    std::lock_guard gate(gate_);
    if (held_.size() <= MEMORY_BOUND)
        return;
    std::string error;
    if (!spill_)
        spill_ = SpillFile::CreateInStateFolder(&error);
    if (!spill_ || !spill_->Append(std::span(held_).subspan(MEMORY_BOUND), &error)) {
        if (!spillFailing_)
            std::fprintf(stderr, "vorlaine: test records cannot be spilled (%s); they stay in memory\n",
                         error.c_str());
        spillFailing_ = true;
        return;
    }
    std::lock_guard lock(mutex_);
    held_.resize(MEMORY_BOUND);
    spilled_ = spill_->Rows();
    spillPath_ = spill_->Path();
}

void RecordWriter::SpillLeftovers()
{
    std::lock_guard gate(gate_);
    if (!held_.empty()) {
        std::string error;
        if (!spill_)
            spill_ = SpillFile::CreateInStateFolder(&error);
        if (spill_ && spill_->Append(held_, &error)) {
            std::lock_guard lock(mutex_);
            held_.clear();
            spilled_ = spill_->Rows();
            spillPath_ = spill_->Path();
        } else {
            std::fprintf(stderr, "vorlaine: %zu test records lost: neither %s nor a spill file can be written (%s)\n",
                         held_.size(), path_.c_str(), error.c_str());
        }
    }
    if (spill_ && spill_->Rows() > 0)
        std::fprintf(stderr,
                     "vorlaine: %llu test records could not be stored in %s; they are in %s. Bring them in with:\n"
                     "  vorlaine --import-records=%s --records=%s\n",
                     static_cast<unsigned long long>(spill_->Rows()), path_.c_str(), spill_->Path().c_str(),
                     spill_->Path().c_str(), path_.c_str());
}

bool RecordWriter::Unstored(std::int64_t sinceMs, std::int64_t untilMs,
                            const std::function<bool(std::string*)>& startRead, std::vector<TestRecord>* records,
                            std::string* error) const
{
    std::lock_guard gate(gate_);
    auto take = [&](const TestRecord& r) {
        if (r.startMs >= sinceMs && r.startMs < untilMs)
            records->push_back(r);
        return true;
    };
    {
        std::lock_guard lock(mutex_);
        for (const TestRecord& r : held_)
            take(r);
        for (const TestRecord& r : queue_)
            take(r);
    }
    if (spill_ && spill_->Rows() > 0) {
        std::ifstream in(spill_->Path(), std::ios::binary);
        std::string reason = "cannot be opened";
        if (!in || !ReadCsvRecords(in, take, &reason)) {
            if (error)
                *error = spill_->Path() + ": " + reason;
            return false;
        }
    }
    return startRead(error);
}
