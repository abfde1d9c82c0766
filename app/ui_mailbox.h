#pragma once
// Hands closures from any thread to the thread that owns the mailbox (the UI thread). The closures
// cross under our own mutex and the queued call carries no data: ThreadSanitizer cannot see the
// locking inside Qt's event queue, so data captured in a queued lambda would look like a race.
#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

class UiMailbox final : public QObject {
    Q_OBJECT

public:
    using Call = std::function<void()>;
    explicit UiMailbox(QObject* parent = nullptr) : QObject(parent) {}

    // Any thread; the calls run in the order posted. Calls still waiting when the mailbox goes
    // are dropped.
    void Post(Call call);
    // Owner's thread: runs the oldest call that has arrived.
    Q_INVOKABLE void Deliver();

private:
    std::mutex mutex_;
    std::deque<Call> calls_; // behind mutex_
    bool queued_ = false;    // behind mutex_: a Deliver is on its way
};
