#pragma once
// Runs a step N times and prints its median and worst time in ms against the 20 ms target.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

inline void report(const char* what, const std::function<void()>& run, int runs)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        run();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-30s median %6.2f ms  worst %6.2f ms  (%d runs; target 20 ms)\n", what, ms[ms.size() / 2],
                ms.back(), runs);
}
