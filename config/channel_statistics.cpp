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
    if (s.sigma > 0.0) {
        s.cpk = std::min(static_cast<double>(upper) - s.mean, s.mean - static_cast<double>(lower)) / (3.0 * s.sigma);
        s.hasCpk = true;
    }
    return s;
}
