#include "cvorlaine_app.h"

#include "cvorlaine_dlg.h"
#include "demo_mode.h"
#include "device_monitor.h"
#include "hidapi_backend.h"
#include "language.h"
#include "record_store.h"
#include "records_csv.h"
#include "single_instance.h"

#include <QApplication>
#include <QTextStream>

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {
// The value of "--name=value", or nothing.
std::optional<QString> Option(int argc, char** argv, const char* name)
{
    const std::size_t n = std::strlen(name);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], name, n) == 0 && argv[i][n] == '=')
            return QString::fromUtf8(argv[i] + n + 1);
    return std::nullopt;
}

// For a line's reporting scripts: records to CSV without a window, beside a running station.
int ExportWithoutWindow(const QString& csv, int argc, char** argv)
{
    std::int64_t since = 0, until = LLONG_MAX;
    const auto sinceText = Option(argc, argv, "--since"), untilText = Option(argc, argv, "--until");
    if ((sinceText && !ParseUtc(sinceText->toStdString(), &since)) ||
        (untilText && !ParseUtc(untilText->toStdString(), &until))) {
        std::fprintf(stderr, "vorlaine: --since and --until take ISO 8601 times, e.g. 2026-12-10T06:00:00Z "
                             "(no offset means UTC)\n");
        return 2;
    }
    const auto records = Option(argc, argv, "--records");
    const std::string store = records ? records->toStdString() : RecordStore::DefaultPath();
    const ExportResult result = ExportRecords(store, since, until, csv.toStdString());
    if (!result.ok) {
        std::fprintf(stderr, "vorlaine: export failed: %s\n", result.error.c_str());
        return 1;
    }
    std::printf("%lld test records written to %s\n", static_cast<long long>(result.rows), csv.toUtf8().constData());
    return 0;
}
} // namespace

int CVorlaineApp::InitInstance(int argc, char** argv)
{
    if (const auto csv = Option(argc, argv, "--export-records"))
        return ExportWithoutWindow(*csv, argc, argv);
    if (const auto records = Option(argc, argv, "--records"))
        Recording().storePath = *records;
    if (const auto station = Option(argc, argv, "--station"))
        Recording().stationId = *station;

    // Before Qt exists: a later start waits here, showing nothing, until this one has ended.
    AcquireSingleInstance();
    HidapiBackend::EnsureUtf8Ctype();

    const std::optional<QString> simulate = Option(argc, argv, "--simulate");

    // hidapi is initialised on this thread before any other thread starts.
    std::unique_ptr<HidapiBackend> hidapi;
    if (!simulate)
        hidapi = std::make_unique<HidapiBackend>();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorlaine"));
    QApplication::setQuitOnLastWindowClosed(false);
    if (!InstallLanguage(app, ChooseLanguage(Option(argc, argv, "--lang"))))
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

    HidBackend& backend = demo ? demo->backend() : static_cast<HidBackend&>(*hidapi);
    CVorlaineDlg::EventSourceFactory events;
    if (demo)
        events = [&demo] { return demo->eventSource(); };
    {
        CVorlaineDlg dlg(backend, events);
        if (demo)
            demo->Start(dlg);
        dlg.exec();
    }
    return 0;
}
