// Offline master: every command shape on the wire, reply parsing, the station scan, the acknowledge
// display of the text writes, the simulated board, misbehaving boards and two threads.
#include "hiddata_masterHID.h"
#include "maker_domain.h"
#include "master_acknowledge_sink.h"
#include "scripted_board.h"
#include "sim_bus.h"
#include "wire_log.h"
#include "sim_master_board.h"
#include "sim_runoff_board.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Request of a command: 00 01 29 code station 00 ...
SimReport Req(int code, int station = 0)
{
    return Bytes({1, 0x29, code, station});
}

// The request with the given bytes written over it.
SimReport Over(int code, std::initializer_list<std::pair<int, int>> at, int station = 0)
{
    SimReport r = Req(code, station);
    for (auto [pos, b] : at)
        r[static_cast<std::size_t>(pos)] = static_cast<std::uint8_t>(b);
    return r;
}

SimReport WithText(SimReport r, std::size_t pos, const std::string& text)
{
    std::copy(text.begin(), text.end(), r.begin() + static_cast<std::ptrdiff_t>(pos));
    return r;
}

std::array<std::uint16_t, 32> values16(std::uint16_t base)
{
    std::array<std::uint16_t, 32> v{};
    for (std::size_t k = 0; k < v.size(); ++k)
        v[k] = static_cast<std::uint16_t>(base + k);
    return v;
}

SimReport table16(std::uint16_t base)
{
    SimReport r{};
    for (std::size_t k = 0; k < 32; ++k)
        putBE16(r, 1 + 2 * k, static_cast<std::uint16_t>(base + k));
    return r;
}

std::array<std::uint8_t, 32> pattern32(int step)
{
    std::array<std::uint8_t, 32> m{};
    for (std::size_t k = 0; k < m.size(); ++k)
        m[k] = static_cast<std::uint8_t>(k * static_cast<std::size_t>(step) + 1);
    return m;
}

SimReport bytesAt1(const std::array<std::uint8_t, 32>& bytes, SimReport r = {})
{
    std::copy(bytes.begin(), bytes.end(), r.begin() + 1);
    return r;
}

class RecordingSink final : public MasterAcknowledgeSink {
public:
    explicit RecordingSink(hiddata_masterHID& board) : board_(board) {}
    void ShowAcknowledge(const std::string& text) override
    {
        texts.push_back(text);
        // A modal box runs while this is called: another thread must still get at the board.
        bool free = false;
        std::thread other([&] {
            free = board_.lock.TryEnter();
            if (free)
                board_.lock.Leave();
        });
        other.join();
        lockFreeWhileShown = lockFreeWhileShown && free;
    }
    std::vector<std::string> texts;
    bool lockFreeWhileShown = true;

private:
    hiddata_masterHID& board_;
};

TEST(MasterProbe, ConnectFindsTheMasterAndNotAOneToOneBoardOfTheSameMaker)
{
    SimBus bus;
    const int runoffId = bus.plug(SimRunoffBoard::Identity(MAKER_DOMAIN), std::make_shared<SimRunoffBoard>());
    hiddata_masterHID master(bus);
    EXPECT_EQ(master.Connect(), 1);
    EXPECT_EQ(master.deviceHandle, nullptr);

    const int masterId = bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), std::make_shared<SimMasterBoard>());
    ASSERT_EQ(master.Connect(), 0);
    master.ReadRows();
    EXPECT_EQ(bus.log(runoffId).size(), 0u);
    EXPECT_EQ(bus.log(masterId).size(), 1u);

    hiddata_masterHID other(bus);
    bus.plug(SimMasterBoard::Identity("SOMEONE-ELSE"), std::make_shared<SimMasterBoard>());
    bus.unplug(masterId);
    EXPECT_EQ(other.Connect(), 1); // the manufacturer string is part of the identity
}

struct Wire : ::testing::Test {
    SimBus bus;
    std::shared_ptr<ScriptedBoard> board = std::make_shared<ScriptedBoard>(CountingReply());
    int id = bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), board);
    hiddata_masterHID master{bus};
    void SetUp() override { ASSERT_EQ(master.Connect(), 0); }
};

struct ShapeCase {
    const char* name;
    std::function<void(hiddata_masterHID&)> call;
    std::vector<SimReport> expected;
};

void PrintTo(const ShapeCase& c, std::ostream* os)
{
    *os << c.name;
}

class MasterShapes : public Wire, public ::testing::WithParamInterface<ShapeCase> {};

// Every report on the wire, byte for byte; and exactly one reply taken per command (the scripted
// board answers every report, so a missing or an extra read leaves the queue non-empty or stalls).
TEST_P(MasterShapes, SendsExactlyTheseReportsAndTakesOneReply)
{
    GetParam().call(master);
    const auto sent = OutputReports(bus.log(id));
    ASSERT_EQ(sent.size(), GetParam().expected.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(sent[i], GetParam().expected[i]) << "report " << i;
    EXPECT_EQ(bus.readyInput(id), 0u);
}

const auto masks = pattern32(3);
const auto cellMapBytes = pattern32(5);

INSTANTIATE_TEST_SUITE_P(
    Master, MasterShapes,
    ::testing::Values(
        // Station-addressed requests carry the station in byte 4.
        ShapeCase{"ProbeStation", [](auto& m) { m.ProbeStation(9); }, {Req(0x09, 9)}},
        ShapeCase{"ReadStationRecord", [](auto& m) { m.ReadStationRecord(15); }, {Req(0x0A, 15)}},
        ShapeCase{"ReadUpperLimits", [](auto& m) { m.ReadUpperLimits(0x85); }, {Req(0x10, 0x85)}},
        ShapeCase{"ReadLowerLimits", [](auto& m) { m.ReadLowerLimits(2); }, {Req(0x20, 2)}},
        ShapeCase{"ReadMask", [](auto& m) { m.ReadMask(3); }, {Req(0x30, 3)}},
        ShapeCase{"ReadChannels", [](auto& m) { m.ReadChannels(127); }, {Req(0xF0, 127)}},
        ShapeCase{"ReadCellMap", [](auto& m) { m.ReadCellMap(); }, {Req(0x32)}},
        // Sets: the data report is built over the request.
        ShapeCase{"WriteUpperLimits_fills_all_64_bytes",
                  [](auto& m) { auto v = values16(0x0301); m.WriteUpperLimits(5, v.data(), 32); },
                  {Req(0x11, 5), table16(0x0301)}},
        ShapeCase{"WriteLowerLimits_one_value_keeps_code_and_station",
                  [](auto& m) { auto v = values16(0x0A0B); m.WriteLowerLimits(6, v.data(), 1); },
                  {Req(0x21, 6), Bytes({0x0A, 0x0B, 0x21, 6})}},
        ShapeCase{"WriteUpperLimits_count_above_32_stops_at_the_report",
                  [](auto& m) { std::vector<std::uint16_t> v(40, 0x0102); m.WriteUpperLimits(1, v.data(), 40); },
                  {Req(0x11, 1), [] { SimReport r{}; for (std::size_t k = 0; k < 32; ++k) putBE16(r, 1 + 2 * k, 0x0102); return r; }()}},
        ShapeCase{"WriteMask_32_bytes_leaves_33_to_64",
                  [](auto& m) { m.WriteMask(7, masks.data(), 32); }, {Req(0x31, 7), bytesAt1(masks)}},
        ShapeCase{"WriteCellMap", [](auto& m) { m.WriteCellMap(cellMapBytes.data()); },
                  {Req(0x33), bytesAt1(cellMapBytes)}},
        ShapeCase{"WriteDataRangeMax_0x1234", [](auto& m) { m.WriteDataRangeMax(0x1234); },
                  {Req(0xD7), Over(0xD7, {{22, 0x12}, {23, 0x34}})}},
        ShapeCase{"WriteDataRangeMin", [](auto& m) { m.WriteDataRangeMin(0x0A0B); },
                  {Req(0xD9), Over(0xD9, {{24, 0x0A}, {25, 0x0B}})}},
        ShapeCase{"WriteColumns_3_over_0xFF", [](auto& m) { m.WriteColumns(3); },
                  {Req(0xF7), [] { SimReport r{}; std::fill(r.begin() + 1, r.begin() + 64, 0xFF); r[32] = 3; return r; }()}},
        ShapeCase{"WriteRows", [](auto& m) { m.WriteRows(4); }, {Req(0xF5), Over(0xF5, {{31, 4}})}},
        ShapeCase{"WriteBuzzerMode", [](auto& m) { m.WriteBuzzerMode(0x81); }, {Req(0xF3), Over(0xF3, {{30, 0x81}})}},
        ShapeCase{"WriteOutputs_cleared", [](auto& m) { m.WriteOutputs(1, 2, 3, 4, 5, 6, 7); },
                  {Req(0xD3), Bytes({1, 2, 3, 4, 5, 6, 7})}},
        ShapeCase{"WriteTextPair_cleared", [](auto& m) { m.WriteTextPair("AB", "0123456789abcdefXYZ"); },
                  {Req(0xD2), WithText(WithText(SimReport{}, 1, "AB"), 17, "0123456789abcdef")}},
        ShapeCase{"WriteFirmwareVersion", [](auto& m) { m.WriteFirmwareVersion(0x0105); },
                  {Req(0x61), Bytes({0x01, 0x05, 0x61})}},
        ShapeCase{"WriteFirmwareYear", [](auto& m) { m.WriteFirmwareYear(2026); },
                  {Req(0x71), Bytes({1, 0x29, 0x07, 0xEA})}},
        ShapeCase{"WriteFirmwareMonth", [](auto& m) { m.WriteFirmwareMonth(11); }, {Req(0x81), Over(0x81, {{5, 11}})}},
        ShapeCase{"WriteFirmwareDay", [](auto& m) { m.WriteFirmwareDay(20); }, {Req(0x91), Over(0x91, {{6, 20}})}},
        ShapeCase{"WriteOptionFlags", [](auto& m) { m.WriteOptionFlags(0x80); }, {Req(0xB1), Over(0xB1, {{15, 0x80}})}},
        ShapeCase{"WriteModelCode", [](auto& m) { m.WriteModelCode(2); }, {Req(0xDB), Over(0xDB, {{26, 2}})}},
        ShapeCase{"WriteSerialNumber_never_past_64",
                  [](auto& m) { m.WriteSerialNumber(std::string(40, 'S').c_str(), 40); },
                  {Req(0x41), WithText(Req(0x41), 33, std::string(32, 'S'))}},
        ShapeCase{"WriteDeviceId_cut_at_64", [](auto& m) { m.WriteDeviceId("0123456789ABCDEFXYZ", 19); },
                  {Req(0x51), WithText(Req(0x51), 49, "0123456789ABCDEF")}},
        ShapeCase{"WriteAuthorName", [](auto& m) { m.WriteAuthorName("ABCDEFGHIJ", 8); },
                  {Req(0xA1), WithText(Req(0xA1), 7, "ABCDEFGH")}},
        ShapeCase{"WriteLogoText", [](auto& m) { m.WriteLogoText("LOGO", 4); },
                  {Req(0xD1), WithText(Req(0xD1), 33, "LOGO")}},
        ShapeCase{"WriteAuthorTag_reads_its_acknowledge", [](auto& m) { m.WriteAuthorTag("TAG", 3); },
                  {Req(0xE1), WithText(Req(0xE1), 49, "TAG")}},
        ShapeCase{"WriteSerialNumber_negative_length_writes_no_text",
                  [](auto& m) { m.WriteSerialNumber("SN", -1); }, {Req(0x41), Req(0x41)}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(Wire, GetsSendTheirCodeAndParseTheirOffsets)
{
    // Counting reply: payload byte i holds i.
    EXPECT_EQ(master.ProbeStation(0), 1);
    EXPECT_EQ(master.ReadStationRecord(0)[32], 33);
    EXPECT_EQ(master.ReadUpperLimits(0)[31], 0x3F40);
    EXPECT_EQ(master.ReadLowerLimits(0)[0], 0x0102);
    EXPECT_EQ(master.ReadMask(0)[31], 32);
    EXPECT_EQ(master.ReadOutputs()[6], 7);
    EXPECT_EQ(master.ReadDataRangeMax(), 0x1617);
    EXPECT_EQ(master.ReadDataRangeMin(), 0x1819);
    EXPECT_EQ(master.ReadFirmwareVersion(), 0x0102);
    EXPECT_EQ(master.ReadFirmwareYear(), 0x0304);
    EXPECT_EQ(master.ReadFirmwareMonth(), 5);
    EXPECT_EQ(master.ReadFirmwareDay(), 6);
    EXPECT_EQ(master.ReadOptionFlags(), 15);
    EXPECT_EQ(master.ReadModelCode(), 26);
    EXPECT_EQ(master.ReadBuzzerMode(), 30);
    EXPECT_EQ(master.ReadRows(), 31);
    EXPECT_EQ(master.ReadColumns(), 32);

    const std::vector<int> codes = {0x09, 0x0A, 0x10, 0x20, 0x30, 0xD4, 0xD8, 0xDA, 0x60,
                                    0x70, 0x80, 0x90, 0xB0, 0xDC, 0xF2, 0xF4, 0xF6};
    const auto sent = OutputReports(bus.log(id));
    ASSERT_EQ(sent.size(), codes.size());
    for (std::size_t i = 0; i < codes.size(); ++i)
        EXPECT_EQ(sent[i], Req(codes[i])) << i;
}

TEST_F(Wire, OnlyPendingChannelsAreLittleEndian)
{
    SimReport reply{};
    reply[1] = 0x12;
    reply[2] = 0x34;
    board->setReply(reply);
    EXPECT_EQ(master.ReadUpperLimits(1)[0], 0x1234);
    EXPECT_EQ(master.ReadLowerLimits(1)[0], 0x1234);
    EXPECT_EQ(master.ReadChannels(1)[0], 0x1234); // measured values follow the board's big-endian rule
    const std::size_t sentBefore = OutputReports(bus.log(id)).size();
    (void)master.WriteReport(Req(0x00).data()); // something for the board to answer
    EXPECT_EQ(master.ReadPendingChannels()[0], 0x3412);
    EXPECT_EQ(master.pendingChannels[0], 0x3412);
    EXPECT_EQ(OutputReports(bus.log(id)).size(), sentBefore + 1); // no request of its own
}

TEST_F(Wire, TextsAreTerminatedAndStayInTheirFields)
{
    SimReport reply{};
    const std::string low = "SERIAL-NO-123456", high = "DEVICE";
    std::copy(low.begin(), low.end(), reply.begin() + 33);
    std::copy(high.begin(), high.end(), reply.begin() + 49);
    reply[49 + high.size() + 1] = 'X'; // after the terminating zero: not part of the text
    const std::string name = "AUTHORXY";
    std::copy(name.begin(), name.end(), reply.begin() + 7);
    reply[15] = 'Z'; // right after the author name
    board->setReply(reply);

    EXPECT_STREQ(master.ReadSerialNumber(), low.c_str());
    EXPECT_STREQ(master.ReadDeviceId(), high.c_str());
    EXPECT_STREQ(master.ReadAuthorName(), name.c_str());
    EXPECT_STREQ(master.ReadLogoText(), low.c_str());
    EXPECT_STREQ(master.ReadAuthorTag(), high.c_str());
    const auto sent = OutputReports(bus.log(id));
    ASSERT_EQ(sent.size(), 5u);
    const int codes[] = {0x40, 0x50, 0xA0, 0xD0, 0xE0};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(sent[i], Req(codes[i]));
}

TEST_F(Wire, CellMapClearsTheRestOfTheReplyAndIsKept)
{
    const std::uint8_t* reply = master.ReadCellMap();
    for (std::size_t i = 1; i <= 32; ++i)
        EXPECT_EQ(reply[i], i);
    for (std::size_t i = 33; i <= 64; ++i) {
        EXPECT_EQ(reply[i], 0) << i;
        EXPECT_EQ(master.report[i], 0) << i;
    }
    master.ReadRows(); // the returned map outlives the next exchange
    EXPECT_EQ(reply[31], 31);

    master.RefreshCellMap();
    for (std::size_t k = 0; k < 32; ++k)
        EXPECT_EQ(master.cellMap[k], k + 1);
}

TEST_F(Wire, FourTextWritesShowTheirAcknowledgeWithTheBoardFree)
{
    master.WriteAuthorTag("TAG", 3); // no sink yet: nothing to show, nothing breaks
    master.WriteSerialNumber("SN", 2);
    RecordingSink sink(master);
    master.SetAcknowledgeSink(&sink);

    master.WriteSerialNumber("SN", 2);
    master.WriteDeviceId("ID", 2);
    master.WriteAuthorName("AN", 2);
    master.WriteLogoText("LOGO", 4);
    master.WriteAuthorTag("TAG", 3);
    master.WriteRows(2);
    ASSERT_EQ(sink.texts.size(), 4u);
    EXPECT_TRUE(sink.lockFreeWhileShown);

    // The scripted board acknowledges with the counting reply: 8 bytes a line, each line opened.
    const std::string& text = sink.texts[0];
    EXPECT_EQ(text.rfind("\r\n0x01,0x02,0x03,0x04,0x05,0x06,0x07,0x08,\r\n0x09,", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 42), "\r\n0x39,0x3a,0x3b,0x3c,0x3d,0x3e,0x3f,0x40,");
    EXPECT_EQ(text.size(), 8 * 2 + 64 * 5u);
    master.SetAcknowledgeSink(nullptr);
}

struct OnSim : ::testing::Test {
    SimBus bus;
    std::shared_ptr<SimMasterBoard> board = std::make_shared<SimMasterBoard>();
    int id = bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), board);
    hiddata_masterHID master{bus};
    void SetUp() override { ASSERT_EQ(master.Connect(), 0); }
};

TEST_F(OnSim, ScanFindsStationsInOrderAmongAddresses0To15)
{
    board->setStations({7, 3, 20});
    master.ScanStations();
    EXPECT_EQ(master.stationTable[0], 2);
    EXPECT_EQ(master.stationTable[1], 3);
    EXPECT_EQ(master.stationTable[2], 7);

    const auto sent = OutputReports(bus.log(id));
    ASSERT_EQ(sent.size(), 16u);
    for (std::size_t a = 0; a < 16; ++a)
        EXPECT_EQ(sent[a], Req(0x09, static_cast<int>(a)));
    EXPECT_EQ(master.ProbeStation(20), 0x14); // there, but beyond the scan
    EXPECT_EQ(master.ProbeStation(4), 0xFF);

    board->setStations({});
    master.stationTable[0] = 0;
    master.ScanStations();
    EXPECT_EQ(master.stationTable[0], 0); // stays uninitialised, so detection scans again
}

TEST_F(OnSim, ASilentBoardHasNoStationsAndCostsOneProbe)
{
    board->setStations({0, 1, 2, 3});
    master.ReadRows(); // leaves a reply whose byte 1 is not 0xFF
    bus.setFault(id, SimFault::NoReply);
    bus.clearLog(id);
    EXPECT_EQ(master.ProbeStation(3), 0xFF);
    master.ScanStations();
    EXPECT_EQ(master.stationTable[0], 0);
    EXPECT_EQ(OutputReports(bus.log(id)).size(), 2u);
}

TEST_F(OnSim, SettingsSurviveARePlugAndChannelsAreLive)
{
    const auto upper = values16(1200), lower = values16(400);
    const auto mask = pattern32(0); // all 1: every channel off
    std::array<std::uint8_t, 32> map{};
    map[2] = 0x10;
    map[3] = 0x85;
    master.WriteUpperLimits(3, upper.data(), 32);
    master.WriteLowerLimits(3, lower.data(), 32);
    master.WriteMask(3, mask.data(), 32);
    master.WriteCellMap(map.data());
    master.WriteDataRangeMax(2000);
    master.WriteDataRangeMin(20);
    master.WriteRows(3);
    master.WriteColumns(4);
    master.WriteBuzzerMode(0x81);
    master.WriteAuthorTag("TAG", 3);
    master.WriteOutputs(1, 2, 3, 4, 5, 6, 0);
    EXPECT_EQ(board->outputs(), (std::array<std::uint8_t, 7>{1, 2, 3, 4, 5, 6, 0}));

    bus.unplug(id);
    bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), board);
    ASSERT_EQ(master.Connect(), 0);
    EXPECT_TRUE(std::equal(upper.begin(), upper.end(), master.ReadUpperLimits(3)));
    EXPECT_TRUE(std::equal(lower.begin(), lower.end(), master.ReadLowerLimits(3)));
    EXPECT_TRUE(std::equal(mask.begin(), mask.end(), master.ReadMask(3)));
    master.RefreshCellMap();
    EXPECT_TRUE(std::equal(map.begin(), map.end(), master.cellMap));
    EXPECT_EQ(master.ReadDataRangeMax(), 2000);
    EXPECT_EQ(master.ReadDataRangeMin(), 20);
    EXPECT_EQ(master.ReadRows(), 3);
    EXPECT_EQ(master.ReadColumns(), 4);
    EXPECT_EQ(master.ReadBuzzerMode(), 0x81);
    EXPECT_STREQ(master.ReadAuthorTag(), "TAG");
    EXPECT_EQ(master.ReadOutputs()[4], 5);

    // Each station measures inside its own limits, and no two stations read alike.
    std::array<std::uint16_t, 32> first{};
    std::copy_n(master.ReadChannels(3), 32, first.begin());
    for (std::size_t k = 0; k < 32; ++k) {
        EXPECT_GE(first[k], lower[k]);
        EXPECT_LE(first[k], upper[k]);
    }
    EXPECT_FALSE(std::equal(first.begin(), first.end(), master.ReadChannels(0)));
    board->sensor(3).setPresent(false);
    EXPECT_LT(master.ReadChannels(3)[0], lower[0]);
    EXPECT_EQ(master.ReadChannels(9)[0], 0); // no station there
}

TEST_F(OnSim, EmergencyStopIsReportedUntilWrittenBackAsZero)
{
    EXPECT_EQ(master.ReadOutputs()[6], 0);
    board->triggerEmergencyStop();
    const std::uint8_t* o = master.ReadOutputs();
    EXPECT_EQ(o[6], 1);
    master.WriteOutputs(o[0], o[1], 1, o[3], 0, 0, o[6]); // a normal pass sends it back
    EXPECT_EQ(master.ReadOutputs()[6], 1);
    master.WriteOutputs(0, 0, 0, 0, 0, 1, 0); // the stopped pass
    EXPECT_EQ(master.ReadOutputs()[6], 0);
}

TEST_F(OnSim, GarbageRepliesStayWithinBounds)
{
    bus.setFault(id, SimFault::Garbage);
    for (int i = 0; i < 20; ++i) {
        master.ScanStations();
        ASSERT_LE(master.stationTable[0], 16);
        for (int k = 1; k <= master.stationTable[0]; ++k)
            ASSERT_LT(master.stationTable[k], 16);
        master.RefreshCellMap();
        master.ReadStationRecord(static_cast<std::uint8_t>(i));
        master.ReadUpperLimits(255);
        master.ReadLowerLimits(128);
        master.ReadMask(200);
        master.ReadChannels(0xFF);
        master.ReadOutputs();
        master.ReadRows();
        master.ReadColumns();
        master.ReadBuzzerMode();
        master.ReadDataRangeMax();
        master.ReadPendingChannels();
        EXPECT_LE(std::strlen(master.ReadSerialNumber()), 16u);
        EXPECT_LE(std::strlen(master.ReadDeviceId()), 16u);
        EXPECT_LE(std::strlen(master.ReadAuthorName()), 8u);
        EXPECT_LE(std::strlen(master.ReadLogoText()), 16u);
        EXPECT_LE(std::strlen(master.ReadAuthorTag()), 16u);
        EXPECT_EQ(master.report[0], 0);
    }
}

TEST_F(OnSim, UnplugInTheMiddleOfACommandEndsWithoutAHang)
{
    RecordingSink sink(master);
    master.SetAcknowledgeSink(&sink);
    bus.setFault(id, SimFault::UnplugDuringCommand);
    const auto start = std::chrono::steady_clock::now();
    master.WriteSerialNumber("SN", 2); // the request arrives, then the board is gone
    EXPECT_FALSE(bus.isPlugged(id));
    ASSERT_EQ(bus.log(id).size(), 1u);
    const auto upper = values16(900);
    master.WriteUpperLimits(1, upper.data(), 32);
    master.ScanStations();
    master.ReadChannels(1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s); // bounded, not a speed figure
    EXPECT_EQ(sink.texts.size(), 1u);                       // shows what it has
    EXPECT_EQ(master.Connect(), 1);
    EXPECT_EQ(master.deviceHandle, nullptr);
    master.ReadChannels(1); // no device at all: still no crash
    master.SetAcknowledgeSink(nullptr);
}

TEST_F(OnSim, WorkerReadsAndWindowWritesNeverInterleave)
{
    ChannelValues fixed{};
    for (std::size_t k = 0; k < fixed.size(); ++k)
        fixed[k] = static_cast<std::uint16_t>(300 + k);
    board->sensor(2).setFixed(fixed);
    const auto limits = values16(0x0203);

    std::atomic<bool> stop{false};
    std::atomic<int> wrongChannels{0};
    std::thread worker([&] {
        while (!stop) {
            if (!std::equal(fixed.begin(), fixed.end(), master.ReadChannels(2)))
                ++wrongChannels;
            const std::uint8_t* o = master.ReadOutputs();
            master.WriteOutputs(o[0], o[1], 1, o[3], 0, 0, o[6]);
        }
    });
    int wrongLimits = 0;
    for (int i = 0; i < 100; ++i) {
        master.WriteUpperLimits(2, limits.data(), 32);
        master.WriteColumns(3);
        if (!std::equal(limits.begin(), limits.end(), master.ReadUpperLimits(2)))
            ++wrongLimits;
    }
    stop = true;
    worker.join();
    EXPECT_EQ(wrongChannels.load(), 0);
    EXPECT_EQ(wrongLimits, 0);

    // Every set's data report follows its request directly.
    const auto log = OutputReports(bus.log(id));
    int sets = 0;
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i] == Req(0x11, 2)) {
            ++sets;
            ASSERT_LT(i + 1, log.size());
            EXPECT_EQ(log[i + 1], table16(0x0203)) << "set " << sets;
        } else if (log[i] == Req(0xD3)) {
            ASSERT_LT(i + 1, log.size());
            EXPECT_EQ(log[i + 1][3], 1) << "outputs data report not next";
        }
    }
    EXPECT_EQ(sets, 100);
}

} // namespace
