#include "board_jobs.h"

#include "hiddata.h"

#include <utility>

BoardJobs::BoardJobs() : thread_([this] { Run(); }) {}

BoardJobs::~BoardJobs()
{
    Finish();
}

void BoardJobs::Post(Job job, bool cancellable)
{
    {
        std::lock_guard lock(mutex_);
        if (finishing_)
            return;
        queue_.push_back({std::move(job), cancellable});
    }
    wake_.notify_one();
}

void BoardJobs::Cancel()
{
    cancel_ = true;
}

void BoardJobs::Finish()
{
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable() && !OnJobThread())
        thread_.join();
}

void BoardJobs::Run()
{
    for (;;) {
        Entry entry;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return finishing_ || !queue_.empty(); });
            if (queue_.empty())
                return; // finishing, and nothing left
            entry = std::move(queue_.front());
            queue_.pop_front();
        }
        if (entry.cancellable && cancel_)
            continue;
        hiddata::SetThreadCancel(entry.cancellable ? &cancel_ : nullptr);
        entry.job();
        hiddata::SetThreadCancel(nullptr);
    }
}
