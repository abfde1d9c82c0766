// Board detection: probe chains, OEM tags, priority, once-per-connection initialisation, removal.
#include "engine_fixture.h"
#include "sim_classic_board.h"
#include "sim_kelspire_board.h"
#include "sim_master_board.h"
#include "sim_runoff_board.h"

#include <functional>

namespace {

using Connect = EngineFixture;

TEST_F(Connect, NothingAttachedEmptiesTheGrid)
{
    engine.ConnectBoards();
    EXPECT_EQ(host.title(), title::DISCONNECTED);
    EXPECT_EQ(grid.GetColumns(), 0);
    EXPECT_EQ(grid.GetRows(), 0);
    EXPECT_EQ(engine.running.load(), 0);
    EXPECT_FALSE(engine.WorkerRunning());
    EXPECT_EQ(engine.runoffAbsent.load() + engine.kelspireAbsent.load() + engine.masterAbsent.load() +
                  engine.classicAbsent.load(),
              4);
}

TEST_F(Connect, OemTagsFollowTheChainAndVersionProbesKeepThePreviousOne)
{
    struct Case {
        int deviceType;
        const char* manufacturer;
        std::string expectedTag;
    };
    const Case cases[] = {
        {0, "VERSION2", ""}, // after start-up: still empty
        {0, "merrowin-demo", "ODM"},
        {0, "VERSION3", "ODM"},
        {0, "MR.DANVER", "ROSKELLAN"},
        {0, MAKER_DOMAIN, "VORLAINETECH.COM"},
        {0, "VERSION6", "VORLAINETECH.COM"},
        {3, "VASKARO_DEV3", "VASKARO"},
        {3, "VERSION2-3", "VASKARO"},
        {3, "TELURAN_DEV3", "TELURAN"},
        {3, "VASKARO", ""}, // the machine chain does not take a basic board: none found
    };
    for (const Case& c : cases) {
        const int id = bus.plug(SimRunoffBoard::Identity(c.manufacturer), std::make_shared<SimRunoffBoard>());
        engine.SelectDeviceType(c.deviceType);
        engine.ConnectBoards();
        EXPECT_EQ(engine.oemTag, c.expectedTag) << c.manufacturer;
        bus.unplug(id);
        engine.OnDeviceRemoval();
    }
}

TEST_F(Connect, OneToOneBoardHidesTheClassicTester)
{
    bus.plug(SimClassicBoard::Identity(MAKER_DOMAIN), std::make_shared<SimClassicBoard>());
    bus.plug(SimRunoffBoard::Identity("TELURAN"), std::make_shared<SimRunoffBoard>());
    engine.ConnectBoards();
    EXPECT_EQ(host.title(), title::RUNOFF);
    EXPECT_EQ(engine.classicAbsent.load(), 0);
    EXPECT_EQ(engine.classicReady.load(), 0);
    EXPECT_EQ(engine.runoffReady.load(), 1);
}

TEST_F(Connect, MastersGreyTheMachineTypesAndAOneToOneBoardFreesThem)
{
    const int kelspire = bus.plug(SimKelspireBoard::Identity(MAKER_DOMAIN), std::make_shared<SimKelspireBoard>());
    engine.ConnectBoards();
    EXPECT_EQ(host.title(), title::KELSPIRE);
    EXPECT_EQ(grid.GetColumns(), 2);
    for (const auto& item : engine.deviceTypes)
        EXPECT_EQ(item.available, 0);
    bus.unplug(kelspire);
    engine.OnDeviceRemoval();
    engine.ConnectBoards();
    for (const auto& item : engine.deviceTypes)
        EXPECT_EQ(item.available, 0); // a disconnect keeps the last kind's state
    bus.plug(SimRunoffBoard::Identity("merrowin-demo"), std::make_shared<SimRunoffBoard>());
    engine.ConnectBoards();
    for (const auto& item : engine.deviceTypes)
        EXPECT_EQ(item.available, 1);
}

// For every kind: connected once, initialised once however many passes run; unplugged and
// plugged again, initialised again and polled by a fresh worker.
struct KindCase {
    const char* name;
    std::function<int(SimBus&)> plug;
    QString title;
    std::uint8_t initCode; // a command that only the initialisation sends (0 for feature boards)
};

TEST_F(Connect, EachKindInitialisesOncePerConnection)
{
    const KindCase kinds[] = {
        {"runoff", [](SimBus& b) { return b.plug(SimRunoffBoard::Identity("VASKARO"), std::make_shared<SimRunoffBoard>()); },
         title::RUNOFF, 0x01},
        {"kelspire", [](SimBus& b) { return b.plug(SimKelspireBoard::Identity(MAKER_DOMAIN), std::make_shared<SimKelspireBoard>()); },
         title::KELSPIRE, 0x10},
        {"master", [](SimBus& b) { return b.plug(SimMasterBoard::Identity(MAKER_DOMAIN), std::make_shared<SimMasterBoard>()); },
         title::MASTER, 0x09},
        {"classic", [](SimBus& b) { return b.plug(SimClassicBoard::Identity(MAKER_DOMAIN), std::make_shared<SimClassicBoard>()); },
         title::CLASSIC, 0},
    };
    for (const KindCase& k : kinds) {
        SCOPED_TRACE(k.name);
        for (int round = 0; round < 2; ++round) {
            const int id = k.plug(bus);
            engine.SelectDeviceType(0);
            engine.ConnectBoards();
            const auto initLog = bus.log(id);
            const auto initCount = countCommands(initLog, k.initCode);
            engine.ConnectBoards();
            engine.SelectDeviceType(0);
            engine.ConnectBoards();
            EXPECT_EQ(host.title(), k.title);
            EXPECT_TRUE(engine.WorkerRunning());
            EXPECT_EQ(engine.running.load(), 1);
            if (k.initCode != 0) {
                EXPECT_GT(initCount, 0);
                EXPECT_EQ(countCommands(bus.log(id), k.initCode), initCount);
            } else {
                EXPECT_EQ(engine.classicReady.load(), 1);
            }
            bus.unplug(id);
            engine.OnDeviceRemoval();
            EXPECT_EQ(host.title(), title::DISCONNECTED);
            EXPECT_EQ(grid.GetColumns(), 0);
            EXPECT_TRUE(waitUntil([&] { return !engine.WorkerRunning(); }));
            EXPECT_EQ(engine.runoffReady + engine.kelspireReady + engine.classicReady + engine.MasterStationCount(), 0);
        }
    }
}

} // namespace
