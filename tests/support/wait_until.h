#pragma once
// Waits for a condition with a deadline instead of sleeping a fixed time.
#include <QCoreApplication>
#include <chrono>
#include <thread>

template <typename Pred>
bool waitUntil(Pred pred, std::chrono::milliseconds deadline = std::chrono::seconds(5))
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end)
            return pred();
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
