#pragma once
// Firmware model of the classic channel tester: feature reports only. A read request (marked
// 55 AA in bytes 7 and 8) stages the answer that the next feature fetch returns; a write request
// stores its value. The host sends every request twice, so applying one twice must be harmless.
#include "sim_board.h"
#include "sim_sensor.h"

#include <array>
#include <mutex>
#include <string>

class SimClassicBoard final : public SimBoard {
public:
    static SimDeviceSpec Identity(const std::string& manufacturer, const std::string& product = "Tamberlin");

    explicit SimClassicBoard(std::uint32_t seed = 1);

    void onOutputReport(const SimReport&, std::vector<SimReport>&) override {} // no output reports
    bool onSetFeature(const SimReport& report) override;
    bool onGetFeature(SimReport& report) override;

    struct Settings {
        ChannelValues upper{};
        ChannelValues lower{};
        ChannelValues reference{};
        std::array<std::uint8_t, 32> mask{};
        std::uint8_t offsetType = 1;
        std::uint8_t offsetPercent = 10;
        std::uint16_t offsetUpper = 100;
        std::uint16_t offsetLower = 100;
        std::uint8_t optionByte = 0;
        std::uint8_t spare = 0, spare2 = 0;
        std::string serialNumber = "CT000001";
        std::string deviceId = "CLASSIC1";
        std::string authorTag = "vorlaine";
        std::uint16_t dataMax = 1500;
        std::uint16_t dataMin = 10;
        std::uint16_t firmwareYear = 2025;
        std::uint8_t firmwareMonth = 5;
        std::uint8_t firmwareDay = 25;
        std::uint16_t firmwareVersion = 0x0123;
        std::uint8_t firmwareFlags = 0x80;
        bool switch1 = false, switch2 = false;
    };

    Settings settings() const;
    void setSettings(const Settings& settings);
    SimSensor& sensor() { return sensor_; }
    void setScenario(bool on) { sensor_.setScenario(on); }

private:
    SimReport answer(std::uint8_t code, std::uint8_t channel);
    void apply(const SimReport& request);

    mutable std::mutex mutex_;
    Settings settings_;
    SimReport staged_{};
    SimSensor sensor_;
};
