#pragma once
// Firmware model of the smart master: stations 2 to 6 each keep their tables and data range and
// measure one sensor; station 1 is the board itself and keeps the layout record. Table and range
// commands name their station in a second report; sets are never answered.
#include "sim_board.h"
#include "sim_sensor.h"

#include <array>
#include <memory>
#include <mutex>
#include <string>

class SimKelspireBoard final : public SimBoard {
public:
    static constexpr int FIRST_STATION = 2;
    static constexpr int STATIONS = 5; // 2 to 6
    static constexpr int LAYOUT_STATION = 1;

    // The manufacturer string picks the identity; "VERSION2" boards carry other ids.
    static SimDeviceSpec Identity(const std::string& manufacturer);

    explicit SimKelspireBoard(std::uint32_t seed = 1);

    void onOutputReport(const SimReport& report, std::vector<SimReport>& replies) override;

    struct Station {
        ChannelValues reference{};
        ChannelValues upper{};
        ChannelValues lower{};
        std::array<std::uint8_t, 32> mask{};
        std::uint16_t dataMax = 1500;
        std::uint16_t dataMin = 10;
    };
    struct Record {
        std::uint16_t firmwareVersion = 0x0126;
        std::uint16_t firmwareYear = 2026;
        std::uint8_t firmwareMonth = 6;
        std::uint8_t firmwareDay = 29;
        std::string authorName = "VORLAINE";
        std::uint8_t optionFlags = 0x80;
        std::uint8_t aux = 0;
        std::uint8_t offlineDisplayMode = 0;
        std::uint8_t modelCode = 0;
        std::string authorTag = "VORLAINETECH.COM";
        std::string deviceId = "KELSPIRE-0000001";
        std::string logoText = "TOUCH TEST";
        std::array<std::uint8_t, 2> outputs{};
    };

    // Station 2 to 6; any other number gives a default station and ignores a set.
    Station station(int number) const;
    void setStation(int number, const Station& station);
    std::array<std::uint8_t, 32> layout() const;
    void setLayout(const std::array<std::uint8_t, 32>& layout);
    Record record() const;
    void setRecord(const Record& record);
    SimSensor& sensor(int number); // station 2 to 6
    void setScenario(bool on);

private:
    enum class Stage { Command, StationReport, Data };
    void replyTo(std::uint8_t code, std::vector<SimReport>& replies);
    void stationReply(std::uint8_t code, int number, std::vector<SimReport>& replies);
    void apply(std::uint8_t code, const SimReport& data);
    Station* find(int number);

    mutable std::mutex mutex_;
    std::array<Station, STATIONS> stations_;
    std::array<std::uint8_t, 32> layout_{};
    Record record_;
    std::array<std::unique_ptr<SimSensor>, STATIONS> sensors_;
    Stage stage_ = Stage::Command;
    std::uint8_t pendingCode_ = 0;
    int pendingStation_ = 0;
};
