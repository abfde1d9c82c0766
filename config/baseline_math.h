#pragma once
// The arithmetic of the baseline dialog: averaging readings into a reference and deriving limits
// from it. Depends on the standard library only.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

using Channels16 = std::array<std::uint16_t, 32>;

// Integer average (truncated toward zero) of each channel over `rows`; nullopt without rows.
std::optional<std::array<std::int32_t, 32>> AverageChannels(const std::vector<std::array<std::int32_t, 32>>& rows);

struct DerivedLimits {
    Channels16 upper{};
    Channels16 lower{};
};
// Limits at reference ± T(reference × percentage / 100), T truncating toward zero, computed in
// double; both kept to 16 bits (a negative result wraps). A NaN or infinite product counts as 0;
// one beyond ±2^62 pins there, which leaves both limits at the reference.
DerivedLimits LimitsByPercentage(const Channels16& reference, float percentage);
// Limits at reference + upperOffset and reference − lowerOffset, kept to 16 bits.
DerivedLimits LimitsByValue(const Channels16& reference, std::int32_t upperOffset, std::int32_t lowerOffset);
