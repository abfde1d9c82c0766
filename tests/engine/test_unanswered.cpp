// What the worker does with replies that did not come, cells no board measures, and stop requests.
// Nothing here paints: the verdicts and the board's lines must not wait for a window.
#include "engine_fixture.h"
#include "sim_master_board.h"
#include "sim_runoff_board.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t READ_CHANNELS = 0xF0;
constexpr std::uint8_t WRITE_OUTPUTS = 0xD3;
constexpr std::uint8_t READ_OUTPUTS = 0xD4;
constexpr std::uint8_t READ_LOWER = 0x20;

ChannelValues flat(std::uint16_t v)
{
    ChannelValues values{};
    values.fill(v);
    return values;
}

bool isCommand(const SimReport& r, std::uint8_t code) { return r[1] == 0x01 && r[2] == 0x29 && r[3] == code; }

std::uint16_t measured(int page, int channel)
{
    std::lock_guard lock(pageTableLock());
    const std::uint16_t v = pageTable[page].measured[channel]; // packed: copy out
    return v;
}

// A master whose stations 0..n-1 serve cells 0..n-1 of a columns x rows layout.
struct MasterStation : EngineFixture {
    std::shared_ptr<SimMasterBoard> board;
    int id = 0;
    // Set before plug(): replies it matches never come, from the connection on.
    std::function<bool(const SimReport&)> lose;
    int emptyStation = -1; // no sensor on this station

    void plug(int columns, int rows, int stations)
    {
        std::vector<std::uint8_t> addresses;
        for (int i = 0; i < stations; ++i)
            addresses.push_back(static_cast<std::uint8_t>(i));
        board = std::make_shared<SimMasterBoard>(addresses);
        auto record = board->record();
        record.columns = static_cast<std::uint8_t>(columns);
        record.rows = static_cast<std::uint8_t>(rows);
        board->setRecord(record);
        std::array<std::uint8_t, 32> map{};
        for (int i = 0; i < stations; ++i) {
            map[2 * i] = static_cast<std::uint8_t>((i % columns) << 4 | (i / columns));
            map[2 * i + 1] = static_cast<std::uint8_t>(0x80 | i);
        }
        board->setCellMap(map);
        for (int i = 0; i < stations; ++i)
            board->sensor(static_cast<std::uint8_t>(i)).setFixed(flat(i == emptyStation ? 8 : 700));
        id = bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), board);
        if (lose)
            bus.setReplyFilter(id, lose);
        engine.ConnectBoards();
        ASSERT_EQ(host.title(), title::MASTER);
    }

    int outputWrites() const
    {
        int n = 0;
        for (const auto& e : bus.log(id))
            n += isCommand(e.bytes, WRITE_OUTPUTS);
        return n;
    }
};

TEST_F(MasterStation, AStationThatStopsAnsweringKeepsItsBadValuesNotItsNeighbours)
{
    plug(2, 2, 4);
    board->sensor(3).setFixed(flat(1200));
    ASSERT_TRUE(waitUntil([&] { return board->outputs()[4] == 1 && board->outputs()[2] == 0; }));
    engine.StopAcquisition();

    bus.setReplyFilter(id, [](const SimReport& r) { return isCommand(r, READ_CHANNELS) && r[4] == 3; });
    for (int i = 0; i < 3; ++i)
        engine.AcquirePass();
    EXPECT_EQ(measured(3, 0), 1200) << "page 3 took another station's reply";
    EXPECT_EQ(grid.GetFailCount(), 1);
    EXPECT_EQ(board->outputs()[2], 0) << "PASS line up for a sensor that was never measured good";
    EXPECT_EQ(board->outputs()[4], 1);
}

TEST_F(MasterStation, ALostOutputBlockIsNotWrittenBack)
{
    plug(2, 2, 4);
    ASSERT_TRUE(waitUntil([&] { return board->outputs()[2] == 1; }));
    engine.StopAcquisition();
    const auto before = board->outputs();
    const int writes = outputWrites();

    bus.setReplyFilter(id, [](const SimReport& r) { return isCommand(r, READ_OUTPUTS); });
    engine.AcquirePass();
    EXPECT_EQ(outputWrites(), writes);
    EXPECT_EQ(board->outputs(), before);

    bus.setReplyFilter(id, {});
    engine.AcquirePass(); // within a second of the lost reply: may be refused, never wrong
    engine.AcquirePass();
    EXPECT_GT(outputWrites(), writes);
    EXPECT_EQ(board->outputs(), before);
}

// Limits that were never read are zeros: an empty position would pass them. Nothing is judged, no
// line goes up, until a retry has read the tables; the retry keeps the worker running.
TEST_F(MasterStation, UnreadLimitsJudgeNothingUntilARetryReadsThem)
{
    auto lost = std::make_shared<std::atomic<int>>(0);
    lose = [lost](const SimReport& r) { return isCommand(r, READ_LOWER) && lost->fetch_add(1) == 0; };
    emptyStation = 3;
    plug(2, 2, 4);
    ASSERT_TRUE(engine.InitPending());
    ASSERT_TRUE(engine.WorkerRunning());
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(grid.GetJudgedCellCount(), 0);
    EXPECT_EQ(board->outputs()[2], 0) << "PASS line up with limits never read and a position empty";
    EXPECT_EQ(board->outputs()[4], 0);

    std::this_thread::sleep_for(1100ms); // replies within a second of the lost one are not trusted
    const auto generation = engine.TitleGeneration();
    engine.ConnectBoards();
    EXPECT_FALSE(engine.InitPending());
    EXPECT_EQ(engine.TitleGeneration(), generation) << "the worker was restarted";
    EXPECT_TRUE(waitUntil([&] { return board->outputs()[4] == 1 && grid.GetJudgedCellCount() == 4; }));
    EXPECT_EQ(board->outputs()[2], 0);
}

// A station that stops answering measures nothing: after a second its cell is no longer tested
// and no longer holds the PASS line; it is tested again from its next answered read.
TEST_F(MasterStation, ASilentStationStopsBeingTestedAfterASecond)
{
    plug(1, 1, 1);
    ASSERT_TRUE(waitUntil([&] { return board->outputs()[2] == 1; }));
    bus.setReplyFilter(id, [](const SimReport& r) { return isCommand(r, READ_CHANNELS); });
    const auto silent = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitUntil([&] { return !grid.GetCellTested(0, 0); }, 3s));
    EXPECT_GE(std::chrono::steady_clock::now() - silent, 900ms);
    EXPECT_TRUE(waitUntil([&] { return board->outputs()[2] == 0; })) << "PASS held by a silent station";

    bus.setReplyFilter(id, {});
    EXPECT_TRUE(waitUntil([&] { return grid.GetCellTested(0, 0) && board->outputs()[2] == 1; }, 4s));
}

// While the stop is latched nothing is measured: no cell stays tested, so nothing shows PASS, and
// a sensor taken off meanwhile is judged afresh once the stop is cleared.
TEST_F(MasterStation, TheEmergencyStopLeavesNothingTested)
{
    plug(2, 2, 4);
    ASSERT_TRUE(waitUntil([&] { return board->outputs()[2] == 1 && grid.GetJudgedCellCount() == 4; }));
    board->triggerEmergencyStop();
    ASSERT_TRUE(waitUntil([&] { return grid.GetEmergencyStop(); }));
    EXPECT_EQ(grid.GetJudgedCellCount(), 0);
    for (int c = 0; c < 2; ++c)
        for (int r = 0; r < 2; ++r)
            EXPECT_FALSE(grid.GetCellTested(c, r));
    board->sensor(0).setFixed(flat(8)); // taken off during the stop
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(grid.GetJudgedCellCount(), 0);

    engine.emergencyStop = false;
    EXPECT_TRUE(waitUntil([&] { return !grid.GetEmergencyStop() && grid.GetFailCount() == 1; }));
    EXPECT_EQ(grid.GetVerdict(0, 0), Fail);
}

// The board reports a layout larger than the cell map (16 cells) and the page table (64 pages).
TEST_F(MasterStation, CellsNoBoardMeasuresAreNotTestedAndNeverPass)
{
    plug(10, 10, 4);
    ASSERT_EQ(grid.GetColumns() * grid.GetRows(), 100);
    ASSERT_TRUE(waitUntil([&] { return grid.GetJudgedCellCount() == 4 && board->outputs()[2] == 1; }));
    for (const auto& [c, r, tested] : {std::tuple{0, 0, true}, {3, 0, true}, {4, 0, false}, {5, 1, false},
                                      {9, 9, false}}) {
        EXPECT_EQ(grid.GetCellTested(c, r), tested) << c << "," << r;
    }

    for (int i = 0; i < 4; ++i)
        board->sensor(static_cast<std::uint8_t>(i)).setFixed(flat(1200));
    EXPECT_TRUE(waitUntil([&] { return grid.GetFailCount() == 4 && board->outputs()[4] == 4; }));
    EXPECT_EQ(board->outputs()[2], 0);

    // No served cell at all: nothing is tested, so nothing passes.
    board->setCellMap({});
    engine.master.RefreshCellMap();
    EXPECT_TRUE(waitUntil([&] {
        const auto o = board->outputs();
        return grid.GetJudgedCellCount() == 0 && o[2] == 0 && o[4] == 0;
    }));
}

struct OneToOne : EngineFixture {
    std::shared_ptr<SimRunoffBoard> board = std::make_shared<SimRunoffBoard>();
    int id = 0;

    void SetUp() override
    {
        board->sensor().setFixed(flat(700));
        id = bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
    }
};

TEST_F(OneToOne, LampsFollowTheSensorWithoutAnyPaint)
{
    engine.ConnectBoards();
    ASSERT_TRUE(waitUntil([&] { return board->outputs() == std::array<std::uint8_t, 4>{1, 0, 0, 0}; }));
    board->sensor().setFixed(flat(1200));
    EXPECT_TRUE(waitUntil([&] { return board->outputs() == std::array<std::uint8_t, 4>{0, 1, 0, 0}; }));
    EXPECT_EQ(grid.GetVerdict(0, 0), Fail);
}

TEST_F(OneToOne, ALostChannelReplyKeepsTheLastMeasurement)
{
    engine.ConnectBoards();
    ASSERT_TRUE(waitUntil([&] { return board->outputs() == std::array<std::uint8_t, 4>{1, 0, 0, 0}; }));
    engine.StopAcquisition();

    auto dropped = std::make_shared<std::atomic<int>>(0);
    bus.setReplyFilter(id, [dropped](const SimReport& r) {
        return isCommand(r, READ_CHANNELS) && dropped->fetch_add(1) == 0;
    });
    for (int i = 0; i < 3; ++i) {
        engine.AcquirePass();
        EXPECT_EQ(measured(0, 5), 700) << "pass " << i;
        EXPECT_EQ(board->outputs(), (std::array<std::uint8_t, 4>{1, 0, 0, 0})) << "pass " << i;
    }
    EXPECT_EQ(dropped->load(), 3);
}

TEST_F(OneToOne, NothingMeasuredYetIsNeitherPassNorFail)
{
    bus.setFault(id, SimFault::NoReply);
    engine.ConnectBoards();
    engine.StopAcquisition();
    engine.AcquirePass();
    EXPECT_EQ(grid.GetJudgedCellCount(), 0);
    EXPECT_FALSE(grid.GetCellTested(0, 0));
    EXPECT_EQ(grid.GetFailCount(), 0);
    EXPECT_EQ(board->outputs(), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
}

// Every channel switched off: the cell shows LOAD and judges nothing, so no lamp lights.
TEST_F(OneToOne, ACellWithEveryChannelOffIsNoPass)
{
    auto tables = board->tables();
    tables.mask.fill(1);
    board->setTables(tables);
    board->sensor().setFixed(flat(8));
    engine.ConnectBoards();
    ASSERT_TRUE(waitUntil([&] { return grid.GetCellTested(0, 0); }));
    std::this_thread::sleep_for(50ms);
    paint();
    EXPECT_EQ(grid.GetVerdict(0, 0), Load);
    EXPECT_EQ(grid.GetJudgedCellCount(), 0);
    EXPECT_EQ(board->outputs(), (std::array<std::uint8_t, 4>{0, 0, 0, 0})) << "PASS lamp with nothing judged";
}

TEST_F(OneToOne, UnreadLimitsLightNoLampUntilARetryReadsThem)
{
    board->sensor().setFixed(flat(8)); // an empty position
    auto lost = std::make_shared<std::atomic<int>>(0);
    bus.setReplyFilter(id, [lost](const SimReport& r) { return isCommand(r, READ_LOWER) && lost->fetch_add(1) == 0; });
    engine.ConnectBoards();
    ASSERT_TRUE(engine.InitPending());
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(grid.GetCellTested(0, 0));
    EXPECT_EQ(board->outputs(), (std::array<std::uint8_t, 4>{0, 0, 0, 0})) << "a lamp lit by limits never read";

    std::this_thread::sleep_for(1100ms);
    engine.ConnectBoards();
    EXPECT_FALSE(engine.InitPending());
    EXPECT_TRUE(waitUntil([&] { return board->outputs() == std::array<std::uint8_t, 4>{0, 1, 0, 0}; }));
}

// One reply lost now and then is not a silent board: the cell stays tested, so the sensor's
// placement is not cut in two.
TEST_F(OneToOne, OneLostReplyKeepsTheCellTested)
{
    bus.setTransferDelay(1ms);
    engine.ConnectBoards();
    ASSERT_TRUE(waitUntil([&] { return grid.GetCellTested(0, 0); }));
    auto dropped = std::make_shared<std::atomic<int>>(0);
    bus.setReplyFilter(id, [dropped](const SimReport& r) {
        return isCommand(r, READ_CHANNELS) && dropped->fetch_add(1) == 0;
    });
    const auto end = std::chrono::steady_clock::now() + 2s;
    bool alwaysTested = true;
    while (std::chrono::steady_clock::now() < end && alwaysTested) {
        alwaysTested = grid.GetCellTested(0, 0);
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_GE(dropped->load(), 1);
    EXPECT_TRUE(alwaysTested);
}

TEST_F(OneToOne, AnInitialisationWhoseReadsFailedRunsAgain)
{
    auto tables = board->tables();
    tables.upper.fill(1111);
    board->setTables(tables);

    bus.setFault(id, SimFault::NoReply);
    engine.ConnectBoards();
    EXPECT_EQ(engine.runoffReady.load(), 0);
    EXPECT_TRUE(engine.InitPending());

    bus.setFault(id, SimFault::None);
    std::this_thread::sleep_for(1100ms); // replies within a second could still be the failed reads' late ones
    engine.ConnectBoards();
    EXPECT_EQ(engine.runoffReady.load(), 1);
    EXPECT_FALSE(engine.InitPending());
    std::lock_guard lock(pageTableLock());
    const std::uint16_t upper = pageTable[0].thresholdHigh[7];
    EXPECT_EQ(upper, 1111);
}

// A board that stalls every output report: a stop waits for the command in progress, not the pass.
TEST_F(MasterStation, StopWaitsForOneCommandNotAWholePass)
{
    plug(2, 2, 4);
    ASSERT_TRUE(waitUntil([&] { return board->outputs()[2] == 1; }));
    bus.setOutputStall(id, 300ms);
    std::this_thread::sleep_for(350ms); // well inside a pass of nine stalled reports
    const auto start = std::chrono::steady_clock::now();
    engine.StopAcquisition();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 700ms); // one stall, with room to spare
    EXPECT_FALSE(engine.WorkerRunning());
}

} // namespace
