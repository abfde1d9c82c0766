#pragma once
// Views of a simulated device's log for byte-exact checks.
#include "sim_bus.h"

#include <chrono>
#include <vector>

inline std::vector<SimReport> OutputReports(const std::vector<SimLoggedReport>& log)
{
    std::vector<SimReport> out;
    for (const auto& e : log)
        if (e.kind == SimLoggedReport::Kind::Output)
            out.push_back(e.bytes);
    return out;
}

// Report with `value` in every payload byte.
inline SimReport Filled(std::uint8_t value)
{
    SimReport r{};
    r.fill(value);
    r[0] = 0;
    return r;
}

// How long a call takes.
template <typename F>
std::chrono::milliseconds Timed(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}
