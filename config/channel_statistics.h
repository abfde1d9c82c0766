#pragma once
// Per-channel statistics of the checked readings against the limits under edit, so that limits
// are set from evidence: minimum, maximum, mean, standard deviation and process capability.
// Depends on the standard library only.
#include <array>
#include <cstdint>
#include <vector>

constexpr double CPK_CAPABLE = 1.33; // below this a channel's test is not capable

struct ChannelStatistics {
    int count = 0; // readings taken into account
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    double mean = 0.0;
    // Sample standard deviation (n - 1); valid only with count >= 2.
    double sigma = 0.0;
    bool hasSigma = false;
    // min(upper - mean, mean - lower) / (3 sigma); valid only with count >= 2 and sigma > 0.
    double cpk = 0.0;
    bool hasCpk = false;
};

// Statistics of channel values, one entry per reading.
ChannelStatistics ComputeChannelStatistics(const std::vector<std::int32_t>& values, std::uint16_t upper,
                                           std::uint16_t lower);
