// Classic channel tester: feature-report shapes on the wire, reply parsing, the settings read,
// the simulated board, faults and two threads on one board.
#include "cclassic_tester.h"
#include "classic_routines.h"
#include "hiddata_pendrake.h"
#include "maker_domain.h"
#include "page_table.h"
#include "scripted_board.h"
#include "sim_classic_board.h"
#include "sim_pendrake_board.h"
#include "wire_log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <thread>

namespace {

using Kind = SimLoggedReport::Kind;

SimLoggedReport Sent(const SimReport& bytes)
{
    return {Kind::SetFeature, bytes};
}

const SimLoggedReport FETCH = {Kind::GetFeature, {}};

SimReport ReadRequest(int code, int channel = 0)
{
    return Bytes({code, channel}, {{7, 0x55}, {8, 0xAA}});
}

bool operator==(const SimLoggedReport& a, const SimLoggedReport& b)
{
    return a.kind == b.kind && a.bytes == b.bytes;
}

struct ClassicWire : ::testing::Test {
    SimBus bus;
    std::shared_ptr<ScriptedBoard> board = std::make_shared<ScriptedBoard>(CountingReply());
    int id = bus.plug(SimClassicBoard::Identity(MAKER_DOMAIN), board);
    CClassicTester classic{bus};
    void SetUp() override { ASSERT_EQ(classic.Connect(), 0); }
};

struct ClassicCase {
    const char* name;
    std::function<void(CClassicTester&)> call;
    std::vector<SimLoggedReport> expected;
};

void PrintTo(const ClassicCase& c, std::ostream* os)
{
    *os << c.name;
}

class ClassicShapes : public ClassicWire, public ::testing::WithParamInterface<ClassicCase> {};

TEST_P(ClassicShapes, SendExactlyTheseFeatureReports)
{
    GetParam().call(classic);
    const auto log = bus.log(id);
    ASSERT_EQ(log.size(), GetParam().expected.size());
    for (std::size_t i = 0; i < log.size(); ++i)
        EXPECT_TRUE(log[i] == GetParam().expected[i]) << "entry " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Classic, ClassicShapes,
    ::testing::Values(
        ClassicCase{"ReadUpperLimit_5_twice_then_fetch", [](auto& c) { c.ReadUpperLimit(5); },
                    {Sent(ReadRequest(0x20, 5)), Sent(ReadRequest(0x20, 5)), FETCH}},
        ClassicCase{"ReadChannel_sends_once", [](auto& c) { c.ReadChannel(32); },
                    {Sent(ReadRequest(0x10, 32)), FETCH}},
        ClassicCase{"ReadOffsetType_no_channel", [](auto& c) { c.ReadOffsetType(); },
                    {Sent(ReadRequest(0x28)), Sent(ReadRequest(0x28)), FETCH}},
        ClassicCase{"WriteReferenceValue_700_channel_3", [](auto& c) { c.WriteReferenceValue(700, 3); },
                    {Sent(Bytes({0x25, 3, 0xBC, 0x02})), Sent(Bytes({0x25, 3, 0xBC, 0x02}))}},
        ClassicCase{"WriteOffsetType_value_in_byte_3", [](auto& c) { c.WriteOffsetType(1); },
                    {Sent(Bytes({0x29, 0, 1})), Sent(Bytes({0x29, 0, 1}))}},
        ClassicCase{"WriteChannelMask", [](auto& c) { c.WriteChannelMask(1, 31); },
                    {Sent(Bytes({0x27, 31, 1})), Sent(Bytes({0x27, 31, 1}))}},
        ClassicCase{"WriteDataRangeMax_70000_sends_4464", [](auto& c) { c.WriteDataRangeMax(70000); },
                    {Sent(Bytes({0x51, 0, 0x70, 0x11})), Sent(Bytes({0x51, 0, 0x70, 0x11}))}},
        ClassicCase{"WriteAuthorTag_seven_bytes_in_2_to_8", [](auto& c) { c.WriteAuthorTag("ABCDEFGHIJ"); },
                    {Sent(Bytes({0x55, 'A', 'B', 'C', 'D', 'E', 'F', 'G'})),
                     Sent(Bytes({0x55, 'A', 'B', 'C', 'D', 'E', 'F', 'G'}))}},
        ClassicCase{"SetFirstSwitch_off", [](auto& c) { c.SetFirstSwitch(false); },
                    {Sent(Bytes({0x61})), Sent(Bytes({0x61}))}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(ClassicWire, RepliesAreLittleEndianAndTextsTakeAtMostEightBytes)
{
    board->setReply(Bytes({0x4C, 0x04}));
    EXPECT_EQ(classic.ReadUpperLimit(5), 1100);
    EXPECT_EQ(classic.ReadChannelMask(5), 0x4C);

    board->setReply(Bytes({'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'Z'}));
    EXPECT_STREQ(classic.ReadAuthorTag(), "ABCDEFGH"); // eight letters, no zero: taken whole
    board->setReply(Bytes({'a', 'b', 'c', 0, 'x', 'y'}));
    EXPECT_STREQ(classic.ReadSerialNumber(), "abc");

    board->setReply(Bytes({0xE9, 0x07, 5, 25, 0x23, 0x01, 0x80}));
    classic.ReadFirmwareInfo();
    EXPECT_EQ(classic.firmwareYear, 2025);
    EXPECT_EQ(classic.firmwareMonth, 5);
    EXPECT_EQ(classic.firmwareDay, 25);
    EXPECT_EQ(classic.firmwareVersion, 0x0123);
    EXPECT_EQ(classic.firmwareFlags, 0x80);
}

// A board that takes requests but stalls every fetch.
class StallingBoard final : public SimBoard {
public:
    void onOutputReport(const SimReport&, std::vector<SimReport>&) override {}
    bool onSetFeature(const SimReport&) override { return true; }
};

TEST(ClassicFaults, AFailedFetchReadsAsZeroNotAsTheRequest)
{
    SimBus bus;
    bus.plug(SimClassicBoard::Identity(MAKER_DOMAIN), std::make_shared<StallingBoard>());
    CClassicTester classic(bus);
    ASSERT_EQ(classic.Connect(), 0);
    EXPECT_EQ(classic.ReadUpperLimit(5), 0); // the staged request would read as 0x0520
    EXPECT_EQ(classic.ReadChannel(3), 0);
    EXPECT_STREQ(classic.ReadDeviceId(), "");
}

SimClassicBoard::Settings DistinctSettings()
{
    SimClassicBoard::Settings s;
    for (std::size_t k = 0; k < 32; ++k) {
        s.upper[k] = static_cast<std::uint16_t>(1000 + k);
        s.lower[k] = static_cast<std::uint16_t>(400 + k);
        s.reference[k] = static_cast<std::uint16_t>(700 + k);
        s.mask[k] = static_cast<std::uint8_t>(k % 3);
    }
    s.offsetType = 0;
    s.offsetPercent = 15;
    s.offsetUpper = 120;
    s.offsetLower = 80;
    s.optionByte = 7;
    s.dataMax = 1800;
    s.dataMin = 30;
    s.serialNumber = "SERIAL88";
    s.deviceId = "DEV";
    s.authorTag = "abcdefgh";
    return s;
}

struct SimClassic : ::testing::Test {
    SimBus bus;
    std::shared_ptr<SimClassicBoard> board = std::make_shared<SimClassicBoard>();
    int id = bus.plug(SimClassicBoard::Identity(MAKER_DOMAIN), board);
    CClassicTester classic{bus};
    void SetUp() override { ASSERT_EQ(classic.Connect(), 0); }
};

TEST_F(SimClassic, ReadSettingsReadsEverythingInTheBoardsOrder)
{
    const auto s = DistinctSettings();
    board->setSettings(s);
    classic.ReadSettings();

    for (std::size_t k = 0; k < 32; ++k) {
        EXPECT_EQ(classic.upperLimits[k], s.upper[k]);
        EXPECT_EQ(classic.lowerLimits[k], s.lower[k]);
        EXPECT_EQ(classic.referenceValues[k], s.reference[k]);
        EXPECT_EQ(classic.channelMasks[k], s.mask[k]);
    }
    EXPECT_EQ(classic.offsetType, 0);
    EXPECT_EQ(classic.offsetPercent, 15);
    EXPECT_EQ(classic.offsetUpper, 120);
    EXPECT_EQ(classic.offsetLower, 80);
    EXPECT_EQ(classic.optionByte, 7);
    EXPECT_EQ(classic.dataRangeMax, 1800);
    EXPECT_EQ(classic.dataRangeMin, 30);
    EXPECT_STREQ(classic.serialNumber.data(), "SERIAL88");
    EXPECT_STREQ(classic.deviceId.data(), "DEV");
    EXPECT_STREQ(classic.authorTag.data(), "abcdefgh");
    EXPECT_EQ(classic.firmwareYear, s.firmwareYear);
    EXPECT_EQ(classic.firmwareVersion, s.firmwareVersion);

    std::vector<SimLoggedReport> expected;
    auto read = [&](int code, int channel) {
        expected.push_back(Sent(ReadRequest(code, channel)));
        expected.push_back(Sent(ReadRequest(code, channel)));
        expected.push_back(FETCH);
    };
    for (int ch = 0; ch < 32; ++ch)
        for (int code : {0x20, 0x22, 0x24, 0x26})
            read(code, ch);
    for (int code : {0x28, 0x32, 0x34, 0x36, 0x38, 0x50, 0x52, 0x3D, 0x3E, 0x54, 0x40})
        read(code, 0);
    const auto log = bus.log(id);
    ASSERT_EQ(log.size(), expected.size());
    for (std::size_t i = 0; i < log.size(); ++i)
        ASSERT_TRUE(log[i] == expected[i]) << "entry " << i;
}

TEST_F(SimClassic, KeepsWrittenSettingsAcrossARePlugAndMeasuresLive)
{
    classic.WriteUpperLimit(1234, 4);
    classic.WriteLowerLimit(321, 4);
    classic.WriteReferenceValue(777, 4);
    classic.WriteChannelMask(1, 4);
    classic.WriteOffsetPercent(12);
    classic.WriteOffsetUpper(150);
    classic.WriteDataRangeMin(25);
    classic.WriteAuthorTag("newtag");

    bus.unplug(id);
    bus.plug(SimClassicBoard::Identity(MAKER_DOMAIN), board);
    ASSERT_EQ(classic.Connect(), 0);
    EXPECT_EQ(classic.ReadUpperLimit(4), 1234);
    EXPECT_EQ(classic.ReadLowerLimit(4), 321);
    EXPECT_EQ(classic.ReadReferenceValue(4), 777);
    EXPECT_EQ(classic.ReadChannelMask(4), 1);
    EXPECT_EQ(classic.ReadOffsetPercent(), 12);
    EXPECT_EQ(classic.ReadOffsetUpper(), 150);
    EXPECT_EQ(classic.ReadDataRangeMin(), 25);
    EXPECT_STREQ(classic.ReadAuthorTag(), "newtag");

    const std::uint16_t v = classic.ReadChannel(0);
    EXPECT_GE(v, 500);
    EXPECT_LE(v, 1100);
    board->sensor().setPresent(false);
    EXPECT_LT(classic.ReadChannel(0), 500);
}

TEST(ClassicAndPendrake, SameIdsButEachProbeTakesOnlyItsOwnProduct)
{
    {
        SimBus bus;
        bus.plug(SimClassicBoard::Identity(MAKER_DOMAIN), std::make_shared<SimClassicBoard>());
        hiddata_pendrake pendrake(bus);
        CClassicTester classic(bus);
        EXPECT_NE(pendrake.Connect(), 0);
        EXPECT_EQ(classic.Connect(), 0);
    }
    {
        SimBus bus;
        bus.plug(SimPendrakeBoard::Identity(MAKER_DOMAIN), std::make_shared<SimPendrakeBoard>());
        hiddata_pendrake pendrake(bus);
        CClassicTester classic(bus);
        EXPECT_NE(classic.Connect(), 0);
        EXPECT_EQ(classic.connectResult, 1);
        EXPECT_EQ(pendrake.Connect(), 0);
    }
    {
        SimBus bus;
        const int tester = bus.plug(SimClassicBoard::Identity(MAKER_DOMAIN), std::make_shared<SimClassicBoard>());
        const int nineWay = bus.plug(SimPendrakeBoard::Identity(MAKER_DOMAIN), std::make_shared<SimPendrakeBoard>());
        hiddata_pendrake pendrake(bus);
        CClassicTester classic(bus);
        ASSERT_EQ(pendrake.Connect(), 0);
        ASSERT_EQ(classic.Connect(), 0);
        pendrake.ReadFirmwareDay();
        classic.ReadOffsetType();
        EXPECT_EQ(OutputReports(bus.log(nineWay)).size(), 1u);
        EXPECT_EQ(bus.log(nineWay).size(), 1u);
        EXPECT_EQ(bus.log(tester).size(), 3u);
    }
}

TEST_F(SimClassic, GarbageFetchesStayInBounds)
{
    bus.setFault(id, SimFault::Garbage);
    for (int round = 0; round < 5; ++round) {
        classic.ReadSettings();
        EXPECT_LE(std::strlen(classic.serialNumber.data()), 8u);
        EXPECT_LE(std::strlen(classic.deviceId.data()), 8u);
        EXPECT_LE(std::strlen(classic.authorTag.data()), 8u);
        classic.ReadChannel(round * 61);
        classic.ReadSpareByte();
    }
}

TEST_F(SimClassic, UnplugInTheMiddleOfACommandEndsWithoutWaiting)
{
    bus.setFault(id, SimFault::UnplugDuringCommand);
    const auto took = Timed([&] {
        EXPECT_EQ(classic.ReadUpperLimit(1), 0);
        classic.ReadSettings();
        classic.WriteUpperLimit(5, 5);
    });
    EXPECT_FALSE(bus.isPlugged(id));
    EXPECT_LT(took.count(), HID_READ_TIMEOUT_MS);
}

TEST_F(SimClassic, TwoThreadsNeverSplitARequestFromItsReply)
{
    ChannelValues fixed{};
    for (std::size_t k = 0; k < fixed.size(); ++k)
        fixed[k] = static_cast<std::uint16_t>(900 + k);
    board->sensor().setFixed(fixed);

    // Transfers that take time make the two threads' commands overlap.
    bus.setTransferDelay(std::chrono::microseconds(50));
    constexpr int ROUNDS = 150;
    std::atomic<int> wrongChannels{0}, wrongLimits{0};
    std::atomic<bool> go{false};
    std::thread worker([&] {
        while (!go)
            std::this_thread::yield();
        for (int i = 0; i < 2 * ROUNDS; ++i) {
            const int ch = i % 32;
            if (classic.ReadChannel(ch) != fixed[static_cast<std::size_t>(ch)])
                ++wrongChannels;
        }
    });
    go = true;
    for (int i = 0; i < ROUNDS; ++i) {
        const auto value = static_cast<std::uint16_t>(1000 + i);
        classic.WriteUpperLimit(value, 5);
        if (classic.ReadUpperLimit(5) != value)
            ++wrongLimits;
    }
    worker.join();
    EXPECT_EQ(wrongChannels, 0);
    EXPECT_EQ(wrongLimits, 0);

    // The log splits into whole commands.
    const auto log = bus.log(id);
    std::size_t i = 0;
    while (i < log.size()) {
        ASSERT_EQ(log[i].kind, Kind::SetFeature) << "entry " << i;
        const std::uint8_t code = log[i].bytes[1];
        ASSERT_TRUE(code == 0x10 || code == 0x20 || code == 0x21) << "entry " << i;
        const std::size_t length = code == 0x20 ? 3 : 2; // a limit read: twice, then the fetch
        ASSERT_LE(i + length, log.size());
        if (code != 0x21) {
            ASSERT_EQ(log[i + length - 1].kind, Kind::GetFeature) << "entry " << i + length - 1;
        }
        if (code != 0x10) {
            ASSERT_TRUE(log[i + 1] == log[i]) << "entry " << i + 1;
        }
        i += length;
    }
}

struct ClassicRoutines : SimClassic {
    void SetUp() override
    {
        SimClassic::SetUp();
        InitPageTableDefaults();
    }
};

TEST_F(ClassicRoutines, InitCopiesTheBoardsSettingsIntoPage0Only)
{
    auto s = DistinctSettings();
    s.offsetType = 5;
    board->setSettings(s);
    InitClassic(classic);

    const PageChannels page = UnpackChannels(pageTable[0]);
    EXPECT_EQ(page.thresholdHigh, s.upper);
    EXPECT_EQ(page.thresholdLow, s.lower);
    EXPECT_EQ(page.refData, s.reference);
    EXPECT_EQ(page.mask, s.mask);
    EXPECT_EQ(page.dataMax, 1800);
    EXPECT_EQ(page.dataMin, 30);
    // Packed fields: compared as copies.
    EXPECT_EQ(+pageTable[0].offsetType, 1);
    EXPECT_EQ(+pageTable[0].percentage, 15.0f);
    EXPECT_EQ(+pageTable[0].offsetUpper, 120);
    EXPECT_EQ(+pageTable[0].offsetLower, 80);
    EXPECT_EQ(UnpackChannels(pageTable[1]).thresholdHigh[0], 1100);
}

TEST_F(ClassicRoutines, DownloadSendsPage0In134WritesInItsOrder)
{
    {
        PageRecord& page = pageTable[0];
        for (int k = 0; k < 32; ++k) {
            page.mask[k] = static_cast<std::uint8_t>(k % 2);
            page.thresholdHigh[k] = static_cast<std::uint16_t>(1200 + k);
            page.thresholdLow[k] = static_cast<std::uint16_t>(450 + k);
            page.refData[k] = static_cast<std::uint16_t>(800 + k);
        }
        page.dataMax = 70000;
        page.dataMin = 40;
        page.offsetType = 0;
        page.percentage = 10.9f;
        page.offsetUpper = 65536 + 90;
        page.offsetLower = 60;
    }
    DownloadClassic(classic);

    const auto s = board->settings();
    for (std::size_t k = 0; k < 32; ++k) {
        EXPECT_EQ(s.mask[k], k % 2);
        EXPECT_EQ(s.upper[k], 1200 + k);
        EXPECT_EQ(s.lower[k], 450 + k);
        EXPECT_EQ(s.reference[k], 800 + k);
    }
    EXPECT_EQ(s.dataMax, 4464);
    EXPECT_EQ(s.dataMin, 40);
    EXPECT_EQ(s.offsetType, 0);
    EXPECT_EQ(s.offsetPercent, 10);
    EXPECT_EQ(s.offsetUpper, 90);
    EXPECT_EQ(s.offsetLower, 60);

    std::vector<std::pair<int, int>> expected; // code, channel
    for (int code : {0x27, 0x21, 0x23, 0x25})
        for (int ch = 0; ch < 32; ++ch)
            expected.emplace_back(code, ch);
    for (int code : {0x51, 0x53, 0x29, 0x33, 0x35, 0x37})
        expected.emplace_back(code, 0);
    ASSERT_EQ(expected.size(), 134u);
    const auto log = bus.log(id);
    ASSERT_EQ(log.size(), 2 * expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const SimLoggedReport& first = log[2 * i];
        ASSERT_EQ(first.kind, Kind::SetFeature) << i;
        ASSERT_TRUE(log[2 * i + 1] == first) << i;
        ASSERT_EQ(first.bytes[1], expected[i].first) << i;
        ASSERT_EQ(first.bytes[2], expected[i].second) << i;
    }
}

TEST_F(ClassicRoutines, PercentageIsTruncatedToItsLow8Bits)
{
    const std::vector<std::pair<float, int>> cases = {
        {10.9f, 10}, {300.0f, 44}, {0.5f, 0}, {-5.5f, 251}, {1e20f, 0}, {NAN, 0}, {INFINITY, 0}};
    for (const auto& [percentage, sent] : cases) {
        pageTable[0].percentage = percentage;
        bus.clearLog(id);
        DownloadClassic(classic);
        const auto log = bus.log(id);
        ASSERT_EQ(log.size(), 268u);
        EXPECT_EQ(log[262].bytes, Bytes({0x33, 0, sent})) << percentage;
        EXPECT_EQ(board->settings().offsetPercent, sent) << percentage;
    }
}

TEST_F(ClassicRoutines, UnplugDuringInitOrDownloadEndsWithoutWaiting)
{
    bus.setFault(id, SimFault::UnplugDuringCommand);
    const auto took = Timed([&] {
        InitClassic(classic);
        DownloadClassic(classic);
    });
    EXPECT_FALSE(bus.isPlugged(id));
    EXPECT_LT(took.count(), HID_READ_TIMEOUT_MS);
}

} // namespace
