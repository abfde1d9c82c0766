#include "cvorlaine_app.h"

#include "command_ids.h"
#include "command_line.h"
#include "cvorlaine_dlg.h"
#include "demo_mode.h"
#include "device_monitor.h"
#include "hidapi_backend.h"
#include "language.h"
#include "line_schema.h"
#include "line_settings.h"
#include "record_spill.h"
#include "record_store.h"
#include "records_csv.h"
#include "single_instance.h"
#include "termination_signals.h"

#include <QApplication>
#include <QDialog>
#include <QTextStream>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace {
std::string StorePath(const CommandLine& line)
{
    const auto records = line.Value("records");
    return records ? records->toStdString() : RecordStore::DefaultPath();
}

// For a line's reporting scripts: records to CSV without a window, beside a running station. It
// sees only what the station has stored: a store it cannot read wholly fails the export.
int ExportWithoutWindow(const QString& csv, const CommandLine& line)
{
    const std::string store = StorePath(line);
    const ExportResult result = ExportRecords(store, line.sinceMs, line.untilMs, csv.toStdString());
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
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine line = ParseCommandLine(arguments);
    if (line.exitCode) {
        std::fputs(line.output.toLocal8Bit().constData(), stdout);
        std::fputs(line.error.toLocal8Bit().constData(), stderr);
        return *line.exitCode;
    }
    if (const auto csv = line.Value("export-records"))
        return ExportWithoutWindow(*csv, line);
    if (const auto csv = line.Value("import-records"))
        return ImportWithoutWindow(*csv, line);
    if (const auto conninfo = line.Value("line-migrate")) {
        std::string message;
        const int code = LineMigrateCommand(conninfo->toStdString(), &message);
        std::fprintf(code == 0 ? stdout : stderr, "%s\n", message.c_str());
        return code;
    }
    if (const auto conninfo = line.Value("line")) {
        Recording().lineConninfo = conninfo->toStdString();
    } else {
        std::string error;
        if (!ReadLineSetting(StationSettingsPath(), &Recording().lineConninfo, &error))
            std::fprintf(stderr, "vorlaine: %s; the records stay on this station\n", error.c_str());
    }
    if (const auto records = line.Value("records"))
        Recording().storePath = *records;
    if (const auto station = line.Value("station"))
        Recording().stationId = *station;
    if (const auto hold = line.Value("hold-ms"))
        Recording().holdMs = hold->toInt();
    if (const auto rate = line.Value("repaint-rate"))
        GridDisplay().repaintRate = rate->toInt();

    // Before Qt exists: a later start waits here, showing nothing, until this one has ended.
    AcquireSingleInstance();
    HidapiBackend::EnsureUtf8Ctype();

    const std::optional<QString> simulate = line.Value("simulate");

    // hidapi is initialised on this thread before any other thread starts.
    std::unique_ptr<HidapiBackend> hidapi;
    if (!simulate)
        hidapi = std::make_unique<HidapiBackend>();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorlaine"));
    QApplication::setQuitOnLastWindowClosed(false);
    if (!InstallLanguage(app, ChooseLanguage(line.Value("lang"))))
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
