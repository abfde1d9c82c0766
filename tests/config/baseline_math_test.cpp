#include "baseline_math.h"
#include "channel_statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using Row = std::array<std::int32_t, 32>;

// Odd channels carry the negated values, so each channel is averaged on its own and truncation
// toward zero shows on both sides.
TEST(AverageChannels, TruncatesTowardZeroPerChannel)
{
    struct Case {
        std::vector<std::int32_t> values;
        std::int32_t average;
    };
    const Case cases[] = {
        {{1000, 1003, 1005}, 1002},
        {{1000, 1003}, 1001},
        {{1, 0}, 0},
        {{7}, 7},
        {{INT32_MAX, INT32_MAX, INT32_MAX - 3}, INT32_MAX - 1}, // the sum needs 64 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.values));
        std::vector<Row> rows;
        for (std::int32_t v : c.values) {
            Row row{};
            for (std::size_t k = 0; k < row.size(); ++k)
                row[k] = k % 2 ? -v : v;
            rows.push_back(row);
        }
        const auto average = AverageChannels(rows);
        ASSERT_TRUE(average);
        for (std::size_t k = 0; k < 32; ++k)
            EXPECT_EQ((*average)[k], k % 2 ? -c.average : c.average) << "channel " << k;
    }
    EXPECT_FALSE(AverageChannels({}));
}

TEST(DerivedLimits, ByPercentageTable)
{
    struct Case {
        std::uint16_t reference;
        float percentage;
        std::uint16_t upper;
        std::uint16_t lower;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {1000, 10.0f, 1100, 900},
        {7, 10.0f, 7, 7},         // 0.7 truncates to 0
        {7, -10.0f, 7, 7},        // and -0.7 too
        {1001, 2.5f, 1026, 976},  // 25.025
        {1000, 0.1f, 1001, 999},  // the float's excess over 0.1 does not reach the next integer
        {1000, -10.0f, 900, 1100},
        {100, 150.0f, 250, 65486}, // below zero wraps
        {65535, 10.0f, 6552, 58982}, // above 65535 wraps
        {1000, nan, 1000, 1000},
        {1000, inf, 1000, 1000},
        {0, inf, 0, 0},           // 0 x inf is NaN
        {1000, 1e30f, 1000, 1000}, // pinned at 2^62, a multiple of 65536
        {1000, -1e30f, 1000, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.reference) + " by " + std::to_string(c.percentage) + "%");
        Channels16 reference{};
        reference.fill(c.reference);
        const DerivedLimits limits = LimitsByPercentage(reference, c.percentage);
        for (std::size_t k = 0; k < 32; ++k) {
            EXPECT_EQ(limits.upper[k], c.upper) << "channel " << k;
            EXPECT_EQ(limits.lower[k], c.lower) << "channel " << k;
        }
    }
}

TEST(DerivedLimits, ByValueTable)
{
    struct Case {
        std::uint16_t reference;
        std::int32_t upperOffset;
        std::int32_t lowerOffset;
        std::uint16_t upper;
        std::uint16_t lower;
    };
    const Case cases[] = {
        {50, 100, 100, 150, 65486},
        {65500, 100, -5, 64, 65505},
        {50, INT32_MAX, INT32_MIN, 49, 50}, // no 32-bit overflow on the way
        {0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.reference) + " +" + std::to_string(c.upperOffset) + " -" +
                     std::to_string(c.lowerOffset));
        Channels16 reference{};
        reference.fill(c.reference);
        const DerivedLimits limits = LimitsByValue(reference, c.upperOffset, c.lowerOffset);
        for (std::size_t k = 0; k < 32; ++k) {
            EXPECT_EQ(limits.upper[k], c.upper) << "channel " << k;
            EXPECT_EQ(limits.lower[k], c.lower) << "channel " << k;
        }
    }
}

TEST(ChannelStatistics, Table)
{
    struct Case {
        const char* name;
        std::vector<std::int32_t> values;
        std::uint16_t upper, lower;
        int count;
        std::int32_t minimum, maximum;
        double mean;
        std::optional<double> sigma;
        std::optional<double> cpk;
    };
    const double big = 2147483646.0;
    const Case cases[] = {
        {"none", {}, 1100, 900, 0, 0, 0, 0.0, {}, {}},
        {"one reading", {1000}, 1100, 900, 1, 1000, 1000, 1000.0, {}, {}},
        {"equal readings", {5, 5, 5}, 10, 0, 3, 5, 5, 5.0, 0.0, {}},
        {"capable, nearer the upper limit", {1000, 1002, 1004}, 1010, 990, 3, 1000, 1004, 1002.0, 2.0, 8.0 / 6.0},
        {"nearer the lower limit", {130, 100, 120, 110}, 200, 100, 4, 100, 130, 115.0, std::sqrt(500.0 / 3),
            15.0 / (3 * std::sqrt(500.0 / 3))},
        {"negative values, mean outside the limits", {-10, 10}, 20, 5, 2, -10, 10, 0.0, std::sqrt(200.0),
            -5.0 / (3 * std::sqrt(200.0))},
        {"large values with a small spread", {2147483645, 2147483646, 2147483647}, 65535, 0, 3, 2147483645,
            2147483647, big, 1.0, (65535.0 - big) / 3.0},
        {"the int32 ends", {INT32_MIN, INT32_MAX}, 10, 0, 2, INT32_MIN, INT32_MAX, -0.5,
            4294967295.0 / std::sqrt(2.0), (-0.5 - 0.0) / (3 * 4294967295.0 / std::sqrt(2.0))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChannelStatistics s = ComputeChannelStatistics(c.values, c.upper, c.lower);
        EXPECT_EQ(s.count, c.count);
        EXPECT_EQ(s.minimum, c.minimum);
        EXPECT_EQ(s.maximum, c.maximum);
        EXPECT_DOUBLE_EQ(s.mean, c.mean);
        ASSERT_EQ(s.hasSigma, c.sigma.has_value());
        if (c.sigma) {
            EXPECT_NEAR(s.sigma, *c.sigma, 1e-9 * std::max(1.0, *c.sigma));
        }
        ASSERT_EQ(s.hasCpk, c.cpk.has_value());
        if (c.cpk) {
            EXPECT_NEAR(s.cpk, *c.cpk, 1e-9 * std::max(1.0, std::abs(*c.cpk)));
        }
    }
}

} // namespace
