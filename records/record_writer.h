#pragma once
// Writes test records to the store on a thread of its own, in batches, so that the acquisition
// worker and the window never wait for the disk. Records that cannot be written (disk full,
// database locked or read-only) stay in memory and are tried again; the problem is reported once
// until a write succeeds. Beyond MEMORY_BOUND records in memory, the rest go at once to a spill
// file in the user's state folder, and back into the store when it can be written again.
// Closing writes whatever is left, or spills it.
#include "record_spill.h"
#include "record_store.h"
#include "test_record.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class RecordWriter {
public:
    // Both on the writer thread: the first failure since the last good write, and the good write
    // that ends a failure.
    using Problem = std::function<void(const std::string& message)>;
    using Recovered = std::function<void()>;

    explicit RecordWriter(std::string path, Problem problem = {}, Recovered recovered = {});
    ~RecordWriter(); // writes what is left, then joins
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    // Any thread; never waits for the disk.
    void Submit(std::vector<TestRecord> records);
    // Waits until everything submitted so far is in the store, or a write failed, or the time ran
    // out. True when nothing is left in memory or in the spill file.
    bool Flush(std::chrono::milliseconds timeout);
    // Records in memory, not in the store.
    std::size_t Unwritten() const;
    // Records in the spill file, not in the store yet; and the file, empty while there is none.
    std::uint64_t Spilled() const;
    std::string SpillPath() const;
    std::uint64_t Written() const { return written_.load(); }
    const std::string& Path() const { return path_; }

    // Copies the records starting in [sinceMs, untilMs) that are not in the store (in memory and
    // in the spill file) and calls `startRead` while nothing can be written or spilled: a read of
    // the store begun there sees every record either in the store or in the copy, and none in
    // both. False, with the reason, when the spill file cannot be read or `startRead` fails.
    bool Unstored(std::int64_t sinceMs, std::int64_t untilMs, const std::function<bool(std::string*)>& startRead,
                  std::vector<TestRecord>* records, std::string* error) const;

    static constexpr std::chrono::milliseconds BATCH_WINDOW{100};
    static constexpr std::chrono::milliseconds RETRY_AFTER{500};
    static constexpr std::size_t MEMORY_BOUND = 1000;

private:
    using Clock = std::chrono::steady_clock;
    void Run();
    void WriteHeld();   // writer thread
    void SpillExcess(); // writer thread
    bool BringBackSpill(std::string* error); // writer thread, under gate_
    void SpillLeftovers();
    bool OverBound() const; // under mutex_

    const std::string path_;
    Problem problem_;
    Recovered recovered_;
    // Held by whoever moves records between memory, the spill file and the store, so that an
    // export sees each record in one place. Taken before mutex_.
    mutable std::mutex gate_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::vector<TestRecord> queue_;     // under mutex_: submitted, not yet taken by the writer
    std::vector<TestRecord> held_;      // taken, not yet written: changed by the writer under mutex_
    std::uint64_t attempts_ = 0;        // under mutex_: write attempts made
    bool flushRequested_ = false;       // under mutex_
    bool stop_ = false;                 // under mutex_
    bool failing_ = false;              // writer thread
    bool spillUnreadable_ = false;      // writer thread: the spill file cannot be brought back
    bool spillFailing_ = false;         // writer thread: no spill until the next attempt
    std::atomic<std::uint64_t> written_{0};
    std::unique_ptr<SpillFile> spill_;  // under gate_; its count and path also under mutex_
    std::uint64_t spilled_ = 0;         // under mutex_
    std::string spillPath_;             // under mutex_
    RecordStore store_;                 // writer thread
    std::thread thread_;
};
