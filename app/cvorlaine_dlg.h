#pragma once
// The main window: the live grid, the menu, the keyboard code, and the engine that finds the
// boards and polls them.
#include "acquisition_engine.h"
#include "board_jobs.h"
#include "colorbar.h"
#include "engine_host.h"
#include "keyboard_code.h"
#include "master_acknowledge_sink.h"
#include "placement_tracker.h"
#include "ui_mailbox.h"

#include <QDialog>
#include <QIcon>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class CDialogCapView;
struct Configuration;
struct BaselineEdit;
class QLabel;
class QProgressBar;
class QStatusBar;
class LineForwarder;
class StationRecorder;

// Where the window keeps its test records and the station's name in them; empty means the
// default file and the host name. Set before the window is made.
struct RecordingOptions {
    QString storePath;
    QString stationId;
    // How long a FAIL (or an emptied position) must hold before it counts.
    std::int64_t holdMs = PlacementTracker::DEFAULT_HOLD_MS;
    // The line's database (libpq connection string); empty: the records stay on this station.
    std::string lineConninfo;
};
RecordingOptions& Recording();

// How the window shows the grid; set before the window is made.
struct DisplayOptions {
    // Grid repaints a second at most; verdicts and lamps follow every pass whatever this is.
    int repaintRate = 30;
};
DisplayOptions& GridDisplay();

// Board kinds as the test records name them.
inline constexpr const char* BOARD_ONE_TO_ONE = "one-to-one";
inline constexpr const char* BOARD_SMART_MASTER = "smart-master";
inline constexpr const char* BOARD_OFFLINE_MASTER = "offline-master";
inline constexpr const char* BOARD_CLASSIC = "classic";
class DeviceEventSource;
class HidBackend;
class QAction;
class QMenu;

class CVorlaineDlg final : public QDialog, public EngineHost, public MasterAcknowledgeSink {
    Q_OBJECT

public:
    // Creates the HID notification source; nullptr means registering failed.
    using EventSourceFactory = std::function<std::unique_ptr<DeviceEventSource>()>;

    // Runs the start-up sequence at once, the first connection pass included, with the one-to-one
    // device type `deviceType` selected (the "设备类型" menu's index, 0 = basic).
    CVorlaineDlg(HidBackend& backend, EventSourceFactory eventSource, QWidget* parent = nullptr, int deviceType = 0);
    ~CVorlaineDlg() override;

    void SetTitle(const QString& title) override;
    void PostTitle(const QString& title, std::uint64_t generation) override;
    void ReportAccessDenied(const std::string& path) override;
    void OnPassJudged(std::uint64_t generation, const std::bitset<64>& fresh) override;
    void OnBoardsGone() override;
    void OnDeviceIdRead() override;
    void OnBoardActivity(const QString& text) override;
    // The offline master's acknowledge of a text write.
    void ShowAcknowledge(const std::string& text) override;

    // Runs the command with that id as the menu would.
    void OnCommand(int id);
    // Runs the update handlers of one popup, as happens whenever it opens.
    void OnInitMenuPopup(QMenu* popup);
    QAction* ActionOf(int id) const;
    void OnDeviceChange(bool arrival);

    // The File menu's configuration commands; the *From / *To forms skip the file dialog. A file
    // the grid cannot hold, or a save that failed, is reported in a message box.
    void LoadConfiguration();
    void SaveConfiguration();
    void LoadOldConfiguration();
    bool LoadConfigurationFrom(const QString& path);
    bool SaveConfigurationTo(const QString& path);
    void LoadOldConfigurationFrom(const QString& path);
    // Help > "关于(&A)": the information dialog of each connected board, one after the other.
    void ShowBoardInformation();
    // The program's own About box, without board data.
    void ShowAboutBox();
    // A click on the grid: the baseline dialog for the clicked cell, when a board is connected.
    void OnGridClicked();

    CColorBar grid;
    QIcon icon;
    AcquisitionEngine engine; // after grid: it is stopped and destroyed first
    // Menu "创建视频窗口": opens the camera window, or closes it and releases the camera.
    void OnVideoWindow();

    // Test records: one per sensor placement, counted in the status line and kept in the
    // station's database.
    std::unique_ptr<StationRecorder> recorder;
    // Forwards the station's records to the line's database when one is configured.
    std::unique_ptr<LineForwarder> lineForwarder;
    // "产线: 已同步" and the like; empty without a line.
    QString LineStatusText() const;
    // File > "导出测试记录…": asks for the time range and the file, then exports with a progress
    // dialog. The *To form skips the questions.
    void ExportTestRecords();
    bool ExportTestRecordsTo(const QString& csvPath, std::int64_t sinceMs, std::int64_t untilMs);
    void ResetYieldCounters();
    // The counters, the warnings (unsaved records, the spill file), and both in one line.
    QString RecordsCountersText() const;
    QString RecordsWarningText() const;
    QString RecordsStatusText() const;

    // Whether board work the window asked for (a connection pass, an initialisation, a download,
    // an information read or write) is queued or running; commands that need the boards are
    // disabled meanwhile.
    bool BoardsBusy() const { return boardWork_ > 0; }
    // What the boards are doing, as the status bar says it; empty when idle.
    QString BoardActivityText() const;
    QStatusBar* statusBar() const { return statusBar_; }

    CDialogCapView* captureView = nullptr;
    bool captureViewOpen = false;
    int fpcMenuUnlocked = 1;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

public slots:
    void accept() override {} // Enter never closes the window
    void reject() override {} // nor does Escape

private:
    bool OnInitDialog();
    void RegisterHidNotification();
    void OnClose();
    void OnSize();
    void HandPagesToGrid();
    void OnDeviceType(int index);
    void ConnectBoards();
    void RetryInitIfPending();
    void UpdateItem(QAction* action);
    QString AskOpenPath();
    void DownloadPage(int page);
    Q_INVOKABLE void ApplyPostedTitle();
    void SetUpRecording();
    void NoteRecordingBoard();
    // Any thread: the recorder's board, from the UI thread's part and the engine's device id.
    void ApplyRecordingBoard();
    void NoteConfigurationFile(const QString& path);
    void UpdateRecordsStatus();
    Q_INVOKABLE void ShowRecordsProblem();

    // Board work off the UI thread: `job` runs on the board thread, then `done` on the UI thread.
    // A command (menu, grid click) is refused while other board work is outstanding; device
    // events and retries always queue. Returns whether the job was queued.
    enum class BoardWork { Command, Event };
    bool RunOnBoards(BoardWork kind, std::function<void()> job, std::function<void()> done = {},
                     bool cancellable = false);
    // Any thread: what the status bar says the boards are doing; total 0 means no count.
    void ReportActivity(const QString& text, int done = 0, int total = 0);
    void EndActivity();
    void SetUpStatusBar();
    void UpdateStatusBar();
    void UpdateBoardCommands();
    void ConnectBoardsOnBoardThread();
    // The information dialogs one board after the other: reads before, writes after OK.
    void BoardInformationStep(int board);
    void DownloadBaseline(const BaselineEdit& edit);
    void DownloadConfiguration(std::shared_ptr<const Configuration> configuration, QString path,
                               std::vector<int> defaultedPages);

    EventSourceFactory eventSourceFactory_;
    int startDeviceType_ = 0;
    std::unique_ptr<DeviceEventSource> eventSource_;
    KeyboardCode keyboard_;
    std::map<int, std::function<void()>> commands_;
    bool closing_ = false;
    QTimer initRetry_; // one more connection pass for a board whose initialisation went unanswered
    // The worker's latest title, waiting for the UI thread.
    std::mutex postedTitleMutex_;
    QString postedTitle_;
    std::uint64_t postedGeneration_ = 0;
    bool titleCallQueued_ = false;
    QLabel* recordsStatus_ = nullptr;
    QTimer recordsStatusTimer_;
    std::uint64_t shownCountersGeneration_ = ~std::uint64_t{0};
    std::vector<ObservedCell> observed_; // the worker's, reused every pass
    // The record writer's latest problem, waiting for the UI thread.
    std::mutex recordsProblemMutex_;
    QString recordsProblem_;
    bool recordsFailing_ = false; // UI thread
    QString announcedSpill_;      // UI thread: the spill file the operator has been told of
    // Device ids read from the boards since they were connected, by board kind.
    std::map<std::string, std::string> knownDeviceIds_;
    // The recorded board as the UI thread knows it (kind, the tag or init-read id before the device
    // id, an id the information dialog read); the worker adds the device id it read.
    std::mutex recordingBoardMutex_;
    std::string recordingKind_, recordingPrefix_, recordingKnownId_;

    std::uint64_t infoConnection_ = 0; // the connection the information walk started on
    // Board work: the UI thread's count of jobs whose `done` has not run yet.
    int boardWork_ = 0;
    // Moves on at every removal the window hears of: a download stops at the next page.
    std::atomic<std::uint64_t> removals_{0};
    mutable std::mutex activityMutex_;
    QString activityText_; // behind activityMutex_
    int activityDone_ = 0, activityTotal_ = 0;
    std::chrono::steady_clock::time_point activitySince_{};
    QStatusBar* statusBar_ = nullptr;
    QLabel* activityLabel_ = nullptr;
    QProgressBar* activityProgress_ = nullptr;
    QLabel* recordsWarning_ = nullptr;
    QLabel* stationLabel_ = nullptr;
    QLabel* configurationLabel_ = nullptr;
    QLabel* lineLabel_ = nullptr;
    QString configurationName_;
    QTimer statusTimer_;
    // Last members: the board thread ends (and the mailbox goes) before anything it uses.
    UiMailbox mailbox_;
    BoardJobs boardJobs_;
};
