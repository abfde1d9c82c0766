#pragma once
// Firmware model of the offline master board: stations at chosen addresses (one sensor each, with
// stored limits and mask), the board-wide record, grid layout, cell map and buzzer mode, and the
// output block with its emergency-stop input.
#include "sim_board.h"
#include "sim_sensor.h"

#include <array>
#include <memory>
#include <mutex>
#include <string>

class SimMasterBoard final : public SimBoard {
public:
    static constexpr int MAX_STATIONS = 128; // station addresses are 7 bits wide

    // The manufacturer string is the maker's domain; ids and product string are fixed.
    static SimDeviceSpec Identity(const std::string& manufacturer);

    // Stations answer at the given addresses (those of 128 and above are ignored). The cell map
    // starts with cell i of a 2 x 2 grid served by the i-th station.
    explicit SimMasterBoard(std::vector<std::uint8_t> stations = {0, 1, 2, 3}, std::uint32_t seed = 1);

    void onOutputReport(const SimReport& report, std::vector<SimReport>& replies) override;

    struct Record {
        std::uint16_t firmwareVersion = 0x0105;
        std::uint16_t firmwareYear = 2026;
        std::uint8_t firmwareMonth = 11;
        std::uint8_t firmwareDay = 20;
        std::string authorName = "VORLAINE";
        std::uint8_t optionFlags = 0;
        std::uint16_t dataMax = 1500;
        std::uint16_t dataMin = 10;
        std::uint8_t modelCode = 0;
        std::uint8_t buzzerMode = 0x80;
        std::uint8_t rows = 2;
        std::uint8_t columns = 2;
        std::string serialNumber = "SN-MASTER-000001";
        std::string deviceId = "ID-MASTER-000001";
        std::string logoText = "OFFLINE MASTER";
        std::string authorTag;
        std::string textPair1, textPair2;
    };
    struct Tables {
        ChannelValues upper{};
        ChannelValues lower{};
        std::array<std::uint8_t, 32> mask{};
    };

    // Replaces the set of answering stations; a station keeps its tables while it is away.
    void setStations(const std::vector<std::uint8_t>& addresses);
    bool hasStation(std::uint8_t address) const;
    Tables tables(std::uint8_t address) const;
    void setTables(std::uint8_t address, const Tables& tables);
    // The live values of a station (the low 7 bits of the address); one sensor per address, each
    // seeded differently.
    SimSensor& sensor(std::uint8_t address);
    // Every station's sensor runs the demo timeline.
    void setScenario(bool on);

    Record record() const;
    void setRecord(const Record& record);
    std::array<std::uint8_t, 32> cellMap() const;
    void setCellMap(const std::array<std::uint8_t, 32>& map);
    // The output block as last written (index 6 is the emergency-stop input).
    std::array<std::uint8_t, 7> outputs() const;
    // The emergency-stop button was pressed: the board reports 1 at index 6 of its output block
    // until the host writes that byte back as 0.
    void triggerEmergencyStop();

private:
    struct Station {
        explicit Station(std::uint32_t seed) : sensor(seed) {}
        bool present = false;
        Tables tables;
        SimSensor sensor;
    };

    Station& station(std::uint8_t address) const; // address < MAX_STATIONS
    void reply(std::uint8_t code, std::uint8_t address, std::vector<SimReport>& replies);
    void apply(std::uint8_t code, std::uint8_t address, const SimReport& data);
    SimReport recordReport() const;

    mutable std::mutex mutex_;
    // Created once and never moved, so that sensor() references stay valid.
    std::array<std::unique_ptr<Station>, MAX_STATIONS> stations_;
    Record record_;
    std::array<std::uint8_t, 32> cellMap_{};
    std::array<std::uint8_t, 7> outputs_{};
    bool emergencyUnseen_ = false; // pressed, not yet reported to the host
    int awaitingData_ = -1; // command code whose data report comes next
    std::uint8_t awaitingStation_ = 0;
};
