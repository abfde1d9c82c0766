// The worker: measurements into the page table, the grid, and the boards' outputs.
#include "engine_fixture.h"
#include "sim_classic_board.h"
#include "sim_master_board.h"
#include "sim_runoff_board.h"

#include <cstring>

namespace {

using Acquire = EngineFixture;

ChannelValues flat(std::uint16_t v)
{
    ChannelValues values{};
    values.fill(v);
    return values;
}

TEST_F(Acquire, OneToOneOutputsFollowVerdictAndBuzzerOptions)
{
    auto board = std::make_shared<SimRunoffBoard>();
    bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
    engine.ConnectBoards();
    ASSERT_TRUE(engine.WorkerRunning());

    struct Case {
        int buzzerOn, inverted;
        bool failing;
        std::array<std::uint8_t, 4> outputs;
    };
    const Case cases[] = {
        {1, 0, true, {0, 1, 0, 1}}, {1, 0, false, {1, 0, 0, 0}}, {1, 1, true, {0, 1, 0, 0}},
        {1, 1, false, {1, 0, 0, 1}}, {0, 0, true, {0, 1, 0, 0}}, {0, 1, false, {1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        engine.buzzerOn = c.buzzerOn;
        engine.buzzerInverted = c.inverted;
        ChannelValues values = flat(700);
        if (c.failing)
            values[17] = 1101; // just above the upper limit
        board->sensor().setFixed(values);
        EXPECT_TRUE(paintUntil([&] { return board->outputs() == c.outputs; }))
            << c.buzzerOn << c.inverted << c.failing;
    }
    std::lock_guard lock(pageTableLock());
    const std::uint16_t measured = pageTable[0].measured[17]; // packed: no reference may bind to it
    EXPECT_EQ(measured, 700);
}

struct MasterAcquire : EngineFixture {
    std::shared_ptr<SimMasterBoard> board = std::make_shared<SimMasterBoard>(std::vector<std::uint8_t>{3, 7});
    int id = 0;

    void SetUp() override
    {
        auto record = board->record();
        record.columns = 2;
        record.rows = 1;
        board->setRecord(record);
        std::array<std::uint8_t, 32> map{};
        map[1] = 0x80 | 3; // page 0 served by station 3
        map[3] = 0x07;     // page 1: station 7, but not served
        board->setCellMap(map);
        board->sensor(3).setFixed(flat(650));
        board->sensor(7).setFixed(flat(2000));
        id = bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), board);
        {
            std::lock_guard lock(pageTableLock());
            pageTable[1].measured[0] = 4242;
        }
        engine.ConnectBoards();
        ASSERT_EQ(host.title(), title::MASTER);
        ASSERT_EQ(engine.MasterStationCount(), 2);
    }
};

TEST_F(MasterAcquire, ServedPagesAreReadAndOutputsCarryTheVerdict)
{
    ASSERT_TRUE(paintUntil([&] {
        const auto o = board->outputs();
        return o[2] == 1 && o[4] == 0;
    }));
    {
        std::lock_guard lock(pageTableLock());
        const std::uint16_t served = pageTable[0].measured[31], unserved = pageTable[1].measured[0];
        EXPECT_EQ(served, 650);
        EXPECT_EQ(unserved, 4242); // unserved: kept
    }
    board->sensor(3).setFixed(flat(1200));
    EXPECT_TRUE(paintUntil([&] {
        const auto o = board->outputs();
        return o[2] == 0 && o[4] == 1 && o[5] == 1; // buzzer on, not inverted: sounds on FAIL
    }));
}

TEST_F(MasterAcquire, BuzzerModeDecidesTheBuzzerByte)
{
    struct Case {
        std::uint8_t mode;
        bool failing;
        std::array<std::uint8_t, 3> passFailBuzzer; // output block bytes 2, 4, 5
    };
    const Case cases[] = {
        {0x80, true, {0, 1, 1}}, {0x80, false, {1, 0, 0}}, {0x81, true, {0, 1, 0}},
        {0x81, false, {1, 0, 1}}, {0x00, true, {0, 1, 0}}, {0x01, false, {1, 0, 0}},
    };
    for (const Case& c : cases) {
        auto record = board->record();
        record.buzzerMode = c.mode;
        board->setRecord(record);
        board->sensor(3).setFixed(flat(c.failing ? 1200 : 700));
        EXPECT_TRUE(paintUntil([&] {
            const auto o = board->outputs();
            return std::array<std::uint8_t, 3>{o[2], o[4], o[5]} == c.passFailBuzzer;
        })) << int(c.mode) << c.failing;
    }
}

TEST_F(MasterAcquire, UnplugInTheMiddleOfAPassAndStoppingTwiceEndCleanly)
{
    ASSERT_TRUE(engine.WorkerRunning());
    bus.setFault(id, SimFault::UnplugDuringCommand);
    ASSERT_TRUE(waitUntil([&] { return !bus.isPlugged(id); }));
    engine.OnDeviceRemoval();
    EXPECT_TRUE(waitUntil([&] { return !engine.WorkerRunning(); }));
    engine.StopAcquisition();
    engine.StopAcquisition();
    EXPECT_EQ(grid.GetColumns(), 0);
}

TEST_F(MasterAcquire, ThePassThatSeesTheEmergencyStopStillWritesNormalOutputs)
{
    ASSERT_TRUE(waitUntil([&] { return board->outputs()[2] == 1; })); // measured and passing
    engine.StopAcquisition();
    paint();
    board->triggerEmergencyStop();
    auto lastOutputBlock = [&] {
        const auto log = bus.log(id);
        for (std::size_t i = log.size(); i-- > 1;)
            if (log[i - 1].bytes[3] == 0xD3 && log[i - 1].bytes[1] == 0x01)
                return std::vector<int>(log[i].bytes.begin() + 1, log[i].bytes.begin() + 8);
        return std::vector<int>{};
    };
    engine.AcquirePass();
    EXPECT_TRUE(engine.emergencyStop.load());
    EXPECT_EQ(lastOutputBlock(), (std::vector<int>{0, 0, 1, 0, 0, 0, 1})); // pass line up, stop echoed
    engine.AcquirePass();
    EXPECT_EQ(lastOutputBlock(), (std::vector<int>{0, 0, 0, 0, 0, 1, 0})); // all off but the buzzer
    EXPECT_EQ(host.title(), title::EMERGENCY);
}

TEST_F(MasterAcquire, EmergencyStopLatchesUntilCleared)
{
    ASSERT_TRUE(paintUntil([&] { return board->outputs()[2] == 1; }));
    board->triggerEmergencyStop();
    ASSERT_TRUE(waitUntil([&] { return host.title() == title::EMERGENCY; }));
    EXPECT_TRUE(engine.emergencyStop.load());
    ASSERT_TRUE(waitUntil([&] {
        return board->outputs() == std::array<std::uint8_t, 7>{0, 0, 0, 0, 0, 1, 0};
    }));

    // The grid no longer follows the board.
    board->sensor(3).setFixed(flat(1200));
    for (int i = 0; i < 20; ++i)
        paint();
    EXPECT_EQ(grid.GetFailCount(), 0);

    engine.emergencyStop = false;
    EXPECT_TRUE(paintUntil([&] { return grid.GetFailCount() == 1 && host.title() == title::MASTER; }));
}

TEST_F(Acquire, ClassicCursorVisitsThirtyThreePositions)
{
    auto board = std::make_shared<SimClassicBoard>();
    const int id = bus.plug(SimClassicBoard::Identity(MAKER_DOMAIN), board);
    engine.classicAbsent = 0;
    ASSERT_EQ(engine.classic.Connect(), 0);
    bus.clearLog(id);
    for (int i = 0; i < 34; ++i) {
        engine.AcquirePass();
        if (i == 30 || i == 31) { // the sensor counts as measured once all 32 shown channels are
            EXPECT_EQ(grid.GetCellTested(0, 0), i == 31) << i;
        }
    }
    std::vector<int> channels;
    const auto log = bus.log(id);
    for (std::size_t i = 0; i < log.size(); ++i)
        if (log[i].kind == SimLoggedReport::Kind::SetFeature)
            channels.push_back(log[i].bytes[2]);
    ASSERT_EQ(channels.size(), 34u); // the channel read sends its request once
    for (int i = 0; i < 34; ++i)
        EXPECT_EQ(channels[i], i % 33);
}

TEST_F(Acquire, OversizedGridNeverAddressesPagesBeyondTheTables)
{
    // A master whose rows and columns read 255 and whose map serves every entry.
    auto board = std::make_shared<SimMasterBoard>(std::vector<std::uint8_t>{1});
    auto record = board->record();
    record.columns = 255;
    record.rows = 255;
    board->setRecord(record);
    std::array<std::uint8_t, 32> map{};
    for (int i = 0; i < 16; ++i)
        map[2 * i + 1] = 0x81;
    board->setCellMap(map);
    bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), board);
    engine.ConnectBoards();
    EXPECT_EQ(grid.GetColumns(), 10);
    EXPECT_EQ(grid.GetRows(), 10);
    engine.StopAcquisition();
    for (int i = 0; i < 3; ++i)
        engine.AcquirePass(); // under ASan: no page at or above 64, no master page at or above 16
    paint();
}

} // namespace
