#include "sim_sensor.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double SCENARIO_PERIOD_S = 14.0;
constexpr double OFF_BOARD_S = 1.5;    // sensor taken off at the start of every period
constexpr double TOUCH_AT_S = 7.0;     // one channel pushed above its limit for a moment
constexpr double TOUCH_FOR_S = 0.8;
} // namespace

SimSensor::SimSensor(std::uint32_t seed)
    : seed_(seed), noise_(seed), start_(std::chrono::steady_clock::now())
{
}

void SimSensor::setPresent(bool present)
{
    std::lock_guard lock(mutex_);
    if (present_ != present)
        changedAt_ = std::chrono::steady_clock::now();
    present_ = present;
}

void SimSensor::setBounce(std::chrono::milliseconds bounce)
{
    std::lock_guard lock(mutex_);
    bounce_ = bounce;
}

std::chrono::milliseconds SimSensor::bounce() const
{
    std::lock_guard lock(mutex_);
    return bounce_;
}

void SimSensor::setFixed(std::optional<ChannelValues> values)
{
    std::lock_guard lock(mutex_);
    fixed_ = values;
}

void SimSensor::setChannelFault(int channel, ChannelFault fault)
{
    if (channel < 0 || channel >= static_cast<int>(faults_.size()))
        return;
    std::lock_guard lock(mutex_);
    faults_[static_cast<std::size_t>(channel)] = fault;
}

ChannelFault SimSensor::channelFault(int channel) const
{
    if (channel < 0 || channel >= static_cast<int>(faults_.size()))
        return ChannelFault::None;
    std::lock_guard lock(mutex_);
    return faults_[static_cast<std::size_t>(channel)];
}

bool SimSensor::present() const
{
    std::lock_guard lock(mutex_);
    return present_;
}

void SimSensor::setScenario(bool on)
{
    std::lock_guard lock(mutex_);
    scenario_ = on;
    start_ = std::chrono::steady_clock::now();
}

ChannelValues SimSensor::measure(const ChannelValues& reference, const ChannelValues& upper)
{
    std::lock_guard lock(mutex_);
    if (fixed_)
        return *fixed_;

    const auto now = std::chrono::steady_clock::now();
    bool present = present_;
    double sinceChangeS = std::chrono::duration<double>(now - changedAt_).count();
    int touched = -1;
    if (scenario_) {
        const double t = std::chrono::duration<double>(now - start_).count();
        // Each sensor position runs its own phase, so a grid does not blink in step.
        const double phase = static_cast<double>(seed_ % 7) * 1.9;
        const double inPeriod = std::fmod(t + phase, SCENARIO_PERIOD_S);
        const auto period = static_cast<std::uint32_t>((t + phase) / SCENARIO_PERIOD_S);
        if (present) {
            present = inPeriod >= OFF_BOARD_S;
            sinceChangeS = present ? inPeriod - OFF_BOARD_S : inPeriod;
        }
        if (inPeriod >= TOUCH_AT_S && inPeriod < TOUCH_AT_S + TOUCH_FOR_S && (period + seed_) % 3 == 0)
            touched = static_cast<int>((period * 11 + seed_ * 5) % 32);
    }

    // Bouncing: the whole sensor as it was, as it is now, or touching with some channels only.
    std::array<bool, 32> contact{};
    contact.fill(present);
    if (sinceChangeS * 1000.0 < static_cast<double>(bounce_.count())) {
        const int mode = std::uniform_int_distribution<int>(0, 2)(noise_);
        for (bool& c : contact)
            c = mode == 0 ? !present : mode == 1 ? present : (noise_() & 1) != 0;
    }

    ChannelValues values{};
    std::uniform_int_distribution<int> jitter(-6, 6);
    for (std::size_t k = 0; k < values.size(); ++k) {
        const bool on = contact[k];
        int v = on ? reference[k] + reference[k] / 100 * jitter(noise_) / 6 + jitter(noise_) : 8 + jitter(noise_) / 2;
        if (static_cast<int>(k) == touched && on)
            v = upper[k] + 60 + jitter(noise_);
        if (on && faults_[k] == ChannelFault::High)
            v = upper[k] + 60 + jitter(noise_);
        else if (on && faults_[k] == ChannelFault::Short)
            v = 0;
        values[k] = static_cast<std::uint16_t>(std::clamp(v, 0, 0xFFFF));
    }
    return values;
}
