#pragma once
// Positions (report byte indices) of the one-to-one boards' 64-byte board record, which the
// nine-way master uses as well: the same in read replies and in write data reports.
#include <cstddef>

namespace board_record {
inline constexpr std::size_t POS_VERSION = 1;
inline constexpr std::size_t POS_YEAR = 3;
inline constexpr std::size_t POS_MONTH = 5;
inline constexpr std::size_t POS_DAY = 6;
inline constexpr std::size_t POS_AUTHOR_NAME = 7;
inline constexpr std::size_t POS_OPTION_FLAGS = 15;
inline constexpr std::size_t POS_AUX = 20;
inline constexpr std::size_t POS_OFFLINE_DISPLAY = 21;
inline constexpr std::size_t POS_RANGE_MAX = 22;
inline constexpr std::size_t POS_RANGE_MIN = 24;
inline constexpr std::size_t POS_MODEL = 26;
inline constexpr std::size_t POS_TEXT_LOW = 33;  // serial number, logo text
inline constexpr std::size_t POS_TEXT_HIGH = 49; // device identifier, author tag
} // namespace board_record
