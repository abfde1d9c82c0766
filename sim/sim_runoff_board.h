#pragma once
// Firmware model of a one-to-one board: one sensor, stored tables and a board record, four outputs.
#include "sim_board.h"
#include "sim_sensor.h"

#include <mutex>
#include <string>

class SimRunoffBoard final : public SimBoard {
public:
    // The manufacturer string picks the variant; ids and product string are common to all.
    static SimDeviceSpec Identity(const std::string& manufacturer);

    explicit SimRunoffBoard(std::uint32_t seed = 1);

    void onOutputReport(const SimReport& report, std::vector<SimReport>& replies) override;

    struct Record {
        std::uint16_t firmwareVersion = 0x0131;
        std::uint16_t firmwareYear = 2026;
        std::uint8_t firmwareMonth = 11;
        std::uint8_t firmwareDay = 20;
        std::string authorName = "VORLAINE";
        std::uint8_t optionFlags = 0x80;
        std::uint8_t aux = 0;
        std::uint8_t offlineDisplayMode = 0;
        std::uint16_t dataMax = 1500;
        std::uint16_t dataMin = 10;
        std::uint8_t modelCode = 1;
        std::string serialNumber = "SN-0000000000001";
        std::string deviceId = "ID-0000000000001";
        std::string logoText = "TOUCH TEST";
        std::string authorTag;
        std::string textPair1, textPair2;
    };
    struct Tables {
        ChannelValues reference{};
        ChannelValues upper{};
        ChannelValues lower{};
        std::array<std::uint8_t, 32> mask{};
    };

    Record record() const;
    void setRecord(const Record& record);
    Tables tables() const;
    void setTables(const Tables& tables);
    std::array<std::uint8_t, 4> outputs() const;
    SimSensor& sensor() { return sensor_; }

private:
    void reply(std::uint8_t code, std::vector<SimReport>& replies);
    void apply(std::uint8_t code, const SimReport& data);
    SimReport recordReport() const;

    mutable std::mutex mutex_;
    Record record_;
    Tables tables_;
    std::array<std::uint8_t, 4> outputs_{};
    int awaitingData_ = -1; // command code whose data report comes next
    SimSensor sensor_;
};
