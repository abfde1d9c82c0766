#include "channel_statistics.h"

#include <algorithm>
#include <cmath>

ChannelStatistics ComputeChannelStatistics(const std::vector<std::int32_t>& values, std::uint16_t upper,
                                           std::uint16_t lower)
{
    ChannelStatistics s;
    if (values.empty())
        return s;
    s.count = static_cast<int>(values.size());
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    s.minimum = *lo;
    s.maximum = *hi;

    // Two passes: the sum is exact in 64 bits, and the squares are taken about the mean, so large
    // values with a small spread lose nothing to cancellation.
    std::int64_t sum = 0;
    for (std::int32_t v : values)
        sum += v;
    s.mean = static_cast<double>(sum) / static_cast<double>(values.size());
    if (values.size() < 2)
        return s;
    double squares = 0.0;
    if (s.minimum != s.maximum) // equal readings have no spread, whatever the rounding of the mean
        for (std::int32_t v : values) {
            const double d = static_cast<double>(v) - s.mean;
            squares += d * d;
        }
    s.sigma = std::sqrt(squares / static_cast<double>(values.size() - 1));
    s.hasSigma = true;
    if (const auto cpk = CapabilityIndex(s.mean, s.sigma, upper, lower)) {
        s.cpk = *cpk;
        s.hasCpk = true;
    }
    return s;
}

std::optional<double> CapabilityIndex(double mean, double sigma, double upper, double lower)
{
    if (!(sigma > 0.0))
        return std::nullopt;
    return std::min(upper - mean, mean - lower) / (3.0 * sigma);
}

std::optional<Interval> CapabilityInterval95(double index, int n)
{
    if (n < 2)
        return std::nullopt;
    const double half = 1.96 * std::sqrt(1.0 / (9.0 * n) + index * index / (2.0 * (n - 1)));
    return Interval{index - half, index + half};
}

ImrLimits ComputeImrLimits(double mean, double meanMovingRange)
{
    ImrLimits l;
    l.center = mean;
    l.upper = mean + 2.66 * meanMovingRange;
    l.lower = mean - 2.66 * meanMovingRange;
    l.rangeCenter = meanMovingRange;
    l.rangeUpper = 3.267 * meanMovingRange;
    l.sigmaWithin = meanMovingRange / 1.128;
    return l;
}

std::vector<int> WesternElectricRules(const std::vector<double>& x, const ImrLimits& limits)
{
    std::vector<int> flags(x.size(), 0);
    if (!(limits.sigmaWithin > 0.0))
        return flags;
    auto z = [&](std::size_t i) { return (x[i] - limits.center) / limits.sigmaWithin; };
    auto count = [&](std::size_t end, std::size_t window, double beyond, int side) {
        int n = 0;
        for (std::size_t k = end + 1 - window; k <= end; ++k)
            if (side * z(k) > beyond)
                ++n;
        return n;
    };
    for (std::size_t i = 0; i < x.size(); ++i) {
        // Against the drawn limits (2.66 is 3 / 1.128 rounded), so a marked point is one beyond them.
        if (x[i] > limits.upper || x[i] < limits.lower)
            flags[i] |= 1;
        for (int side : {1, -1}) {
            if (i >= 2 && side * z(i) > 2.0 && count(i, 3, 2.0, side) >= 2)
                flags[i] |= 2;
            if (i >= 4 && side * z(i) > 1.0 && count(i, 5, 1.0, side) >= 4)
                flags[i] |= 4;
            if (i >= 7 && count(i, 8, 0.0, side) == 8)
                flags[i] |= 8;
        }
    }
    return flags;
}
