#include "line_config.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace {
std::string Trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool ParseClock(const std::string& text, int* minutes)
{
    int h = 0, m = 0;
    char colon = 0;
    std::istringstream in(text);
    if (!(in >> h >> colon >> m) || colon != ':' || !in.eof() || h < 0 || h > 23 || m < 0 || m > 59)
        return false;
    *minutes = h * 60 + m;
    return true;
}
} // namespace

bool ParseLineConfig(const std::string& text, LineConfig* config, std::string* error)
{
    LineConfig c;
    std::istringstream in(text);
    std::string raw, section;
    int number = 0;
    auto fail = [&](const std::string& why) {
        *error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(in, raw)) {
        ++number;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            section = Lower(Trim(line.substr(1, line.size() - 2)));
            continue;
        }
        if (section == "stations") {
            if (std::find(c.stations.begin(), c.stations.end(), line) == c.stations.end())
                c.stations.push_back(line);
            continue;
        }
        if (section != "line")
            return fail("outside [line] or [stations]");
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            return fail("expected name = value");
        const std::string key = Lower(Trim(line.substr(0, eq)));
        const std::string value = Trim(line.substr(eq + 1));
        if (key == "time_zone") {
            if (value.empty())
                return fail("empty time zone");
            c.timeZone = value;
        } else if (key == "shifts") {
            c.shiftStarts.clear();
            std::istringstream list(value);
            std::string item;
            while (std::getline(list, item, ',')) {
                int minutes = 0;
                if (!ParseClock(Trim(item), &minutes))
                    return fail("a shift starts at HH:MM");
                c.shiftStarts.push_back(minutes);
            }
            std::sort(c.shiftStarts.begin(), c.shiftStarts.end());
            if (c.shiftStarts.empty() || std::adjacent_find(c.shiftStarts.begin(), c.shiftStarts.end()) !=
                                             c.shiftStarts.end())
                return fail("shifts need distinct start times");
        } else if (key == "offline_after_s") {
            try {
                c.offlineAfterS = std::stoi(value);
            } catch (...) {
                return fail("offline_after_s is a number of seconds");
            }
            if (c.offlineAfterS < 1)
                return fail("offline_after_s is a number of seconds");
        } else {
            return fail("unknown key " + key);
        }
    }
    *config = std::move(c);
    return true;
}

bool LoadLineConfig(const std::string& path, LineConfig* config, std::string* error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (!ParseLineConfig(text.str(), config, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}
