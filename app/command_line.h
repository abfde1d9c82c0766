#pragma once
// The program's command line. Every option is a row of one table (name, value, help, check), so
// the help, the parser and the checks follow from it. Parsing is strict and needs no Qt
// application: --help and --version, or any mistake, end the program before a window or a device
// is touched.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <limits>
#include <map>
#include <optional>

struct CommandLine {
    // Set when the program ends at once with this status, after writing `output` to stdout and
    // `error` to stderr: 0 for --help and --version, 2 for a mistake.
    std::optional<int> exitCode;
    QString output;
    QString error;

    // The options given, by name without the dashes; only checked values get here.
    std::map<QString, QString> values;
    std::optional<QString> Value(const char* name) const;
    // The export's range in UTC milliseconds, from --since and --until.
    std::int64_t sinceMs = 0;
    std::int64_t untilMs = std::numeric_limits<std::int64_t>::max();
};

// `arguments` as main() gets them, the program's name first.
CommandLine ParseCommandLine(const QStringList& arguments);
// The usage and every option, as --help prints them.
QString CommandLineHelp();
