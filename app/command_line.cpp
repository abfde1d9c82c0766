#include "command_line.h"

#include "demo_mode.h"
#include "pq.h"
#include "program_version.h"
#include "test_record.h"

#include <QCommandLineParser>

namespace {

// Empty when the value is good, else what is wrong with it.
using Check = QString (*)(const QString& value);

struct OptionRow {
    const char* name;
    const char* valueName;
    const char* help;
    Check check; // nullptr: any value that is not empty
};

QString CheckHoldMs(const QString& value)
{
    bool ok = false;
    const int ms = value.toInt(&ok);
    return ok && ms >= 0 && ms <= 10000 ? QString() : QStringLiteral("--hold-ms takes 0 to 10000 milliseconds");
}

QString CheckRepaintRate(const QString& value)
{
    bool ok = false;
    const int rate = value.toInt(&ok);
    return ok && rate >= 1 && rate <= 100 ? QString() : QStringLiteral("--repaint-rate takes 1 to 100 repaints a second");
}

QString CheckLanguage(const QString& value)
{
    return value == QLatin1String("en") || value == QLatin1String("zh") ? QString()
                                                                        : QStringLiteral("--lang takes en or zh");
}

QString CheckTime(const QString& value)
{
    std::int64_t ms = 0;
    return ParseUtc(value.toStdString(), &ms)
               ? QString()
               : QStringLiteral("--since and --until take ISO 8601 times, e.g. 2026-12-10T06:00:00Z (no offset means UTC)");
}

// The password belongs in ~/.pgpass or the environment, where other users cannot see it.
QString CheckConnInfo(const QString& value)
{
    std::string error;
    return pq::ConnInfoHasPassword(value.toStdString(), &error) ? QString::fromStdString(error) : QString();
}

// The demo's own reading of the list, so that what passes here also starts.
QString CheckSimulation(const QString& value)
{
    QString error;
    return DemoBench::Create(value, &error) ? QString() : error + QLatin1Char('\n') + DemoBench::Usage();
}

constexpr OptionRow OPTIONS[] = {
    {"records", "PATH", "The test record database (default: $XDG_DATA_HOME/vorlaine/records.sqlite).", nullptr},
    {"station", "NAME", "The station's name in its records (default: the host name).", nullptr},
    {"hold-ms", "MS", "How long a FAIL, or a position emptied, must last before a record counts it (0 to 10000, default 100).", CheckHoldMs},
    {"repaint-rate", "N", "Grid repaints a second at most (1 to 100, default 30); verdicts and lamps follow every pass whatever it is.", CheckRepaintRate},
    {"lang", "en|zh", "The interface language (default: from LC_ALL, LC_MESSAGES or LANG; Chinese unless English).", CheckLanguage},
    {"simulate", "KIND[,KIND...]", "Runs on simulated boards instead of USB: runoff[:MANUFACTURER], master[:CxR][@S.S...], kelspire, classic, pendrake, estop, bounce=MS.", CheckSimulation},
    {"export-records", "FILE.csv", "Writes the test records as CSV and exits, without a window.", nullptr},
    {"since", "ISO", "With --export-records: the first time exported (ISO 8601; no offset means UTC).", CheckTime},
    {"until", "ISO", "With --export-records: the end of the range, not included.", CheckTime},
    {"line", "CONNINFO", "Forwards the test records to the line's PostgreSQL (libpq connection string, no password: ~/.pgpass); else line= in ~/.config/vorlaine/station.ini.", CheckConnInfo},
    {"line-migrate", "CONNINFO", "Brings the line's database schema up to date and exits.", CheckConnInfo},
    {"import-records", "FILE.csv", "Brings a spill file (or an export) into the database and exits.", nullptr},
};

void Refuse(CommandLine& line, const QString& why)
{
    line.exitCode = 2;
    line.error = QStringLiteral("vorlaine: %1\n\n%2").arg(why, CommandLineHelp());
}

} // namespace

std::optional<QString> CommandLine::Value(const char* name) const
{
    const auto it = values.find(QString::fromLatin1(name));
    return it == values.end() ? std::nullopt : std::optional(it->second);
}

QString CommandLineHelp()
{
    QString text = QStringLiteral("Usage: vorlaine [OPTION...]\n"
                                  "Test station for capacitive touch-panel sensors.\n\n"
                                  "  -h, --help     Prints this help and exits.\n"
                                  "  -v, --version  Prints the version and exits.\n");
    for (const OptionRow& row : OPTIONS)
        text += QStringLiteral("  --%1=%2\n      %3\n").arg(QLatin1String(row.name), QLatin1String(row.valueName),
                                                          QLatin1String(row.help));
    return text + QStringLiteral("\nEvery option takes its value after '=' or after a blank. Exit status 2: a mistake on "
                                 "the command line.\n");
}

CommandLine ParseCommandLine(const QStringList& arguments)
{
    CommandLine line;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    for (const OptionRow& row : OPTIONS)
        parser.addOption(QCommandLineOption(QString::fromLatin1(row.name), QString(), QString::fromLatin1(row.valueName)));

    if (!parser.parse(arguments)) {
        Refuse(line, parser.errorText());
        return line;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        line.exitCode = 0;
        line.output = parser.isSet(help) ? CommandLineHelp() : QStringLiteral("vorlaine %1\n").arg(ProgramVersionText());
        return line;
    }
    if (!parser.positionalArguments().isEmpty()) {
        Refuse(line, QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().constFirst()));
        return line;
    }
    for (const OptionRow& row : OPTIONS) {
        const QString name = QString::fromLatin1(row.name);
        const QStringList given = parser.values(name);
        if (given.isEmpty())
            continue;
        const QString& value = given.constFirst();
        QString wrong;
        if (given.size() > 1)
            wrong = QStringLiteral("--%1 is given twice").arg(name);
        // "--station --lang=en" took the next option for the value that was forgotten.
        else if (value.isEmpty() || value.startsWith(QLatin1String("--")))
            wrong = QStringLiteral("--%1 needs a value").arg(name);
        else if (row.check != nullptr)
            wrong = row.check(value);
        if (!wrong.isEmpty()) {
            Refuse(line, wrong);
            return line;
        }
        line.values[name] = value;
    }

    const bool exporting = line.Value("export-records").has_value();
    if (exporting && line.Value("import-records"))
        Refuse(line, QStringLiteral("--export-records and --import-records do not go together"));
    else if (!exporting && (line.Value("since") || line.Value("until")))
        Refuse(line, QStringLiteral("--since and --until go with --export-records"));
    if (line.exitCode)
        return line;
    if (const auto since = line.Value("since"))
        ParseUtc(since->toStdString(), &line.sinceMs);
    if (const auto until = line.Value("until"))
        ParseUtc(until->toStdString(), &line.untilMs);
    if (line.untilMs < line.sinceMs)
        Refuse(line, QStringLiteral("--until lies before --since"));
    return line;
}
