#include "raw_data_file.h"

#include "file_content.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <limits>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The blanks the C library's integer conversion skips.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Like strtol in base 10 on the field alone: leading blanks, optional sign, digits up to the first
// other character, 0 without digits. Out-of-range values pin at the int32 ends, as strtol pins at
// long's; the field is not NUL-terminated, so the C function cannot be used on it directly.
std::int32_t ToInt(std::string_view field)
{
    std::size_t i = 0;
    while (i < field.size() && IsSpace(field[i]))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-'))
        negative = field[i++] == '-';
    constexpr std::int64_t kPinned = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i)
        if (magnitude < kPinned)
            magnitude = magnitude * 10 + (field[i] - '0');
    if (negative)
        return static_cast<std::int32_t>(-std::min(magnitude, kPinned));
    return static_cast<std::int32_t>(std::min(magnitude, kPinned - 1));
}

// Text between the n-th '=' (n from 1) and the n-th ',' of the line; empty when either is missing
// or the ',' comes first.
std::string_view Between(std::string_view line, int n)
{
    std::size_t eq = std::string_view::npos;
    std::size_t comma = std::string_view::npos;
    for (int k = 0; k < n; ++k) {
        eq = line.find('=', eq + 1);
        comma = line.find(',', comma + 1);
        if (eq == std::string_view::npos || comma == std::string_view::npos)
            return {};
    }
    return comma > eq ? line.substr(eq + 1, comma - eq - 1) : std::string_view{};
}

RawReading ParseLine(std::string_view line)
{
    RawReading r;
    r.item = std::string(Between(line, 1));
    r.checked = Between(line, 2) == "1";
    // Values are the fields after the second comma; the text after the last comma counts as a field
    // too, so a hand-edited line without its final comma keeps its last value.
    std::size_t at = line.find(',');
    if (at != std::string_view::npos)
        at = line.find(',', at + 1);
    for (std::size_t k = 0; k < r.values.size() && at != std::string_view::npos; ++k) {
        const std::size_t next = line.find(',', at + 1);
        const std::size_t end = next == std::string_view::npos ? line.size() : next;
        r.values[k] = ToInt(line.substr(at + 1, end - at - 1));
        at = next;
    }
    return r;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Makes `folder` and any missing folders above it; 0 or the errno of the failing step. An existing
// non-folder is left for the temporary file's open to report ("Not a directory").
int MakeFolder(const std::string& folder)
{
    if (::mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST)
        return 0;
    if (errno != ENOENT)
        return errno;
    const std::string parent = FolderOf(folder);
    if (parent == folder || parent == "." || parent == "/")
        return ENOENT;
    if (const int err = MakeFolder(parent))
        return err;
    return ::mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST ? 0 : errno;
}

bool Fail(std::string* error, int err)
{
    if (error)
        *error = std::generic_category().message(err);
    return false;
}

} // namespace

std::vector<RawReading> ParseRawData(const std::string& text)
{
    std::vector<RawReading> readings;
    const std::string_view all(text);
    // Empty lines at the end of the file are no readings (an editor's extra newline must not add
    // one); empty lines before a later line are, so reading n stays line n.
    const std::size_t last = all.find_last_not_of("\r\n");
    const std::size_t end = last == std::string_view::npos ? 0 : last + 1;
    for (std::size_t at = 0; at < end;) {
        const std::size_t lf = all.find('\n', at);
        std::string_view line = all.substr(at, lf == std::string_view::npos ? std::string_view::npos : lf - at);
        at = lf == std::string_view::npos ? all.size() : lf + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        readings.push_back(ParseLine(line));
    }
    return readings;
}

bool ReadRawDataFile(const std::string& path, std::vector<RawReading>& readings)
{
    readings.clear();
    std::string data;
    if (ReadFileContent(path, data))
        return false;
    readings = ParseRawData(data);
    return true;
}

std::string FormatRawDataLine(int index, bool checked, const std::array<std::int32_t, RAW_CHANNELS>& values)
{
    // "Item=" + 11 + ",Checked=" + 1 + "," + 32 x (11 + 1) + CRLF fits easily.
    char buf[512];
    char* p = buf;
    const auto put = [&p](std::string_view s) {
        for (char c : s)
            *p++ = c;
    };
    const auto number = [&p, &buf](std::int32_t v) {
        p = std::to_chars(p, buf + sizeof buf, v).ptr;
        *p++ = ',';
    };
    put("Item=");
    p = std::to_chars(p, buf + sizeof buf, index).ptr;
    put(checked ? ",Checked=1," : ",Checked=0,");
    for (std::int32_t v : values)
        number(v);
    put("\r\n");
    return std::string(buf, static_cast<std::size_t>(p - buf));
}

bool WriteRawDataFile(const std::string& path, const std::vector<RawLine>& lines, std::string* error)
{
    if (error)
        error->clear();
    const std::string folder = FolderOf(path);
    if (const int err = MakeFolder(folder))
        return Fail(error, err);

    std::string text;
    text.reserve(lines.size() * 256);
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += FormatRawDataLine(static_cast<int>(i), lines[i].checked, lines[i].values);

    if (const auto failure = ReplaceFileContent(path, text))
        return Fail(error, failure->err);
    return true;
}
