#include "hiddata_masterHID.h"

#include "maker_domain.h"
#include "master_acknowledge_sink.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {
enum : std::uint8_t {
    CMD_PROBE_STATION = 0x09,
    CMD_READ_STATION_RECORD = 0x0A,
    CMD_READ_UPPER = 0x10,
    CMD_WRITE_UPPER = 0x11,
    CMD_READ_LOWER = 0x20,
    CMD_WRITE_LOWER = 0x21,
    CMD_READ_MASK = 0x30,
    CMD_WRITE_MASK = 0x31,
    CMD_READ_CELL_MAP = 0x32,
    CMD_WRITE_CELL_MAP = 0x33,
    CMD_READ_SERIAL = 0x40,
    CMD_WRITE_SERIAL = 0x41,
    CMD_READ_DEVICE_ID = 0x50,
    CMD_WRITE_DEVICE_ID = 0x51,
    CMD_READ_VERSION = 0x60,
    CMD_WRITE_VERSION = 0x61,
    CMD_READ_YEAR = 0x70,
    CMD_WRITE_YEAR = 0x71,
    CMD_READ_MONTH = 0x80,
    CMD_WRITE_MONTH = 0x81,
    CMD_READ_DAY = 0x90,
    CMD_WRITE_DAY = 0x91,
    CMD_READ_AUTHOR_NAME = 0xA0,
    CMD_WRITE_AUTHOR_NAME = 0xA1,
    CMD_READ_OPTION_FLAGS = 0xB0,
    CMD_WRITE_OPTION_FLAGS = 0xB1,
    CMD_READ_LOGO = 0xD0,
    CMD_WRITE_LOGO = 0xD1,
    CMD_WRITE_TEXT_PAIR = 0xD2,
    CMD_WRITE_OUTPUTS = 0xD3,
    CMD_READ_OUTPUTS = 0xD4,
    CMD_WRITE_RANGE_MAX = 0xD7,
    CMD_READ_RANGE_MAX = 0xD8,
    CMD_WRITE_RANGE_MIN = 0xD9,
    CMD_READ_RANGE_MIN = 0xDA,
    CMD_WRITE_MODEL = 0xDB,
    CMD_READ_MODEL = 0xDC,
    CMD_READ_AUTHOR_TAG = 0xE0,
    CMD_WRITE_AUTHOR_TAG = 0xE1,
    CMD_READ_CHANNELS = 0xF0,
    CMD_READ_BUZZER = 0xF2,
    CMD_WRITE_BUZZER = 0xF3,
    CMD_READ_ROWS = 0xF4,
    CMD_WRITE_ROWS = 0xF5,
    CMD_READ_COLUMNS = 0xF6,
    CMD_WRITE_COLUMNS = 0xF7,
};

// Field offsets, the same in replies and in data reports.
constexpr std::size_t POS_STATION = 4; // request byte of the station-addressed commands
constexpr std::size_t POS_VERSION = 1;
constexpr std::size_t POS_YEAR = 3;
constexpr std::size_t POS_MONTH = 5;
constexpr std::size_t POS_DAY = 6;
constexpr std::size_t POS_AUTHOR_NAME = 7;
constexpr std::size_t POS_OPTION_FLAGS = 15;
constexpr std::size_t POS_RANGE_MAX = 22;
constexpr std::size_t POS_RANGE_MIN = 24;
constexpr std::size_t POS_MODEL = 26;
constexpr std::size_t POS_BUZZER = 30;
constexpr std::size_t POS_ROWS = 31;
constexpr std::size_t POS_COLUMNS = 32;
constexpr std::size_t POS_TEXT_LOW = 33;  // serial number, logo text
constexpr std::size_t POS_TEXT_HIGH = 49; // device identification, author tag
constexpr std::size_t CELL_MAP_BYTES = 32;
constexpr int TABLE_VALUES = 32;
constexpr int TEXT_PAIR_WIDTH = 16;

void ReadTable16BE(std::array<std::uint16_t, 32>& out, const std::uint8_t* reply)
{
    for (std::size_t k = 0; k < out.size(); ++k)
        out[k] = BE16(reply, 1 + 2 * k);
}

// Bytes 1 to 64 as "0x%02x,", eight to a line, each line opened by a line break.
std::string AcknowledgeText(const std::uint8_t* reply)
{
    std::string text;
    text.reserve(64 * 5 + 8 * 2);
    for (std::size_t i = 1; i < HID_REPORT_SIZE; ++i) {
        if ((i - 1) % 8 == 0)
            text += "\r\n";
        char byte[6];
        std::snprintf(byte, sizeof byte, "0x%02x,", reply[i]);
        text += byte;
    }
    return text;
}
} // namespace

hiddata_masterHID::hiddata_masterHID(HidBackend& backend_) : hiddata(backend_) {}

hiddata_masterHID::~hiddata_masterHID() = default;

int hiddata_masterHID::Connect()
{
    ScopedLock guard(lock);
    return OpenDevice(PRODUCT_ID, VENDOR_ID, MAKER_DOMAIN, PRODUCT);
}

void hiddata_masterHID::SetAcknowledgeSink(MasterAcknowledgeSink* sink)
{
    ScopedLock guard(lock);
    acknowledgeSink = sink;
}

const std::uint8_t* hiddata_masterHID::Get(std::uint8_t code, std::uint8_t station)
{
    Report request = CommandHeader(code);
    request[POS_STATION] = station;
    WriteReport(request.data());
    return ReadReport();
}

template <typename Fill>
const std::uint8_t* hiddata_masterHID::Set(std::uint8_t code, std::uint8_t station, SetShape shape, Fill fill)
{
    Report buffer = CommandHeader(code);
    buffer[POS_STATION] = station;
    WriteReport(buffer.data());
    if (shape == SetShape::Cleared)
        buffer.fill(0);
    else if (shape == SetShape::FilledFF)
        std::fill(buffer.begin(), buffer.end() - 1, std::uint8_t{0xFF}); // the last byte stays as it was
    buffer[0] = 0;
    fill(buffer);
    WriteReport(buffer.data());
    return ReadReport();
}

void hiddata_masterHID::WriteTable16(std::uint8_t code, std::uint8_t station, const std::uint16_t* values, int count)
{
    ScopedLock guard(lock);
    const int n = values ? std::clamp(count, 0, TABLE_VALUES) : 0;
    Set(code, station, SetShape::Overlay, [&](Report& r) {
        for (int k = 0; k < n; ++k)
            PutBE16(r, 1 + 2 * static_cast<std::size_t>(k), values[k]);
    });
}

void hiddata_masterHID::WriteText(std::uint8_t code, std::size_t pos, const char* text, int length,
                                  bool showAcknowledge)
{
    std::string acknowledge;
    MasterAcknowledgeSink* sink = nullptr;
    {
        ScopedLock guard(lock);
        const std::uint8_t* reply =
            Set(code, 0, SetShape::Overlay, [&](Report& r) { PutText(r, pos, text, length); });
        sink = acknowledgeSink;
        if (showAcknowledge && sink)
            acknowledge = AcknowledgeText(reply);
    }
    // Shown after leaving the lock: a modal box runs an event loop, and a device removal handled in
    // it waits for the worker, which may be waiting for this lock.
    if (showAcknowledge && sink)
        sink->ShowAcknowledge(acknowledge);
}

std::uint8_t hiddata_masterHID::ProbeStation(std::uint8_t address)
{
    ScopedLock guard(lock);
    const std::uint8_t answer = Get(CMD_PROBE_STATION, address)[1];
    // An unanswered probe would otherwise report the previous reply's byte as a station.
    return LastReadFailed() ? 0xFF : answer;
}

const std::uint8_t* hiddata_masterHID::ReadStationRecord(std::uint8_t address)
{
    ScopedLock guard(lock);
    const std::uint8_t* reply = Get(CMD_READ_STATION_RECORD, address);
    std::copy_n(reply + 1, stationRecordResult.size(), stationRecordResult.begin());
    return stationRecordResult.data();
}

const std::uint16_t* hiddata_masterHID::ReadUpperLimits(std::uint8_t station)
{
    ScopedLock guard(lock);
    ReadTable16BE(upperResult, Get(CMD_READ_UPPER, station));
    return upperResult.data();
}

void hiddata_masterHID::WriteUpperLimits(std::uint8_t station, const std::uint16_t* values, int count)
{
    WriteTable16(CMD_WRITE_UPPER, station, values, count);
}

const std::uint16_t* hiddata_masterHID::ReadLowerLimits(std::uint8_t station)
{
    ScopedLock guard(lock);
    ReadTable16BE(lowerResult, Get(CMD_READ_LOWER, station));
    return lowerResult.data();
}

void hiddata_masterHID::WriteLowerLimits(std::uint8_t station, const std::uint16_t* values, int count)
{
    WriteTable16(CMD_WRITE_LOWER, station, values, count);
}

const std::uint8_t* hiddata_masterHID::ReadMask(std::uint8_t station)
{
    ScopedLock guard(lock);
    const std::uint8_t* reply = Get(CMD_READ_MASK, station);
    std::copy_n(reply + 1, maskResult.size(), maskResult.begin());
    return maskResult.data();
}

void hiddata_masterHID::WriteMask(std::uint8_t station, const std::uint8_t* bytes, int count)
{
    ScopedLock guard(lock);
    const int n = bytes ? std::clamp(count, 0, 64) : 0;
    Set(CMD_WRITE_MASK, station, SetShape::Overlay, [&](Report& r) { std::copy_n(bytes, n, r.begin() + 1); });
}

const std::uint8_t* hiddata_masterHID::ReadCellMap()
{
    ScopedLock guard(lock);
    Get(CMD_READ_CELL_MAP);
    std::fill(report + 1 + CELL_MAP_BYTES, report + HID_REPORT_SIZE, std::uint8_t{0});
    // A copy, not the receive buffer: the other thread's next command would overwrite that.
    std::copy_n(report, HID_REPORT_SIZE, cellMapResult.begin());
    return cellMapResult.data();
}

void hiddata_masterHID::WriteCellMap(const std::uint8_t* map)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_CELL_MAP, 0, SetShape::Overlay, [&](Report& r) {
        if (map)
            std::copy_n(map, CELL_MAP_BYTES, r.begin() + 1);
    });
}

const char* hiddata_masterHID::ReadSerialNumber()
{
    ScopedLock guard(lock);
    return TakeText(serialResult, Get(CMD_READ_SERIAL), POS_TEXT_LOW);
}

void hiddata_masterHID::WriteSerialNumber(const char* text, int length)
{
    WriteText(CMD_WRITE_SERIAL, POS_TEXT_LOW, text, length, true);
}

const char* hiddata_masterHID::ReadDeviceId()
{
    ScopedLock guard(lock);
    return TakeText(deviceIdResult, Get(CMD_READ_DEVICE_ID), POS_TEXT_HIGH);
}

void hiddata_masterHID::WriteDeviceId(const char* text, int length)
{
    WriteText(CMD_WRITE_DEVICE_ID, POS_TEXT_HIGH, text, length, true);
}

std::uint16_t hiddata_masterHID::ReadFirmwareVersion()
{
    ScopedLock guard(lock);
    return BE16(Get(CMD_READ_VERSION), POS_VERSION);
}

void hiddata_masterHID::WriteFirmwareVersion(std::uint16_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_VERSION, 0, SetShape::Overlay, [&](Report& r) { PutBE16(r, POS_VERSION, value); });
}

std::uint16_t hiddata_masterHID::ReadFirmwareYear()
{
    ScopedLock guard(lock);
    return BE16(Get(CMD_READ_YEAR), POS_YEAR);
}

void hiddata_masterHID::WriteFirmwareYear(std::uint16_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_YEAR, 0, SetShape::Overlay, [&](Report& r) { PutBE16(r, POS_YEAR, value); });
}

std::uint8_t hiddata_masterHID::ReadFirmwareMonth()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_MONTH)[POS_MONTH];
}

void hiddata_masterHID::WriteFirmwareMonth(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_MONTH, 0, SetShape::Overlay, [&](Report& r) { r[POS_MONTH] = value; });
}

std::uint8_t hiddata_masterHID::ReadFirmwareDay()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_DAY)[POS_DAY];
}

void hiddata_masterHID::WriteFirmwareDay(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_DAY, 0, SetShape::Overlay, [&](Report& r) { r[POS_DAY] = value; });
}

const char* hiddata_masterHID::ReadAuthorName()
{
    ScopedLock guard(lock);
    return TakeText(authorNameResult, Get(CMD_READ_AUTHOR_NAME), POS_AUTHOR_NAME);
}

void hiddata_masterHID::WriteAuthorName(const char* text, int length)
{
    WriteText(CMD_WRITE_AUTHOR_NAME, POS_AUTHOR_NAME, text, length, true);
}

std::uint8_t hiddata_masterHID::ReadOptionFlags()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_OPTION_FLAGS)[POS_OPTION_FLAGS];
}

void hiddata_masterHID::WriteOptionFlags(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_OPTION_FLAGS, 0, SetShape::Overlay, [&](Report& r) { r[POS_OPTION_FLAGS] = value; });
}

const char* hiddata_masterHID::ReadLogoText()
{
    ScopedLock guard(lock);
    return TakeText(logoResult, Get(CMD_READ_LOGO), POS_TEXT_LOW);
}

void hiddata_masterHID::WriteLogoText(const char* text, int length)
{
    WriteText(CMD_WRITE_LOGO, POS_TEXT_LOW, text, length, true);
}

void hiddata_masterHID::WriteTextPair(const char* first, const char* second)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_TEXT_PAIR, 0, SetShape::Cleared, [&](Report& r) {
        PutText(r, 1, first, TEXT_PAIR_WIDTH);
        PutText(r, 1 + TEXT_PAIR_WIDTH, second, TEXT_PAIR_WIDTH);
    });
}

void hiddata_masterHID::WriteOutputs(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3,
                                     std::uint8_t b4, std::uint8_t b5, std::uint8_t b6)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_OUTPUTS, 0, SetShape::Cleared, [&](Report& r) {
        r[1] = b0;
        r[2] = b1;
        r[3] = b2;
        r[4] = b3;
        r[5] = b4;
        r[6] = b5;
        r[7] = b6;
    });
}

const std::uint8_t* hiddata_masterHID::ReadOutputs()
{
    ScopedLock guard(lock);
    const std::uint8_t* reply = Get(CMD_READ_OUTPUTS);
    std::copy_n(reply + 1, outputsResult.size(), outputsResult.begin());
    return outputsResult.data();
}

void hiddata_masterHID::WriteDataRangeMax(std::uint16_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_RANGE_MAX, 0, SetShape::Overlay, [&](Report& r) { PutBE16(r, POS_RANGE_MAX, value); });
}

std::uint16_t hiddata_masterHID::ReadDataRangeMax()
{
    ScopedLock guard(lock);
    return BE16(Get(CMD_READ_RANGE_MAX), POS_RANGE_MAX);
}

void hiddata_masterHID::WriteDataRangeMin(std::uint16_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_RANGE_MIN, 0, SetShape::Overlay, [&](Report& r) { PutBE16(r, POS_RANGE_MIN, value); });
}

std::uint16_t hiddata_masterHID::ReadDataRangeMin()
{
    ScopedLock guard(lock);
    return BE16(Get(CMD_READ_RANGE_MIN), POS_RANGE_MIN);
}

void hiddata_masterHID::WriteModelCode(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_MODEL, 0, SetShape::Overlay, [&](Report& r) { r[POS_MODEL] = value; });
}

std::uint8_t hiddata_masterHID::ReadModelCode()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_MODEL)[POS_MODEL];
}

const char* hiddata_masterHID::ReadAuthorTag()
{
    ScopedLock guard(lock);
    return TakeText(authorTagResult, Get(CMD_READ_AUTHOR_TAG), POS_TEXT_HIGH);
}

void hiddata_masterHID::WriteAuthorTag(const char* text, int length)
{
    WriteText(CMD_WRITE_AUTHOR_TAG, POS_TEXT_HIGH, text, length, false);
}

const std::uint16_t* hiddata_masterHID::ReadChannels(std::uint8_t station)
{
    ScopedLock guard(lock);
    const std::uint8_t* reply = Get(CMD_READ_CHANNELS, station);
    for (std::size_t k = 0; k < channelsResult.size(); ++k)
        channelsResult[k] = BE16(reply, 1 + 2 * k);
    return channelsResult.data();
}

std::uint8_t hiddata_masterHID::ReadBuzzerMode()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_BUZZER)[POS_BUZZER];
}

void hiddata_masterHID::WriteBuzzerMode(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_BUZZER, 0, SetShape::Overlay, [&](Report& r) { r[POS_BUZZER] = value; });
}

std::uint8_t hiddata_masterHID::ReadRows()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_ROWS)[POS_ROWS];
}

void hiddata_masterHID::WriteRows(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_ROWS, 0, SetShape::Overlay, [&](Report& r) { r[POS_ROWS] = value; });
}

std::uint8_t hiddata_masterHID::ReadColumns()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_COLUMNS)[POS_COLUMNS];
}

void hiddata_masterHID::WriteColumns(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_COLUMNS, 0, SetShape::FilledFF, [&](Report& r) { r[POS_COLUMNS] = value; });
}

void hiddata_masterHID::ScanStations()
{
    ScopedLock guard(lock);
    std::uint8_t count = 0;
    for (int address = 0; address < SCANNED_ADDRESSES; ++address) {
        const auto a = static_cast<std::uint8_t>(address);
        if (ProbeStation(a) != 0xFF)
            stationTable[1 + count++] = a;
        else if (LastReadFailed())
            break; // a board that does not answer: no need to wait out every address
    }
    stationTable[0] = count;
}

void hiddata_masterHID::RefreshCellMap()
{
    ScopedLock guard(lock);
    std::copy_n(ReadCellMap() + 1, CELL_MAP_BYTES, cellMap);
}

const std::uint16_t* hiddata_masterHID::ReadPendingChannels()
{
    ScopedLock guard(lock);
    const std::uint8_t* reply = ReadReport();
    for (std::size_t k = 0; k < 32; ++k)
        pendingChannels[k] = LE16(reply, 1 + 2 * k);
    return pendingChannels;
}
