#pragma once
// INI profile files: "[section]" lines and "key=value" lines. Standard library and POSIX only; nothing
// from app/. Our own module rather than a packaged INI library: those rebuild the file from their model
// on save, merge repeated sections and normalise spacing and line ends, so untouched lines would not
// stay byte for byte and the first-match rules would not hold.
//
// Conventions:
// - section and key names match without regard to ASCII case; blanks (space, tab, a stray CR) around
//   names and values are ignored, in the file and in the names asked for;
// - the first matching section and, within it, the first matching key count; later repeats are kept
//   in the file but never read or written;
// - lines starting with ';' or '#' are comments; a line with neither brackets nor '=' is kept as it is;
// - values read as strings of at most 79 characters;
// - CRLF and LF are read; a file keeps its own line ends (those of its first line) and its UTF-8 byte
//   order mark; a new file gets CRLF.
// Writes change the loaded text only; Save writes it once, whole, through a temporary file.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class Profile {
public:
    static constexpr std::size_t MAX_VALUE_LENGTH = 79;

    // Replaces the profile with the file's content. A missing file gives an empty profile and true;
    // a file that exists but cannot be read gives an empty profile, false and Error().
    [[nodiscard]] bool Load(const std::string& path);
    // Writes the whole text to a temporary file in the same folder, flushes it and renames it over
    // `path`, so a crash leaves the old file or the new one, never half of one. A symbolic link stays
    // and its target gets the text; an existing file keeps its owner, group and mode. False and
    // Error() on failure, the old file untouched.
    [[nodiscard]] bool Save(const std::string& path);
    const std::string& Error() const { return error_; }

    // The same as Load from a file holding `text` (no I/O).
    static Profile FromText(std::string_view text);
    // The bytes Save writes.
    std::string Text() const;

    // The trimmed value, cut at MAX_VALUE_LENGTH; "" for a missing section or key.
    std::string GetString(std::string_view section, std::string_view key) const;
    // The value converted like strtol in base 10 (leading blanks, optional sign, digits up to the
    // first other character, 0 without digits, pinned at the range ends); `fallback` only for a
    // missing section or key.
    long GetInt(std::string_view section, std::string_view key, long fallback) const;

    // Whether the file has the section, and the key within the first matching section.
    bool HasSection(std::string_view section) const;
    bool HasKey(std::string_view section, std::string_view key) const;

    // Replaces the value of an existing key in the same line (its name, the blanks around '=' and its
    // line end stay); a missing key goes right after the last key line of its section, ahead of any
    // comments or blank lines that lead to the next section; a missing section goes to the end.
    // False, with nothing changed, for names or values that would break the line structure (line
    // breaks, '=' or a leading '[' ';' '#' in a key, ']' in a section).
    bool SetString(std::string_view section, std::string_view key, std::string_view value);

private:
    struct Line {
        std::string text; // without its line end
        std::string end;  // "\r\n", "\n", or "" for a last line without one
    };
    struct Found {
        std::size_t header = npos; // line of the section header
        std::size_t key = npos;    // line of the key within it
        std::size_t last = npos;   // last line of the section (header or last key line)
    };
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    Found find(std::string_view section, std::string_view key) const;
    void index() const;
    static std::string Folded(std::string_view name);
    void insertLine(std::size_t at, std::string text);

    std::vector<Line> lines_;
    mutable std::unordered_map<std::string, std::size_t> sections_; // first header line by folded name
    mutable bool indexed_ = false;
    std::string newline_ = "\r\n";
    bool bom_ = false;
    std::string error_;
};
