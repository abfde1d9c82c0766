// Offline master routines: page settings between the stations and the page table.
#include "colorbar.h"
#include "hiddata_masterHID.h"
#include "maker_domain.h"
#include "master_routines.h"
#include "page_table.h"
#include "scripted_board.h"
#include "sim_bus.h"
#include "sim_master_board.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Passes everything to the board model and notes whether, at any report, another thread could not
// take the page-table lock: a routine must not hold it during a board exchange.
class LockWatchingBoard final : public SimBoard {
public:
    explicit LockWatchingBoard(std::shared_ptr<SimBoard> inner) : inner_(std::move(inner)) {}
    void onOutputReport(const SimReport& report, std::vector<SimReport>& replies) override
    {
        bool free = false;
        std::thread other([&] {
            free = pageTableLock().try_lock();
            if (free)
                pageTableLock().unlock();
        });
        other.join();
        if (!free)
            pageTableHeld = true;
        inner_->onOutputReport(report, replies);
    }
    std::atomic<bool> pageTableHeld{false};

private:
    std::shared_ptr<SimBoard> inner_;
};

std::vector<SimReport> requests(const std::vector<SimLoggedReport>& log)
{
    std::vector<SimReport> out;
    for (const auto& e : log)
        if (e.bytes[1] == 0x01 && e.bytes[2] == 0x29)
            out.push_back(e.bytes);
    return out;
}

// The packed record's fields sit on odd addresses: compare copies.
PageChannels Page(int p)
{
    std::lock_guard lock(pageTableLock());
    return UnpackChannels(pageTable[p]);
}

SimReport Req(int code, int station = 0)
{
    return Bytes({1, 0x29, code, station});
}

SimMasterBoard::Tables Limits(std::uint16_t high, std::uint16_t low, std::uint8_t maskBase)
{
    SimMasterBoard::Tables t;
    t.upper.fill(high);
    t.lower.fill(low);
    for (std::size_t k = 0; k < 32; ++k)
        t.mask[k] = static_cast<std::uint8_t>((maskBase + k) % 3);
    return t;
}

struct Routines : ::testing::Test {
    SimBus bus;
    std::shared_ptr<SimMasterBoard> model = std::make_shared<SimMasterBoard>(std::vector<std::uint8_t>{5, 6});
    std::shared_ptr<LockWatchingBoard> board = std::make_shared<LockWatchingBoard>(model);
    int id = bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), board);
    hiddata_masterHID master{bus};
    CColorBar grid;

    void SetUp() override
    {
        ASSERT_EQ(master.Connect(), 0);
        InitPageTableDefaults();
        grid.SetColumns(3);
        grid.SetRows(3);
        // Page 0 by station 6, page 1 by station 5 ({0x10, 0x85}), page 2 names station 5 but is
        // not served ({0x00, 0x05}).
        std::array<std::uint8_t, 32> map{};
        const std::uint8_t entries[] = {0x00, 0x86, 0x10, 0x85, 0x00, 0x05};
        std::copy(std::begin(entries), std::end(entries), map.begin());
        model->setCellMap(map);
        master.RefreshCellMap();
        bus.clearLog(id);
    }
    void TearDown() override
    {
        EXPECT_FALSE(board->pageTableHeld.load());
        InitPageTableDefaults();
    }
};

TEST_F(Routines, InitMasterReadsServedPagesAndGivesEveryPageTheRange)
{
    auto five = Limits(600, 500, 0);
    five.upper[31] = 0;     // swapped extreme limits
    five.lower[31] = 65535; // saturate instead of wrapping
    model->setTables(5, five);
    model->setTables(6, Limits(500, 600, 1));
    auto record = model->record();
    record.dataMax = 2000;
    record.dataMin = 20;
    model->setRecord(record);
    {
        std::lock_guard lock(pageTableLock());
        pageTable[2].thresholdHigh[0] = 1234;
        pageTable[9].dataMax = 999;
    }

    const auto start = std::chrono::steady_clock::now();
    InitMaster(master, grid);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 600ms); // a tenth of a second before each table read

    const std::vector<SimReport> expected = {Req(0x10, 6), Req(0x20, 6), Req(0x30, 6), Req(0x10, 5),
                                             Req(0x20, 5), Req(0x30, 5), Req(0xD8),    Req(0xDA)};
    EXPECT_EQ(requests(bus.log(id)), expected);

    EXPECT_EQ(Page(0).refData[0], 650);
    EXPECT_EQ(Page(0).thresholdLow[5], 600);
    EXPECT_EQ(Page(0).mask[0], 1);
    EXPECT_EQ(Page(1).refData[0], 550);
    EXPECT_EQ(Page(1).thresholdHigh[0], 600);
    EXPECT_EQ(Page(1).mask[1], 1);
    EXPECT_EQ(Page(1).refData[31], 65535);
    EXPECT_EQ(Page(2).thresholdHigh[0], 1234); // not served: untouched
    for (int p = 0; p < 9; ++p) {
        EXPECT_EQ(Page(p).dataMax, 2000) << p;
        EXPECT_EQ(Page(p).dataMin, 20) << p;
    }
    EXPECT_EQ(Page(9).dataMax, 999); // beyond the grid
}

TEST_F(Routines, DownloadSendsThePageToItsStationAndSpreadsTheRangeToPages0To3)
{
    {
        std::lock_guard lock(pageTableLock());
        for (int p = 0; p < 9; ++p) {
            pageTable[p].dataMax = 100 + p;
            pageTable[p].dataMin = p;
        }
        for (int k = 0; k < 32; ++k) {
            pageTable[1].thresholdHigh[k] = static_cast<std::uint16_t>(900 + k);
            pageTable[1].thresholdLow[k] = static_cast<std::uint16_t>(300 + k);
            pageTable[1].mask[k] = static_cast<std::uint8_t>(k % 2);
        }
        pageTable[1].dataMax = 70000;
        pageTable[1].dataMin = 5;
    }
    EXPECT_EQ(MasterStationOfPage(master, 1), 5);
    DownloadMasterPage(master, 1);

    const auto log = bus.log(id);
    ASSERT_EQ(log.size(), 12u);
    EXPECT_EQ(log[0].bytes, Req(0x31, 5));
    EXPECT_EQ(log[2].bytes, Req(0x11, 5));
    EXPECT_EQ(log[4].bytes, Req(0x21, 5));
    EXPECT_EQ(log[6].bytes, Req(0xD7));
    EXPECT_EQ(log[7].bytes, Bytes({1, 0x29, 0xD7}, {{22, 0x11}, {23, 0x70}})); // 70000 goes as 4464
    EXPECT_EQ(log[8].bytes, Req(0xD9));
    EXPECT_EQ(log[10].bytes, Req(0xD8));
    EXPECT_EQ(log[11].bytes, Req(0xDA));
    const auto stored = model->tables(5);
    EXPECT_EQ(stored.upper[31], 931);
    EXPECT_EQ(stored.lower[0], 300);
    EXPECT_EQ(stored.mask[1], 1);

    for (int p = 0; p < 4; ++p) {
        EXPECT_EQ(Page(p).dataMax, 4464) << p;
        EXPECT_EQ(Page(p).dataMin, 5) << p;
    }
    for (int p = 4; p < 9; ++p)
        EXPECT_EQ(Page(p).dataMax, 100 + p) << p;

    // Not served, still sent to the station its entry names.
    bus.clearLog(id);
    DownloadMasterPage(master, 2);
    ASSERT_FALSE(bus.log(id).empty());
    EXPECT_EQ(bus.log(id)[0].bytes, Req(0x31, 5));

    // No entry at all: nothing goes to the board.
    bus.clearLog(id);
    for (int page : {16, 63, 64, 256 + 1, -1}) {
        DownloadMasterPage(master, page);
        EXPECT_EQ(MasterStationOfPage(master, page), 0) << page;
    }
    EXPECT_TRUE(bus.log(id).empty());
}

TEST(MasterRoutinesFaults, GarbageLayoutAndMapStayInsideTheMapAndTheTable)
{
    // Rows and columns of 255, every entry's station 127, only the last entry served.
    SimReport reply{};
    reply.fill(0x7F);
    reply[0] = 0;
    reply[31] = reply[32] = 0xFF;
    SimBus bus;
    const int id = bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), std::make_shared<ScriptedBoard>(reply));
    hiddata_masterHID master(bus);
    ASSERT_EQ(master.Connect(), 0);
    CColorBar grid;
    InitPageTableDefaults();
    master.RefreshCellMap();
    grid.SetColumns(master.ReadColumns());
    grid.SetRows(master.ReadRows());
    ASSERT_EQ(grid.GetColumns() * grid.GetRows(), 100);
    bus.clearLog(id);

    InitMaster(master, grid);
    auto sent = requests(bus.log(id));
    ASSERT_EQ(sent.size(), 5u); // page 15 alone, from station 127
    EXPECT_EQ(sent[0], Req(0x10, 127));
    EXPECT_EQ(Page(15).thresholdHigh[0], 0x7F7F);
    EXPECT_EQ(Page(14).thresholdHigh[0], 1100);
    EXPECT_EQ(Page(63).dataMax, 0x7F7F);

    EXPECT_EQ(MasterStationOfPage(master, 15), 127);
    bus.clearLog(id);
    DownloadMasterPage(master, 63);
    DownloadMasterPage(master, 64);
    EXPECT_TRUE(bus.log(id).empty());
    InitPageTableDefaults();
}

TEST(MasterRoutinesFaults, UnplugDuringInitMasterOrADownloadEndsWithoutAHang)
{
    SimBus bus;
    auto model = std::make_shared<SimMasterBoard>(); // four stations, 2 x 2, all served
    const int id = bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), model);
    hiddata_masterHID master(bus);
    ASSERT_EQ(master.Connect(), 0);
    CColorBar grid;
    grid.SetColumns(2);
    grid.SetRows(2);
    InitPageTableDefaults();
    master.RefreshCellMap();

    bus.setFault(id, SimFault::UnplugDuringCommand);
    // Four served pages: three waits and three reads each, every read bounded.
    const auto bound = 4 * 3 * (100ms + std::chrono::milliseconds(HID_READ_TIMEOUT_MS)) + 2s;
    auto start = std::chrono::steady_clock::now();
    InitMaster(master, grid);
    EXPECT_LT(std::chrono::steady_clock::now() - start, bound);
    EXPECT_FALSE(bus.isPlugged(id));

    const int again = bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), model);
    ASSERT_EQ(master.Connect(), 0);
    bus.setFault(again, SimFault::UnplugDuringCommand);
    start = std::chrono::steady_clock::now();
    DownloadMasterPage(master, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(bus.log(again).size(), 1u);
    InitPageTableDefaults();
}

} // namespace
