#include "ui_mailbox.h"

#include <utility>

void UiMailbox::Post(Call call)
{
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
        if (std::exchange(queued_, true))
            return;
    }
    QMetaObject::invokeMethod(this, "Deliver", Qt::QueuedConnection);
}

void UiMailbox::Deliver()
{
    Call call;
    {
        std::lock_guard lock(mutex_);
        if (calls_.empty()) {
            queued_ = false;
            return;
        }
        call = std::move(calls_.front());
        calls_.pop_front();
        // The next one is on its way before this one runs: a call that opens a dialog does not
        // hold up the calls behind it.
        queued_ = !calls_.empty();
        if (queued_)
            QMetaObject::invokeMethod(this, "Deliver", Qt::QueuedConnection);
    }
    call();
}
