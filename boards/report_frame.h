#pragma once
// Frame of the output-report family: 00 01 29 <code>, arguments from byte 4 on.
#include "hid_backend.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

using Report = std::array<std::uint8_t, HID_REPORT_SIZE>;

inline constexpr std::uint8_t COMMAND_MARK_1 = 0x01;
inline constexpr std::uint8_t COMMAND_MARK_2 = 0x29;

inline Report CommandHeader(std::uint8_t code)
{
    Report r{};
    r[1] = COMMAND_MARK_1;
    r[2] = COMMAND_MARK_2;
    r[3] = code;
    return r;
}

inline void PutBE16(Report& r, std::size_t pos, std::uint32_t v)
{
    r[pos] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    r[pos + 1] = static_cast<std::uint8_t>(v & 0xFF);
}

inline std::uint16_t BE16(const std::uint8_t* r, std::size_t pos)
{
    return static_cast<std::uint16_t>(r[pos] << 8 | r[pos + 1]);
}

inline std::uint16_t LE16(const std::uint8_t* r, std::size_t pos)
{
    return static_cast<std::uint16_t>(r[pos] | r[pos + 1] << 8);
}

// Copies at most length bytes of a zero-terminated text to pos, never past the last payload byte.
inline void PutText(Report& r, std::size_t pos, const char* text, int length)
{
    if (!text || length <= 0 || pos >= r.size())
        return;
    const std::size_t room = r.size() - pos;
    const std::size_t n = std::min(strnlen(text, static_cast<std::size_t>(length)), room);
    std::memcpy(r.data() + pos, text, n);
}

// Copies n bytes of a reply and terminates them.
template <std::size_t N>
inline const char* TakeText(std::array<char, N>& out, const std::uint8_t* reply, std::size_t pos)
{
    static_assert(N >= 2);
    std::memcpy(out.data(), reply + pos, N - 1);
    out[N - 1] = '\0';
    return out.data();
}

inline void PutLE16(Report& r, std::size_t pos, std::uint32_t v)
{
    r[pos] = static_cast<std::uint8_t>(v & 0xFF);
    r[pos + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}
