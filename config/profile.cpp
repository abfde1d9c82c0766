#include "profile.h"

#include "file_content.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// A stray carriage return counts as a blank, so that giving a last line its line end never changes it.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

enum class Kind { Other, Section, Key };

struct Parsed {
    Kind kind = Kind::Other;
    std::string_view name;
    std::string_view value;
};

Parsed Parse(std::string_view line)
{
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '#')
        return {};
    if (t.front() == '[') {
        // A header without its closing bracket still opens a section, named by the rest of the line.
        const std::string_view inner = t.substr(1);
        return {Kind::Section, Trim(inner.substr(0, inner.find(']'))), {}};
    }
    const std::size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return {};
    return {Kind::Key, Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

} // namespace

Profile Profile::FromText(std::string_view text)
{
    Profile p;
    if (text.substr(0, kBom.size()) == kBom) {
        p.bom_ = true;
        text.remove_prefix(kBom.size());
    }
    bool styleSeen = false;
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        Line line;
        if (lf == std::string_view::npos) {
            line.text = std::string(text);
            text = {};
        } else {
            const bool crlf = lf > 0 && text[lf - 1] == '\r';
            line.text = std::string(text.substr(0, crlf ? lf - 1 : lf));
            line.end = crlf ? "\r\n" : "\n";
            text.remove_prefix(lf + 1);
            if (!styleSeen) {
                p.newline_ = line.end;
                styleSeen = true;
            }
        }
        p.lines_.push_back(std::move(line));
    }
    return p;
}

std::string Profile::Text() const
{
    std::string out = bom_ ? std::string(kBom) : std::string();
    for (const Line& line : lines_)
        out.append(line.text).append(line.end);
    return out;
}

bool Profile::Load(const std::string& path)
{
    *this = Profile();
    std::string data;
    if (const auto failure = ReadFileContent(path, data)) {
        if (failure->err == ENOENT)
            return true;
        error_ = failure->step + path + ": " + failure->Reason();
        return false;
    }
    *this = FromText(data);
    return true;
}

bool Profile::Save(const std::string& path)
{
    error_.clear();
    if (const auto failure = ReplaceFileContent(path, Text())) {
        error_ = failure->step + path + ": " + failure->Reason();
        return false;
    }
    return true;
}

std::string Profile::Folded(std::string_view name)
{
    std::string folded(name);
    for (char& c : folded)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

// The first header line of every section, by folded name: a full configuration sets thousands of
// keys, and scanning the whole file for each would take seconds.
void Profile::index() const
{
    if (indexed_)
        return;
    sections_.clear();
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Parsed p = Parse(lines_[i].text);
        if (p.kind == Kind::Section)
            sections_.try_emplace(Folded(p.name), i);
    }
    indexed_ = true;
}

Profile::Found Profile::find(std::string_view section, std::string_view key) const
{
    section = Trim(section);
    key = Trim(key);
    Found f;
    index();
    const auto it = sections_.find(Folded(section));
    if (it == sections_.end())
        return f;
    f.header = f.last = it->second;
    for (std::size_t i = f.header + 1; i < lines_.size(); ++i) {
        const Parsed p = Parse(lines_[i].text);
        if (p.kind == Kind::Section)
            break;
        if (p.kind == Kind::Key) {
            f.last = i;
            if (SameName(p.name, key)) {
                f.key = i;
                break;
            }
        }
    }
    return f;
}

bool Profile::HasSection(std::string_view section) const
{
    return find(section, {}).header != npos;
}

bool Profile::HasKey(std::string_view section, std::string_view key) const
{
    return find(section, key).key != npos;
}

std::string Profile::GetString(std::string_view section, std::string_view key) const
{
    const Found f = find(section, key);
    if (f.key == npos)
        return {};
    return std::string(Parse(lines_[f.key].text).value.substr(0, MAX_VALUE_LENGTH));
}

long Profile::GetInt(std::string_view section, std::string_view key, long fallback) const
{
    const Found f = find(section, key);
    if (f.key == npos)
        return fallback;
    // Base 10 only: "010" is ten and "0x10" is zero.
    return std::strtol(GetString(section, key).c_str(), nullptr, 10);
}

void Profile::insertLine(std::size_t at, std::string text)
{
    Line line{std::move(text), newline_};
    // A last line without a line end gets one; the new last line goes without, as the file did.
    if (at > 0 && lines_[at - 1].end.empty()) {
        lines_[at - 1].end = newline_;
        line.end.clear();
    }
    const Parsed parsed = Parse(line.text);
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    if (!indexed_)
        return;
    for (auto& [name, header] : sections_)
        header += header >= at ? 1 : 0;
    if (parsed.kind == Kind::Section)
        sections_.try_emplace(Folded(parsed.name), at);
}

bool Profile::SetString(std::string_view section, std::string_view key, std::string_view value)
{
    section = Trim(section);
    key = Trim(key);
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
        section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
        (!key.empty() && (key.front() == '[' || key.front() == ';' || key.front() == '#')))
        return false;

    const Found f = find(section, key);
    if (f.key != npos) {
        std::string& text = lines_[f.key].text;
        std::size_t start = text.find('=') + 1;
        while (start < text.size() && IsBlank(text[start]))
            ++start;
        text.replace(start, std::string::npos, value);
        return true;
    }
    std::string line = std::string(key) + "=" + std::string(value);
    if (f.header != npos) {
        insertLine(f.last + 1, std::move(line));
        return true;
    }
    std::string header(1, '[');
    header.append(section).push_back(']');
    insertLine(lines_.size(), std::move(header));
    insertLine(lines_.size(), std::move(line));
    return true;
}
