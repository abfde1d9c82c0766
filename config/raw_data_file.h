#pragma once
// The raw-data file "rawdata/rawdata.csv": one line per reading, reading 0 first, each
// "Item=%d,Checked=%d," then 32 times "%d," and CRLF. Depends on the standard library only.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr int RAW_CHANNELS = 32;
inline constexpr const char* RAW_DATA_FOLDER = "rawdata";
inline constexpr const char* RAW_DATA_PATH = "rawdata/rawdata.csv";

struct RawReading {
    std::string item;    // the text between the line's first '=' and its first ','
    bool checked = false; // the text between the second '=' and the second ',' is exactly "1"
    std::array<std::int32_t, RAW_CHANNELS> values{};
};

// Reads every line of the file, CRLF or LF; a last line without line end counts. Empty lines (or
// lines of carriage returns only) at the end of the file are no readings; earlier empty lines are
// readings of zeros, so reading n stays line n. Values are the fields after the second comma, the
// text after the last comma included, converted like strtol: leading blanks, optional sign, digits
// up to the first other character; no digits, or missing from a short line, reads as 0; out of
// range pins at the int32 ends. A line without the "Item=" / "Checked=" fields still counts as a
// reading. Returns false only when the file cannot be opened or read, e.g. a folder (`readings` is
// then empty).
bool ReadRawDataFile(const std::string& path, std::vector<RawReading>& readings);
// The same rules on text already in memory (used by the file reader and the fuzz target).
std::vector<RawReading> ParseRawData(const std::string& text);

// One line of the file for reading `index`, CRLF included.
std::string FormatRawDataLine(int index, bool checked, const std::array<std::int32_t, RAW_CHANNELS>& values);

// Creates the folder if needed and replaces the file atomically (temporary file in the same
// folder, flushed, renamed over the old one; through a symbolic link the linked file is replaced;
// the old file's owner, group and permissions are kept). On failure
// returns false with the system's reason alone in `error` (e.g. "Not a directory"; `error` may be
// null), the old file stays as it was and no temporary file is left.
struct RawLine {
    bool checked = false;
    std::array<std::int32_t, RAW_CHANNELS> values{};
};
bool WriteRawDataFile(const std::string& path, const std::vector<RawLine>& lines, std::string* error);
