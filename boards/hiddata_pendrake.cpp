#include "hiddata_pendrake.h"

#include "board_record.h"
#include "maker_domain.h"

#include <algorithm>
#include <string>

using namespace board_record;

namespace {
enum : std::uint8_t {
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
    CMD_READ_AUTHOR_TAG = 0xE0,
    CMD_WRITE_AUTHOR_TAG = 0xE1,
    CMD_READ_BLOCK = 0xED,
    CMD_WRITE_BLOCK = 0xEE,
    CMD_READ_VALUES = 0xEF,
};

constexpr int TAG_MAX = 16;
} // namespace

hiddata_pendrake::hiddata_pendrake(HidBackend& backend_) : hiddata(backend_) {}

hiddata_pendrake::~hiddata_pendrake() = default;

int hiddata_pendrake::Probe(const char* product)
{
    ScopedLock guard(lock);
    return OpenDevice(PRODUCT_ID, VENDOR_ID, MAKER_DOMAIN, product);
}

int hiddata_pendrake::Connect() { return Probe(PRODUCT); }

int hiddata_pendrake::ConnectVariant(int n)
{
    if (n < 1 || n > 4)
        return 1;
    return Probe((std::string(PRODUCT) + "-" + std::to_string(n)).c_str());
}

const std::uint8_t* hiddata_pendrake::Get(std::uint8_t code)
{
    const Report command = CommandHeader(code);
    WriteReport(command.data());
    return ReadReport();
}

template <typename Fill>
void hiddata_pendrake::Set(std::uint8_t code, Fill fill, bool readAcknowledge)
{
    Report buffer = CommandHeader(code);
    WriteReport(buffer.data());
    buffer[0] = 0;
    fill(buffer);
    WriteReport(buffer.data());
    if (readAcknowledge)
        ReadReport();
}

void hiddata_pendrake::SendWithArgument(std::uint8_t code, std::uint8_t argument)
{
    const Report command = CommandHeader(code);
    WriteReport(command.data());
    Report second{};
    second[1] = argument;
    WriteReport(second.data());
}

const char* hiddata_pendrake::ReadSerialNumber()
{
    ScopedLock guard(lock);
    return TakeText(serialResult, Get(CMD_READ_SERIAL), POS_TEXT_LOW);
}

void hiddata_pendrake::WriteSerialNumber(const char* text, int length)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_SERIAL, [&](Report& r) { PutText(r, POS_TEXT_LOW, text, length); });
}

const char* hiddata_pendrake::ReadDeviceId()
{
    ScopedLock guard(lock);
    return TakeText(deviceIdResult, Get(CMD_READ_DEVICE_ID), POS_TEXT_HIGH);
}

void hiddata_pendrake::WriteDeviceId(const char* text, int length)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_DEVICE_ID, [&](Report& r) { PutText(r, POS_TEXT_HIGH, text, length); });
}

std::uint16_t hiddata_pendrake::ReadFirmwareVersion()
{
    ScopedLock guard(lock);
    return BE16(Get(CMD_READ_VERSION), POS_VERSION);
}

void hiddata_pendrake::WriteFirmwareVersion(std::uint16_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_VERSION, [&](Report& r) { PutBE16(r, POS_VERSION, value); });
}

std::uint16_t hiddata_pendrake::ReadFirmwareYear()
{
    ScopedLock guard(lock);
    return BE16(Get(CMD_READ_YEAR), POS_YEAR);
}

void hiddata_pendrake::WriteFirmwareYear(std::uint16_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_YEAR, [&](Report& r) { PutBE16(r, POS_YEAR, value); });
}

std::uint8_t hiddata_pendrake::ReadFirmwareMonth()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_MONTH)[POS_MONTH];
}

void hiddata_pendrake::WriteFirmwareMonth(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_MONTH, [&](Report& r) { r[POS_MONTH] = value; });
}

std::uint8_t hiddata_pendrake::ReadFirmwareDay()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_DAY)[POS_DAY];
}

void hiddata_pendrake::WriteFirmwareDay(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_DAY, [&](Report& r) { r[POS_DAY] = value; });
}

const char* hiddata_pendrake::ReadAuthorName()
{
    ScopedLock guard(lock);
    return TakeText(authorNameResult, Get(CMD_READ_AUTHOR_NAME), POS_AUTHOR_NAME);
}

void hiddata_pendrake::WriteAuthorName(const char* text, int length)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_AUTHOR_NAME, [&](Report& r) { PutText(r, POS_AUTHOR_NAME, text, length); });
}

std::uint8_t hiddata_pendrake::ReadOptionFlags()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_OPTION_FLAGS)[POS_OPTION_FLAGS];
}

void hiddata_pendrake::WriteOptionFlags(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_OPTION_FLAGS, [&](Report& r) { r[POS_OPTION_FLAGS] = value; });
}

const char* hiddata_pendrake::ReadAuthorTag()
{
    ScopedLock guard(lock);
    return TakeText(authorTagResult, Get(CMD_READ_AUTHOR_TAG), POS_TEXT_HIGH);
}

void hiddata_pendrake::WriteAuthorTag(const char* text)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_AUTHOR_TAG, [&](Report& r) { PutText(r, POS_TEXT_HIGH, text, TAG_MAX); }, false);
}

void hiddata_pendrake::ReadBlock(std::uint8_t number, std::uint8_t* out64)
{
    ScopedLock guard(lock);
    SendWithArgument(CMD_READ_BLOCK, number);
    const std::uint8_t* reply = ReadReport();
    std::copy_n(reply + 1, BLOCK_SIZE, out64);
}

void hiddata_pendrake::WriteBlock(std::uint8_t number, const std::uint8_t* data64)
{
    ScopedLock guard(lock);
    SendWithArgument(CMD_WRITE_BLOCK, number);
    Report data{};
    std::copy_n(data64, BLOCK_SIZE, data.begin() + 1);
    WriteReport(data.data());
}

const std::uint16_t* hiddata_pendrake::ReadValues(std::uint8_t station)
{
    ScopedLock guard(lock);
    SendWithArgument(CMD_READ_VALUES, station);
    const std::uint8_t* reply = ReadReport();
    for (std::size_t k = 0; k < valuesResult.size(); ++k)
        valuesResult[k] = LE16(reply, 1 + 2 * k);
    return valuesResult.data();
}

void hiddata_pendrake::ReadGeneralArea()
{
    ScopedLock guard(lock);
    for (int b = 0; b < GENERAL_BLOCKS; ++b)
        ReadBlock(static_cast<std::uint8_t>(b), image.general.data() + b * BLOCK_SIZE);
}

void hiddata_pendrake::WriteGeneralArea()
{
    ScopedLock guard(lock);
    for (int b = 0; b < GENERAL_BLOCKS; ++b)
        WriteBlock(static_cast<std::uint8_t>(b), image.general.data() + b * BLOCK_SIZE);
}

// Four blocks carry 256 bytes but a station area holds 234: the last block fills only the
// area's tail, and is sent with zeros after it.
bool hiddata_pendrake::ReadStationArea(int station)
{
    if (station < 0 || station >= STATIONS)
        return false;
    ScopedLock guard(lock);
    auto& area = image.stations[station];
    for (int i = 0; i < BLOCKS_PER_STATION; ++i) {
        std::array<std::uint8_t, BLOCK_SIZE> block{};
        ReadBlock(static_cast<std::uint8_t>(GENERAL_BLOCKS + BLOCKS_PER_STATION * station + i), block.data());
        const std::size_t at = i * BLOCK_SIZE;
        std::copy_n(block.begin(), std::min(BLOCK_SIZE, area.size() - at), area.begin() + at);
    }
    return true;
}

bool hiddata_pendrake::WriteStationArea(int station)
{
    if (station < 0 || station >= STATIONS)
        return false;
    ScopedLock guard(lock);
    const auto& area = image.stations[station];
    for (int i = 0; i < BLOCKS_PER_STATION; ++i) {
        std::array<std::uint8_t, BLOCK_SIZE> block{};
        const std::size_t at = i * BLOCK_SIZE;
        std::copy_n(area.begin() + at, std::min(BLOCK_SIZE, area.size() - at), block.begin());
        WriteBlock(static_cast<std::uint8_t>(GENERAL_BLOCKS + BLOCKS_PER_STATION * station + i), block.data());
    }
    return true;
}
