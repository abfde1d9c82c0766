#pragma once
// Firmware model of the nine-way tester master: the one-to-one boards' record, 64-byte
// configuration blocks and the measured values of nine stations.
#include "sim_board.h"
#include "sim_sensor.h"

#include <array>
#include <memory>
#include <mutex>
#include <string>

class SimPendrakeBoard final : public SimBoard {
public:
    static constexpr int STATIONS = 9;
    static constexpr int BLOCKS = 5 + 4 * STATIONS; // general blocks 0 to 4, then four per station

    // Same ids as the classic tester; the product string tells them apart.
    static SimDeviceSpec Identity(const std::string& manufacturer, const std::string& product = "Pendrake");

    explicit SimPendrakeBoard(std::uint32_t seed = 1);

    void onOutputReport(const SimReport& report, std::vector<SimReport>& replies) override;

    struct Record {
        std::uint16_t firmwareVersion = 0x0102;
        std::uint16_t firmwareYear = 2026;
        std::uint8_t firmwareMonth = 3;
        std::uint8_t firmwareDay = 14;
        std::string authorName = "VORLAINE";
        std::uint8_t optionFlags = 0;
        std::string serialNumber = "PD-0000000000001";
        std::string deviceId = "PENDRAKE-0000001";
        std::string authorTag;
    };
    using Block = std::array<std::uint8_t, 64>;

    Record record() const;
    void setRecord(const Record& record);
    Block block(int number) const; // zeros outside 0 .. BLOCKS-1
    void setBlock(int number, const Block& block);
    SimSensor& sensor(int station); // 0 to 8
    void setScenario(bool on);

private:
    enum class Stage { Command, Argument, Data };
    void replyTo(std::uint8_t code, std::vector<SimReport>& replies);
    void apply(std::uint8_t code, const SimReport& data);

    mutable std::mutex mutex_;
    Record record_;
    std::array<Block, BLOCKS> blocks_{};
    std::array<std::unique_ptr<SimSensor>, STATIONS> sensors_;
    ChannelValues reference_{};
    ChannelValues upper_{};
    Stage stage_ = Stage::Command;
    std::uint8_t pendingCode_ = 0;
    int argument_ = 0;
};
