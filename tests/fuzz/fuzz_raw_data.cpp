// libFuzzer target: raw-data files read from whatever bytes the fuzzer gives, checked against a
// slow reading built on the C library's strtol, then written back and read again.
//   cmake --build build-fuzz --target fuzz_raw_data && build-fuzz/tests/fuzz/fuzz_raw_data -runs=1000000
#include "raw_data_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& s, char by)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = s.find(by, start)) != std::string::npos; start = at + 1)
        parts.push_back(s.substr(start, at - start));
    parts.push_back(s.substr(start));
    return parts;
}

// The reading rules spelled out the slow way: split into lines and fields, convert with strtol
// (which stops at a NUL just as the reader stops at any non-digit) and pin to 32 bits.
std::vector<RawReading> Reference(const std::string& text)
{
    std::vector<std::string> lines = Split(text, '\n');
    for (std::string& line : lines)
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    while (!lines.empty() && lines.back().find_first_not_of('\r') == std::string::npos)
        lines.pop_back();

    std::vector<RawReading> readings;
    for (const std::string& line : lines) {
        RawReading r;
        std::vector<std::size_t> eqs, commas;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '=')
                eqs.push_back(i);
            if (line[i] == ',')
                commas.push_back(i);
        }
        const auto between = [&](std::size_t n) {
            if (eqs.size() <= n || commas.size() <= n || commas[n] < eqs[n])
                return std::string();
            return line.substr(eqs[n] + 1, commas[n] - eqs[n] - 1);
        };
        r.item = between(0);
        r.checked = between(1) == "1";
        const std::vector<std::string> fields = Split(line, ',');
        for (std::size_t k = 0; k < RAW_CHANNELS && k + 2 < fields.size(); ++k) {
            const long v = std::strtol(fields[k + 2].c_str(), nullptr, 10);
            r.values[k] = static_cast<std::int32_t>(std::clamp<long>(v, INT32_MIN, INT32_MAX));
        }
        readings.push_back(std::move(r));
    }
    return readings;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<RawReading> readings = ParseRawData(text);
    const std::vector<RawReading> expected = Reference(text);
    if (readings.size() != expected.size())
        std::abort();
    for (std::size_t i = 0; i < readings.size(); ++i)
        if (readings[i].item != expected[i].item || readings[i].checked != expected[i].checked ||
            readings[i].values != expected[i].values)
            std::abort();

    // What is written reads back as it was, numbered from 0.
    std::string written;
    for (std::size_t i = 0; i < readings.size(); ++i)
        written += FormatRawDataLine(static_cast<int>(i), readings[i].checked, readings[i].values);
    const std::vector<RawReading> again = ParseRawData(written);
    if (again.size() != readings.size())
        std::abort();
    for (std::size_t i = 0; i < again.size(); ++i)
        if (again[i].item != std::to_string(i) || again[i].checked != readings[i].checked ||
            again[i].values != readings[i].values)
            std::abort();
    return 0;
}
