#pragma once
// Smart master board: fixed stations behind one connection. Station 1 is the board itself and
// holds the layout record; page p is served by station p + 2. Sets read no reply: the board sends
// none, and a read there would take the next command's answer.
#include "critical_section.h"
#include "hiddata.h"
#include "report_frame.h"

#include <array>
#include <cstdint>

class hiddata_kelspire : public hiddata {
public:
    static constexpr std::uint16_t VENDOR_ID = 0xDEFE;
    static constexpr std::uint16_t PRODUCT_ID = 0x12EF;
    static constexpr std::uint16_t VERSION2_VENDOR_ID = 0x16A0;
    static constexpr std::uint16_t VERSION2_PRODUCT_ID = 0x05DF;
    static constexpr char PRODUCT[] = "Kelspire";
    static constexpr char COMPANY_NAME[] = "brackwelltech";
    static constexpr char VERSION2[] = "VERSION2";

    static constexpr std::uint8_t LAYOUT_STATION = 1;
    static constexpr std::uint8_t FIRST_PAGE_STATION = 2;
    // Layout record: byte 0 = 1 when the host should take rows and columns from bytes 1 and 2.
    using LayoutRecord = std::array<std::uint8_t, 32>;
    static constexpr std::size_t LAYOUT_VALID = 0;
    static constexpr std::size_t LAYOUT_ROWS = 1;
    static constexpr std::size_t LAYOUT_COLUMNS = 2;

    explicit hiddata_kelspire(HidBackend& backend);
    ~hiddata_kelspire() override;

    // The three identities; 0 = opened.
    int Connect();
    int ConnectByCompanyName();
    int ConnectVersion2();

    // Reads return the board's answer, or a pointer into this operation's own result buffer,
    // valid until the operation runs again. Tables are big-endian on the wire, channels little-endian.
    const std::uint16_t* ReadReference(std::uint8_t station);
    void WriteReference(std::uint8_t station, const std::uint16_t* values, int count);
    const std::uint16_t* ReadUpperLimits(std::uint8_t station);
    void WriteUpperLimits(std::uint8_t station, const std::uint16_t* values, int count);
    const std::uint16_t* ReadLowerLimits(std::uint8_t station);
    void WriteLowerLimits(std::uint8_t station, const std::uint16_t* values, int count);
    // Station 1: the layout record.
    const std::uint8_t* ReadMask(std::uint8_t station);
    void WriteMask(std::uint8_t station, const std::uint8_t* bytes, int count);
    const char* ReadAuthorTag();
    void WriteAuthorTag(const char* text, int length);
    const char* ReadDeviceId();
    void WriteDeviceId(const char* text, int length);
    std::uint16_t ReadFirmwareVersion();
    std::uint16_t ReadFirmwareYear();
    std::uint8_t ReadFirmwareMonth();
    std::uint8_t ReadFirmwareDay();
    const char* ReadAuthorName();
    std::uint8_t ReadOptionFlags();
    const char* ReadLogoText();
    void WriteLogoText(const char* text, int length);
    const std::uint8_t* ReadOutputs(); // 2 bytes
    void WriteOfflineDisplayMode(std::uint8_t value);
    std::uint8_t ReadOfflineDisplayMode();
    void WriteDataRangeMax(std::uint8_t station, std::uint32_t value); // low 16 bits are sent
    std::uint16_t ReadDataRangeMax(std::uint8_t station);
    void WriteDataRangeMin(std::uint8_t station, std::uint32_t value);
    std::uint16_t ReadDataRangeMin(std::uint8_t station);
    void WriteModelCode(std::uint8_t value);
    std::uint8_t ReadModelCode();
    const std::uint16_t* ReadChannels(std::uint8_t station);
    std::uint8_t ReadAuxByte();
    void WriteAuxByte(std::uint8_t value);

    // The board has no command for these; they send nothing and change nothing.
    void ReadPendingChannels() {}
    void WriteFirmwareVersion(std::uint16_t) {}
    void WriteFirmwareYear(std::uint16_t) {}
    void WriteFirmwareMonth(std::uint8_t) {}
    void WriteFirmwareDay(std::uint8_t) {}
    void WriteAuthorName(const char*, int) {}
    void WriteOptionFlags(std::uint8_t) {}
    void WriteTextPair(const char*, const char*) {}
    void SetPassFailOutputs(int, int) {}

    CriticalSection lock;

private:
    int Probe(std::uint16_t productId, std::uint16_t vendorId, const char* manufacturer);
    const std::uint8_t* Get(std::uint8_t code);
    const std::uint8_t* StationGet(std::uint8_t code, std::uint8_t station);
    enum class SetShape { Overlay, Cleared };
    template <typename Fill>
    void Set(std::uint8_t code, SetShape shape, Fill fill);
    template <typename Fill>
    void StationTableSet(std::uint8_t code, std::uint8_t station, Fill fill);
    void StationValueSet(std::uint8_t code, std::uint8_t station, std::uint32_t value);
    void WriteTable16(std::uint8_t code, std::uint8_t station, const std::uint16_t* values, int count);
    const std::uint16_t* ReadTable16(std::array<std::uint16_t, 32>& out, std::uint8_t code, std::uint8_t station);

    std::array<std::uint16_t, 32> channelsResult{};
    std::array<std::uint16_t, 32> referenceResult{};
    std::array<std::uint16_t, 32> upperResult{};
    std::array<std::uint16_t, 32> lowerResult{};
    std::array<std::uint8_t, 32> maskResult{};
    std::array<char, 17> authorTagResult{};
    std::array<char, 17> deviceIdResult{};
    std::array<char, 9> authorNameResult{};
    std::array<char, 17> logoResult{};
    std::array<std::uint8_t, 2> outputsResult{};
};
