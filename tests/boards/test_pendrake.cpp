// Nine-way tester master: the command set on the wire, the block transfers of the configuration
// image, the simulated board and garbage replies.
#include "hiddata_pendrake.h"
#include "maker_domain.h"
#include "scripted_board.h"
#include "sim_pendrake_board.h"
#include "wire_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

struct PendrakeWire : ::testing::Test {
    SimBus bus;
    std::shared_ptr<ScriptedBoard> board = std::make_shared<ScriptedBoard>(CountingReply());
    int id = bus.plug(SimPendrakeBoard::Identity(MAKER_DOMAIN), board);
    hiddata_pendrake pendrake{bus};
    void SetUp() override { ASSERT_EQ(pendrake.Connect(), 0); }
};

struct PendrakeCase {
    const char* name;
    std::function<void(hiddata_pendrake&)> call;
    std::vector<SimReport> expected;
    std::size_t unreadReplies; // the scripted board answers every report
};

void PrintTo(const PendrakeCase& c, std::ostream* os)
{
    *os << c.name;
}

class PendrakeShapes : public PendrakeWire, public ::testing::WithParamInterface<PendrakeCase> {};

TEST_P(PendrakeShapes, SendExactlyTheseReports)
{
    GetParam().call(pendrake);
    const auto sent = OutputReports(bus.log(id));
    ASSERT_EQ(sent.size(), GetParam().expected.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(sent[i], GetParam().expected[i]) << "report " << i;
    EXPECT_EQ(bus.readyInput(id), GetParam().unreadReplies);
}

SimReport Text(SimReport r, std::size_t pos, const std::string& text)
{
    std::memcpy(r.data() + pos, text.data(), text.size());
    return r;
}

std::array<std::uint8_t, 64> BlockData()
{
    std::array<std::uint8_t, 64> d{};
    for (std::size_t i = 0; i < d.size(); ++i)
        d[i] = static_cast<std::uint8_t>(0xC0 + i);
    return d;
}

SimReport BlockReport()
{
    SimReport r{};
    const auto d = BlockData();
    std::copy(d.begin(), d.end(), r.begin() + 1);
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Pendrake, PendrakeShapes,
    ::testing::Values(
        PendrakeCase{"WriteFirmwareYear_big_endian", [](auto& p) { p.WriteFirmwareYear(2026); },
                     {Bytes({1, 0x29, 0x71}), Bytes({1, 0x29, 0x07, 0xEA})}, 0}, // the year covers the code
        PendrakeCase{"WriteOptionFlags", [](auto& p) { p.WriteOptionFlags(0x80); },
                     {Bytes({1, 0x29, 0xB1}), Bytes({1, 0x29, 0xB1}, {{15, 0x80}})}, 0},
        PendrakeCase{"WriteSerialNumber_never_past_64",
                     [](auto& p) { p.WriteSerialNumber(std::string(40, 'S').c_str(), 40); },
                     {Bytes({1, 0x29, 0x41}), Text(Bytes({1, 0x29, 0x41}), 33, std::string(32, 'S'))}, 0},
        PendrakeCase{"WriteAuthorName_at_7", [](auto& p) { p.WriteAuthorName("NAME", 4); },
                     {Bytes({1, 0x29, 0xA1}), Text(Bytes({1, 0x29, 0xA1}), 7, "NAME")}, 0},
        PendrakeCase{"WriteAuthorTag_cut_at_16_without_acknowledge",
                     [](auto& p) { p.WriteAuthorTag("ABCDEFGHIJKLMNOPQRS"); },
                     {Bytes({1, 0x29, 0xE1}), Text(Bytes({1, 0x29, 0xE1}), 49, "ABCDEFGHIJKLMNOP")}, 1},
        PendrakeCase{"ReadBlock_number_in_a_second_report",
                     [](auto& p) { std::uint8_t out[64]; p.ReadBlock(40, out); },
                     {Bytes({1, 0x29, 0xED}), Bytes({40})}, 0},
        PendrakeCase{"WriteBlock_three_reports_without_acknowledge",
                     [](auto& p) { const auto d = BlockData(); p.WriteBlock(7, d.data()); },
                     {Bytes({1, 0x29, 0xEE}), Bytes({7}), BlockReport()}, 1},
        PendrakeCase{"ReadValues_station_in_a_second_report", [](auto& p) { p.ReadValues(8); },
                     {Bytes({1, 0x29, 0xEF}), Bytes({8})}, 0}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(PendrakeWire, ReadsParseTheRecordPositions)
{
    // Counting reply: payload byte i holds i.
    EXPECT_EQ(pendrake.ReadFirmwareVersion(), 0x0102);
    EXPECT_EQ(pendrake.ReadFirmwareYear(), 0x0304);
    EXPECT_EQ(pendrake.ReadFirmwareMonth(), 5);
    EXPECT_EQ(pendrake.ReadFirmwareDay(), 6);
    EXPECT_EQ(pendrake.ReadOptionFlags(), 15);
    EXPECT_EQ(pendrake.ReadValues(0)[0], 0x0201); // little-endian
    std::uint8_t block[64];
    pendrake.ReadBlock(0, block);
    EXPECT_EQ(block[0], 1);
    EXPECT_EQ(block[63], 64);

    SimReport texts = Text(SimReport{}, 7, "AUTHORNM");
    texts[15] = 'Z';
    texts = Text(texts, 33, "SERIAL-NO-123456");
    texts = Text(texts, 49, "DEVICE-ID-654321");
    board->setReply(texts);
    EXPECT_STREQ(pendrake.ReadAuthorName(), "AUTHORNM");
    EXPECT_STREQ(pendrake.ReadSerialNumber(), "SERIAL-NO-123456");
    EXPECT_STREQ(pendrake.ReadDeviceId(), "DEVICE-ID-654321");
    EXPECT_STREQ(pendrake.ReadAuthorTag(), "DEVICE-ID-654321");

    const std::vector<int> codes = {0x60, 0x70, 0x80, 0x90, 0xB0, 0xEF, -1, 0xED, -1, 0xA0, 0x40, 0x50, 0xE0};
    const auto sent = OutputReports(bus.log(id));
    ASSERT_EQ(sent.size(), codes.size());
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (codes[i] >= 0) {
            EXPECT_EQ(sent[i], Bytes({1, 0x29, codes[i]})) << i;
        }
    }
}

struct SimPendrake : ::testing::Test {
    SimBus bus;
    std::shared_ptr<SimPendrakeBoard> board = std::make_shared<SimPendrakeBoard>();
    int id = bus.plug(SimPendrakeBoard::Identity(MAKER_DOMAIN), board);
    hiddata_pendrake pendrake{bus};
    void SetUp() override { ASSERT_EQ(pendrake.Connect(), 0); }
};

TEST_F(SimPendrake, AStationAreaTravelsInFourBlocksOfWhichTheLastIsPartlyUsed)
{
    auto& area = pendrake.image.stations[8];
    for (std::size_t i = 0; i < area.size(); ++i)
        area[i] = static_cast<std::uint8_t>(i + 1);
    ASSERT_TRUE(pendrake.WriteStationArea(8));

    // Station 8 owns blocks 37 to 40; the last carries bytes 192 to 233 of the area.
    for (int b = 0; b < 4; ++b) {
        const auto block = board->block(37 + b);
        for (std::size_t i = 0; i < 64; ++i) {
            const std::size_t at = static_cast<std::size_t>(b) * 64 + i;
            EXPECT_EQ(block[i], at < area.size() ? area[at] : 0) << "block " << 37 + b << " byte " << i;
        }
    }

    hiddata_pendrake other(bus);
    ASSERT_EQ(other.Connect(), 0);
    ASSERT_TRUE(other.ReadStationArea(8));
    EXPECT_EQ(other.image.stations[8], area);

    bus.clearLog(id);
    EXPECT_FALSE(other.ReadStationArea(9));
    EXPECT_FALSE(other.WriteStationArea(-1));
    EXPECT_TRUE(bus.log(id).empty());
}

TEST_F(SimPendrake, KeepsItsSettingsAcrossARePlugAndMeasuresNineStations)
{
    for (std::size_t i = 0; i < pendrake.image.general.size(); ++i)
        pendrake.image.general[i] = static_cast<std::uint8_t>(i * 7);
    pendrake.WriteGeneralArea();
    pendrake.WriteFirmwareVersion(0x0203);
    pendrake.WriteDeviceId("PD-9", 4);
    pendrake.WriteAuthorTag("TAG");
    EXPECT_EQ(bus.readyInput(id), 0u);

    bus.unplug(id);
    bus.plug(SimPendrakeBoard::Identity(MAKER_DOMAIN), board);
    hiddata_pendrake again(bus);
    ASSERT_EQ(again.Connect(), 0);
    again.ReadGeneralArea();
    EXPECT_EQ(again.image.general, pendrake.image.general);
    EXPECT_EQ(again.ReadFirmwareVersion(), 0x0203);
    EXPECT_STREQ(again.ReadDeviceId(), "PD-9");
    EXPECT_STREQ(again.ReadAuthorTag(), "TAG");

    for (std::uint8_t s = 0; s < 9; ++s) {
        const std::uint16_t* v = again.ReadValues(s);
        EXPECT_GE(v[0], 500) << int(s);
        EXPECT_LE(v[0], 1100) << int(s);
    }
    EXPECT_EQ(again.ReadValues(9)[0], 0);
}

TEST_F(SimPendrake, GarbageRepliesToEveryReadStayInBounds)
{
    bus.setFault(id, SimFault::Garbage);
    for (int round = 0; round < 10; ++round) {
        EXPECT_LE(std::strlen(pendrake.ReadSerialNumber()), 16u);
        EXPECT_LE(std::strlen(pendrake.ReadDeviceId()), 16u);
        EXPECT_LE(std::strlen(pendrake.ReadAuthorName()), 8u);
        EXPECT_LE(std::strlen(pendrake.ReadAuthorTag()), 16u);
        pendrake.ReadFirmwareVersion();
        pendrake.ReadFirmwareYear();
        pendrake.ReadFirmwareMonth();
        pendrake.ReadFirmwareDay();
        pendrake.ReadOptionFlags();
        pendrake.ReadValues(static_cast<std::uint8_t>(round * 29));
        pendrake.ReadGeneralArea();
        pendrake.ReadStationArea(round % 9);
    }
}

} // namespace
