#include "cvorlaine_app.h"

#include "cvorlaine_dlg.h"
#include "demo_mode.h"
#include "device_monitor.h"
#include "hidapi_backend.h"
#include "single_instance.h"

#include <QApplication>
#include <QTextStream>

#include <cstring>
#include <memory>

int CVorlaineApp::InitInstance(int argc, char** argv)
{
    // Before Qt exists: a later start waits here, showing nothing, until this one has ended.
    AcquireSingleInstance();
    HidapiBackend::EnsureUtf8Ctype();

    std::optional<QString> simulate;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--simulate=", 11) == 0)
            simulate = QString::fromUtf8(argv[i] + 11);

    // hidapi is initialised on this thread before any other thread starts.
    std::unique_ptr<HidapiBackend> hidapi;
    if (!simulate)
        hidapi = std::make_unique<HidapiBackend>();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorlaine"));
    QApplication::setQuitOnLastWindowClosed(false);

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
