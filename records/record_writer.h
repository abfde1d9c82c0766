#pragma once
// Writes test records to the store on a thread of its own, in batches, so that the acquisition
// worker and the window never wait for the disk. Records that cannot be written (disk full,
// database locked or read-only) stay in memory and are tried again; the problem is reported once
// until a write succeeds. Closing writes whatever is left.
#include "record_store.h"
#include "test_record.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
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
    // Waits until everything submitted so far has been written, or a write failed, or the time
    // ran out. True when nothing is left unwritten.
    bool Flush(std::chrono::milliseconds timeout);
    std::size_t Unwritten() const;
    std::uint64_t Written() const { return written_.load(); }
    const std::string& Path() const { return path_; }

    static constexpr std::chrono::milliseconds BATCH_WINDOW{100};
    static constexpr std::chrono::milliseconds RETRY_AFTER{500};

private:
    void Run();
    bool WriteHeld(); // writer thread
    void SpillLeftovers();

    const std::string path_;
    Problem problem_;
    Recovered recovered_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::vector<TestRecord> queue_;     // submitted, not yet taken by the writer
    std::vector<TestRecord> held_;      // taken, not yet written (writer thread; size under mutex_)
    std::size_t heldCount_ = 0;         // under mutex_
    std::uint64_t attempts_ = 0;        // under mutex_: write attempts made
    bool flushRequested_ = false;       // under mutex_
    bool stop_ = false;                 // under mutex_
    bool failing_ = false;              // writer thread
    std::atomic<std::uint64_t> written_{0};
    RecordStore store_;                 // writer thread
    std::thread thread_;
};
