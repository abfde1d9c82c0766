#include "baseline_math.h"

#include <cmath>
#include <cstddef>

std::optional<std::array<std::int32_t, 32>> AverageChannels(const std::vector<std::array<std::int32_t, 32>>& rows)
{
    if (rows.empty())
        return std::nullopt;
    std::array<std::int64_t, 32> sums{};
    for (const auto& row : rows)
        for (std::size_t k = 0; k < sums.size(); ++k)
            sums[k] += row[k];
    std::array<std::int32_t, 32> average{};
    const auto count = static_cast<std::int64_t>(rows.size());
    for (std::size_t k = 0; k < sums.size(); ++k)
        average[k] = static_cast<std::int32_t>(sums[k] / count); // within the range of the values
    return average;
}

namespace {
// T(a × percentage / 100) as an integer. A non-finite result (NaN or infinite percentage) counts
// as 0; anything beyond ±2^62 pins there, so that a ± d cannot overflow. 2^62 is a multiple of
// 65536, so a pinned d leaves the 16-bit limits at the reference.
std::int64_t PercentOf(std::uint16_t a, float percentage)
{
    const double d = std::trunc(static_cast<double>(a) * static_cast<double>(percentage) / 100.0);
    constexpr double kPin = 4611686018427387904.0; // 2^62
    if (!std::isfinite(d))
        return 0;
    if (d >= kPin)
        return static_cast<std::int64_t>(kPin);
    if (d <= -kPin)
        return -static_cast<std::int64_t>(kPin);
    return static_cast<std::int64_t>(d);
}

// The low 16 bits, as the limits are stored; a negative value wraps modulo 65536.
std::uint16_t Low16(std::int64_t v) { return static_cast<std::uint16_t>(v); }
} // namespace

DerivedLimits LimitsByPercentage(const Channels16& reference, float percentage)
{
    DerivedLimits limits;
    for (std::size_t k = 0; k < reference.size(); ++k) {
        const std::int64_t a = reference[k];
        const std::int64_t d = PercentOf(reference[k], percentage);
        limits.upper[k] = Low16(a + d);
        limits.lower[k] = Low16(a - d);
    }
    return limits;
}

DerivedLimits LimitsByValue(const Channels16& reference, std::int32_t upperOffset, std::int32_t lowerOffset)
{
    DerivedLimits limits;
    for (std::size_t k = 0; k < reference.size(); ++k) {
        const std::int64_t a = reference[k];
        limits.upper[k] = Low16(a + upperOffset);
        limits.lower[k] = Low16(a - lowerOffset);
    }
    return limits;
}
