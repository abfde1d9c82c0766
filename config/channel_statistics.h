#pragma once
// Per-channel statistics of the checked readings against the limits under edit, so that limits
// are set from evidence: minimum, maximum, mean, standard deviation and process capability.
// Depends on the standard library only.
#include <array>
#include <cstdint>
#include <optional>
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

// min(upper - mean, mean - lower) / (3 sigma): Cpk with the σ within, Ppk with the overall s.
// nullopt when sigma is not positive.
std::optional<double> CapabilityIndex(double mean, double sigma, double upper, double lower);

// The 95 % confidence interval of a capability index estimated from n readings (Bissell's normal
// approximation: index ± 1.96 · sqrt(1 / (9n) + index² / (2(n - 1)))); nullopt with n < 2.
struct Interval {
    double low = 0.0;
    double high = 0.0;
};
std::optional<Interval> CapabilityInterval95(double index, int n);

// Individuals and moving-range chart limits from the mean and the mean moving range: X̄ ± 2.66·MR̄
// and the range's upper limit 3.267·MR̄; the σ within a subgroup of one is MR̄ / 1.128.
struct ImrLimits {
    double center = 0.0;
    double upper = 0.0;
    double lower = 0.0;
    double rangeCenter = 0.0;
    double rangeUpper = 0.0;
    double sigmaWithin = 0.0;
};
ImrLimits ComputeImrLimits(double mean, double meanMovingRange);

// Western Electric rules on the individuals, with σ within: bit 0 one point beyond the control
// limits, bit 1 two of three beyond 2σ on one side, bit 2 four of five beyond 1σ, bit 3 eight in a row
// on one side. A point carries the rules that the run ending at it breaks.
std::vector<int> WesternElectricRules(const std::vector<double>& x, const ImrLimits& limits);

// Statistics of channel values, one entry per reading.
ChannelStatistics ComputeChannelStatistics(const std::vector<std::int32_t>& values, std::uint16_t upper,
                                           std::uint16_t lower);
