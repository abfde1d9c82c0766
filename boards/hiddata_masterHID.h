#pragma once
// Offline master board: up to 16 stations behind one connection, each testing one sensor, plus
// the board-wide data range, grid layout, cell map, buzzer mode and output block.
#include "critical_section.h"
#include "hiddata.h"
#include "report_frame.h"

#include <array>
#include <cstdint>

class MasterAcknowledgeSink;

class hiddata_masterHID : public hiddata {
public:
    static constexpr std::uint16_t VENDOR_ID = 0x0122;
    static constexpr std::uint16_t PRODUCT_ID = 0x1985;
    static constexpr char PRODUCT[] = "Drovane";
    // The cell map has one 2-byte entry per page for pages 0 to 15; byte 1 holds the station.
    static constexpr int CELL_MAP_PAGES = 16;
    static constexpr std::uint8_t STATION_SERVED = 0x80;
    static constexpr std::uint8_t STATION_ADDRESS = 0x7F;
    static constexpr int SCANNED_ADDRESSES = 16;

    explicit hiddata_masterHID(HidBackend& backend);
    ~hiddata_masterHID() override;

    // 0 = opened.
    int Connect();
    // Receives the acknowledge text of WriteSerialNumber, WriteDeviceId, WriteAuthorName and
    // WriteLogoText; none by default. The sink must outlive its use here.
    void SetAcknowledgeSink(MasterAcknowledgeSink* sink);

    // Reads return the board's answer, or a pointer into this operation's own result buffer,
    // valid until the operation runs again. Stations: only the low 8 bits go on the wire.
    std::uint8_t ProbeStation(std::uint8_t address); // 0xFF: no station there
    const std::uint8_t* ReadStationRecord(std::uint8_t address); // 33 bytes
    const std::uint16_t* ReadUpperLimits(std::uint8_t station);
    void WriteUpperLimits(std::uint8_t station, const std::uint16_t* values, int count);
    const std::uint16_t* ReadLowerLimits(std::uint8_t station);
    void WriteLowerLimits(std::uint8_t station, const std::uint16_t* values, int count);
    const std::uint8_t* ReadMask(std::uint8_t station);
    void WriteMask(std::uint8_t station, const std::uint8_t* bytes, int count);
    // The whole 65-byte reply with bytes 33 to 64 cleared (the receive buffer is cleared too).
    const std::uint8_t* ReadCellMap();
    void WriteCellMap(const std::uint8_t* map); // 32 bytes
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
    const char* ReadLogoText();
    void WriteLogoText(const char* text, int length);
    void WriteTextPair(const char* first, const char* second);
    void WriteOutputs(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4,
                      std::uint8_t b5, std::uint8_t b6);
    const std::uint8_t* ReadOutputs(); // 7 bytes: the output block
    void WriteDataRangeMax(std::uint16_t value);
    std::uint16_t ReadDataRangeMax();
    void WriteDataRangeMin(std::uint16_t value);
    std::uint16_t ReadDataRangeMin();
    void WriteModelCode(std::uint8_t value);
    std::uint8_t ReadModelCode();
    const char* ReadAuthorTag();
    void WriteAuthorTag(const char* text, int length);
    // Big-endian like every table of this board; only ReadPendingChannels is little-endian.
    const std::uint16_t* ReadChannels(std::uint8_t station);
    std::uint8_t ReadBuzzerMode();
    void WriteBuzzerMode(std::uint8_t value);
    std::uint8_t ReadRows();
    void WriteRows(std::uint8_t value);
    std::uint8_t ReadColumns();
    void WriteColumns(std::uint8_t value);

    // Probes addresses 0 to 15 and stores the answering ones in stationTable.
    void ScanStations();
    // Reads the cell map into cellMap.
    void RefreshCellMap();
    // The next input report, without a request, into pendingChannels.
    const std::uint16_t* ReadPendingChannels();

    // The fields below change only under lock; read them under it too.
    CriticalSection lock;
    std::uint16_t pendingChannels[32] = {};
    // Byte 0: stations found by the last scan (0 = not initialised); then their addresses.
    std::uint8_t stationTable[255] = {};
    // Entry i (bytes 2i, 2i+1) belongs to page i: byte 0 = column << 4 | row, byte 1 = served bit and
    // station address.
    std::uint8_t cellMap[32] = {};

private:
    enum class SetShape { Overlay, Cleared, FilledFF };
    // Request, then one reply; returns the reply.
    const std::uint8_t* Get(std::uint8_t code, std::uint8_t station = 0);
    // Request, then the data report built by fill over it, then one acknowledge.
    template <typename Fill>
    const std::uint8_t* Set(std::uint8_t code, std::uint8_t station, SetShape shape, Fill fill);
    void WriteTable16(std::uint8_t code, std::uint8_t station, const std::uint16_t* values, int count);
    void WriteText(std::uint8_t code, std::size_t pos, const char* text, int length, bool showAcknowledge);

    MasterAcknowledgeSink* acknowledgeSink = nullptr;

    // Result buffers, one per operation.
    std::array<std::uint8_t, 33> stationRecordResult{};
    std::array<std::uint16_t, 32> upperResult{};
    std::array<std::uint16_t, 32> lowerResult{};
    std::array<std::uint8_t, 32> maskResult{};
    std::array<std::uint8_t, HID_REPORT_SIZE> cellMapResult{};
    std::array<char, 17> serialResult{};
    std::array<char, 17> deviceIdResult{};
    std::array<char, 9> authorNameResult{};
    std::array<char, 17> logoResult{};
    std::array<char, 17> authorTagResult{};
    std::array<std::uint8_t, 7> outputsResult{};
    std::array<std::uint16_t, 32> channelsResult{};
};
