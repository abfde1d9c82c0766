#pragma once
// Live channel values of one sensor position: each channel sits near its reference with a little
// noise, reads near zero while no sensor lies on the position, and a touch pushes it above its
// upper limit. Tests pin exact values; the demo runs a scenario in time. A sensor laid on or
// lifted bounces, as real contacts do: for a while each measurement finds it on, off, or touching
// with some channels only.
#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>

using ChannelValues = std::array<std::uint16_t, 32>;

// What a person did to one channel of the sensor: pushed it over its limit or shorted it.
enum class ChannelFault : std::uint8_t { None, High, Short };

class SimSensor {
public:
    explicit SimSensor(std::uint32_t seed = 1);

    void setPresent(bool present);
    void setFixed(std::optional<ChannelValues> values);
    // Demo timeline: the sensor is laid down and taken off again, and now and then a channel is
    // touched above its limit.
    void setScenario(bool on);
    // While the sensor lies on the position: High reads above the upper limit, Short reads 0.
    // Channels outside 0..31 are ignored.
    void setChannelFault(int channel, ChannelFault fault);
    ChannelFault channelFault(int channel) const;
    bool present() const;
    // How long the contacts bounce after the sensor is laid on or lifted; 0 (the default) for a
    // clean change.
    void setBounce(std::chrono::milliseconds bounce);
    std::chrono::milliseconds bounce() const;

    // One measurement, given the board's stored reference and upper limits.
    ChannelValues measure(const ChannelValues& reference, const ChannelValues& upper);

private:
    mutable std::mutex mutex_;
    std::uint32_t seed_;
    std::mt19937 noise_;
    bool present_ = true;
    bool scenario_ = false;
    std::optional<ChannelValues> fixed_;
    std::array<ChannelFault, 32> faults_{};
    std::chrono::steady_clock::time_point start_;
    std::chrono::milliseconds bounce_{0};
    std::chrono::steady_clock::time_point changedAt_{}; // the last setPresent that changed it
};
