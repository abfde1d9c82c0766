// The command line: what each argument list starts, prints or refuses, parsed in-process; and the
// built program ending on --help, --version and mistakes before it opens a window.
#include "command_line.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

constexpr std::int64_t NONE = std::numeric_limits<std::int64_t>::min();

struct Case {
    QStringList args;
    int exitCode; // -1: the program goes on
    const char* shows = ""; // in what it prints (stdout for 0, stderr for 2)
    QStringList values = {}; // "name=value" of every option it goes on with
    std::int64_t sinceMs = NONE, untilMs = NONE;
};

TEST(CommandLine, ArgumentListsAndWhatTheyDo)
{
    const Case cases[] = {
        {{}, -1},
        {{"--help"}, 0, "--lang=en|zh"},
        {{"-h"}, 0, "--hold-ms=MS"},
        {{"--version"}, 0, "vorlaine 1.3.1.37"},
        {{"--simulate=master", "--version"}, 0, "1.3.1.37"},
        {{"--simulate", "master"}, -1, "", {"simulate=master"}},
        {{"--simulate=master:3x2@1.2.3,estop", "--lang", "en"}, -1, "", {"lang=en", "simulate=master:3x2@1.2.3,estop"}},
        {{"--station", "line 4", "--records=/tmp/r.sqlite", "--hold-ms", "250"},
         -1, "", {"hold-ms=250", "records=/tmp/r.sqlite", "station=line 4"}},
        {{"--export-records", "out.csv", "--since", "2026-12-10", "--until=2026-12-10T08:00:00+08:00"},
         -1, "", {"export-records=out.csv", "since=2026-12-10", "until=2026-12-10T08:00:00+08:00"}, 1796860800000, 1796860800000},
        {{"--import-records=spill.csv"}, -1, "", {"import-records=spill.csv"}},
        {{"--bogus"}, 2, "Unknown option 'bogus'"},
        {{"stray"}, 2, "unexpected argument \"stray\""},
        {{"--lang=fr"}, 2, "--lang takes en or zh"},
        {{"--hold-ms=soon"}, 2, "--hold-ms takes 0 to 10000"},
        {{"--hold-ms", "10001"}, 2, "--hold-ms takes 0 to 10000"},
        {{"--repaint-rate=0"}, 2, "--repaint-rate takes 1 to 100"},
        {{"--repaint-rate", "60"}, -1, "", {"repaint-rate=60"}},
        {{"--simulate=toaster"}, 2, "unknown board \"toaster\""},
        {{"--simulate", "master:9x9"}, 2, "1 to 16 cells"},
        {{"--simulate"}, 2, "Missing value after '--simulate'"},
        {{"--station=", "--lang=en"}, 2, "--station needs a value"},
        {{"--station", "--lang=en"}, 2, "--station needs a value"},
        {{"--lang=en", "--lang=zh"}, 2, "--lang is given twice"},
        {{"--export-records=out.csv", "--since=yesterday"}, 2, "ISO 8601"},
        {{"--export-records=out.csv", "--since=2026-12-10T14:00:00Z", "--until=2026-12-10T06:00:00Z"}, 2, "--until lies before --since"},
        {{"--since=2026-12-10"}, 2, "go with --export-records"},
        {{"--export-records=a.csv", "--import-records=b.csv"}, 2, "do not go together"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const CommandLine line = ParseCommandLine(QStringList{QStringLiteral("vorlaine")} + c.args);
        EXPECT_EQ(line.exitCode.value_or(-1), c.exitCode);
        const QString& printed = c.exitCode == 2 ? line.error : line.output;
        EXPECT_TRUE(printed.contains(QString::fromUtf8(c.shows))) << printed.toStdString();
        if (c.exitCode == 2) { // the mistake, then the usage
            EXPECT_TRUE(line.error.contains(QLatin1String("Usage: vorlaine"))) << line.error.toStdString();
        }
        if (c.exitCode != -1)
            continue;
        QStringList values;
        for (const auto& [name, value] : line.values)
            values << name + QLatin1Char('=') + value;
        EXPECT_EQ(values, c.values);
        if (c.sinceMs != NONE) {
            EXPECT_EQ(line.sinceMs, c.sinceMs);
            EXPECT_EQ(line.untilMs, c.untilMs);
        }
    }
}

// The manual page follows the table: every option the help names is in it.
TEST(CommandLine, TheManualPageListsEveryOption)
{
    QFile page(QStringLiteral(VORLAINE_SOURCE_DIR "/resources/debian/vorlaine.1"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString manual = QString::fromUtf8(page.readAll());
    const QRegularExpression option(QStringLiteral("--([a-z-]+)"));
    int options = 0;
    for (const QRegularExpressionMatch& m : option.globalMatch(CommandLineHelp())) {
        ++options;
        const QString roff = QStringLiteral("\\-\\-") + m.captured(1).replace(QLatin1Char('-'), QStringLiteral("\\-"));
        EXPECT_TRUE(manual.contains(roff)) << m.captured(0).toStdString();
    }
    EXPECT_GE(options, 11);
}

// No display and a real platform: a window, or even the application object, would end the
// program some other way than with these codes.
TEST(CommandLine, TheProgramEndsBeforeAnyWindow)
{
    QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    const struct {
        QStringList args;
        int exitCode;
        const char* stdoutHas;
        const char* stderrHas;
    } runs[] = {
        {{"--help"}, 0, "--simulate=KIND", ""},
        {{"--version"}, 0, "vorlaine 1.3.1.37", ""},
        {{"--simulate", "nonsense"}, 2, "", "unknown board"},
        {{"--lang=fr"}, 2, "", "Usage: vorlaine"},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.args.join(QLatin1Char(' ')).toStdString());
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VORLAINE_BINARY), run.args);
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), run.exitCode);
        const QString out = QString::fromUtf8(p.readAllStandardOutput()), err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_TRUE(out.contains(QString::fromUtf8(run.stdoutHas))) << out.toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(run.stderrHas))) << err.toStdString();
        EXPECT_EQ(run.exitCode == 0, err.isEmpty()) << err.toStdString();
    }
}

} // namespace
