#include "sim_classic_board.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::size_t CHANNELS = 32;

void putText8(SimReport& r, const std::string& text)
{
    std::memcpy(r.data() + 1, text.data(), std::min<std::size_t>(text.size(), 8));
}

std::string getText7(const SimReport& r)
{
    const auto* begin = reinterpret_cast<const char*>(r.data() + 2);
    return std::string(begin, strnlen(begin, 7));
}

bool isRead(std::uint8_t code)
{
    switch (code) {
    case 0x10: case 0x20: case 0x22: case 0x24: case 0x26: case 0x28: case 0x32: case 0x34: case 0x36:
    case 0x38: case 0x3B: case 0x3D: case 0x3E: case 0x40: case 0x50: case 0x52: case 0x54:
        return true;
    default:
        return false;
    }
}
} // namespace

SimDeviceSpec SimClassicBoard::Identity(const std::string& manufacturer, const std::string& product)
{
    return {0x04B4, 0xE006, std::wstring(manufacturer.begin(), manufacturer.end()),
            std::wstring(product.begin(), product.end())};
}

SimClassicBoard::SimClassicBoard(std::uint32_t seed) : sensor_(seed)
{
    settings_.reference.fill(700);
    settings_.upper.fill(1100);
    settings_.lower.fill(500);
}

SimClassicBoard::Settings SimClassicBoard::settings() const
{
    std::lock_guard lock(mutex_);
    return settings_;
}

void SimClassicBoard::setSettings(const Settings& settings)
{
    std::lock_guard lock(mutex_);
    settings_ = settings;
}

bool SimClassicBoard::onSetFeature(const SimReport& report)
{
    std::lock_guard lock(mutex_);
    const std::uint8_t code = report[1];
    if (isRead(code)) {
        if (report[7] == 0x55 && report[8] == 0xAA) // the firmware ignores unmarked reads
            staged_ = answer(code, report[2]);
    } else {
        apply(report);
    }
    return true;
}

bool SimClassicBoard::onGetFeature(SimReport& report)
{
    std::lock_guard lock(mutex_);
    report = staged_;
    return true;
}

SimReport SimClassicBoard::answer(std::uint8_t code, std::uint8_t channel)
{
    SimReport r{};
    const Settings& s = settings_;
    const std::size_t ch = std::min<std::size_t>(channel, CHANNELS - 1);
    const bool inRange = channel < CHANNELS;
    switch (code) {
    case 0x10:
        // Channel 32 and beyond carry nothing on this board.
        if (inRange)
            putLE16(r, 1, sensor_.measure(s.reference, s.upper)[ch]);
        break;
    case 0x20: putLE16(r, 1, inRange ? s.upper[ch] : 0); break;
    case 0x22: putLE16(r, 1, inRange ? s.lower[ch] : 0); break;
    case 0x24: putLE16(r, 1, inRange ? s.reference[ch] : 0); break;
    case 0x26: r[1] = inRange ? s.mask[ch] : 0; break;
    case 0x28: r[1] = s.offsetType; break;
    case 0x32: r[1] = s.offsetPercent; break;
    case 0x34: putLE16(r, 1, s.offsetUpper); break;
    case 0x36: putLE16(r, 1, s.offsetLower); break;
    case 0x38: r[1] = s.optionByte; break;
    case 0x3B: r[1] = s.spare; break;
    case 0x3D: putText8(r, s.serialNumber); break;
    case 0x3E: putText8(r, s.deviceId); break;
    case 0x40:
        putLE16(r, 1, s.firmwareYear);
        r[3] = s.firmwareMonth;
        r[4] = s.firmwareDay;
        putLE16(r, 5, s.firmwareVersion);
        r[7] = s.firmwareFlags;
        break;
    case 0x50: putLE16(r, 1, s.dataMax); break;
    case 0x52: putLE16(r, 1, s.dataMin); break;
    case 0x54: putText8(r, s.authorTag); break;
    default: break;
    }
    return r;
}

void SimClassicBoard::apply(const SimReport& d)
{
    Settings& s = settings_;
    const std::uint8_t channel = d[2];
    const std::uint16_t v16 = getLE16(d, 3);
    const std::uint8_t v8 = d[3];
    const bool inRange = channel < CHANNELS;
    switch (d[1]) {
    case 0x21: if (inRange) s.upper[channel] = v16; break;
    case 0x23: if (inRange) s.lower[channel] = v16; break;
    case 0x25: if (inRange) s.reference[channel] = v16; break;
    case 0x27: if (inRange) s.mask[channel] = v8; break;
    case 0x29: s.offsetType = v8; break;
    case 0x33: s.offsetPercent = v8; break;
    case 0x35: s.offsetUpper = v16; break;
    case 0x37: s.offsetLower = v16; break;
    case 0x3A: s.spare = v8; break;
    case 0x3C: s.spare2 = v8; break;
    case 0x51: s.dataMax = v16; break;
    case 0x53: s.dataMin = v16; break;
    case 0xC1: s.serialNumber = getText7(d); break;
    case 0x3F: s.deviceId = getText7(d); break;
    case 0x55: s.authorTag = getText7(d); break;
    case 0x60: s.switch1 = true; break;
    case 0x61: s.switch1 = false; break;
    case 0x62: s.switch2 = true; break;
    case 0x63: s.switch2 = false; break;
    default: break;
    }
}
