#pragma once
// Board work that may wait for USB (connection passes, initialisations, information reads and
// writes, downloads, the outputs-off at closing) runs here, one job after another on a thread of
// its own, so that the window never waits for a board. The jobs share the boards' locks with the
// acquisition worker, as the window's commands always did.
//
// A job posted as cancellable runs with the thread's cancel flag attached (see
// hiddata::SetThreadCancel): once Cancel() is called its board commands fail at once, and
// cancellable jobs still queued are skipped. Other jobs (downloads, writes after an OK, the
// closing) always run to their end.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class BoardJobs {
public:
    using Job = std::function<void()>;
    BoardJobs();
    ~BoardJobs(); // runs what is queued, then ends the thread
    BoardJobs(const BoardJobs&) = delete;
    BoardJobs& operator=(const BoardJobs&) = delete;

    // Any thread. Dropped once Finish has been called.
    void Post(Job job, bool cancellable = false);
    // Cancellable work in progress ends within its current command; queued cancellable work is
    // skipped. Not undone: a window cancels once, at closing.
    void Cancel();
    bool Cancelled() const { return cancel_.load(); }
    // Runs what is queued, then joins the thread. Never on the jobs' own thread.
    void Finish();
    bool OnJobThread() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    struct Entry {
        Job job;
        bool cancellable = false;
    };
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Entry> queue_; // behind mutex_
    bool finishing_ = false;  // behind mutex_
    std::atomic<bool> cancel_{false};
    std::thread thread_;
};
