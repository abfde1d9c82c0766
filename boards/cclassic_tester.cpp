#include "cclassic_tester.h"

#include "maker_domain.h"

#include <cstring>

namespace {
enum : std::uint8_t {
    CMD_READ_CHANNEL = 0x10,
    CMD_READ_UPPER = 0x20,
    CMD_WRITE_UPPER = 0x21,
    CMD_READ_LOWER = 0x22,
    CMD_WRITE_LOWER = 0x23,
    CMD_READ_REFERENCE = 0x24,
    CMD_WRITE_REFERENCE = 0x25,
    CMD_READ_MASK = 0x26,
    CMD_WRITE_MASK = 0x27,
    CMD_READ_OFFSET_TYPE = 0x28,
    CMD_WRITE_OFFSET_TYPE = 0x29,
    CMD_READ_OFFSET_PERCENT = 0x32,
    CMD_WRITE_OFFSET_PERCENT = 0x33,
    CMD_READ_OFFSET_UPPER = 0x34,
    CMD_WRITE_OFFSET_UPPER = 0x35,
    CMD_READ_OFFSET_LOWER = 0x36,
    CMD_WRITE_OFFSET_LOWER = 0x37,
    CMD_READ_OPTION = 0x38,
    CMD_WRITE_SPARE = 0x3A,
    CMD_READ_SPARE = 0x3B,
    CMD_WRITE_SPARE_2 = 0x3C,
    CMD_READ_SERIAL = 0x3D,
    CMD_READ_DEVICE_ID = 0x3E,
    CMD_WRITE_DEVICE_ID = 0x3F,
    CMD_READ_FIRMWARE = 0x40,
    CMD_READ_RANGE_MAX = 0x50,
    CMD_WRITE_RANGE_MAX = 0x51,
    CMD_READ_RANGE_MIN = 0x52,
    CMD_WRITE_RANGE_MIN = 0x53,
    CMD_READ_AUTHOR_TAG = 0x54,
    CMD_WRITE_AUTHOR_TAG = 0x55,
    CMD_SWITCH_1_ON = 0x60,
    CMD_SWITCH_1_OFF = 0x61,
    CMD_SWITCH_2_ON = 0x62,
    CMD_SWITCH_2_OFF = 0x63,
    CMD_WRITE_SERIAL = 0xC1,
};

constexpr std::size_t POS_CODE = 1;
constexpr std::size_t POS_CHANNEL = 2;
constexpr std::size_t POS_VALUE = 3;
constexpr std::size_t POS_MARK_1 = 7;
constexpr std::size_t POS_MARK_2 = 8;
constexpr std::uint8_t READ_MARK_1 = 0x55;
constexpr std::uint8_t READ_MARK_2 = 0xAA;
constexpr std::size_t POS_TEXT_WRITE = 2;
constexpr int TEXT_WRITE_LENGTH = 7; // bytes 2 to 8
constexpr std::size_t POS_REPLY = 1;

Report Request(std::uint8_t code, int channel)
{
    Report r{};
    r[POS_CODE] = code;
    r[POS_CHANNEL] = static_cast<std::uint8_t>(channel);
    return r;
}
} // namespace

CClassicTester::CClassicTester(HidBackend& backend_) : hiddata(backend_) {}

CClassicTester::~CClassicTester() = default;

int CClassicTester::Connect()
{
    ScopedLock guard(lock);
    connectResult = OpenDevice(PRODUCT_ID, VENDOR_ID, MAKER_DOMAIN, PRODUCT);
    return connectResult;
}

const std::uint8_t* CClassicTester::Read(std::uint8_t code, int channel, int sends)
{
    Report request = Request(code, channel);
    request[POS_MARK_1] = READ_MARK_1;
    request[POS_MARK_2] = READ_MARK_2;
    for (int i = 0; i < sends; ++i)
        SetFeatureReport(request.data());
    // A failed fetch leaves the buffer as it was, which is the request just staged there:
    // clear it, so that such a read gives 0 instead of the request's own bytes.
    std::memset(report, 0, sizeof report);
    return GetFeatureReport();
}

std::uint16_t CClassicTester::Read16(std::uint8_t code, int channel)
{
    ScopedLock guard(lock);
    return LE16(Read(code, channel), POS_REPLY);
}

std::uint8_t CClassicTester::Read8(std::uint8_t code, int channel)
{
    ScopedLock guard(lock);
    return Read(code, channel)[POS_REPLY];
}

const char* CClassicTester::ReadText(std::array<char, TEXT_LENGTH + 1>& out, std::uint8_t code)
{
    ScopedLock guard(lock);
    return TakeText(out, Read(code), POS_REPLY);
}

void CClassicTester::Write(const Report& request)
{
    SetFeatureReport(request.data());
    SetFeatureReport(request.data());
}

void CClassicTester::Write16(std::uint8_t code, std::uint32_t value, int channel)
{
    ScopedLock guard(lock);
    Report request = Request(code, channel);
    PutLE16(request, POS_VALUE, value);
    Write(request);
}

void CClassicTester::Write8(std::uint8_t code, std::uint8_t value, int channel)
{
    ScopedLock guard(lock);
    Report request = Request(code, channel);
    request[POS_VALUE] = value;
    Write(request);
}

void CClassicTester::WriteText(std::uint8_t code, const char* text)
{
    ScopedLock guard(lock);
    Report request = Request(code, 0);
    PutText(request, POS_TEXT_WRITE, text, TEXT_WRITE_LENGTH);
    Write(request);
}

std::uint16_t CClassicTester::ReadChannel(int channel)
{
    ScopedLock guard(lock);
    return LE16(Read(CMD_READ_CHANNEL, channel, 1), POS_REPLY);
}

std::uint16_t CClassicTester::ReadUpperLimit(int channel) { return Read16(CMD_READ_UPPER, channel); }
void CClassicTester::WriteUpperLimit(std::uint32_t value, int channel) { Write16(CMD_WRITE_UPPER, value, channel); }
std::uint16_t CClassicTester::ReadLowerLimit(int channel) { return Read16(CMD_READ_LOWER, channel); }
void CClassicTester::WriteLowerLimit(std::uint32_t value, int channel) { Write16(CMD_WRITE_LOWER, value, channel); }
std::uint16_t CClassicTester::ReadReferenceValue(int channel) { return Read16(CMD_READ_REFERENCE, channel); }
void CClassicTester::WriteReferenceValue(std::uint32_t value, int channel)
{
    Write16(CMD_WRITE_REFERENCE, value, channel);
}
std::uint8_t CClassicTester::ReadChannelMask(int channel) { return Read8(CMD_READ_MASK, channel); }
void CClassicTester::WriteChannelMask(std::uint8_t value, int channel) { Write8(CMD_WRITE_MASK, value, channel); }
std::uint8_t CClassicTester::ReadOffsetType() { return Read8(CMD_READ_OFFSET_TYPE); }
void CClassicTester::WriteOffsetType(std::uint8_t value) { Write8(CMD_WRITE_OFFSET_TYPE, value); }
std::uint8_t CClassicTester::ReadOffsetPercent() { return Read8(CMD_READ_OFFSET_PERCENT); }
void CClassicTester::WriteOffsetPercent(std::uint8_t value) { Write8(CMD_WRITE_OFFSET_PERCENT, value); }
std::uint16_t CClassicTester::ReadOffsetUpper() { return Read16(CMD_READ_OFFSET_UPPER); }
void CClassicTester::WriteOffsetUpper(std::uint32_t value) { Write16(CMD_WRITE_OFFSET_UPPER, value); }
std::uint16_t CClassicTester::ReadOffsetLower() { return Read16(CMD_READ_OFFSET_LOWER); }
void CClassicTester::WriteOffsetLower(std::uint32_t value) { Write16(CMD_WRITE_OFFSET_LOWER, value); }
std::uint8_t CClassicTester::ReadOptionByte() { return Read8(CMD_READ_OPTION); }
const char* CClassicTester::ReadSerialNumber() { return ReadText(serialResult, CMD_READ_SERIAL); }
const char* CClassicTester::ReadDeviceId() { return ReadText(deviceIdResult, CMD_READ_DEVICE_ID); }
const char* CClassicTester::ReadAuthorTag() { return ReadText(authorTagResult, CMD_READ_AUTHOR_TAG); }
std::uint16_t CClassicTester::ReadDataRangeMax() { return Read16(CMD_READ_RANGE_MAX); }
void CClassicTester::WriteDataRangeMax(std::uint32_t value) { Write16(CMD_WRITE_RANGE_MAX, value); }
std::uint16_t CClassicTester::ReadDataRangeMin() { return Read16(CMD_READ_RANGE_MIN); }
void CClassicTester::WriteDataRangeMin(std::uint32_t value) { Write16(CMD_WRITE_RANGE_MIN, value); }

void CClassicTester::ReadFirmwareInfo()
{
    ScopedLock guard(lock);
    const std::uint8_t* reply = Read(CMD_READ_FIRMWARE);
    firmwareYear = LE16(reply, 1);
    firmwareMonth = reply[3];
    firmwareDay = reply[4];
    firmwareVersion = LE16(reply, 5);
    firmwareFlags = reply[7];
}

void CClassicTester::WriteSerialNumber(const char* text) { WriteText(CMD_WRITE_SERIAL, text); }
void CClassicTester::WriteDeviceId(const char* text) { WriteText(CMD_WRITE_DEVICE_ID, text); }
void CClassicTester::WriteAuthorTag(const char* text) { WriteText(CMD_WRITE_AUTHOR_TAG, text); }
void CClassicTester::WriteSpareByte(std::uint8_t value) { Write8(CMD_WRITE_SPARE, value); }
std::uint8_t CClassicTester::ReadSpareByte() { return Read8(CMD_READ_SPARE); }
void CClassicTester::WriteSecondSpareByte(std::uint8_t value) { Write8(CMD_WRITE_SPARE_2, value); }

void CClassicTester::SetFirstSwitch(bool on)
{
    ScopedLock guard(lock);
    Write(Request(on ? CMD_SWITCH_1_ON : CMD_SWITCH_1_OFF, 0));
}

void CClassicTester::SetSecondSwitch(bool on)
{
    ScopedLock guard(lock);
    Write(Request(on ? CMD_SWITCH_2_ON : CMD_SWITCH_2_OFF, 0));
}

void CClassicTester::ReadSettings()
{
    for (int ch = 0; ch < CHANNELS; ++ch) {
        upperLimits[ch] = ReadUpperLimit(ch);
        lowerLimits[ch] = ReadLowerLimit(ch);
        referenceValues[ch] = ReadReferenceValue(ch);
        channelMasks[ch] = ReadChannelMask(ch);
    }
    offsetType = ReadOffsetType();
    offsetPercent = ReadOffsetPercent();
    offsetUpper = ReadOffsetUpper();
    offsetLower = ReadOffsetLower();
    optionByte = ReadOptionByte();
    dataRangeMax = ReadDataRangeMax();
    dataRangeMin = ReadDataRangeMin();
    ReadSerialNumber();
    serialNumber = serialResult;
    ReadDeviceId();
    deviceId = deviceIdResult;
    ReadAuthorTag();
    authorTag = authorTagResult;
    ReadFirmwareInfo();
}
