#pragma once
// Nine-way tester master: only probed by the application, but the class carries the board's whole
// command set. It shares its ids with the classic tester; the product string tells them apart.
#include "critical_section.h"
#include "hiddata.h"
#include "report_frame.h"

#include <array>
#include <cstdint>

class hiddata_pendrake : public hiddata {
public:
    static constexpr std::uint16_t VENDOR_ID = 0x04B4;
    static constexpr std::uint16_t PRODUCT_ID = 0xE006;
    static constexpr char PRODUCT[] = "Pendrake";

    static constexpr std::size_t BLOCK_SIZE = 64;
    static constexpr int GENERAL_BLOCKS = 5; // blocks 0 to 4
    static constexpr int STATIONS = 9;
    static constexpr int BLOCKS_PER_STATION = 4; // station s: blocks 5 + 4s to 8 + 4s
    static constexpr std::size_t STATION_AREA_SIZE = 234;

    // The board's configuration, as last moved by the block operations.
    struct ConfigImage {
        std::array<std::uint8_t, GENERAL_BLOCKS * BLOCK_SIZE> general{};
        std::array<std::array<std::uint8_t, STATION_AREA_SIZE>, STATIONS> stations{};
    };

    explicit hiddata_pendrake(HidBackend& backend);
    ~hiddata_pendrake() override;

    // 0 = opened. Variants n = 1 to 4 carry "Pendrake-n"; other n open nothing.
    int Connect();
    int ConnectVariant(int n);

    // Reads return the board's answer, or a pointer into this operation's own result buffer.
    const char* ReadSerialNumber();
    void WriteSerialNumber(const char* text, int length);
    const char* ReadDeviceId();
    void WriteDeviceId(const char* text, int length);
    std::uint16_t ReadFirmwareVersion();
    void WriteFirmwareVersion(std::uint16_t value);
    std::uint16_t ReadFirmwareYear();
    void WriteFirmwareYear(std::uint16_t value);
    std::uint8_t ReadFirmwareMonth();
    void WriteFirmwareMonth(std::uint8_t value);
    std::uint8_t ReadFirmwareDay();
    void WriteFirmwareDay(std::uint8_t value);
    const char* ReadAuthorName();
    void WriteAuthorName(const char* text, int length);
    std::uint8_t ReadOptionFlags();
    void WriteOptionFlags(std::uint8_t value);
    const char* ReadAuthorTag();
    void WriteAuthorTag(const char* text); // at most 16 characters; no acknowledge
    void ReadBlock(std::uint8_t number, std::uint8_t* out64);
    void WriteBlock(std::uint8_t number, const std::uint8_t* data64); // no acknowledge
    const std::uint16_t* ReadValues(std::uint8_t station); // little-endian on the wire

    // Block transfers between the board and `image`. Stations run 0 to 8; others do nothing and
    // give false.
    void ReadGeneralArea();
    void WriteGeneralArea();
    bool ReadStationArea(int station);
    bool WriteStationArea(int station);

    ConfigImage image;
    // Not required by the board, but its commands have several reports and hidapi devices must
    // not be used by two threads at once.
    CriticalSection lock;

private:
    int Probe(const char* product);
    const std::uint8_t* Get(std::uint8_t code);
    template <typename Fill>
    void Set(std::uint8_t code, Fill fill, bool readAcknowledge = true);
    // Request, then a second report of zeros carrying `argument` in byte 1.
    void SendWithArgument(std::uint8_t code, std::uint8_t argument);

    std::array<char, 17> serialResult{};
    std::array<char, 17> deviceIdResult{};
    std::array<char, 9> authorNameResult{};
    std::array<char, 17> authorTagResult{};
    std::array<std::uint16_t, 32> valuesResult{};
};
