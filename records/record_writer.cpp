#include "record_writer.h"

#include "records_csv.h"

#include <cstdio>
#include <fstream>
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
    return queue_.size() + heldCount_;
}

bool RecordWriter::Flush(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    if (queue_.empty() && heldCount_ == 0)
        return true;
    const std::uint64_t attempt = attempts_;
    flushRequested_ = true;
    wake_.notify_all();
    // One attempt after this call has seen everything queued now.
    done_.wait_for(lock, timeout, [&] { return attempts_ >= attempt + 2 || (queue_.empty() && heldCount_ == 0); });
    return queue_.empty() && heldCount_ == 0;
}

void RecordWriter::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        // Batch: the first record waits for the ones that follow it within the window.
        const auto wait = held_.empty() ? BATCH_WINDOW : RETRY_AFTER;
        if (queue_.empty() && held_.empty())
            wake_.wait(lock, [&] { return stop_ || flushRequested_ || !queue_.empty(); });
        if (!stop_ && !flushRequested_)
            wake_.wait_for(lock, wait, [&] { return stop_ || flushRequested_; });
        flushRequested_ = false;
        for (TestRecord& r : queue_)
            held_.push_back(std::move(r));
        queue_.clear();
        heldCount_ = held_.size();
        const bool stopping = stop_;
        if (!held_.empty()) {
            lock.unlock();
            WriteHeld();
            lock.lock();
            heldCount_ = held_.size();
        }
        ++attempts_;
        done_.notify_all();
        if (stopping && queue_.empty())
            break;
    }
    lock.unlock();
    if (!held_.empty())
        SpillLeftovers();
}

bool RecordWriter::WriteHeld()
{
    std::string error;
    bool ok = store_.IsOpen() || store_.Open(path_, false, &error);
    if (ok)
        ok = store_.Insert(held_, &error);
    if (ok) {
        written_ += held_.size();
        held_.clear();
        if (failing_ && recovered_)
            recovered_();
        failing_ = false;
        return true;
    }
    store_.Close(); // the next attempt opens afresh (a file made writable again, a new folder)
    if (!failing_ && problem_)
        problem_(error);
    failing_ = true;
    return false;
}

void RecordWriter::SpillLeftovers()
{
    // Closing with the database still unwritable: the records go to a CSV file beside it, or to
    // the temporary folder, rather than nowhere.
    const std::string name = ".unsaved-" + std::to_string(NowUtcMs()) + ".csv";
    for (const std::string& target : {path_ + name, std::string("/tmp/vorlaine-records") + name}) {
        std::ofstream out(target, std::ios::binary);
        if (!out)
            continue;
        WriteCsvHeader(out);
        for (const TestRecord& r : held_)
            WriteCsvRow(out, r);
        out.flush();
        if (out) {
            std::fprintf(stderr, "vorlaine: %zu test records could not be stored in %s; saved to %s\n", held_.size(),
                         path_.c_str(), target.c_str());
            return;
        }
    }
    std::fprintf(stderr, "vorlaine: %zu test records lost: %s cannot be written\n", held_.size(), path_.c_str());
}
