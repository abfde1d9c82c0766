#pragma once
// The line's registry of expected stations and its shift calendar, from a small INI file:
//
//   [line]
//   time_zone = Asia/Shanghai
//   shifts = 06:00, 14:00, 22:00
//   offline_after_s = 35
//   [stations]
//   S01
//   S02
//
// Each line of [stations] is a name as a whole (names may hold '=' or blanks inside).
// Depends on the standard library only.
#include <string>
#include <vector>

struct LineConfig {
    std::vector<std::string> stations; // expected, in the file's order; empty: whoever forwarded
    std::string timeZone = "UTC";
    std::vector<int> shiftStarts{6 * 60, 14 * 60, 22 * 60}; // minutes after local midnight, ascending
    int offlineAfterS = 35; // three heartbeats missed and a little
};

// Parses the text of the file; false with a message naming the line for anything it cannot take.
bool ParseLineConfig(const std::string& text, LineConfig* config, std::string* error);
bool LoadLineConfig(const std::string& path, LineConfig* config, std::string* error);
