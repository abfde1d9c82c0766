#pragma once
// Firmware model of a tester board, plugged into the SimBus. Each model locks its own state:
// the bus calls it from whatever thread talks to the device, tests and the demo from theirs.
#include "hid_backend.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using SimReport = std::array<std::uint8_t, HID_REPORT_SIZE>;

struct SimDeviceSpec {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::optional<std::wstring> manufacturer; // nullopt: the string cannot be read
    std::optional<std::wstring> product;
};

class SimBoard {
public:
    virtual ~SimBoard() = default;
    // An output report arrived; input reports to send back go into replies, in order.
    virtual void onOutputReport(const SimReport& report, std::vector<SimReport>& replies) = 0;
    // Feature reports; false means the board stalls the request.
    virtual bool onSetFeature(const SimReport& /*report*/) { return false; }
    virtual bool onGetFeature(SimReport& /*report*/) { return false; }
};

// Helpers for the big- and little-endian fields of the board records.
inline void putBE16(SimReport& r, std::size_t pos, std::uint16_t v)
{
    r[pos] = static_cast<std::uint8_t>(v >> 8);
    r[pos + 1] = static_cast<std::uint8_t>(v & 0xFF);
}
inline void putLE16(SimReport& r, std::size_t pos, std::uint16_t v)
{
    r[pos] = static_cast<std::uint8_t>(v & 0xFF);
    r[pos + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline std::uint16_t getBE16(const SimReport& r, std::size_t pos)
{
    return static_cast<std::uint16_t>(r[pos] << 8 | r[pos + 1]);
}
inline std::uint16_t getLE16(const SimReport& r, std::size_t pos)
{
    return static_cast<std::uint16_t>(r[pos] | r[pos + 1] << 8);
}

// Texts in board records: at most width bytes, zero-padded by the report around them.
inline void putText(SimReport& r, std::size_t pos, const std::string& text, std::size_t width)
{
    std::memcpy(r.data() + pos, text.data(), std::min({text.size(), width, r.size() - pos}));
}
inline std::string getText(const SimReport& r, std::size_t pos, std::size_t width)
{
    const auto* begin = reinterpret_cast<const char*>(r.data() + pos);
    return std::string(begin, strnlen(begin, std::min(width, r.size() - pos)));
}
