#pragma once
// One-to-one boards: one sensor each, many variants told apart by the manufacturer string.
#include "critical_section.h"
#include "hiddata.h"
#include "report_frame.h"

#include <array>
#include <cstdint>

class hiddata_simple_runoff : public hiddata {
public:
    static constexpr std::uint16_t VENDOR_ID = 0x16A0;
    static constexpr std::uint16_t PRODUCT_ID = 0x05DF;
    static constexpr char PRODUCT[] = "Quarnel";

    explicit hiddata_simple_runoff(HidBackend& backend);
    ~hiddata_simple_runoff() override;

    // Probes: 0 = opened. Machine numbers run 1 to 5, indices 0 to 5; others open nothing.
    int ConnectBasic();
    int ConnectVaskaro();
    int ConnectVaskaroMachine(int n);
    int ConnectTeluran();
    int ConnectTeluranMachine(int n);
    int ConnectDanver();
    int ConnectDanverMachine(int n);
    int ConnectMakerDomain();
    int ConnectVersion2(int index);
    int ConnectVersion3(int index);
    int ConnectVersion6(int index);

    // Reads return the board's answer, or a pointer into this operation's own result buffer,
    // valid until the operation runs again.
    const std::uint16_t* ReadChannels();
    const std::uint16_t* ReadReference();
    void WriteReference(const std::uint16_t* values, int count);
    const std::uint16_t* ReadUpperLimits();
    void WriteUpperLimits(const std::uint16_t* values, int count);
    const std::uint16_t* ReadLowerLimits();
    void WriteLowerLimits(const std::uint16_t* values, int count);
    const std::uint8_t* ReadMask();
    void WriteMask(const std::uint8_t* bytes, int count);
    std::uint16_t ReadDataRangeMax();
    void WriteDataRangeMax(std::uint32_t value);
    std::uint16_t ReadDataRangeMin();
    void WriteDataRangeMin(std::uint32_t value);
    void WriteOutputs(std::uint8_t pass, std::uint8_t fail, std::uint8_t third, std::uint8_t buzzer);
    const char* ReadSerialNumber();
    const char* ReadDeviceId();
    const char* ReadAuthorName();
    std::uint16_t ReadFirmwareVersion();
    std::uint16_t ReadFirmwareYear();
    std::uint8_t ReadFirmwareMonth();
    std::uint8_t ReadFirmwareDay();
    std::uint8_t ReadOptionFlags();
    const char* ReadLogoText();
    std::uint8_t ReadOfflineDisplayMode();
    void WriteOfflineDisplayMode(std::uint8_t value);
    std::uint8_t ReadModelCode();
    const char* ReadAuthorTag();

    const std::uint16_t* ReadPendingChannels();
    void WriteSerialNumber(const char* text, int length);
    void WriteDeviceId(const char* text, int length);
    void WriteFirmwareVersion(std::uint16_t value);
    void WriteFirmwareYear(std::uint16_t value);
    void WriteFirmwareMonth(std::uint8_t value);
    void WriteFirmwareDay(std::uint8_t value);
    void WriteAuthorName(const char* text, int length);
    void WriteLogoText(const char* text, int length);
    void WriteTextPair(const char* text1, const char* text2);
    const std::uint8_t* ReadOutputs();
    void SetBuzzerOutput(std::uint8_t value);
    std::uint8_t ReadBuzzerOutput();
    void WriteModelCode(std::uint8_t value);
    void WriteAuthorTag(const char* text);
    std::uint8_t ReadAuxByte();
    void WriteAuxByte(std::uint8_t value);

    std::uint16_t pendingChannels[32] = {};
    CriticalSection lock;

private:
    int Probe(const char* manufacturer);
    int ProbeMachine(const char* base, int n);   // base + "_DEV" + n, n = 1 to 5
    int ProbeVersion(const char* base, int index); // base, then base + "-" + index for 1 to 5
    // Command report, then one reply; returns the reply.
    const std::uint8_t* Get(std::uint8_t code);
    enum class SetShape { Overlay, Cleared };
    // Command report, then the data report built by fill, then one acknowledge unless told not to.
    template <typename Fill>
    void Set(std::uint8_t code, SetShape shape, Fill fill, bool readAcknowledge = true);
    void WriteTable16(std::uint8_t code, const std::uint16_t* values, int count);

    // Result buffers, one per operation.
    std::array<std::uint16_t, 32> channelsResult{};
    std::array<std::uint16_t, 32> referenceResult{};
    std::array<std::uint16_t, 32> upperResult{};
    std::array<std::uint16_t, 32> lowerResult{};
    std::array<std::uint8_t, 32> maskResult{};
    std::array<char, 17> serialResult{};
    std::array<char, 17> deviceIdResult{};
    std::array<char, 9> authorNameResult{};
    std::array<char, 17> logoResult{};
    std::array<char, 17> authorTagResult{};
    std::array<std::uint8_t, 4> outputsResult{};
};
