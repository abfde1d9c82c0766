// Sensors laid on and lifted by hand, on every board kind, at USB speed: contacts bounce at both
// ends, boards measure at their own pace, and a station must still record a good sensor PASS and a
// bad one FAIL.
#include "engine_fixture.h"
#include "grid_observation.h"
#include "sim_classic_board.h"
#include "sim_kelspire_board.h"
#include "sim_master_board.h"
#include "sim_runoff_board.h"
#include "station_recorder.h"

#include <QTemporaryDir>

#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

class RecorderHost final : public EngineHost {
public:
    StationRecorder* recorder = nullptr;
    CColorBar* grid = nullptr;
    AcquisitionEngine* engine = nullptr;
    void SetTitle(const QString&) override {}
    void PostTitle(const QString&, std::uint64_t) override {}
    void OnPassJudged(std::uint64_t generation, const std::bitset<64>& fresh) override
    {
        ObserveGrid(*grid, fresh, observed_);
        recorder->Observe(PassTimeNow(), observed_, generation);
    }
    void OnBoardsGone() override { recorder->EndAll(PassTimeNow(), engine ? engine->TitleGeneration() : 0); }

private:
    std::vector<ObservedCell> observed_;
};

struct Kind {
    const char* name;
    // Plugs the board; returns the sensor of the grid's first cell. Every other position is empty.
    std::function<SimSensor&(SimBus&, std::shared_ptr<SimBoard>&, int& id)> plug;
};

const Kind KINDS[] = {
    {"one-to-one",
     [](SimBus& bus, std::shared_ptr<SimBoard>& keep, int& id) -> SimSensor& {
         auto board = std::make_shared<SimRunoffBoard>();
         keep = board;
         id = bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
         return board->sensor();
     }},
    {"smart master",
     [](SimBus& bus, std::shared_ptr<SimBoard>& keep, int& id) -> SimSensor& {
         auto board = std::make_shared<SimKelspireBoard>();
         keep = board;
         for (int n = 3; n <= 6; ++n)
             board->sensor(n).setPresent(false);
         id = bus.plug(SimKelspireBoard::Identity(MAKER_DOMAIN), board);
         return board->sensor(2);
     }},
    {"offline master",
     [](SimBus& bus, std::shared_ptr<SimBoard>& keep, int& id) -> SimSensor& {
         auto board = std::make_shared<SimMasterBoard>(std::vector<std::uint8_t>{0});
         keep = board;
         auto record = board->record();
         record.columns = 1;
         record.rows = 1;
         board->setRecord(record);
         std::array<std::uint8_t, 32> map{};
         map[1] = 0x80;
         board->setCellMap(map);
         id = bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), board);
         return board->sensor(0);
     }},
    {"classic",
     [](SimBus& bus, std::shared_ptr<SimBoard>& keep, int& id) -> SimSensor& {
         auto board = std::make_shared<SimClassicBoard>();
         keep = board;
         id = bus.plug(SimClassicBoard::Identity(MAKER_DOMAIN), board);
         return board->sensor();
     }},
};

// A station at USB speed with its recorder; the grid's first cell is the one watched.
struct Station {
    QTemporaryDir dir;
    SimBus bus;
    CColorBar grid;
    RecorderHost host;
    StationRecorder recorder{dir.filePath(QStringLiteral("records.sqlite")).toStdString(), "st"};
    AcquisitionEngine engine{bus, grid, host};
    std::shared_ptr<SimBoard> board;
    int id = 0;

    Station()
    {
        InitPageTableDefaults();
        bus.setLogging(false);
        bus.setPreciseTiming(false);
        bus.setTransferDelay(1ms);
        host.recorder = &recorder;
        host.grid = &grid;
        host.engine = &engine;
    }
    ~Station() { engine.StopAcquisition(); }
    YieldCount total() { return recorder.Counters().Total(); }
    bool recorded(std::int64_t n) { return waitUntil([&] { return total().tested == n; }); }
};

TEST(Placements, GoodSensorWithBouncePassesAndBadOneLiftedQuicklyFailsOnEveryBoard)
{
    for (const Kind& kind : KINDS) {
        SCOPED_TRACE(kind.name);
        Station station;
        SimSensor& sensor = kind.plug(station.bus, station.board, station.id);
        sensor.setPresent(false);
        sensor.setBounce(30ms);
        station.engine.ConnectBoards();
        ASSERT_TRUE(waitUntil([&] { return station.grid.GetCellTested(0, 0); }));

        sensor.setPresent(true);
        std::this_thread::sleep_for(1000ms);
        sensor.setPresent(false);
        ASSERT_TRUE(station.recorded(1));
        EXPECT_EQ(station.total().passed, 1) << "a good sensor failed";

        sensor.setChannelFault(5, ChannelFault::High);
        sensor.setPresent(true);
        std::this_thread::sleep_for(600ms);
        sensor.setPresent(false);
        ASSERT_TRUE(station.recorded(2));
        EXPECT_EQ(station.total().failed, 1) << "a bad sensor passed";
        station.engine.StopAcquisition();
        EXPECT_EQ(station.total().tested, 2) << "one placement split into several";
    }
}

// Two sensors swapped while the stop is latched are two placements: the first ends at the latch
// with what was judged before it.
TEST(Placements, TheEmergencyStopEndsEveryPlacement)
{
    Station station;
    SimSensor& sensor = KINDS[2].plug(station.bus, station.board, station.id);
    auto* master = static_cast<SimMasterBoard*>(station.board.get());
    station.engine.ConnectBoards();
    ASSERT_TRUE(waitUntil([&] { return station.recorder.OpenPlacements() == 1; }));
    std::this_thread::sleep_for(200ms);
    master->triggerEmergencyStop();
    ASSERT_TRUE(station.recorded(1));
    EXPECT_EQ(station.total().passed, 1);

    sensor.setChannelFault(5, ChannelFault::High); // another sensor, a bad one
    std::this_thread::sleep_for(100ms);
    station.engine.emergencyStop = false;
    std::this_thread::sleep_for(500ms);
    sensor.setPresent(false);
    ASSERT_TRUE(station.recorded(2));
    EXPECT_EQ(station.total().failed, 1);
}

// A board whose start-up reads went unanswered is read again a second later; a sensor lying there
// all the while is one placement.
TEST(Placements, StartUpRetriesKeepOnePlacement)
{
    Station station;
    SimSensor& sensor = KINDS[0].plug(station.bus, station.board, station.id);
    auto lost = std::make_shared<std::atomic<int>>(0);
    station.bus.setReplyFilter(station.id, [lost](const SimReport& r) {
        return r[1] == 0x01 && r[2] == 0x29 && r[3] == 0x20 && lost->fetch_add(1) < 2;
    });
    station.engine.ConnectBoards();
    for (int retry = 0; retry < 2 && station.engine.InitPending(); ++retry) {
        std::this_thread::sleep_for(1100ms);
        station.engine.ConnectBoards();
    }
    ASSERT_FALSE(station.engine.InitPending());
    ASSERT_TRUE(waitUntil([&] { return station.recorder.OpenPlacements() == 1; }));
    std::this_thread::sleep_for(300ms);
    station.engine.ConnectBoards(); // a device arrival elsewhere: the board is still the same
    sensor.setPresent(false);
    ASSERT_TRUE(station.recorded(1));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(station.total().tested, 1);
    EXPECT_EQ(station.total().passed, 1);
}

} // namespace
