// How long the UI thread's event loop goes without a turn while the window works with boards on
// the simulated bus: a 5 ms timer measures its own lateness. Each scenario runs with every USB
// transfer taking 1 ms and again with 10 ms. Then the time from making the window to its first
// paint, for every demo kind.
//
//   bench_ui_stall [--quick] [--trace-stalls] [--screenshots=DIR]
//   (offscreen; --quick skips the 10 ms round; --trace-stalls prints the UI thread's stack
//   whenever it goes 40 ms without a turn; --screenshots saves the window during a 16-page
//   download in both languages instead)
#include "cbaseline_dlg.h"
#include "command_ids.h"
#include "cvorlaine_dlg.h"
#include "demo_mode.h"
#include "language.h"
#include "maker_domain.h"
#include "sim_bus.h"
#include "sim_classic_board.h"
#include "sim_device_events.h"
#include "sim_master_board.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <execinfo.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace {
using namespace std::chrono_literals;

// --trace-stalls: the UI thread's stack, printed whenever it has gone 40 ms without a turn.
std::atomic<std::int64_t> lastTurnMs{0};
std::atomic<bool> tracing{false};
pthread_t uiThread;

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void printStack(int)
{
    void* frames[64];
    const int n = backtrace(frames, 64);
    const char line[] = "--- UI thread stalled:\n";
    (void)!write(2, line, sizeof line - 1);
    backtrace_symbols_fd(frames, n, 2);
}

void watchStalls()
{
    std::thread([] {
        std::int64_t reported = 0;
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const std::int64_t last = lastTurnMs.load();
            if (tracing && last != 0 && nowMs() - last > 40 && last != reported) {
                reported = last;
                pthread_kill(uiThread, SIGUSR2);
            }
        }
    }).detach();
}

// The longest time between two turns of the event loop, less the probe's own interval.
class StallProbe {
public:
    StallProbe()
    {
        timer_.setInterval(INTERVAL_MS);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 gap = clock_.restart();
            lastTurnMs = nowMs();
            worst_ = std::max(worst_, gap - INTERVAL_MS);
        });
        clock_.start();
        timer_.start();
    }
    qint64 worst() const { return worst_; }

private:
    static constexpr int INTERVAL_MS = 5;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 worst_ = 0;
};

bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline = 60s)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Accepts every modal dialog that opens (the information dialogs' OK, the baseline dialog's).
class AcceptDialogs {
public:
    explicit AcceptDialogs(std::function<void(QDialog*)> drive = {}) : drive_(std::move(drive))
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            if (drive_)
                drive_(dialog);
            dialog->accept();
        });
        timer_.start(20);
    }

private:
    std::function<void(QDialog*)> drive_;
    QTimer timer_;
};

std::string grid8x8(int upper)
{
    std::string text = "[GLOBAL]\r\nFPCTEST=0\r\nCOL=8\r\nROW=8\r\n";
    for (int p = 0; p < 64; ++p) {
        char section[48];
        std::snprintf(section, sizeof section, "[PAGE%02d_THRESHOLDHIGH]\r\n", p);
        text += section;
        for (int k = 0; k < 32; ++k)
            text += "CH" + std::string(k < 10 ? "0" : "") + std::to_string(k) + "=" + std::to_string(upper + p) + "\r\n";
    }
    return text;
}

std::shared_ptr<SimMasterBoard> master4x4()
{
    std::vector<std::uint8_t> stations(16);
    for (std::size_t i = 0; i < stations.size(); ++i)
        stations[i] = static_cast<std::uint8_t>(i);
    auto board = std::make_shared<SimMasterBoard>(stations);
    SimMasterBoard::Record record = board->record();
    record.columns = 4;
    record.rows = 4;
    board->setRecord(record);
    std::array<std::uint8_t, 32> map{};
    for (std::size_t i = 0; i < 16; ++i) {
        map[2 * i] = static_cast<std::uint8_t>((i % 4) << 4 | (i / 4));
        map[2 * i + 1] = static_cast<std::uint8_t>(0x80 | stations[i]);
    }
    board->setCellMap(map);
    return board;
}

struct Row {
    const char* scenario;
    qint64 stallMs;
    qint64 tookMs;
};

void print(const Row& row, int transferMs)
{
    std::printf("%-44s %4d ms/transfer   longest stall %5lld ms   took %6lld ms   %s\n", row.scenario, transferMs,
                static_cast<long long>(row.stallMs), static_cast<long long>(row.tookMs),
                row.stallMs < 50 ? "ok" : "MISSED");
    std::fflush(stdout);
}

template <typename Scenario>
Row measure(const char* name, Scenario&& scenario)
{
    QElapsedTimer took;
    took.start();
    StallProbe probe;
    scenario();
    return {name, probe.worst(), took.elapsed()};
}

QString shotDir; // --screenshots=DIR: the window during a 16-page download, in both languages

// The window while a 16-page configuration goes to a 4 x 4 master, once the count has reached 5.
void downloadShots(QApplication& app)
{
    for (const Language language : {Language::Chinese, Language::English}) {
        InstallLanguage(app, language);
        SimBus bus;
        bus.setTransferDelay(10ms);
        bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), master4x4());
        CVorlaineDlg dlg(bus, [&bus] { return std::make_unique<SimDeviceEvents>(bus); });
        dlg.resize(1366, 768);
        dlg.show();
        runUntil([&] { return dlg.engine.WorkerRunning() && !dlg.BoardsBusy(); });
        QTemporaryDir dir;
        std::string text = grid8x8(1300);
        text.replace(text.find("COL=8"), 5, "COL=4");
        text.replace(text.find("ROW=8"), 5, "ROW=4");
        const QString path = dir.filePath(QStringLiteral("line-a.ini"));
        std::ofstream(path.toStdString(), std::ios::binary) << text;
        dlg.LoadConfigurationFrom(path);
        runUntil([&] { return dlg.BoardActivityText().contains(QStringLiteral(" 5/16")); });
        runUntil([] { return false; }, 300ms); // the status bar's next refresh
        const QString file = QStringLiteral("%1/download-%2.png").arg(shotDir, language == Language::English ? "en" : "zh");
        dlg.grab().save(file);
        std::printf("saved %s (status: %s)\n", qPrintable(file), qPrintable(dlg.BoardActivityText()));
        runUntil([&] { return !dlg.BoardsBusy(); });
        dlg.close();
        runUntil([&] { return !dlg.BoardsBusy(); });
    }
    RemoveLanguage(app);
}

void runRound(int transferMs)
{
    SimBus bus;
    bus.setTransferDelay(std::chrono::milliseconds(transferMs));
    auto window = std::make_unique<CVorlaineDlg>(bus, [&bus] { return std::make_unique<SimDeviceEvents>(bus); });
    CVorlaineDlg& dlg = *window;
    dlg.show();
    runUntil([&] { return !dlg.BoardsBusy(); });

    int masterId = 0;
    print(measure("a 4 x 4 offline master is plugged",
                  [&] {
                      masterId = bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), master4x4());
                      runUntil([&] { return dlg.engine.WorkerRunning() && !dlg.BoardsBusy(); });
                  }),
          transferMs);

    print(measure("its information dialog's OK",
                  [&] {
                      AcceptDialogs accept;
                      dlg.OnCommand(ID_ABOUT);
                      runUntil([&] { return !dlg.BoardsBusy(); });
                  }),
          transferMs);

    const int classicId = bus.plug(SimClassicBoard::Identity(MAKER_DOMAIN), std::make_shared<SimClassicBoard>());
    runUntil([&] { return dlg.engine.classicAbsent == 0 && !dlg.BoardsBusy(); }, 30s);
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("8x8.ini")).toStdString();
    std::ofstream(path, std::ios::binary) << grid8x8(1200);
    print(measure("an 8 x 8 configuration is loaded (master, classic)",
                  [&] {
                      dlg.LoadConfigurationFrom(QString::fromStdString(path));
                      runUntil([&] { return !dlg.BoardsBusy(); }, 300s);
                  }),
          transferMs);

    print(measure("the baseline dialog's OK",
                  [&] {
                      AcceptDialogs accept([](QDialog* d) {
                          if (auto* baseline = qobject_cast<CBaseLineDlg*>(d)) {
                              baseline->OnAllOn();
                              baseline->OnRead();
                              baseline->OnAverage();
                              baseline->OnSet();
                          }
                      });
                      const QPointF at(5, 5);
                      QMouseEvent down(QEvent::MouseButtonPress, at, dlg.grid.mapToGlobal(at), Qt::LeftButton,
                                       Qt::LeftButton, Qt::NoModifier);
                      QApplication::sendEvent(&dlg.grid, &down);
                      runUntil([&] { return !dlg.BoardsBusy(); });
                  }),
          transferMs);

    bus.setOutputStall(masterId, 300ms);
    bus.setOutputStall(classicId, 300ms);
    print(measure("closing with every output report stalled 300 ms",
                  [&] {
                      dlg.close();
                      runUntil([&] { return !dlg.BoardsBusy(); });
                  }),
          transferMs);
    window.reset();
}

// From making the window to its grid's first paint, on each demo's bus.
void firstPaints()
{
    for (const char* kind : {"runoff", "master:4x4", "master", "kelspire", "classic"}) {
        QString error;
        auto demo = DemoBench::Create(QString::fromLatin1(kind), &error);
        if (!demo) {
            std::printf("%s: %s\n", kind, qPrintable(error));
            continue;
        }
        QElapsedTimer clock;
        clock.start();
        qint64 firstPaint = -1;
        CVorlaineDlg dlg(demo->backend(), [&demo] { return demo->eventSource(); }, nullptr, demo->deviceType());
        struct PaintWatch : QObject {
            std::function<void()> seen;
            bool eventFilter(QObject*, QEvent* event) override
            {
                if (event->type() == QEvent::Paint && seen)
                    seen();
                return false;
            }
        } watch;
        watch.seen = [&] {
            if (firstPaint < 0)
                firstPaint = clock.elapsed();
        };
        dlg.grid.installEventFilter(&watch);
        demo->Start(dlg);
        runUntil([&] { return firstPaint >= 0; }, 10s);
        runUntil([&] { return !dlg.BoardsBusy(); }, 30s);
        const qint64 ready = clock.elapsed();
        std::printf("first paint %-12s %5lld ms   boards ready after %5lld ms   %s\n", kind,
                    static_cast<long long>(firstPaint), static_cast<long long>(ready),
                    firstPaint >= 0 && firstPaint < 1000 ? "ok" : "MISSED");
        std::fflush(stdout);
        dlg.grid.removeEventFilter(&watch);
        dlg.close();
        runUntil([&] { return !dlg.BoardsBusy(); });
    }
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8()); // the records of these runs go nowhere that matters
    Recording().storePath = state.filePath(QStringLiteral("records.sqlite"));
    QApplication app(argc, argv);
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        quick = quick || std::string(argv[i]) == "--quick";
        if (std::string(argv[i]).rfind("--screenshots=", 0) == 0)
            shotDir = QString::fromLocal8Bit(argv[i] + 14);
        if (std::string(argv[i]) == "--trace-stalls") {
            uiThread = pthread_self();
            std::signal(SIGUSR2, printStack);
            tracing = true;
            watchStalls();
        }
    }
    if (!shotDir.isEmpty()) {
        downloadShots(app);
        return 0;
    }
    for (const int transferMs : {1, 10}) {
        if (quick && transferMs == 10)
            break;
        runRound(transferMs);
    }
    firstPaints();
    return 0;
}
