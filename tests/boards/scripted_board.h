#pragma once
// A board that answers every output report with one fixed reply, so that parsing can be checked
// against known bytes.
#include "sim_board.h"

#include <mutex>

class ScriptedBoard final : public SimBoard {
public:
    explicit ScriptedBoard(const SimReport& reply) : reply_(reply) {}

    void onOutputReport(const SimReport&, std::vector<SimReport>& replies) override
    {
        std::lock_guard lock(mutex_);
        replies.push_back(reply_);
    }
    bool onSetFeature(const SimReport&) override { return true; }
    bool onGetFeature(SimReport& report) override
    {
        std::lock_guard lock(mutex_);
        report = reply_;
        return true;
    }
    void setReply(const SimReport& reply)
    {
        std::lock_guard lock(mutex_);
        reply_ = reply;
    }

private:
    std::mutex mutex_;
    SimReport reply_;
};

// Reply whose payload byte i holds i (1..64).
inline SimReport CountingReply()
{
    SimReport r{};
    for (std::size_t i = 1; i < r.size(); ++i)
        r[i] = static_cast<std::uint8_t>(i);
    return r;
}

// Report with the given bytes from position 1 on and the rest 0.
inline SimReport Bytes(std::initializer_list<int> fromPos1, std::initializer_list<std::pair<int, int>> at = {})
{
    SimReport r{};
    std::size_t i = 1;
    for (int b : fromPos1)
        r[i++] = static_cast<std::uint8_t>(b);
    for (auto [pos, b] : at)
        r[static_cast<std::size_t>(pos)] = static_cast<std::uint8_t>(b);
    return r;
}
