#pragma once
// Board detection, the acquisition worker and device arrival / removal. The main window owns one
// engine; the engine owns one protocol object per board kind and the connection state.
//
// Threads: ConnectBoards, OnDeviceArrival, OnDeviceRemoval and Start/StopAcquisition run on one
// connection thread at a time (the window's board thread; a test's own thread); AcquirePass runs
// on the worker. Flags both threads touch are atomics. Lock order: csConnect,
// csAcquire and the init locks before any board lock; the page-table and grid locks are never held
// during a board exchange.
#include "cclassic_tester.h"
#include "critical_section.h"
#include "hiddata_kelspire.h"
#include "hiddata_masterHID.h"
#include "hiddata_pendrake.h"
#include "hiddata_simple_runoff.h"

#include <QString>

#include <array>
#include <atomic>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>

class CColorBar;
class EngineHost;
class HidBackend;

// Set by connection passes on the board thread, read by the menu on the UI thread.
struct DeviceTypeItem {
    std::atomic<std::uint8_t> selected{0};
    std::atomic<std::uint8_t> available{1};
    DeviceTypeItem() = default;
    DeviceTypeItem(const DeviceTypeItem& other) { *this = other; }
    DeviceTypeItem& operator=(const DeviceTypeItem& other)
    {
        selected = other.selected.load();
        available = other.available.load();
        return *this;
    }
};

namespace title {
inline const QString RUNOFF = QString::fromUtf8(QT_TRANSLATE_NOOP("title", "Drovane 设备已经连接"));
inline const QString KELSPIRE = QString::fromUtf8(QT_TRANSLATE_NOOP("title", "Kelspire 设备已经连接"));
inline const QString MASTER = QString::fromUtf8(QT_TRANSLATE_NOOP("title", "Drovane 脱机版本设备已经连接"));
inline const QString CLASSIC = QString::fromUtf8(QT_TRANSLATE_NOOP("title", "ClassicTester 设备已经连接"));
inline const QString DISCONNECTED = QString::fromUtf8(QT_TRANSLATE_NOOP("title", "设备已经断开"));
inline const QString EMERGENCY = QString::fromUtf8(QT_TRANSLATE_NOOP("title", "急停按钮被触发!"));
inline const QString ARRIVED = QString::fromUtf8(QT_TRANSLATE_NOOP("title", "USB设备已经插入"));
} // namespace title

class AcquisitionEngine {
public:
    AcquisitionEngine(HidBackend& backend, CColorBar& grid, EngineHost& host);
    ~AcquisitionEngine(); // stops and joins the worker
    AcquisitionEngine(const AcquisitionEngine&) = delete;
    AcquisitionEngine& operator=(const AcquisitionEngine&) = delete;

    void ConnectBoards();
    void StartAcquisition();
    // Clears running and waits for the pass in progress to end.
    void StopAcquisition();
    void AcquisitionThreadProc();
    void AcquirePass();
    void OnDeviceArrival();
    void OnDeviceRemoval();

    void SelectDeviceType(int index); // 0 = basic, 1..5 = machines; others are ignored
    int SelectedDeviceType() const;
    // The first device type whose probe chain opens a one-to-one board on `backend` (opening
    // only, no report is sent); -1 when none does.
    static int DeviceTypeFinding(HidBackend& backend);
    // The offline master's station count, its ready flag.
    int MasterStationCount();
    void SetMasterStationCount(std::uint8_t count);
    bool WorkerRunning() const { return workerAlive_.load(); }
    // Moves on whenever the worker is told to stop; titles it posted before then are dropped.
    std::uint64_t TitleGeneration() const { return titleGeneration_.load(); }
    // Whether the last connection pass left a board's initialisation undone (a read got no reply);
    // the next pass runs it again. Until then the page table holds no settings of the board, and
    // nothing is judged.
    bool InitPending() const { return initPending_.load(); }
    // Moves on whenever the boards the window showed went away; a dialog opened for a board
    // compares it before writing to that board.
    std::uint64_t ConnectionGeneration() const { return connectionGeneration_.load(); }
    // Any thread: the connected board's device id, read by the worker once the connection
    // exchange is over; empty before that, once the board has gone, and for the classic tester
    // (whose initialisation reads it: classic.deviceId).
    std::string DeviceId() const;
    // A page with no answered read for this long is no longer tested: its values are old.
    static constexpr std::chrono::milliseconds STALE_AFTER{1000};

    std::atomic<int> runoffAbsent{1};
    std::atomic<int> kelspireAbsent{1};
    std::atomic<int> masterAbsent{1};
    std::atomic<int> classicAbsent{1};
    std::atomic<int> runoffReady{0};
    std::atomic<int> kelspireReady{0};
    std::atomic<int> classicReady{0};
    hiddata_pendrake pendrake;
    hiddata_masterHID master;
    hiddata_kelspire kelspire;
    hiddata_simple_runoff runoff;
    CClassicTester classic;
    DeviceTypeItem deviceTypes[6];
    std::string oemTag;
    std::atomic<int> running{0};
    CriticalSection csConnect;
    CriticalSection csAcquire;
    CriticalSection csKelspireInit;
    CriticalSection csMasterInit;
    CriticalSection csSpare;
    std::atomic<int> buzzerOn{0};
    std::atomic<int> buzzerInverted{0};

    // Worker state that outlives a worker: the next smart-master page and classic channel.
    std::uint8_t kelspireStation = 0;
    std::int32_t classicChannel = 0;
    // Latched by the offline master's emergency-stop input; only the operator clears it.
    std::atomic<bool> emergencyStop{false};

private:
    using PageSet = std::bitset<64>;
    enum class Board { None, Runoff, Kelspire, Master, Classic };
    void ProbeRunoff(int deviceType);
    // Starts the worker for `board`, unless it already runs for that board: re-initialising a
    // connected board keeps the placements on it.
    void StartAcquisitionFor(Board board);
    void BoardsGone();
    // The emergency stop latched: nothing is measured, so nothing stays tested.
    void JudgeNothing();
    // No page holds a measurement any more; every cell is untested until its next read.
    void ForgetMeasurements();
public:
    // Every cell untested: while a board initialises, the window paints, and nothing on it has
    // been measured yet.
    void MarkNothingMeasured();
private:
    bool MasterPass(); // false when the emergency stop (or a stop request) ended the pass
    void UpdateGrid();
    void WriteBoardOutputs();
    // Only a reply that came is data: a page whose read went unanswered keeps its values.
    void StoreMeasured(int page, const std::uint16_t* values);
    void PostTitleThrottled(const QString& title);
    void WaitStopEvent();
    void RequestStop();
    // On the worker, once it has been told to stop: the pass ends before its next board command.
    bool StopRequested() const;
    void ReportAccessDenied();
    // On the worker, before its first measurement: one read, repeated next pass if unanswered.
    void ReadDeviceIdOnce();
    void ForgetDeviceId();

    CColorBar& grid_;
    EngineHost& host_;
    std::thread worker_;
    std::atomic<bool> workerAlive_{false};
    std::atomic<std::uint64_t> titleGeneration_{0};
    std::uint64_t workerGeneration_ = 0; // the generation the running worker posts under
    std::atomic<bool> initPending_{false}; // set by the thread running the connection pass
    Board workerBoard_ = Board::None;    // connection thread: the board the running worker was started for
    std::atomic<std::uint64_t> connectionGeneration_{0};
    // Set while a connected board's settings could not be read; no cell is tested meanwhile.
    std::atomic<bool> tablesUnread_{false};
    std::set<std::string> reportedDenied_; // connection thread
    // Worker side: pages a connected board measures this pass, and pages that have had at least
    // one answered read since the worker started. A cell is tested when its page is in both.
    PageSet servedPages_;
    PageSet measuredPages_;
    PageSet freshPages_; // pages this pass brought a new, complete measurement
    std::array<std::chrono::steady_clock::time_point, 64> lastAnswered_{};
    // The classic tester's channels answered since its last complete sweep: it reads one a pass.
    std::bitset<33> classicSweep_;
    // Set before a worker starts, cleared by that worker once the board's device id is read.
    bool deviceIdUnread_ = false;
    mutable std::mutex deviceIdMutex_;
    std::string deviceId_; // behind deviceIdMutex_
    // Worker thread only: keeps the title from flooding the UI thread's queue.
    QString lastPostedTitle_;
    std::chrono::steady_clock::time_point lastPostedAt_{};
};
