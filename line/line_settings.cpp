#include "line_settings.h"

#include "pq.h"

#include <QDir>
#include <QStandardPaths>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace {
std::string Trim(const std::string& s)
{
    const auto blank = [](unsigned char c) { return c == ' ' || c == '\t' || c == '\r'; };
    std::size_t b = 0, e = s.size();
    while (b < e && blank(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && blank(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}
} // namespace

std::string StationSettingsPath()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return (base + QStringLiteral("/vorlaine/station.ini")).toStdString();
}

bool ReadLineSetting(const std::string& path, std::string* conninfo, std::string* error)
{
    conninfo->clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec))
            return true;
        if (error)
            *error = path + ": cannot be read";
        return false;
    }
    std::string line, section;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            section = Lower(Trim(line.substr(1, line.find(']') == std::string::npos ? std::string::npos
                                                                                      : line.find(']') - 1)));
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || (!section.empty() && section != "station"))
            continue;
        if (Lower(Trim(line.substr(0, eq))) != "line")
            continue;
        const std::string value = Trim(line.substr(eq + 1));
        std::string parseError;
        if (pq::ConnInfoHasPassword(value, &parseError)) {
            if (error)
                *error = path + ": the line's connection holds a password; put it in ~/.pgpass instead";
            return false;
        }
        if (!parseError.empty()) {
            if (error)
                *error = path + ": line=: " + parseError;
            return false;
        }
        *conninfo = value;
        return true;
    }
    return true;
}
