#include "hiddata_kelspire.h"

#include "maker_domain.h"

#include <algorithm>

namespace {
enum : std::uint8_t {
    CMD_READ_REFERENCE = 0x01,
    CMD_WRITE_REFERENCE = 0x02,
    CMD_READ_UPPER = 0x10,
    CMD_WRITE_UPPER = 0x11,
    CMD_READ_LOWER = 0x20,
    CMD_WRITE_LOWER = 0x21,
    CMD_READ_MASK = 0x30,
    CMD_WRITE_MASK = 0x31,
    CMD_READ_AUTHOR_TAG = 0x40,
    CMD_WRITE_AUTHOR_TAG = 0x41,
    CMD_READ_DEVICE_ID = 0x50,
    CMD_WRITE_DEVICE_ID = 0x51,
    CMD_READ_VERSION = 0x60,
    CMD_READ_YEAR = 0x70,
    CMD_READ_MONTH = 0x80,
    CMD_READ_DAY = 0x90,
    CMD_READ_AUTHOR_NAME = 0xA0,
    CMD_READ_OPTION_FLAGS = 0xB0,
    CMD_READ_LOGO = 0xD0,
    CMD_WRITE_LOGO = 0xD1,
    CMD_READ_OUTPUTS = 0xD4,
    CMD_WRITE_OFFLINE_DISPLAY = 0xD5,
    CMD_READ_OFFLINE_DISPLAY = 0xD6,
    CMD_WRITE_RANGE_MAX = 0xD7,
    CMD_READ_RANGE_MAX = 0xD8,
    CMD_WRITE_RANGE_MIN = 0xD9,
    CMD_READ_RANGE_MIN = 0xDA,
    CMD_WRITE_MODEL = 0xDB,
    CMD_READ_MODEL = 0xDC,
    CMD_READ_CHANNELS = 0xF0,
    CMD_READ_AUX = 0xF1,
    CMD_WRITE_AUX = 0xF2, // the offline master reads its buzzer mode with this code
};

// Field offsets of this board; they differ from the other boards of the family.
constexpr std::size_t POS_VERSION = 1;
constexpr std::size_t POS_RANGE = 1; // max or min, by command
constexpr std::size_t POS_TAG = 1;   // author tag and device id
constexpr std::size_t POS_YEAR = 3;
constexpr std::size_t POS_MONTH = 5;
constexpr std::size_t POS_DAY = 6;
constexpr std::size_t POS_AUTHOR_NAME = 7;
constexpr std::size_t POS_OPTION_FLAGS = 15;
constexpr std::size_t POS_AUX = 20;
constexpr std::size_t POS_OFFLINE_DISPLAY = 21;
constexpr std::size_t POS_MODEL = 26;
constexpr std::size_t POS_LOGO = 33;
constexpr std::size_t TABLE_STATION_BYTES = 3; // a table set's station report: station in bytes 1 to 3
} // namespace

hiddata_kelspire::hiddata_kelspire(HidBackend& backend_) : hiddata(backend_) {}

hiddata_kelspire::~hiddata_kelspire() = default;

int hiddata_kelspire::Probe(std::uint16_t productId, std::uint16_t vendorId, const char* manufacturer)
{
    ScopedLock guard(lock);
    return OpenDevice(productId, vendorId, manufacturer, PRODUCT);
}

int hiddata_kelspire::Connect() { return Probe(PRODUCT_ID, VENDOR_ID, MAKER_DOMAIN); }
int hiddata_kelspire::ConnectByCompanyName() { return Probe(PRODUCT_ID, VENDOR_ID, COMPANY_NAME); }
int hiddata_kelspire::ConnectVersion2() { return Probe(VERSION2_PRODUCT_ID, VERSION2_VENDOR_ID, VERSION2); }

const std::uint8_t* hiddata_kelspire::Get(std::uint8_t code)
{
    const Report command = CommandHeader(code);
    WriteReport(command.data());
    return ReadReport();
}

const std::uint8_t* hiddata_kelspire::StationGet(std::uint8_t code, std::uint8_t station)
{
    Report buffer = CommandHeader(code);
    WriteReport(buffer.data());
    buffer.fill(station);
    buffer[0] = 0;
    WriteReport(buffer.data());
    return ReadReport();
}

template <typename Fill>
void hiddata_kelspire::Set(std::uint8_t code, SetShape shape, Fill fill)
{
    Report buffer = CommandHeader(code);
    WriteReport(buffer.data());
    if (shape == SetShape::Cleared)
        buffer.fill(0);
    buffer[0] = 0;
    fill(buffer);
    WriteReport(buffer.data());
}

template <typename Fill>
void hiddata_kelspire::StationTableSet(std::uint8_t code, std::uint8_t station, Fill fill)
{
    Report buffer = CommandHeader(code);
    WriteReport(buffer.data());
    std::fill_n(buffer.begin() + 1, TABLE_STATION_BYTES, station);
    buffer[0] = 0;
    WriteReport(buffer.data());
    fill(buffer); // over the station report
    WriteReport(buffer.data());
}

void hiddata_kelspire::StationValueSet(std::uint8_t code, std::uint8_t station, std::uint32_t value)
{
    Report buffer = CommandHeader(code);
    WriteReport(buffer.data());
    buffer.fill(station);
    buffer[0] = 0;
    WriteReport(buffer.data());
    PutBE16(buffer, POS_RANGE, value); // bytes 3 to 64 keep the station
    WriteReport(buffer.data());
}

void hiddata_kelspire::WriteTable16(std::uint8_t code, std::uint8_t station, const std::uint16_t* values, int count)
{
    ScopedLock guard(lock);
    const int n = std::clamp(count, 0, 32);
    StationTableSet(code, station, [&](Report& r) {
        for (int k = 0; k < n; ++k)
            PutBE16(r, 1 + 2 * static_cast<std::size_t>(k), values[k]);
    });
}

const std::uint16_t* hiddata_kelspire::ReadTable16(std::array<std::uint16_t, 32>& out, std::uint8_t code,
                                                   std::uint8_t station)
{
    ScopedLock guard(lock);
    const std::uint8_t* reply = StationGet(code, station);
    for (std::size_t k = 0; k < out.size(); ++k)
        out[k] = BE16(reply, 1 + 2 * k);
    return out.data();
}

const std::uint16_t* hiddata_kelspire::ReadReference(std::uint8_t station)
{
    return ReadTable16(referenceResult, CMD_READ_REFERENCE, station);
}

void hiddata_kelspire::WriteReference(std::uint8_t station, const std::uint16_t* values, int count)
{
    WriteTable16(CMD_WRITE_REFERENCE, station, values, count);
}

const std::uint16_t* hiddata_kelspire::ReadUpperLimits(std::uint8_t station)
{
    return ReadTable16(upperResult, CMD_READ_UPPER, station);
}

void hiddata_kelspire::WriteUpperLimits(std::uint8_t station, const std::uint16_t* values, int count)
{
    WriteTable16(CMD_WRITE_UPPER, station, values, count);
}

const std::uint16_t* hiddata_kelspire::ReadLowerLimits(std::uint8_t station)
{
    return ReadTable16(lowerResult, CMD_READ_LOWER, station);
}

void hiddata_kelspire::WriteLowerLimits(std::uint8_t station, const std::uint16_t* values, int count)
{
    WriteTable16(CMD_WRITE_LOWER, station, values, count);
}

const std::uint8_t* hiddata_kelspire::ReadMask(std::uint8_t station)
{
    ScopedLock guard(lock);
    const std::uint8_t* reply = StationGet(CMD_READ_MASK, station);
    std::copy_n(reply + 1, maskResult.size(), maskResult.begin());
    return maskResult.data();
}

void hiddata_kelspire::WriteMask(std::uint8_t station, const std::uint8_t* bytes, int count)
{
    ScopedLock guard(lock);
    const int n = std::clamp(count, 0, 64);
    StationTableSet(CMD_WRITE_MASK, station, [&](Report& r) { std::copy_n(bytes, n, r.begin() + 1); });
}

const char* hiddata_kelspire::ReadAuthorTag()
{
    ScopedLock guard(lock);
    return TakeText(authorTagResult, Get(CMD_READ_AUTHOR_TAG), POS_TAG);
}

void hiddata_kelspire::WriteAuthorTag(const char* text, int length)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_AUTHOR_TAG, SetShape::Overlay, [&](Report& r) { PutText(r, POS_TAG, text, length); });
}

const char* hiddata_kelspire::ReadDeviceId()
{
    ScopedLock guard(lock);
    return TakeText(deviceIdResult, Get(CMD_READ_DEVICE_ID), POS_TAG);
}

void hiddata_kelspire::WriteDeviceId(const char* text, int length)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_DEVICE_ID, SetShape::Overlay, [&](Report& r) { PutText(r, POS_TAG, text, length); });
}

std::uint16_t hiddata_kelspire::ReadFirmwareVersion()
{
    ScopedLock guard(lock);
    return BE16(Get(CMD_READ_VERSION), POS_VERSION);
}

std::uint16_t hiddata_kelspire::ReadFirmwareYear()
{
    ScopedLock guard(lock);
    return BE16(Get(CMD_READ_YEAR), POS_YEAR);
}

std::uint8_t hiddata_kelspire::ReadFirmwareMonth()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_MONTH)[POS_MONTH];
}

std::uint8_t hiddata_kelspire::ReadFirmwareDay()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_DAY)[POS_DAY];
}

const char* hiddata_kelspire::ReadAuthorName()
{
    ScopedLock guard(lock);
    return TakeText(authorNameResult, Get(CMD_READ_AUTHOR_NAME), POS_AUTHOR_NAME);
}

std::uint8_t hiddata_kelspire::ReadOptionFlags()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_OPTION_FLAGS)[POS_OPTION_FLAGS];
}

const char* hiddata_kelspire::ReadLogoText()
{
    ScopedLock guard(lock);
    return TakeText(logoResult, Get(CMD_READ_LOGO), POS_LOGO);
}

void hiddata_kelspire::WriteLogoText(const char* text, int length)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_LOGO, SetShape::Overlay, [&](Report& r) { PutText(r, POS_LOGO, text, length); });
}

const std::uint8_t* hiddata_kelspire::ReadOutputs()
{
    ScopedLock guard(lock);
    const std::uint8_t* reply = Get(CMD_READ_OUTPUTS);
    std::copy_n(reply + 1, outputsResult.size(), outputsResult.begin());
    return outputsResult.data();
}

void hiddata_kelspire::WriteOfflineDisplayMode(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_OFFLINE_DISPLAY, SetShape::Cleared, [&](Report& r) { r[POS_OFFLINE_DISPLAY] = value; });
}

std::uint8_t hiddata_kelspire::ReadOfflineDisplayMode()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_OFFLINE_DISPLAY)[POS_OFFLINE_DISPLAY];
}

void hiddata_kelspire::WriteDataRangeMax(std::uint8_t station, std::uint32_t value)
{
    ScopedLock guard(lock);
    StationValueSet(CMD_WRITE_RANGE_MAX, station, value);
}

std::uint16_t hiddata_kelspire::ReadDataRangeMax(std::uint8_t station)
{
    ScopedLock guard(lock);
    return BE16(StationGet(CMD_READ_RANGE_MAX, station), POS_RANGE);
}

void hiddata_kelspire::WriteDataRangeMin(std::uint8_t station, std::uint32_t value)
{
    ScopedLock guard(lock);
    StationValueSet(CMD_WRITE_RANGE_MIN, station, value);
}

std::uint16_t hiddata_kelspire::ReadDataRangeMin(std::uint8_t station)
{
    ScopedLock guard(lock);
    return BE16(StationGet(CMD_READ_RANGE_MIN, station), POS_RANGE);
}

void hiddata_kelspire::WriteModelCode(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_MODEL, SetShape::Overlay, [&](Report& r) { r[POS_MODEL] = value; });
}

std::uint8_t hiddata_kelspire::ReadModelCode()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_MODEL)[POS_MODEL];
}

const std::uint16_t* hiddata_kelspire::ReadChannels(std::uint8_t station)
{
    ScopedLock guard(lock);
    Report command = CommandHeader(CMD_READ_CHANNELS);
    command[4] = station;
    WriteReport(command.data());
    const std::uint8_t* reply = ReadReport();
    for (std::size_t k = 0; k < channelsResult.size(); ++k)
        channelsResult[k] = LE16(reply, 1 + 2 * k);
    return channelsResult.data();
}

std::uint8_t hiddata_kelspire::ReadAuxByte()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_AUX)[POS_AUX];
}

void hiddata_kelspire::WriteAuxByte(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_AUX, SetShape::Overlay, [&](Report& r) { r[POS_AUX] = value; });
}
