#include "cvorlaine_app.h"

#include "command_ids.h"
#include "cvorlaine_dlg.h"
#include "demo_mode.h"
#include "device_monitor.h"
#include "hidapi_backend.h"
#include "language.h"
#include "record_spill.h"
#include "record_store.h"
#include "records_csv.h"
#include "single_instance.h"
#include "termination_signals.h"

#include <QApplication>
#include <QDialog>
#include <QTextStream>

#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace {
// Options that take a value, as "--name=value" or "--name value".
constexpr const char* VALUE_OPTIONS[] = {"--export-records", "--import-records", "--since", "--until",
                                         "--records", "--station", "--simulate", "--lang", "--hold-ms"};

class CommandLine {
public:
    CommandLine(int argc, char** argv)
    {
        for (int i = 1; i < argc && error_.empty(); ++i) {
            for (const char* name : VALUE_OPTIONS) {
                const std::size_t n = std::strlen(name);
                if (std::strncmp(argv[i], name, n) != 0 || (argv[i][n] != '=' && argv[i][n] != '\0'))
                    continue;
                const char* value = argv[i][n] == '=' ? argv[i] + n + 1 : nullptr;
                if (!value && i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0)
                    value = argv[++i];
                if (!value)
                    error_ = std::string(name) + " needs a value";
                else if (!values_.emplace(name, QString::fromUtf8(value)).second)
                    error_ = std::string(name) + " is given twice";
                break;
            }
        }
    }
    // What is wrong with the command line; empty when nothing is.
    const std::string& Error() const { return error_; }
    std::optional<QString> Option(const char* name) const
    {
        const auto it = values_.find(name);
        return it == values_.end() ? std::nullopt : std::optional(it->second);
    }

private:
    std::map<std::string, QString> values_;
    std::string error_;
};

std::string StorePath(const CommandLine& line)
{
    const auto records = line.Option("--records");
    return records ? records->toStdString() : RecordStore::DefaultPath();
}

// For a line's reporting scripts: records to CSV without a window, beside a running station. It
// sees only what the station has stored: a store it cannot read wholly fails the export.
int ExportWithoutWindow(const QString& csv, const CommandLine& line)
{
    std::int64_t since = 0, until = LLONG_MAX;
    const auto sinceText = line.Option("--since"), untilText = line.Option("--until");
    if ((sinceText && !ParseUtc(sinceText->toStdString(), &since)) ||
        (untilText && !ParseUtc(untilText->toStdString(), &until))) {
        std::fprintf(stderr, "vorlaine: --since and --until take ISO 8601 times, e.g. 2026-12-10T06:00:00Z "
                             "(no offset means UTC)\n");
        return 2;
    }
    if (until < since) {
        std::fprintf(stderr, "vorlaine: --until lies before --since\n");
        return 2;
    }
    const std::string store = StorePath(line);
    const ExportResult result = ExportRecords(store, since, until, csv.toStdString());
    if (!result.ok) {
        std::fprintf(stderr, "vorlaine: export failed: %s\n", result.error.c_str());
        return 1;
    }
    std::printf("%lld test records written to %s\n", static_cast<long long>(result.rows), csv.toUtf8().constData());
    return 0;
}

// A spill file (or an export) back into the store; records already there are skipped.
int ImportWithoutWindow(const QString& csv, const CommandLine& line)
{
    const std::string store = StorePath(line);
    RecordStore s;
    std::string error;
    std::int64_t added = 0;
    if (!s.Open(store, false, &error, 5000) || !ImportRecords(csv.toStdString(), s, &added, &error)) {
        std::fprintf(stderr, "vorlaine: import failed: %s\n", error.c_str());
        return 1;
    }
    std::printf("%lld test records brought into %s from %s\n", static_cast<long long>(added), store.c_str(),
                csv.toUtf8().constData());
    return 0;
}

// A termination signal: dialogs open in front of the window are cancelled, as an operator would,
// so that nothing waits for an answer; then the window closes as "退出" closes it.
void EndAsExit(CVorlaineDlg& dlg)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog && dialog != &dlg && dialog->isVisible() && dialog->windowModality() != Qt::NonModal)
            dialog->reject();
    }
    dlg.OnCommand(ID_APP_EXIT);
}
} // namespace

int CVorlaineApp::InitInstance(int argc, char** argv)
{
    const CommandLine line(argc, argv);
    if (!line.Error().empty()) {
        std::fprintf(stderr, "vorlaine: %s\n", line.Error().c_str());
        return 2;
    }
    if (const auto csv = line.Option("--export-records"))
        return ExportWithoutWindow(*csv, line);
    if (const auto csv = line.Option("--import-records"))
        return ImportWithoutWindow(*csv, line);
    if (const auto records = line.Option("--records"))
        Recording().storePath = *records;
    if (const auto station = line.Option("--station"))
        Recording().stationId = *station;
    if (const auto hold = line.Option("--hold-ms")) {
        bool ok = false;
        const int ms = hold->toInt(&ok);
        if (!ok || ms < 0 || ms > 10000) {
            std::fprintf(stderr, "vorlaine: --hold-ms takes 0 to 10000 milliseconds\n");
            return 2;
        }
        Recording().holdMs = ms;
    }

    // Before Qt exists: a later start waits here, showing nothing, until this one has ended.
    AcquireSingleInstance();
    HidapiBackend::EnsureUtf8Ctype();

    const std::optional<QString> simulate = line.Option("--simulate");

    // hidapi is initialised on this thread before any other thread starts.
    std::unique_ptr<HidapiBackend> hidapi;
    if (!simulate)
        hidapi = std::make_unique<HidapiBackend>();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorlaine"));
    QApplication::setQuitOnLastWindowClosed(false);
    if (!InstallLanguage(app, ChooseLanguage(line.Option("--lang"))))
        QTextStream(stderr) << "vorlaine: the English translation could not be loaded; the interface stays Chinese\n";

    std::unique_ptr<DemoBench> demo;
    if (simulate) {
        QString error;
        demo = DemoBench::Create(*simulate, &error);
        if (!demo) {
            QTextStream(stderr) << "vorlaine: " << error << "\n" << DemoBench::Usage() << "\n";
            return 2;
        }
    }

    CVorlaineDlg* window = nullptr;
    bool ending = false;
    const TerminationSignals terminate([&](int) {
        ending = true;
        if (window)
            EndAsExit(*window);
    });

    HidBackend& backend = demo ? demo->backend() : static_cast<HidBackend&>(*hidapi);
    CVorlaineDlg::EventSourceFactory events;
    if (demo)
        events = [&demo] { return demo->eventSource(); };
    {
        CVorlaineDlg dlg(backend, events, nullptr, demo ? demo->deviceType() : 0);
        window = &dlg;
        if (demo)
            demo->Start(dlg);
        if (ending) // a signal while the window was being made
            EndAsExit(dlg);
        else
            dlg.exec();
        window = nullptr;
    }
    return 0;
}
