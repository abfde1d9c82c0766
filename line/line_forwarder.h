#pragma once
// Forwards the station's records from its store (the outbox) to the line's PostgreSQL, on a
// thread of its own. The oldest unsent records go in batches, each in one line transaction with
// INSERT ... ON CONFLICT DO NOTHING, and leave the outbox only after that commit: a crash in
// between makes the resend a no-op. A record the line refuses for its data is quarantined in the
// store with the reason, and the rest go on. Unsent records are never deleted. A line that cannot
// be reached is tried again with a growing, jittered delay. Every heartbeat period the station's
// state goes to station_status.
#include "record_store.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

struct LineStatus {
    enum class State { Off, Synced, Pending, Unreachable };
    State state = State::Off;
    std::int64_t backlog = 0;        // records in the outbox
    std::int64_t oldestUnsentMs = 0; // start of the oldest of them (UTC ms); 0 when none
    std::int64_t quarantined = 0;
    std::int64_t forwarded = 0;      // sent by this forwarder since it started
    std::string reason;              // why the line cannot be reached, or what the store said
};

struct LineOptions {
    std::string conninfo;
    std::string storePath;
    std::string station; // the station's name in station_status
    std::string programVersion;
    int batchSize = 200;
    std::chrono::milliseconds poll{200};           // how often the outbox is looked at when idle
    std::chrono::milliseconds heartbeat{10'000};
    std::chrono::milliseconds firstRetry{500};
    std::chrono::milliseconds maxRetry{60'000};
    int connectTimeoutS = 5;
    std::chrono::milliseconds pruneSentAfter{0};   // 0: sent records stay in the store for good
    // Called after the line has committed a batch and before the store marks it sent; returning
    // false ends the thread there, as if the station had been killed at that moment.
    std::function<bool()> afterLineCommit;
};

class LineForwarder {
public:
    explicit LineForwarder(LineOptions options);
    ~LineForwarder(); // Stop()
    LineForwarder(const LineForwarder&) = delete;
    LineForwarder& operator=(const LineForwarder&) = delete;

    void Start();
    // Ends the thread after the batch in hand; a last heartbeat says "stopped" when the line is
    // there. Unsent records stay in the outbox for the next start.
    void Stop();
    // The outbox has something new: look now rather than at the next poll. Any thread.
    void Wake();
    // Sends what the outbox holds at the call, waiting at most `timeout`; false when that did not
    // happen (the line is unreachable, or time ran out). Not on the forwarder's own thread.
    bool Flush(std::chrono::milliseconds timeout);

    // Any thread.
    LineStatus Status() const;
    void SetBoard(std::string kind, std::string identity);
    void SetConfigHash(std::string hash);
    // What the station is doing ("running", "idle", "e-stop"), sent with each heartbeat in place
    // of the forwarder's own state; empty sends the forwarder's state.
    void SetStationState(std::string state);

private:
    struct Heartbeat {
        std::string boardKind, boardIdentity, configHash, stationState;
    };
    void Run();
    void Wait(std::chrono::steady_clock::time_point until);
    void Publish(const LineStatus& status);

    const LineOptions options_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;  // under mutex_
    bool poked_ = false; // under mutex_
    std::condition_variable flushed_;
    std::uint64_t flushAsked_ = 0; // under mutex_
    std::uint64_t flushDone_ = 0;  // under mutex_: the last request a cycle found the outbox empty for
    LineStatus status_;  // under mutex_
    Heartbeat heartbeat_; // under mutex_
    std::thread thread_;
};
