// One-to-one boards: probes, every command shape on the wire, reply parsing, the simulated board.
#include "hiddata_simple_runoff.h"
#include "maker_domain.h"
#include "scripted_board.h"
#include "sim_bus.h"
#include "wire_log.h"
#include "sim_runoff_board.h"

#include <gtest/gtest.h>

#include <functional>

namespace {


TEST(RunoffProbes, EachProbeOpensItsOwnVariant)
{
    const std::vector<std::pair<std::string, std::function<int(hiddata_simple_runoff&)>>> probes = {
        {"merrowin-demo", [](auto& r) { return r.ConnectBasic(); }},
        {"VASKARO", [](auto& r) { return r.ConnectVaskaro(); }},
        {"VASKARO_DEV3", [](auto& r) { return r.ConnectVaskaroMachine(3); }},
        {"TELURAN", [](auto& r) { return r.ConnectTeluran(); }},
        {"TELURAN_DEV5", [](auto& r) { return r.ConnectTeluranMachine(5); }},
        {"MR.DANVER", [](auto& r) { return r.ConnectDanver(); }},
        {"MR.DANVER_DEV1", [](auto& r) { return r.ConnectDanverMachine(1); }},
        {MAKER_DOMAIN, [](auto& r) { return r.ConnectMakerDomain(); }},
        {"VERSION2", [](auto& r) { return r.ConnectVersion2(0); }},
        {"VERSION2-4", [](auto& r) { return r.ConnectVersion2(4); }},
        {"VERSION3-5", [](auto& r) { return r.ConnectVersion3(5); }},
        {"VERSION6-1", [](auto& r) { return r.ConnectVersion6(1); }},
    };
    SimBus bus;
    auto board = std::make_shared<SimRunoffBoard>();
    std::vector<int> ids;
    for (const auto& [manufacturer, probe] : probes)
        ids.push_back(bus.plug(SimRunoffBoard::Identity(manufacturer), board));

    for (std::size_t i = 0; i < probes.size(); ++i) {
        hiddata_simple_runoff runoff(bus);
        ASSERT_EQ(probes[i].second(runoff), 0) << probes[i].first;
        for (int id : ids)
            bus.clearLog(id);
        runoff.ReadFirmwareDay();
        for (std::size_t j = 0; j < ids.size(); ++j)
            EXPECT_EQ(bus.log(ids[j]).size(), i == j ? 1u : 0u) << probes[i].first << " reached " << probes[j].first;
    }
}

TEST(RunoffProbes, IndicesOutOfRangeOpenNothingAndKeepTheDevice)
{
    SimBus bus;
    bus.plug(SimRunoffBoard::Identity("VERSION3"), std::make_shared<SimRunoffBoard>());
    hiddata_simple_runoff runoff(bus);
    ASSERT_EQ(runoff.ConnectVersion3(0), 0);
    HidDevice* opened = runoff.deviceHandle.get();
    EXPECT_EQ(runoff.ConnectVersion3(7), 1);
    EXPECT_EQ(runoff.ConnectVersion2(6), 1);
    EXPECT_EQ(runoff.ConnectVersion6(-1), 1);
    EXPECT_EQ(runoff.ConnectVaskaroMachine(0), 1);
    EXPECT_EQ(runoff.ConnectDanverMachine(6), 1);
    EXPECT_EQ(runoff.deviceHandle.get(), opened);
    EXPECT_EQ(runoff.ConnectVaskaro(), 1); // a real probe that misses drops the handle
    EXPECT_EQ(runoff.deviceHandle, nullptr);
}

struct Wire : ::testing::Test {
    SimBus bus;
    std::shared_ptr<ScriptedBoard> board = std::make_shared<ScriptedBoard>(CountingReply());
    int id = bus.plug(SimRunoffBoard::Identity("VASKARO"), board);
    hiddata_simple_runoff runoff{bus};
    void SetUp() override { ASSERT_EQ(runoff.ConnectVaskaro(), 0); }
};

struct SetCase {
    const char* name;
    std::function<void(hiddata_simple_runoff&)> call;
    std::vector<SimReport> expected;
    std::size_t unreadReplies; // replies left on the queue afterwards
};

void PrintTo(const SetCase& c, std::ostream* os)
{
    *os << c.name;
}

SimReport table16(std::uint16_t base)
{
    SimReport r{};
    for (std::size_t k = 0; k < 32; ++k) {
        r[1 + 2 * k] = static_cast<std::uint8_t>((base + k) >> 8);
        r[2 + 2 * k] = static_cast<std::uint8_t>((base + k) & 0xFF);
    }
    return r;
}

std::array<std::uint16_t, 32> values16(std::uint16_t base)
{
    std::array<std::uint16_t, 32> v{};
    for (std::size_t k = 0; k < v.size(); ++k)
        v[k] = static_cast<std::uint16_t>(base + k);
    return v;
}

class SetShapes : public Wire, public ::testing::WithParamInterface<SetCase> {};

TEST_P(SetShapes, SendsExactlyTheseReports)
{
    GetParam().call(runoff);
    const auto sent = OutputReports(bus.log(id));
    ASSERT_EQ(sent.size(), GetParam().expected.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(sent[i], GetParam().expected[i]) << "report " << i;
    EXPECT_EQ(bus.readyInput(id), GetParam().unreadReplies);
}

const auto masks = [] {
    std::array<std::uint8_t, 32> m{};
    for (std::size_t k = 0; k < m.size(); ++k)
        m[k] = static_cast<std::uint8_t>(k % 3);
    return m;
}();

SimReport maskData()
{
    SimReport r{};
    for (std::size_t k = 0; k < 32; ++k)
        r[1 + k] = masks[k];
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Runoff, SetShapes,
    ::testing::Values(
        SetCase{"WriteReference_fills_all_64_bytes",
                [](auto& r) { auto v = values16(0x0301); r.WriteReference(v.data(), 32); },
                {Bytes({1, 0x29, 0x02}), table16(0x0301)}, 0},
        SetCase{"WriteUpperLimits", [](auto& r) { auto v = values16(1100); r.WriteUpperLimits(v.data(), 32); },
                {Bytes({1, 0x29, 0x11}), table16(1100)}, 0},
        SetCase{"WriteLowerLimits_two_values_overlay_the_command",
                [](auto& r) { auto v = values16(0x0A0B); r.WriteLowerLimits(v.data(), 1); },
                {Bytes({1, 0x29, 0x21}), Bytes({0x0A, 0x0B, 0x21})}, 0},
        SetCase{"WriteMask_leaves_33_to_64_zero", [](auto& r) { r.WriteMask(masks.data(), 32); },
                {Bytes({1, 0x29, 0x31}), maskData()}, 0},
        SetCase{"WriteMask_one_byte_keeps_header", [](auto& r) { r.WriteMask(masks.data() + 1, 1); },
                {Bytes({1, 0x29, 0x31}), Bytes({1, 0x29, 0x31})}, 0},
        SetCase{"WriteDataRangeMax_70000_sends_4464", [](auto& r) { r.WriteDataRangeMax(70000); },
                {Bytes({1, 0x29, 0xD7}), Bytes({1, 0x29, 0xD7}, {{22, 0x11}, {23, 0x70}})}, 0},
        SetCase{"WriteDataRangeMin", [](auto& r) { r.WriteDataRangeMin(0x0102); },
                {Bytes({1, 0x29, 0xD9}), Bytes({1, 0x29, 0xD9}, {{24, 0x01}, {25, 0x02}})}, 0},
        SetCase{"WriteOutputs_cleared", [](auto& r) { r.WriteOutputs(1, 0, 0, 1); },
                {Bytes({1, 0x29, 0xD3}), Bytes({1, 0, 0, 1})}, 0},
        SetCase{"WriteOfflineDisplayMode_cleared", [](auto& r) { r.WriteOfflineDisplayMode(2); },
                {Bytes({1, 0x29, 0xD5}), Bytes({}, {{21, 2}})}, 0},
        SetCase{"WriteTextPair_cleared", [](auto& r) { r.WriteTextPair("AB", "0123456789abcdefXYZ"); },
                {Bytes({1, 0x29, 0xD2}),
                 Bytes({'A', 'B'}, {{17, '0'}, {18, '1'}, {19, '2'}, {20, '3'}, {21, '4'}, {22, '5'}, {23, '6'},
                                    {24, '7'}, {25, '8'}, {26, '9'}, {27, 'a'}, {28, 'b'}, {29, 'c'}, {30, 'd'},
                                    {31, 'e'}, {32, 'f'}})},
                0},
        SetCase{"WriteAuthorTag_16_bytes_no_reply_read", [](auto& r) { r.WriteAuthorTag("ABCDEFGHIJKLMNOPQRS"); },
                {Bytes({1, 0x29, 0xE1}),
                 Bytes({1, 0x29, 0xE1}, {{49, 'A'}, {50, 'B'}, {51, 'C'}, {52, 'D'}, {53, 'E'}, {54, 'F'}, {55, 'G'},
                                         {56, 'H'}, {57, 'I'}, {58, 'J'}, {59, 'K'}, {60, 'L'}, {61, 'M'}, {62, 'N'},
                                         {63, 'O'}, {64, 'P'}})},
                1},
        SetCase{"WriteSerialNumber_never_past_64", [](auto& r) { r.WriteSerialNumber(std::string(40, 'S').c_str(), 40); },
                {Bytes({1, 0x29, 0x41}), [] { SimReport x = Bytes({1, 0x29, 0x41}); for (int i = 33; i <= 64; ++i) x[i] = 'S'; return x; }()},
                0},
        SetCase{"WriteFirmwareYear", [](auto& r) { r.WriteFirmwareYear(2026); },
                {Bytes({1, 0x29, 0x71}), Bytes({1, 0x29, 0x71}, {{3, 0x07}, {4, 0xEA}})}, 0},
        SetCase{"WriteModelCode", [](auto& r) { r.WriteModelCode(4); },
                {Bytes({1, 0x29, 0xDB}), Bytes({1, 0x29, 0xDB}, {{26, 4}})}, 0},
        SetCase{"WriteAuxByte", [](auto& r) { r.WriteAuxByte(0x5A); },
                {Bytes({1, 0x29, 0xF2}), Bytes({1, 0x29, 0xF2}, {{20, 0x5A}})}, 0},
        SetCase{"SetBuzzerOutput_keeps_the_other_three", [](auto& r) { r.SetBuzzerOutput(9); },
                {Bytes({1, 0x29, 0xD4}), Bytes({1, 0x29, 0xD3}), Bytes({1, 2, 3, 9})}, 0}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(Wire, GetsSendOneCommandAndParseTheirPositions)
{
    // Counting reply: payload byte i holds i.
    EXPECT_EQ(runoff.ReadChannels()[0], 0x0201);      // little-endian
    EXPECT_EQ(runoff.ReadChannels()[31], 0x403F);
    EXPECT_EQ(runoff.ReadReference()[0], 0x0102);     // big-endian, same bytes
    EXPECT_EQ(runoff.ReadUpperLimits()[31], 0x3F40);
    EXPECT_EQ(runoff.ReadLowerLimits()[1], 0x0304);
    EXPECT_EQ(runoff.ReadMask()[31], 32);
    EXPECT_EQ(runoff.ReadDataRangeMax(), 0x1617);
    EXPECT_EQ(runoff.ReadDataRangeMin(), 0x1819);
    EXPECT_EQ(runoff.ReadFirmwareVersion(), 0x0102);
    EXPECT_EQ(runoff.ReadFirmwareYear(), 0x0304);
    EXPECT_EQ(runoff.ReadFirmwareMonth(), 5);
    EXPECT_EQ(runoff.ReadFirmwareDay(), 6);
    EXPECT_EQ(runoff.ReadOptionFlags(), 15);
    EXPECT_EQ(runoff.ReadOfflineDisplayMode(), 21);
    EXPECT_EQ(runoff.ReadModelCode(), 26);
    EXPECT_EQ(runoff.ReadAuxByte(), 20);
    EXPECT_EQ(runoff.ReadBuzzerOutput(), 4);

    const auto sent = OutputReports(bus.log(id));
    const std::vector<int> codes = {0xF0, 0xF0, 0x01, 0x10, 0x20, 0x30, 0xD8, 0xDA, 0x60,
                                    0x70, 0x80, 0x90, 0xB0, 0xD6, 0xDC, 0xF1, 0xD4};
    ASSERT_EQ(sent.size(), codes.size());
    for (std::size_t i = 0; i < codes.size(); ++i)
        EXPECT_EQ(sent[i], Bytes({1, 0x29, codes[i]})) << i;

    runoff.ReadPendingChannels(); // no command: just the next input report
    EXPECT_EQ(OutputReports(bus.log(id)).size(), codes.size());
}

TEST_F(Wire, TextsComeFromTheirPositionsAndAreTerminated)
{
    SimReport reply{};
    const std::string low = "SERIAL-NO-123456", high = "DEVICE-ID-654321";
    std::copy(low.begin(), low.end(), reply.begin() + 33);
    std::copy(high.begin(), high.end(), reply.begin() + 49);
    std::string name = "AUTHORXY";
    std::copy(name.begin(), name.end(), reply.begin() + 7);
    reply[15] = 'Z'; // right after the author name: must not leak into it
    board->setReply(reply);

    EXPECT_STREQ(runoff.ReadSerialNumber(), low.c_str());
    EXPECT_STREQ(runoff.ReadDeviceId(), high.c_str());
    EXPECT_STREQ(runoff.ReadAuthorName(), name.c_str());
    EXPECT_STREQ(runoff.ReadLogoText(), low.c_str());
    EXPECT_STREQ(runoff.ReadAuthorTag(), high.c_str());
    const auto sent = OutputReports(bus.log(id));
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[0][3], 0x50);
    EXPECT_EQ(sent[1][3], 0x50);
    EXPECT_EQ(sent[2][3], 0xA0);
    EXPECT_EQ(sent[3][3], 0xD0);
    EXPECT_EQ(sent[4][3], 0xE0);
}

TEST(SimRunoff, StoresSettingsAcrossARePlugAndMeasuresLive)
{
    SimBus bus;
    auto board = std::make_shared<SimRunoffBoard>();
    int id = bus.plug(SimRunoffBoard::Identity("TELURAN_DEV2"), board);
    hiddata_simple_runoff runoff(bus);
    ASSERT_EQ(runoff.ConnectTeluranMachine(2), 0);

    const auto refs = values16(650), upper = values16(1200), lower = values16(300);
    std::array<std::uint8_t, 32> mask{};
    mask[7] = 1;
    runoff.WriteReference(refs.data(), 32);
    runoff.WriteUpperLimits(upper.data(), 32);
    runoff.WriteLowerLimits(lower.data(), 32);
    runoff.WriteMask(mask.data(), 32);
    runoff.WriteDataRangeMax(2000);
    runoff.WriteDataRangeMin(20);
    runoff.WriteOutputs(0, 1, 0, 1);
    runoff.WriteAuthorTag("TAG");
    EXPECT_EQ(board->outputs(), (std::array<std::uint8_t, 4>{0, 1, 0, 1}));

    bus.unplug(id);
    bus.plug(SimRunoffBoard::Identity("TELURAN_DEV2"), board);
    ASSERT_EQ(runoff.ConnectTeluranMachine(2), 0);
    EXPECT_TRUE(std::equal(refs.begin(), refs.end(), runoff.ReadReference()));
    EXPECT_TRUE(std::equal(upper.begin(), upper.end(), runoff.ReadUpperLimits()));
    EXPECT_TRUE(std::equal(lower.begin(), lower.end(), runoff.ReadLowerLimits()));
    EXPECT_TRUE(std::equal(mask.begin(), mask.end(), runoff.ReadMask()));
    EXPECT_EQ(runoff.ReadDataRangeMax(), 2000);
    EXPECT_EQ(runoff.ReadDataRangeMin(), 20);
    EXPECT_STREQ(runoff.ReadAuthorTag(), "TAG");
    EXPECT_EQ(runoff.ReadOutputs()[1], 1);

    // Live values sit near the stored references while a sensor lies on the board.
    const std::uint16_t* values = runoff.ReadChannels();
    for (std::size_t k = 0; k < 32; ++k) {
        EXPECT_GE(values[k], lower[k]);
        EXPECT_LE(values[k], upper[k]);
    }
    board->sensor().setPresent(false);
    EXPECT_LT(runoff.ReadChannels()[0], lower[0]);
}

} // namespace
