#pragma once
// Classic channel tester: one sensor, spoken to with feature reports only. A read sends its request
// twice (the channel read once) and then takes one feature report; a write sends its request twice.
// Values are little-endian. Every command holds `lock` for all its reports, so that a request and
// its reply are never split by the other thread.
#include "critical_section.h"
#include "hiddata.h"
#include "report_frame.h"

#include <array>
#include <cstdint>

class CClassicTester : public hiddata {
public:
    static constexpr std::uint16_t VENDOR_ID = 0x04B4;
    static constexpr std::uint16_t PRODUCT_ID = 0xE006;
    static constexpr char PRODUCT[] = "Tamberlin";
    static constexpr int CHANNELS = 32;
    static constexpr int TEXT_LENGTH = 8;

    explicit CClassicTester(HidBackend& backend);
    ~CClassicTester() override;

    // 0 = board open; the result is kept in connectResult.
    int Connect();

    // Channels are sent in byte 2 as their low 8 bits; the worker also reads channel 32.
    // A read whose reply cannot be fetched gives 0 (an empty text).
    std::uint16_t ReadChannel(int channel);
    std::uint16_t ReadUpperLimit(int channel);
    void WriteUpperLimit(std::uint32_t value, int channel); // low 16 bits are sent
    std::uint16_t ReadLowerLimit(int channel);
    void WriteLowerLimit(std::uint32_t value, int channel);
    std::uint16_t ReadReferenceValue(int channel);
    void WriteReferenceValue(std::uint32_t value, int channel);
    std::uint8_t ReadChannelMask(int channel);
    void WriteChannelMask(std::uint8_t value, int channel);
    std::uint8_t ReadOffsetType();
    void WriteOffsetType(std::uint8_t value);
    std::uint8_t ReadOffsetPercent();
    void WriteOffsetPercent(std::uint8_t value);
    std::uint16_t ReadOffsetUpper();
    void WriteOffsetUpper(std::uint32_t value);
    std::uint16_t ReadOffsetLower();
    void WriteOffsetLower(std::uint32_t value);
    std::uint8_t ReadOptionByte();
    const char* ReadSerialNumber();
    const char* ReadDeviceId();
    const char* ReadAuthorTag();
    // Fills the firmware members.
    void ReadFirmwareInfo();
    std::uint16_t ReadDataRangeMax();
    void WriteDataRangeMax(std::uint32_t value);
    std::uint16_t ReadDataRangeMin();
    void WriteDataRangeMin(std::uint32_t value);

    // Commands of the board that the application never sends. Text writes carry 7 bytes.
    void WriteSerialNumber(const char* text);
    void WriteDeviceId(const char* text);
    void WriteAuthorTag(const char* text);
    void WriteSpareByte(std::uint8_t value);      // 0x3A
    std::uint8_t ReadSpareByte();                 // 0x3B
    void WriteSecondSpareByte(std::uint8_t value); // 0x3C
    void SetFirstSwitch(bool on);                 // 0x60 / 0x61
    void SetSecondSwitch(bool on);                // 0x62 / 0x63

    // Reads the whole settings image below, in the board's order.
    void ReadSettings();

    CriticalSection lock;
    int connectResult = 1;
    std::uint16_t firmwareYear = 0;
    std::uint8_t firmwareMonth = 0;
    std::uint8_t firmwareDay = 0;
    std::uint16_t firmwareVersion = 0;
    std::uint8_t firmwareFlags = 0; // bit 7: offline channel display available
    std::array<std::uint16_t, CHANNELS> upperLimits{};
    std::array<std::uint16_t, CHANNELS> lowerLimits{};
    std::array<std::uint16_t, CHANNELS> referenceValues{};
    std::array<std::uint8_t, CHANNELS> channelMasks{};
    std::uint8_t offsetType = 0;
    std::uint16_t offsetPercent = 0;
    std::uint16_t offsetUpper = 0;
    std::uint16_t offsetLower = 0;
    std::uint8_t optionByte = 0;
    std::array<char, TEXT_LENGTH + 1> serialNumber{};
    std::array<char, TEXT_LENGTH + 1> deviceId{};
    std::array<char, TEXT_LENGTH + 1> authorTag{};
    std::uint16_t dataRangeMax = 0;
    std::uint16_t dataRangeMin = 0;

private:
    // Sends the read request (twice, or once) and returns the reply.
    const std::uint8_t* Read(std::uint8_t code, int channel = 0, int sends = 2);
    std::uint16_t Read16(std::uint8_t code, int channel = 0);
    std::uint8_t Read8(std::uint8_t code, int channel = 0);
    const char* ReadText(std::array<char, TEXT_LENGTH + 1>& out, std::uint8_t code);
    void Write(const Report& request);
    void Write16(std::uint8_t code, std::uint32_t value, int channel = 0);
    void Write8(std::uint8_t code, std::uint8_t value, int channel = 0);
    void WriteText(std::uint8_t code, const char* text);

    // Results of the text reads, valid until the same read runs again.
    std::array<char, TEXT_LENGTH + 1> serialResult{};
    std::array<char, TEXT_LENGTH + 1> deviceIdResult{};
    std::array<char, TEXT_LENGTH + 1> authorTagResult{};
};
