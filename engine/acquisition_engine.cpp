#include "acquisition_engine.h"

#include "classic_routines.h"
#include "colorbar.h"
#include "engine_host.h"
#include "kelspire_routines.h"
#include "maker_domain.h"
#include "master_routines.h"
#include "page_table.h"
#include "runoff_routines.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <mutex>
#include <span>

namespace {
constexpr int MASTER_PAGES = 16; // the cell map covers 16 pages
constexpr auto TITLE_REPEAT = std::chrono::milliseconds(250);
constexpr auto STOP_EVENT_WAIT = std::chrono::milliseconds(200);

// Created signalled and never set again: the first wait returns at once, every later one times out.
std::atomic<bool> stopEventSignalled{true};

// Set on the worker thread: a stop request then ends its pass between two board commands.
thread_local bool onWorker = false;

constexpr int KELSPIRE_PAGES = 5;
const std::bitset<33> ALL_SHOWN_CHANNELS{0xFFFFFFFFULL}; // channels 0 to 31

std::string UpperCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}
} // namespace

AcquisitionEngine::AcquisitionEngine(HidBackend& backend, CColorBar& grid, EngineHost& host)
    : pendrake(backend), master(backend), kelspire(backend), runoff(backend), classic(backend), grid_(grid),
      host_(host)
{
    deviceTypes[0].selected = 1;
}

AcquisitionEngine::~AcquisitionEngine()
{
    StopAcquisition();
}

void AcquisitionEngine::SelectDeviceType(int index)
{
    if (index < 0 || index >= 6)
        return;
    for (int i = 0; i < 6; ++i)
        deviceTypes[i].selected = i == index ? 1 : 0;
}

int AcquisitionEngine::SelectedDeviceType() const
{
    for (int i = 0; i < 6; ++i)
        if (deviceTypes[i].selected)
            return i;
    return 0;
}

int AcquisitionEngine::MasterStationCount()
{
    ScopedLock guard(master.lock);
    return master.stationTable[0];
}

void AcquisitionEngine::SetMasterStationCount(std::uint8_t count)
{
    ScopedLock guard(master.lock);
    master.stationTable[0] = count;
}

namespace {
// One probe of a one-to-one chain and the OEM tag it sets; no tag leaves oemTag as it was.
struct ProbeStep {
    int (*probe)(hiddata_simple_runoff&, int machine);
    const char* tag;
};
const std::string MAKER_TAG = UpperCase(MAKER_DOMAIN);

constexpr ProbeStep BASIC_CHAIN[] = {
    {[](hiddata_simple_runoff& r, int) { return r.ConnectBasic(); }, "ODM"},
    {[](hiddata_simple_runoff& r, int) { return r.ConnectVersion2(0); }, nullptr},
    {[](hiddata_simple_runoff& r, int) { return r.ConnectVersion3(0); }, nullptr},
    {[](hiddata_simple_runoff& r, int) { return r.ConnectVersion6(0); }, nullptr},
    {[](hiddata_simple_runoff& r, int) { return r.ConnectVaskaro(); }, "VASKARO"},
    {[](hiddata_simple_runoff& r, int) { return r.ConnectTeluran(); }, "TELURAN"},
    {[](hiddata_simple_runoff& r, int) { return r.ConnectDanver(); }, "ROSKELLAN"},
    {[](hiddata_simple_runoff& r, int) { return r.ConnectMakerDomain(); }, ""}, // "" stands for MAKER_TAG
};
constexpr ProbeStep MACHINE_CHAIN[] = {
    {[](hiddata_simple_runoff& r, int n) { return r.ConnectVaskaroMachine(n); }, "VASKARO"},
    {[](hiddata_simple_runoff& r, int n) { return r.ConnectVersion2(n); }, nullptr},
    {[](hiddata_simple_runoff& r, int n) { return r.ConnectVersion3(n); }, nullptr},
    {[](hiddata_simple_runoff& r, int n) { return r.ConnectVersion6(n); }, nullptr},
    {[](hiddata_simple_runoff& r, int n) { return r.ConnectTeluranMachine(n); }, "TELURAN"},
    {[](hiddata_simple_runoff& r, int n) { return r.ConnectDanverMachine(n); }, "ROSKELLAN"},
};

// The step of the device type's chain that found a one-to-one board; nullptr when none did.
const ProbeStep* RunProbeChain(hiddata_simple_runoff& runoff, int type)
{
    const std::span<const ProbeStep> chain = type == 0 ? std::span<const ProbeStep>(BASIC_CHAIN)
                                                       : std::span<const ProbeStep>(MACHINE_CHAIN);
    for (const ProbeStep& step : chain)
        if (step.probe(runoff, type) == 0)
            return &step;
    return nullptr;
}
} // namespace

int AcquisitionEngine::DeviceTypeFinding(HidBackend& backend)
{
    hiddata_simple_runoff runoff(backend);
    for (int type = 0; type < 6; ++type)
        if (RunProbeChain(runoff, type))
            return type;
    return -1;
}

void AcquisitionEngine::ProbeRunoff(int type)
{
    if (const ProbeStep* step = RunProbeChain(runoff, type)) {
        runoffAbsent = 0;
        if (step->tag)
            oemTag = *step->tag ? step->tag : MAKER_TAG;
        return;
    }
    oemTag.clear();
    runoffAbsent = 1;
}

void AcquisitionEngine::ConnectBoards()
{
    ScopedLock guard(csConnect);
    initPending_ = false;
    host_.OnBoardActivity(QString::fromUtf8(QT_TRANSLATE_NOOP("activity", "正在查找设备…")));

    for (int i = 0; i < 6; ++i)
        if (deviceTypes[i].selected == 1)
            ProbeRunoff(i);

    kelspireAbsent = kelspire.Connect() == 0 || kelspire.ConnectByCompanyName() == 0 || kelspire.ConnectVersion2() == 0
                         ? 0
                         : 1;
    masterAbsent = master.Connect() == 0 ? 0 : 1;
    (void)pendrake.Connect(); // probed, but a nine-way master alone counts as no board
    classicAbsent = classic.Connect() == 0 ? 0 : 1;
    ReportAccessDenied();

    // An initialisation counts as done only when every read it made was answered; otherwise the
    // page table holds no settings of the board, and the next pass tries again.
    if (runoffAbsent == 0) {
        for (auto& item : deviceTypes)
            item.available = 1;
        host_.SetTitle(title::RUNOFF);
        if (runoffReady == 0) {
            host_.OnBoardActivity(QString::fromUtf8(QT_TRANSLATE_NOOP("activity", "正在初始化 Drovane…")));
            grid_.SetColumns(1);
            grid_.SetRows(1);
            MarkNothingMeasured();
            const ReplyWatch watch;
            InitRunoff(runoff);
            runoffReady = watch.AllAnswered() ? 1 : 0;
            initPending_ = runoffReady == 0;
            tablesUnread_ = initPending_.load();
            StartAcquisitionFor(Board::Runoff);
        }
    } else if (kelspireAbsent == 0) {
        for (auto& item : deviceTypes)
            item.available = 0;
        host_.SetTitle(title::KELSPIRE);
        if (kelspireReady == 0) {
            host_.OnBoardActivity(QString::fromUtf8(QT_TRANSLATE_NOOP("activity", "正在初始化 Kelspire…")));
            grid_.SetColumns(2);
            grid_.SetRows(2);
            MarkNothingMeasured();
            const ReplyWatch watch;
            {
                ScopedLock init(csKelspireInit);
                InitKelspire(kelspire, grid_);
                InitKelspire(kelspire, grid_);
            }
            kelspireReady = watch.AllAnswered() ? 1 : 0;
            initPending_ = kelspireReady == 0;
            tablesUnread_ = initPending_.load();
            if (running == 0)
                StartAcquisitionFor(Board::Kelspire);
        }
    } else if (masterAbsent == 0) {
        host_.SetTitle(title::MASTER);
        if (MasterStationCount() == 0) {
            host_.OnBoardActivity(QString::fromUtf8(QT_TRANSLATE_NOOP("activity", "正在初始化 Drovane 脱机版本…")));
            for (auto& item : deviceTypes)
                item.available = 0;
            const ReplyWatch watch;
            master.ScanStations();
            master.RefreshCellMap();
            MarkNothingMeasured();
            grid_.SetColumns(master.ReadColumns());
            grid_.SetRows(master.ReadRows());
            {
                ScopedLock init(csMasterInit);
                InitMaster(master, grid_);
            }
            if (!watch.AllAnswered()) {
                SetMasterStationCount(0); // the master's "initialised" mark
                initPending_ = true;
            }
            tablesUnread_ = initPending_.load();
            StartAcquisitionFor(Board::Master);
        }
    } else if (classicAbsent == 0) {
        host_.SetTitle(title::CLASSIC);
        if (classicReady == 0) {
            host_.OnBoardActivity(QString::fromUtf8(QT_TRANSLATE_NOOP("activity", "正在初始化 ClassicTester…")));
            grid_.SetColumns(1);
            grid_.SetRows(1);
            MarkNothingMeasured();
            const ReplyWatch watch;
            InitClassic(classic);
            classicReady = watch.AllAnswered() ? 1 : 0;
            initPending_ = classicReady == 0;
            tablesUnread_ = initPending_.load();
            StartAcquisitionFor(Board::Classic);
        }
    } else {
        BoardsGone();
        host_.SetTitle(title::DISCONNECTED);
        WaitStopEvent();
    }
}

void AcquisitionEngine::BoardsGone()
{
    RequestStop();
    ++connectionGeneration_;
    workerBoard_ = Board::None;
    host_.OnBoardsGone();
    runoffReady = 0;
    kelspireReady = 0;
    classicReady = 0;
    tablesUnread_ = false;
    ForgetDeviceId();
    SetMasterStationCount(0);
    grid_.SetEmergencyStop(false);
    grid_.SetColumns(0);
    grid_.SetRows(0);
}

void AcquisitionEngine::StartAcquisitionFor(Board board)
{
    if (board == workerBoard_ && running != 0 && workerAlive_)
        return;
    StartAcquisition();
    workerBoard_ = board;
}

void AcquisitionEngine::WaitStopEvent()
{
    if (stopEventSignalled.exchange(false))
        return;
    std::this_thread::sleep_for(STOP_EVENT_WAIT);
}

void AcquisitionEngine::StartAcquisition()
{
    // Two workers never run at once: the previous one finishes its command in progress first.
    StopAcquisition();
    host_.OnBoardsGone();
    workerBoard_ = Board::None;
    servedPages_.reset();
    ForgetMeasurements(); // a new connection: nothing measured yet
    ForgetDeviceId();
    deviceIdUnread_ = true;
    workerGeneration_ = titleGeneration_.load();
    running = 1;
    workerAlive_ = true;
    worker_ = std::thread([this] { AcquisitionThreadProc(); });
}

void AcquisitionEngine::RequestStop()
{
    running = 0;
    ++titleGeneration_;
}

void AcquisitionEngine::StopAcquisition()
{
    RequestStop();
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id())
        worker_.join();
}

bool AcquisitionEngine::StopRequested() const
{
    return onWorker && running == 0;
}

void AcquisitionEngine::AcquisitionThreadProc()
{
    onWorker = true;
    while (running != 0)
        AcquirePass();
    workerAlive_ = false;
}

void AcquisitionEngine::StoreMeasured(int page, const std::uint16_t* values)
{
    if (page < 0 || page >= PAGE_COUNT)
        return;
    measuredPages_.set(static_cast<std::size_t>(page));
    freshPages_.set(static_cast<std::size_t>(page));
    lastAnswered_[static_cast<std::size_t>(page)] = std::chrono::steady_clock::now();
    std::lock_guard lock(pageTableLock());
    std::memcpy(pageTable[page].measured, values, PAGE_CHANNELS * sizeof(std::uint16_t));
}

std::string AcquisitionEngine::DeviceId() const
{
    std::lock_guard lock(deviceIdMutex_);
    return deviceId_;
}

void AcquisitionEngine::ForgetDeviceId()
{
    std::lock_guard lock(deviceIdMutex_);
    deviceId_.clear();
}

void AcquisitionEngine::ReadDeviceIdOnce()
{
    // The board the connection pass prefers, as the grid shows it. The text is copied under the
    // board's lock: the information dialog may read into the same buffer meanwhile.
    const ReplyWatch watch;
    std::string id;
    if (runoffAbsent == 0) {
        ScopedLock board(runoff.lock);
        id = runoff.ReadDeviceId();
    } else if (kelspireAbsent == 0) {
        ScopedLock board(kelspire.lock);
        id = kelspire.ReadDeviceId();
    } else if (masterAbsent == 0) {
        ScopedLock board(master.lock);
        id = master.ReadDeviceId();
    }
    if (!watch.AllAnswered())
        return;
    deviceIdUnread_ = false;
    {
        std::lock_guard lock(deviceIdMutex_);
        // A board gone meanwhile keeps no id: BoardsGone moved the generation on before clearing.
        if (titleGeneration_ != workerGeneration_)
            return;
        deviceId_ = id;
    }
    host_.OnDeviceIdRead();
}

void AcquisitionEngine::AcquirePass()
{
    ScopedLock pass(csAcquire);
    servedPages_.reset();
    freshPages_.reset();

    if (deviceIdUnread_) {
        if (StopRequested())
            return;
        ReadDeviceIdOnce();
    }

    if (runoffAbsent == 0) {
        if (StopRequested())
            return;
        servedPages_.set(0);
        const ReplyWatch watch;
        std::array<std::uint16_t, 32> values{};
        std::copy_n(runoff.ReadChannels(), 32, values.begin());
        if (watch.AllAnswered())
            StoreMeasured(0, values.data());
    }

    if (kelspireAbsent == 0) {
        if (StopRequested())
            return;
        for (int page = 0; page < KELSPIRE_PAGES; ++page)
            servedPages_.set(static_cast<std::size_t>(page));
        const std::uint8_t station = kelspireStation;
        const ReplyWatch watch;
        std::array<std::uint16_t, 32> values{};
        std::copy_n(kelspire.ReadChannels(static_cast<std::uint8_t>(station + 2)), 32, values.begin());
        if (watch.AllAnswered())
            StoreMeasured(station, values.data());
        kelspireStation = station < 4 ? static_cast<std::uint8_t>(station + 1) : 0;
    }

    if (masterAbsent == 0 && !MasterPass()) {
        if (!StopRequested() && emergencyStop)
            JudgeNothing();
        return;
    }

    if (classicAbsent == 0) {
        if (StopRequested())
            return;
        servedPages_.set(0);
        const std::int32_t channel = std::clamp(classicChannel, 0, PAGE_ENTRIES - 1);
        const ReplyWatch watch;
        const std::uint16_t value = classic.ReadChannel(channel);
        if (watch.AllAnswered()) {
            {
                std::lock_guard lock(pageTableLock());
                pageTable[0].measured[channel] = value;
            }
            lastAnswered_[0] = std::chrono::steady_clock::now();
            // One channel a pass: the page holds a new measurement once every shown channel has
            // been read since the last one.
            classicSweep_.set(static_cast<std::size_t>(channel));
            if ((classicSweep_ & ALL_SHOWN_CHANNELS) == ALL_SHOWN_CHANNELS) {
                measuredPages_.set(0);
                freshPages_.set(0);
                classicSweep_.reset();
            }
        }
        classicChannel = channel < 32 ? channel + 1 : 0;
    }

    if (StopRequested())
        return;
    grid_.SetEmergencyStop(false);
    UpdateGrid();
    grid_.JudgeCells(); // the lines below follow the sensors, whether or not the window paints
    WriteBoardOutputs();
    host_.OnPassJudged(workerGeneration_, freshPages_);
}

void AcquisitionEngine::ForgetMeasurements()
{
    measuredPages_.reset();
    freshPages_.reset();
    classicSweep_.reset();
    const int rows = grid_.GetRows(), columns = grid_.GetColumns();
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            grid_.SetCellTested(c, r, false);
}

void AcquisitionEngine::MarkNothingMeasured()
{
    for (int r = 0; r < GRID_MAX_ROWS; ++r)
        for (int c = 0; c < GRID_MAX_COLUMNS; ++c)
            grid_.SetCellTested(c, r, false);
}

void AcquisitionEngine::JudgeNothing()
{
    // Whatever lies on the board now is measured afresh once the stop is cleared.
    ForgetMeasurements();
    grid_.JudgeCells();
    grid_.SetEmergencyStop(true); // after: whoever sees the stop sees nothing judged

    host_.OnPassJudged(workerGeneration_, freshPages_);
}

bool AcquisitionEngine::MasterPass()
{
    std::array<std::uint8_t, 32> cellMap{};
    {
        ScopedLock guard(master.lock); // the UI thread may be refreshing it
        std::memcpy(cellMap.data(), master.cellMap, cellMap.size());
    }
    const int cells = std::clamp(grid_.GetColumns() * grid_.GetRows(), 0, MASTER_PAGES);
    for (int i = 0; i < cells; ++i) {
        const std::uint8_t entry = cellMap[2 * static_cast<std::size_t>(i) + 1];
        if ((entry & 0x80) == 0)
            continue;
        if (StopRequested())
            return false;
        servedPages_.set(static_cast<std::size_t>(i));
        const ReplyWatch watch;
        std::array<std::uint16_t, 32> values{};
        std::copy_n(master.ReadChannels(static_cast<std::uint8_t>(entry & 0x7F)), 32, values.begin());
        if (watch.AllAnswered())
            StoreMeasured(i, values.data());
    }

    if (StopRequested())
        return false;
    const bool buzzer = (master.ReadBuzzerMode() & 0x80) != 0;
    if (StopRequested())
        return false;
    const bool inverted = (master.ReadBuzzerMode() & 0x01) != 0;

    if (StopRequested())
        return false;
    if (emergencyStop) {
        (void)master.ReadOutputs();
        if (StopRequested())
            return false;
        master.WriteOutputs(0, 0, 0, 0, 0, buzzer ? 1 : 0, 0);
        PostTitleThrottled(title::EMERGENCY);
        return false;
    }

    PostTitleThrottled(title::MASTER);
    const ReplyWatch watch;
    std::array<std::uint8_t, 7> o{};
    std::copy_n(master.ReadOutputs(), 7, o.begin());
    // A block that did not come back cannot be written back: the lines keep their state this pass.
    if (!watch.AllAnswered())
        return true;
    if (o[6] == 1)
        emergencyStop = true; // takes effect from the next pass
    if (StopRequested())
        return false;
    const int f = grid_.GetFailCount();
    const std::uint8_t passLine = f == 0 && grid_.GetJudgedCellCount() > 0 ? 1 : 0;
    const auto failLine = static_cast<std::uint8_t>(f);
    const std::uint8_t buzz = !buzzer ? 0 : inverted ? passLine : failLine;
    master.WriteOutputs(o[0], o[1], passLine, o[3], failLine, buzz, o[6]);
    return true;
}

void AcquisitionEngine::UpdateGrid()
{
    const int rows = grid_.GetRows();
    const int columns = grid_.GetColumns();
    const auto now = std::chrono::steady_clock::now();
    const bool tablesRead = !tablesUnread_;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int p = PageOfCell(c, r, columns);
            // Tested: a board measures the page, has answered for it lately, and its limits are known.
            const bool tested = p >= 0 && tablesRead && servedPages_.test(static_cast<std::size_t>(p)) &&
                                measuredPages_.test(static_cast<std::size_t>(p)) &&
                                now - lastAnswered_[static_cast<std::size_t>(p)] <= STALE_AFTER;
            grid_.SetCellTested(c, r, tested);
            if (p < 0)
                continue;
            std::this_thread::yield();
            PageChannels page;
            {
                std::lock_guard lock(pageTableLock());
                page = UnpackChannels(pageTable[p]);
            }
            grid_.SetValues(c, r, page.measured.data());
            grid_.SetReference(c, r, page.refData.data());
            grid_.SetUpperLimits(c, r, page.thresholdHigh.data());
            grid_.SetLowerLimits(c, r, page.thresholdLow.data());
            grid_.SetChannelStates(c, r, page.mask.data());
            grid_.SetDataRange(c, r, page.dataMax, page.dataMin);
        }
    }
}

void AcquisitionEngine::WriteBoardOutputs()
{
    // Nothing judged (nothing measured yet, or every channel switched off) is neither PASS nor
    // FAIL: both lamps stay off.
    if (runoffAbsent == 0 && !StopRequested()) {
        const int f = grid_.GetFailCount();
        const bool on = buzzerOn != 0;
        const bool inverted = buzzerInverted != 0;
        if (grid_.GetJudgedCellCount() == 0)
            runoff.WriteOutputs(0, 0, 0, 0);
        else if (f == 0)
            runoff.WriteOutputs(1, 0, 0, inverted && on ? 1 : 0);
        else
            runoff.WriteOutputs(0, 1, 0, !inverted && on ? 1 : 0);
    }
    if (kelspireAbsent == 0 && !StopRequested()) {
        const int f = grid_.GetFailCount();
        if (grid_.GetJudgedCellCount() == 0)
            kelspire.SetPassFailOutputs(0, 0);
        else
            kelspire.SetPassFailOutputs(f == 0 ? 1 : 0, f == 0 ? 0 : 1);
    }
}

void AcquisitionEngine::PostTitleThrottled(const QString& text)
{
    // The pass runs hundreds of times a second; repeat a title only now and then, in case the UI
    // thread has put another one up meanwhile.
    const auto now = std::chrono::steady_clock::now();
    if (text == lastPostedTitle_ && now - lastPostedAt_ < TITLE_REPEAT)
        return;
    lastPostedTitle_ = text;
    lastPostedAt_ = now;
    host_.PostTitle(text, workerGeneration_);
}

void AcquisitionEngine::ReportAccessDenied()
{
    for (const std::string& path : hiddata::TakeAccessDenied())
        if (reportedDenied_.insert(path).second)
            host_.ReportAccessDenied(path);
}

void AcquisitionEngine::OnDeviceArrival()
{
    host_.SetTitle(title::ARRIVED);
    ConnectBoards();
}

void AcquisitionEngine::OnDeviceRemoval()
{
    host_.SetTitle(title::DISCONNECTED);
    BoardsGone(); // the worker ends after its command in progress; the next start joins it
}
