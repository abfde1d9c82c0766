#include "hiddata_simple_runoff.h"

#include "board_record.h"
#include "maker_domain.h"

#include <algorithm>
#include <string>

using namespace board_record;

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
    CMD_WRITE_SERIAL = 0x41,
    CMD_READ_SERIAL_AND_ID = 0x50,
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
    CMD_READ_LOGO = 0xD0,
    CMD_WRITE_LOGO = 0xD1,
    CMD_WRITE_TEXT_PAIR = 0xD2,
    CMD_WRITE_OUTPUTS = 0xD3,
    CMD_READ_OUTPUTS = 0xD4,
    CMD_WRITE_OFFLINE_DISPLAY = 0xD5,
    CMD_READ_OFFLINE_DISPLAY = 0xD6,
    CMD_WRITE_RANGE_MAX = 0xD7,
    CMD_READ_RANGE_MAX = 0xD8,
    CMD_WRITE_RANGE_MIN = 0xD9,
    CMD_READ_RANGE_MIN = 0xDA,
    CMD_WRITE_MODEL = 0xDB,
    CMD_READ_MODEL = 0xDC,
    CMD_READ_AUTHOR_TAG = 0xE0,
    CMD_WRITE_AUTHOR_TAG = 0xE1,
    CMD_READ_CHANNELS = 0xF0,
    CMD_READ_AUX = 0xF1,
    CMD_WRITE_AUX = 0xF2,
};

constexpr int TAG_MAX = 16;

void ReadTable16BE(std::array<std::uint16_t, 32>& out, const std::uint8_t* reply)
{
    for (std::size_t k = 0; k < out.size(); ++k)
        out[k] = BE16(reply, 1 + 2 * k);
}
} // namespace

hiddata_simple_runoff::hiddata_simple_runoff(HidBackend& backend_) : hiddata(backend_) {}

hiddata_simple_runoff::~hiddata_simple_runoff() = default;

int hiddata_simple_runoff::Probe(const char* manufacturer)
{
    ScopedLock guard(lock);
    return OpenDevice(PRODUCT_ID, VENDOR_ID, manufacturer, PRODUCT);
}

int hiddata_simple_runoff::ProbeMachine(const char* base, int n)
{
    if (n < 1 || n > 5)
        return 1;
    return Probe((std::string(base) + "_DEV" + std::to_string(n)).c_str());
}

int hiddata_simple_runoff::ProbeVersion(const char* base, int index)
{
    if (index < 0 || index > 5)
        return 1;
    if (index == 0)
        return Probe(base);
    return Probe((std::string(base) + "-" + std::to_string(index)).c_str());
}

int hiddata_simple_runoff::ConnectBasic() { return Probe("merrowin-demo"); }
int hiddata_simple_runoff::ConnectVaskaro() { return Probe("VASKARO"); }
int hiddata_simple_runoff::ConnectVaskaroMachine(int n) { return ProbeMachine("VASKARO", n); }
int hiddata_simple_runoff::ConnectTeluran() { return Probe("TELURAN"); }
int hiddata_simple_runoff::ConnectTeluranMachine(int n) { return ProbeMachine("TELURAN", n); }
int hiddata_simple_runoff::ConnectDanver() { return Probe("MR.DANVER"); }
int hiddata_simple_runoff::ConnectDanverMachine(int n) { return ProbeMachine("MR.DANVER", n); }
int hiddata_simple_runoff::ConnectMakerDomain() { return Probe(MAKER_DOMAIN); }
int hiddata_simple_runoff::ConnectVersion2(int index) { return ProbeVersion("VERSION2", index); }
int hiddata_simple_runoff::ConnectVersion3(int index) { return ProbeVersion("VERSION3", index); }
int hiddata_simple_runoff::ConnectVersion6(int index) { return ProbeVersion("VERSION6", index); }

const std::uint8_t* hiddata_simple_runoff::Get(std::uint8_t code)
{
    const Report command = CommandHeader(code);
    WriteReport(command.data());
    return ReadReport();
}

template <typename Fill>
void hiddata_simple_runoff::Set(std::uint8_t code, SetShape shape, Fill fill, bool readAcknowledge)
{
    Report buffer = CommandHeader(code);
    WriteReport(buffer.data());
    if (shape == SetShape::Cleared)
        buffer.fill(0);
    buffer[0] = 0;
    fill(buffer);
    WriteReport(buffer.data());
    if (readAcknowledge)
        ReadReport();
}

void hiddata_simple_runoff::WriteTable16(std::uint8_t code, const std::uint16_t* values, int count)
{
    ScopedLock guard(lock);
    const int n = std::clamp(count, 0, 32);
    Set(code, SetShape::Overlay, [&](Report& r) {
        for (int k = 0; k < n; ++k)
            PutBE16(r, 1 + 2 * static_cast<std::size_t>(k), values[k]);
    });
}

const std::uint16_t* hiddata_simple_runoff::ReadChannels()
{
    ScopedLock guard(lock);
    const std::uint8_t* reply = Get(CMD_READ_CHANNELS);
    for (std::size_t k = 0; k < channelsResult.size(); ++k)
        channelsResult[k] = LE16(reply, 1 + 2 * k);
    return channelsResult.data();
}

const std::uint16_t* hiddata_simple_runoff::ReadReference()
{
    ScopedLock guard(lock);
    ReadTable16BE(referenceResult, Get(CMD_READ_REFERENCE));
    return referenceResult.data();
}

void hiddata_simple_runoff::WriteReference(const std::uint16_t* values, int count)
{
    WriteTable16(CMD_WRITE_REFERENCE, values, count);
}

const std::uint16_t* hiddata_simple_runoff::ReadUpperLimits()
{
    ScopedLock guard(lock);
    ReadTable16BE(upperResult, Get(CMD_READ_UPPER));
    return upperResult.data();
}

void hiddata_simple_runoff::WriteUpperLimits(const std::uint16_t* values, int count)
{
    WriteTable16(CMD_WRITE_UPPER, values, count);
}

const std::uint16_t* hiddata_simple_runoff::ReadLowerLimits()
{
    ScopedLock guard(lock);
    ReadTable16BE(lowerResult, Get(CMD_READ_LOWER));
    return lowerResult.data();
}

void hiddata_simple_runoff::WriteLowerLimits(const std::uint16_t* values, int count)
{
    WriteTable16(CMD_WRITE_LOWER, values, count);
}

const std::uint8_t* hiddata_simple_runoff::ReadMask()
{
    ScopedLock guard(lock);
    const std::uint8_t* reply = Get(CMD_READ_MASK);
    std::copy_n(reply + 1, maskResult.size(), maskResult.begin());
    return maskResult.data();
}

void hiddata_simple_runoff::WriteMask(const std::uint8_t* bytes, int count)
{
    ScopedLock guard(lock);
    const int n = std::clamp(count, 0, 64);
    Set(CMD_WRITE_MASK, SetShape::Overlay, [&](Report& r) { std::copy_n(bytes, n, r.begin() + 1); });
}

std::uint16_t hiddata_simple_runoff::ReadDataRangeMax()
{
    ScopedLock guard(lock);
    return BE16(Get(CMD_READ_RANGE_MAX), POS_RANGE_MAX);
}

void hiddata_simple_runoff::WriteDataRangeMax(std::uint32_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_RANGE_MAX, SetShape::Overlay, [&](Report& r) { PutBE16(r, POS_RANGE_MAX, value); });
}

std::uint16_t hiddata_simple_runoff::ReadDataRangeMin()
{
    ScopedLock guard(lock);
    return BE16(Get(CMD_READ_RANGE_MIN), POS_RANGE_MIN);
}

void hiddata_simple_runoff::WriteDataRangeMin(std::uint32_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_RANGE_MIN, SetShape::Overlay, [&](Report& r) { PutBE16(r, POS_RANGE_MIN, value); });
}

void hiddata_simple_runoff::WriteOutputs(std::uint8_t pass, std::uint8_t fail, std::uint8_t third, std::uint8_t buzzer)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_OUTPUTS, SetShape::Cleared, [&](Report& r) {
        r[1] = pass;
        r[2] = fail;
        r[3] = third;
        r[4] = buzzer;
    });
}

const char* hiddata_simple_runoff::ReadSerialNumber()
{
    ScopedLock guard(lock);
    return TakeText(serialResult, Get(CMD_READ_SERIAL_AND_ID), POS_TEXT_LOW);
}

const char* hiddata_simple_runoff::ReadDeviceId()
{
    ScopedLock guard(lock);
    return TakeText(deviceIdResult, Get(CMD_READ_SERIAL_AND_ID), POS_TEXT_HIGH);
}

const char* hiddata_simple_runoff::ReadAuthorName()
{
    ScopedLock guard(lock);
    return TakeText(authorNameResult, Get(CMD_READ_AUTHOR_NAME), POS_AUTHOR_NAME);
}

std::uint16_t hiddata_simple_runoff::ReadFirmwareVersion()
{
    ScopedLock guard(lock);
    return BE16(Get(CMD_READ_VERSION), POS_VERSION);
}

std::uint16_t hiddata_simple_runoff::ReadFirmwareYear()
{
    ScopedLock guard(lock);
    return BE16(Get(CMD_READ_YEAR), POS_YEAR);
}

std::uint8_t hiddata_simple_runoff::ReadFirmwareMonth()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_MONTH)[POS_MONTH];
}

std::uint8_t hiddata_simple_runoff::ReadFirmwareDay()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_DAY)[POS_DAY];
}

std::uint8_t hiddata_simple_runoff::ReadOptionFlags()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_OPTION_FLAGS)[POS_OPTION_FLAGS];
}

const char* hiddata_simple_runoff::ReadLogoText()
{
    ScopedLock guard(lock);
    return TakeText(logoResult, Get(CMD_READ_LOGO), POS_TEXT_LOW);
}

std::uint8_t hiddata_simple_runoff::ReadOfflineDisplayMode()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_OFFLINE_DISPLAY)[POS_OFFLINE_DISPLAY];
}

void hiddata_simple_runoff::WriteOfflineDisplayMode(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_OFFLINE_DISPLAY, SetShape::Cleared, [&](Report& r) { r[POS_OFFLINE_DISPLAY] = value; });
}

std::uint8_t hiddata_simple_runoff::ReadModelCode()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_MODEL)[POS_MODEL];
}

const char* hiddata_simple_runoff::ReadAuthorTag()
{
    ScopedLock guard(lock);
    return TakeText(authorTagResult, Get(CMD_READ_AUTHOR_TAG), POS_TEXT_HIGH);
}

const std::uint16_t* hiddata_simple_runoff::ReadPendingChannels()
{
    ScopedLock guard(lock);
    const std::uint8_t* reply = ReadReport();
    for (std::size_t k = 0; k < 32; ++k)
        pendingChannels[k] = LE16(reply, 1 + 2 * k);
    return pendingChannels;
}

void hiddata_simple_runoff::WriteSerialNumber(const char* text, int length)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_SERIAL, SetShape::Overlay, [&](Report& r) { PutText(r, POS_TEXT_LOW, text, length); });
}

void hiddata_simple_runoff::WriteDeviceId(const char* text, int length)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_DEVICE_ID, SetShape::Overlay, [&](Report& r) { PutText(r, POS_TEXT_HIGH, text, length); });
}

void hiddata_simple_runoff::WriteFirmwareVersion(std::uint16_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_VERSION, SetShape::Overlay, [&](Report& r) { PutBE16(r, POS_VERSION, value); });
}

void hiddata_simple_runoff::WriteFirmwareYear(std::uint16_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_YEAR, SetShape::Overlay, [&](Report& r) { PutBE16(r, POS_YEAR, value); });
}

void hiddata_simple_runoff::WriteFirmwareMonth(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_MONTH, SetShape::Overlay, [&](Report& r) { r[POS_MONTH] = value; });
}

void hiddata_simple_runoff::WriteFirmwareDay(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_DAY, SetShape::Overlay, [&](Report& r) { r[POS_DAY] = value; });
}

void hiddata_simple_runoff::WriteAuthorName(const char* text, int length)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_AUTHOR_NAME, SetShape::Overlay, [&](Report& r) { PutText(r, POS_AUTHOR_NAME, text, length); });
}

void hiddata_simple_runoff::WriteLogoText(const char* text, int length)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_LOGO, SetShape::Overlay, [&](Report& r) { PutText(r, POS_TEXT_LOW, text, length); });
}

void hiddata_simple_runoff::WriteTextPair(const char* text1, const char* text2)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_TEXT_PAIR, SetShape::Cleared, [&](Report& r) {
        PutText(r, 1, text1, 16);
        PutText(r, 17, text2, 16);
    });
}

const std::uint8_t* hiddata_simple_runoff::ReadOutputs()
{
    ScopedLock guard(lock);
    const std::uint8_t* reply = Get(CMD_READ_OUTPUTS);
    std::copy_n(reply + 1, outputsResult.size(), outputsResult.begin());
    return outputsResult.data();
}

void hiddata_simple_runoff::SetBuzzerOutput(std::uint8_t value)
{
    ScopedLock guard(lock);
    const std::uint8_t* outputs = ReadOutputs();
    WriteOutputs(outputs[0], outputs[1], outputs[2], value);
}

std::uint8_t hiddata_simple_runoff::ReadBuzzerOutput()
{
    ScopedLock guard(lock);
    return ReadOutputs()[3];
}

void hiddata_simple_runoff::WriteModelCode(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_MODEL, SetShape::Overlay, [&](Report& r) { r[POS_MODEL] = value; });
}

void hiddata_simple_runoff::WriteAuthorTag(const char* text)
{
    ScopedLock guard(lock);
    Set(
        CMD_WRITE_AUTHOR_TAG, SetShape::Overlay, [&](Report& r) { PutText(r, POS_TEXT_HIGH, text, TAG_MAX); },
        false);
}

std::uint8_t hiddata_simple_runoff::ReadAuxByte()
{
    ScopedLock guard(lock);
    return Get(CMD_READ_AUX)[POS_AUX];
}

void hiddata_simple_runoff::WriteAuxByte(std::uint8_t value)
{
    ScopedLock guard(lock);
    Set(CMD_WRITE_AUX, SetShape::Overlay, [&](Report& r) { r[POS_AUX] = value; });
}
