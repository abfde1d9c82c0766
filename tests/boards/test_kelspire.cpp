// Smart master: identities, every report shape on the wire, byte orders, the simulated board,
// faults and two threads on one board.
#include "colorbar.h"
#include "hiddata_kelspire.h"
#include "kelspire_routines.h"
#include "maker_domain.h"
#include "page_table.h"
#include "scripted_board.h"
#include "sim_kelspire_board.h"
#include "sim_runoff_board.h"
#include "wire_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>

namespace {

std::array<std::uint16_t, 32> Ramp(std::uint16_t base)
{
    std::array<std::uint16_t, 32> v{};
    for (std::size_t k = 0; k < v.size(); ++k)
        v[k] = static_cast<std::uint16_t>(base + k);
    return v;
}

SimReport TableBE(std::uint16_t base)
{
    SimReport r{};
    for (std::size_t k = 0; k < 32; ++k)
        putBE16(r, 1 + 2 * k, static_cast<std::uint16_t>(base + k));
    return r;
}

TEST(KelspireProbes, EachIdentityOpensItsOwnBoardOnly)
{
    SimBus bus;
    auto board = std::make_shared<SimKelspireBoard>();
    const int domain = bus.plug(SimKelspireBoard::Identity(MAKER_DOMAIN), board);
    const int company = bus.plug(SimKelspireBoard::Identity("brackwelltech"), board);
    const int version2 = bus.plug(SimKelspireBoard::Identity("VERSION2"), board);
    // A one-to-one board with the same ids and manufacturer is not a smart master.
    bus.plug(SimRunoffBoard::Identity("VERSION2"), std::make_shared<SimRunoffBoard>());

    const std::vector<std::pair<std::function<int(hiddata_kelspire&)>, int>> probes = {
        {[](auto& k) { return k.Connect(); }, domain},
        {[](auto& k) { return k.ConnectByCompanyName(); }, company},
        {[](auto& k) { return k.ConnectVersion2(); }, version2},
    };
    for (const auto& [probe, id] : probes) {
        hiddata_kelspire kelspire(bus);
        ASSERT_EQ(probe(kelspire), 0);
        for (int other : {domain, company, version2})
            bus.clearLog(other);
        kelspire.ReadFirmwareDay();
        EXPECT_EQ(bus.log(id).size(), 1u);
    }

    SimBus empty;
    hiddata_kelspire absent(empty);
    EXPECT_EQ(absent.Connect(), 1);
    EXPECT_EQ(absent.ConnectByCompanyName(), 1);
    EXPECT_EQ(absent.ConnectVersion2(), 1);
}

// Every output report gets an answer from the scripted board, so a command that read an
// acknowledge after a set would leave none queued.
struct KelspireWire : ::testing::Test {
    SimBus bus;
    std::shared_ptr<ScriptedBoard> board = std::make_shared<ScriptedBoard>(CountingReply());
    int id = bus.plug(SimKelspireBoard::Identity(MAKER_DOMAIN), board);
    hiddata_kelspire kelspire{bus};
    void SetUp() override { ASSERT_EQ(kelspire.Connect(), 0); }
};

struct KelspireSetCase {
    const char* name;
    std::function<void(hiddata_kelspire&)> call;
    std::vector<SimReport> expected;
};

void PrintTo(const KelspireSetCase& c, std::ostream* os)
{
    *os << c.name;
}

class KelspireSets : public KelspireWire, public ::testing::WithParamInterface<KelspireSetCase> {};

TEST_P(KelspireSets, SendTheseReportsAndReadNothing)
{
    GetParam().call(kelspire);
    const auto sent = OutputReports(bus.log(id));
    ASSERT_EQ(sent.size(), GetParam().expected.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(sent[i], GetParam().expected[i]) << "report " << i;
    EXPECT_EQ(bus.readyInput(id), sent.empty() ? 0u : 1u);
}

SimReport StationInBytes1To3(std::uint8_t s)
{
    return Bytes({s, s, s});
}

SimReport With(SimReport r, std::initializer_list<std::pair<int, int>> at)
{
    for (auto [pos, b] : at)
        r[static_cast<std::size_t>(pos)] = static_cast<std::uint8_t>(b);
    return r;
}

SimReport Text(SimReport r, std::size_t pos, const std::string& text)
{
    std::memcpy(r.data() + pos, text.data(), text.size());
    return r;
}

const std::array<std::uint8_t, 32> kLayout = {1, 3, 2, 0xAA};

INSTANTIATE_TEST_SUITE_P(
    Kelspire, KelspireSets,
    ::testing::Values(
        KelspireSetCase{"WriteDataRangeMax_station_3", [](auto& k) { k.WriteDataRangeMax(3, 0x0102); },
                        {Bytes({1, 0x29, 0xD7}), Filled(3), With(Filled(3), {{1, 0x01}, {2, 0x02}})}},
        KelspireSetCase{"WriteDataRangeMin_70000_sends_4464", [](auto& k) { k.WriteDataRangeMin(6, 70000); },
                        {Bytes({1, 0x29, 0xD9}), Filled(6), With(Filled(6), {{1, 0x11}, {2, 0x70}})}},
        KelspireSetCase{"WriteUpperLimits_station_2",
                        [](auto& k) { auto v = Ramp(1100); k.WriteUpperLimits(2, v.data(), 32); },
                        {Bytes({1, 0x29, 0x11}), StationInBytes1To3(2), TableBE(1100)}},
        KelspireSetCase{"WriteReference", [](auto& k) { auto v = Ramp(0x0301); k.WriteReference(5, v.data(), 32); },
                        {Bytes({1, 0x29, 0x02}), StationInBytes1To3(5), TableBE(0x0301)}},
        KelspireSetCase{"WriteLowerLimits_one_value_keeps_the_station_behind_it",
                        [](auto& k) { auto v = Ramp(0x0A0B); k.WriteLowerLimits(4, v.data(), 1); },
                        {Bytes({1, 0x29, 0x21}), StationInBytes1To3(4), Bytes({0x0A, 0x0B, 4})}},
        KelspireSetCase{"WriteMask_layout_record_zeros_after_32",
                        [](auto& k) { k.WriteMask(1, kLayout.data(), 32); },
                        {Bytes({1, 0x29, 0x31}), StationInBytes1To3(1), Bytes({1, 3, 2, 0xAA})}},
        KelspireSetCase{"WriteOfflineDisplayMode_cleared", [](auto& k) { k.WriteOfflineDisplayMode(2); },
                        {Bytes({1, 0x29, 0xD5}), Bytes({}, {{21, 2}})}},
        KelspireSetCase{"WriteModelCode", [](auto& k) { k.WriteModelCode(4); },
                        {Bytes({1, 0x29, 0xDB}), Bytes({1, 0x29, 0xDB}, {{26, 4}})}},
        KelspireSetCase{"WriteAuxByte", [](auto& k) { k.WriteAuxByte(0x5A); },
                        {Bytes({1, 0x29, 0xF2}), Bytes({1, 0x29, 0xF2}, {{20, 0x5A}})}},
        KelspireSetCase{"WriteDeviceId_from_byte_1", [](auto& k) { k.WriteDeviceId("KS-7", 4); },
                        {Bytes({1, 0x29, 0x51}), Bytes({'K', 'S', '-', '7'})}},
        KelspireSetCase{"WriteAuthorTag_never_past_64",
                        [](auto& k) { k.WriteAuthorTag(std::string(80, 'T').c_str(), 80); },
                        {Bytes({1, 0x29, 0x41}), Text(SimReport{}, 1, std::string(64, 'T'))}},
        KelspireSetCase{"WriteLogoText_at_33", [](auto& k) { k.WriteLogoText("LOGO", 4); },
                        {Bytes({1, 0x29, 0xD1}), Text(Bytes({1, 0x29, 0xD1}), 33, "LOGO")}},
        KelspireSetCase{"operations_without_a_command_send_nothing",
                        [](auto& k) {
                            k.ReadPendingChannels();
                            k.WriteFirmwareVersion(1);
                            k.WriteFirmwareYear(2);
                            k.WriteFirmwareMonth(3);
                            k.WriteFirmwareDay(4);
                            k.WriteAuthorName("NAME", 4);
                            k.WriteOptionFlags(5);
                            k.WriteTextPair("A", "B");
                            k.SetPassFailOutputs(0, 1);
                        },
                        {}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(KelspireWire, GetsSendTheirRequestAndStationReportAndParseTheirOffsets)
{
    // Counting reply: payload byte i holds i.
    EXPECT_EQ(kelspire.ReadChannels(9)[0], 0x0201); // little-endian
    EXPECT_EQ(kelspire.ReadChannels(9)[31], 0x403F);
    EXPECT_EQ(kelspire.ReadReference(2)[0], 0x0102); // big-endian, same bytes
    EXPECT_EQ(kelspire.ReadUpperLimits(4)[31], 0x3F40);
    EXPECT_EQ(kelspire.ReadLowerLimits(200)[1], 0x0304);
    EXPECT_EQ(kelspire.ReadMask(1)[31], 32);
    EXPECT_EQ(kelspire.ReadDataRangeMax(3), 0x0102);
    EXPECT_EQ(kelspire.ReadDataRangeMin(6), 0x0102);
    EXPECT_EQ(kelspire.ReadFirmwareVersion(), 0x0102);
    EXPECT_EQ(kelspire.ReadFirmwareYear(), 0x0304);
    EXPECT_EQ(kelspire.ReadFirmwareMonth(), 5);
    EXPECT_EQ(kelspire.ReadFirmwareDay(), 6);
    EXPECT_EQ(kelspire.ReadOptionFlags(), 15);
    EXPECT_EQ(kelspire.ReadAuxByte(), 20);
    EXPECT_EQ(kelspire.ReadOfflineDisplayMode(), 21);
    EXPECT_EQ(kelspire.ReadModelCode(), 26);
    EXPECT_EQ(kelspire.ReadOutputs()[0], 1);
    EXPECT_EQ(kelspire.ReadOutputs()[1], 2);

    const std::vector<SimReport> expected = {
        With(Bytes({1, 0x29, 0xF0}), {{4, 9}}), With(Bytes({1, 0x29, 0xF0}), {{4, 9}}),
        Bytes({1, 0x29, 0x01}), Filled(2),
        Bytes({1, 0x29, 0x10}), Filled(4),
        Bytes({1, 0x29, 0x20}), Filled(200),
        Bytes({1, 0x29, 0x30}), Filled(1),
        Bytes({1, 0x29, 0xD8}), Filled(3),
        Bytes({1, 0x29, 0xDA}), Filled(6),
        Bytes({1, 0x29, 0x60}), Bytes({1, 0x29, 0x70}), Bytes({1, 0x29, 0x80}), Bytes({1, 0x29, 0x90}),
        Bytes({1, 0x29, 0xB0}), Bytes({1, 0x29, 0xF1}), Bytes({1, 0x29, 0xD6}), Bytes({1, 0x29, 0xDC}),
        Bytes({1, 0x29, 0xD4}), Bytes({1, 0x29, 0xD4}),
    };
    const auto sent = OutputReports(bus.log(id));
    ASSERT_EQ(sent.size(), expected.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(sent[i], expected[i]) << "report " << i;
}

TEST_F(KelspireWire, SameReplyBytesReadAsChannelsAndAsLimitsGiveDifferentValues)
{
    board->setReply(Bytes({0x34, 0x12}));
    EXPECT_EQ(kelspire.ReadChannels(2)[0], 0x1234);
    EXPECT_EQ(kelspire.ReadUpperLimits(2)[0], 0x3412);
    EXPECT_EQ(kelspire.ReadDataRangeMax(2), 0x3412);
}

TEST_F(KelspireWire, TextsComeFromTheirOffsetsAndAreTerminated)
{
    SimReport reply = Text(SimReport{}, 1, "AUTHOR-TAG-16CHR");
    reply = Text(reply, 17, "X"); // right after a full 16-byte text: must not leak into it
    reply = Text(reply, 33, "LOGO TEXT 16 CHR");
    board->setReply(reply);
    EXPECT_STREQ(kelspire.ReadAuthorTag(), "AUTHOR-TAG-16CHR");
    EXPECT_STREQ(kelspire.ReadDeviceId(), "AUTHOR-TAG-16CHR");
    EXPECT_STREQ(kelspire.ReadAuthorName(), "-TAG-16C");
    EXPECT_STREQ(kelspire.ReadLogoText(), "LOGO TEXT 16 CHR");
    const auto sent = OutputReports(bus.log(id));
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0][3], 0x40);
    EXPECT_EQ(sent[1][3], 0x50);
    EXPECT_EQ(sent[2][3], 0xA0);
    EXPECT_EQ(sent[3][3], 0xD0);
}

struct SimKelspire : ::testing::Test {
    SimBus bus;
    std::shared_ptr<SimKelspireBoard> board = std::make_shared<SimKelspireBoard>();
    int id = bus.plug(SimKelspireBoard::Identity(MAKER_DOMAIN), board);
    hiddata_kelspire kelspire{bus};
    void SetUp() override { ASSERT_EQ(kelspire.Connect(), 0); }
};

TEST_F(SimKelspire, StationsKeepTheirOwnSettingsAcrossARePlug)
{
    const auto refs = Ramp(650), upper = Ramp(1200), lower = Ramp(300);
    std::array<std::uint8_t, 32> mask{};
    mask[7] = 1;
    kelspire.WriteReference(3, refs.data(), 32);
    kelspire.WriteUpperLimits(3, upper.data(), 32);
    kelspire.WriteLowerLimits(3, lower.data(), 32);
    kelspire.WriteMask(3, mask.data(), 32);
    kelspire.WriteDataRangeMax(3, 2000);
    kelspire.WriteDataRangeMin(3, 20);
    kelspire.WriteMask(1, kLayout.data(), 32);
    kelspire.WriteAuthorTag("TAG", 3);
    EXPECT_EQ(bus.readyInput(id), 0u); // the board answers no set

    bus.unplug(id);
    id = bus.plug(SimKelspireBoard::Identity(MAKER_DOMAIN), board);
    ASSERT_EQ(kelspire.Connect(), 0);
    EXPECT_TRUE(std::equal(refs.begin(), refs.end(), kelspire.ReadReference(3)));
    EXPECT_TRUE(std::equal(upper.begin(), upper.end(), kelspire.ReadUpperLimits(3)));
    EXPECT_TRUE(std::equal(lower.begin(), lower.end(), kelspire.ReadLowerLimits(3)));
    EXPECT_TRUE(std::equal(mask.begin(), mask.end(), kelspire.ReadMask(3)));
    EXPECT_EQ(kelspire.ReadDataRangeMax(3), 2000);
    EXPECT_EQ(kelspire.ReadDataRangeMin(3), 20);
    EXPECT_TRUE(std::equal(kLayout.begin(), kLayout.end(), kelspire.ReadMask(1)));
    EXPECT_STREQ(kelspire.ReadAuthorTag(), "TAG");
    // Neighbours untouched.
    EXPECT_EQ(kelspire.ReadUpperLimits(2)[0], 1100);
    EXPECT_EQ(kelspire.ReadDataRangeMax(4), 1500);
}

TEST_F(SimKelspire, ChannelsAreLiveForStations2To6AndZeroElsewhere)
{
    for (int s = 2; s <= 6; ++s) {
        const std::uint16_t* v = kelspire.ReadChannels(static_cast<std::uint8_t>(s));
        for (std::size_t k = 0; k < 32; ++k) {
            EXPECT_GE(v[k], 500) << "station " << s;
            EXPECT_LE(v[k], 1100) << "station " << s;
        }
    }
    board->sensor(4).setPresent(false);
    EXPECT_LT(kelspire.ReadChannels(4)[0], 500);
    const std::uint16_t* none = kelspire.ReadChannels(7);
    EXPECT_TRUE(std::all_of(none, none + 32, [](std::uint16_t v) { return v == 0; }));
}

TEST_F(SimKelspire, GarbageRepliesToEveryReadStayInBounds)
{
    bus.setFault(id, SimFault::Garbage);
    for (int round = 0; round < 20; ++round) {
        const auto s = static_cast<std::uint8_t>(round * 37);
        kelspire.ReadChannels(s);
        kelspire.ReadReference(s);
        kelspire.ReadUpperLimits(s);
        kelspire.ReadLowerLimits(s);
        kelspire.ReadMask(s);
        kelspire.ReadDataRangeMax(s);
        kelspire.ReadDataRangeMin(s);
        EXPECT_LE(std::strlen(kelspire.ReadAuthorTag()), 16u);
        EXPECT_LE(std::strlen(kelspire.ReadDeviceId()), 16u);
        EXPECT_LE(std::strlen(kelspire.ReadAuthorName()), 8u);
        EXPECT_LE(std::strlen(kelspire.ReadLogoText()), 16u);
        kelspire.ReadFirmwareVersion();
        kelspire.ReadFirmwareYear();
        kelspire.ReadFirmwareMonth();
        kelspire.ReadFirmwareDay();
        kelspire.ReadOptionFlags();
        kelspire.ReadOutputs();
        kelspire.ReadOfflineDisplayMode();
        kelspire.ReadModelCode();
        kelspire.ReadAuxByte();
    }
}

TEST_F(SimKelspire, UnplugInTheMiddleOfACommandEndsWithoutWaiting)
{
    const auto before = Ramp(0);
    std::array<std::uint16_t, 32> got{};
    std::copy_n(kelspire.ReadUpperLimits(2), 32, got.begin());
    bus.setFault(id, SimFault::UnplugDuringCommand);
    const auto took = Timed([&] {
        kelspire.ReadUpperLimits(2); // the board vanishes after the request
        kelspire.WriteUpperLimits(2, before.data(), 32);
        kelspire.ReadChannels(2);
    });
    EXPECT_FALSE(bus.isPlugged(id));
    EXPECT_LT(took.count(), HID_READ_TIMEOUT_MS);
    // A failed read leaves the previous reply.
    EXPECT_TRUE(std::equal(got.begin(), got.end(), kelspire.ReadUpperLimits(2)));
}

TEST_F(SimKelspire, ASilentBoardCostsOneReadBoundPerGet)
{
    bus.setFault(id, SimFault::NoReply);
    const auto took = Timed([&] { kelspire.ReadDataRangeMax(2); });
    EXPECT_GE(took.count(), HID_READ_TIMEOUT_MS - 5);
    EXPECT_LT(took.count(), 3 * HID_READ_TIMEOUT_MS);
    // Sets wait for nothing, except that the first request after a read that timed out gives its
    // late reply one more read bound to turn up.
    EXPECT_LT(Timed([&] { kelspire.WriteDataRangeMax(2, 1); }).count(), 2 * HID_READ_TIMEOUT_MS);
    EXPECT_LT(Timed([&] { kelspire.WriteDataRangeMax(2, 1); }).count(), HID_READ_TIMEOUT_MS);
}

TEST_F(SimKelspire, TwoThreadsNeverInterleaveTheirReports)
{
    ChannelValues fixed{};
    for (std::size_t k = 0; k < fixed.size(); ++k)
        fixed[k] = static_cast<std::uint16_t>(900 + k);
    board->sensor(2).setFixed(fixed);

    // Transfers that take time make the two threads' commands overlap.
    bus.setTransferDelay(std::chrono::microseconds(50));
    constexpr int ROUNDS = 150;
    std::atomic<int> wrongChannels{0}, wrongLimits{0};
    std::atomic<bool> go{false};
    std::thread worker([&] {
        while (!go)
            std::this_thread::yield();
        for (int i = 0; i < 2 * ROUNDS; ++i)
            if (!std::equal(fixed.begin(), fixed.end(), kelspire.ReadChannels(2)))
                ++wrongChannels;
    });
    go = true;
    for (int i = 0; i < ROUNDS; ++i) {
        const auto limits = Ramp(static_cast<std::uint16_t>(1000 + i));
        kelspire.WriteUpperLimits(3, limits.data(), 32);
        if (!std::equal(limits.begin(), limits.end(), kelspire.ReadUpperLimits(3)))
            ++wrongLimits;
    }
    worker.join();
    EXPECT_EQ(wrongChannels, 0);
    EXPECT_EQ(wrongLimits, 0);

    // The log splits into whole commands: a channel read is one report, a limits read two, a
    // limits write three.
    const auto sent = OutputReports(bus.log(id));
    std::size_t i = 0;
    while (i < sent.size()) {
        ASSERT_EQ(sent[i][1], 0x01) << "report " << i;
        ASSERT_EQ(sent[i][2], 0x29) << "report " << i;
        switch (sent[i][3]) {
        case 0xF0:
            i += 1;
            break;
        case 0x10:
            ASSERT_LT(i + 1, sent.size());
            ASSERT_EQ(sent[i + 1], Filled(3)) << "report " << i + 1;
            i += 2;
            break;
        case 0x11:
            ASSERT_LT(i + 2, sent.size());
            ASSERT_EQ(sent[i + 1], StationInBytes1To3(3)) << "report " << i + 1;
            i += 3;
            break;
        default:
            FAIL() << "unexpected command at report " << i;
        }
    }
}

SimKelspireBoard::Station DistinctStation(int s)
{
    SimKelspireBoard::Station st;
    st.reference = Ramp(static_cast<std::uint16_t>(600 + 40 * s));
    st.upper = Ramp(static_cast<std::uint16_t>(1000 + 40 * s));
    st.lower = Ramp(static_cast<std::uint16_t>(300 + 40 * s));
    for (std::size_t k = 0; k < 32; ++k)
        st.mask[k] = static_cast<std::uint8_t>((k + s) % 2);
    st.dataMax = static_cast<std::uint16_t>(1600 + s);
    st.dataMin = static_cast<std::uint16_t>(20 + s);
    return st;
}

struct KelspireRoutines : SimKelspire {
    CColorBar grid;
    void SetUp() override
    {
        SimKelspire::SetUp();
        InitPageTableDefaults();
        grid.SetColumns(2); // as detection leaves it
        grid.SetRows(2);
    }
};

TEST_F(KelspireRoutines, InitTakesTheGridSizeFromTheLayoutRecordWhenItsFirstByteIs1)
{
    struct Case {
        std::array<std::uint8_t, 32> layout;
        int columns, rows;
    };
    for (const Case& c : {Case{{1, 3, 2}, 2, 3}, Case{{1, 7, 9}, 4, 4}, Case{{0, 3, 3}, 2, 2}, Case{{1, 0, 1}, 1, 0}}) {
        grid.SetColumns(2);
        grid.SetRows(2);
        board->setLayout(c.layout);
        InitKelspire(kelspire, grid);
        EXPECT_EQ(grid.GetColumns(), c.columns) << int(c.layout[0]) << "," << int(c.layout[1]) << "," << int(c.layout[2]);
        EXPECT_EQ(grid.GetRows(), c.rows) << int(c.layout[0]) << "," << int(c.layout[1]) << "," << int(c.layout[2]);
    }
}

TEST_F(KelspireRoutines, InitCopiesStations2To5IntoPages0To3AndLeavesPage4)
{
    for (int s = 2; s <= 6; ++s)
        board->setStation(s, DistinctStation(s));
    InitKelspire(kelspire, grid);

    for (int p = 0; p < 4; ++p) {
        const auto st = DistinctStation(p + 2);
        const PageChannels page = UnpackChannels(pageTable[p]);
        EXPECT_EQ(page.refData, st.reference) << "page " << p;
        EXPECT_EQ(page.thresholdHigh, st.upper) << "page " << p;
        EXPECT_EQ(page.thresholdLow, st.lower) << "page " << p;
        EXPECT_EQ(page.mask, st.mask) << "page " << p;
        EXPECT_EQ(page.dataMax, st.dataMax) << "page " << p;
        EXPECT_EQ(page.dataMin, st.dataMin) << "page " << p;
    }
    const PageChannels page4 = UnpackChannels(pageTable[4]);
    EXPECT_EQ(page4.thresholdHigh[0], 1100);
    EXPECT_EQ(page4.dataMax, 1500);

    // 25 station gets: the layout record, then six per station in order.
    std::vector<SimReport> expected = {Bytes({1, 0x29, 0x30}), Filled(1)};
    for (int s = 2; s <= 5; ++s)
        for (int code : {0x01, 0x10, 0x20, 0x30, 0xD8, 0xDA}) {
            expected.push_back(Bytes({1, 0x29, code}));
            expected.push_back(Filled(static_cast<std::uint8_t>(s)));
        }
    const auto sent = OutputReports(bus.log(id));
    ASSERT_EQ(sent.size(), expected.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(sent[i], expected[i]) << "report " << i;
}

TEST_F(KelspireRoutines, DownloadAddressesStationPagePlus2)
{
    for (int p : {0, 3}) {
        const auto st = DistinctStation(10 + p);
        {
            PageRecord& page = pageTable[p];
            std::memcpy(page.refData, st.reference.data(), sizeof st.reference);
            std::memcpy(page.thresholdHigh, st.upper.data(), sizeof st.upper);
            std::memcpy(page.thresholdLow, st.lower.data(), sizeof st.lower);
            std::memcpy(page.mask, st.mask.data(), sizeof st.mask);
            page.dataMax = 70000; // sent as 4464
            page.dataMin = st.dataMin;
        }
        bus.clearLog(id);
        DownloadKelspirePage(kelspire, p);

        const auto got = board->station(p + 2);
        EXPECT_EQ(got.reference, st.reference) << "page " << p;
        EXPECT_EQ(got.upper, st.upper) << "page " << p;
        EXPECT_EQ(got.lower, st.lower) << "page " << p;
        EXPECT_EQ(got.mask, st.mask) << "page " << p;
        EXPECT_EQ(got.dataMax, 4464) << "page " << p;
        EXPECT_EQ(got.dataMin, st.dataMin) << "page " << p;

        const auto sent = OutputReports(bus.log(id));
        ASSERT_EQ(sent.size(), 18u);
        const std::vector<int> codes = {0x31, 0x11, 0x21, 0x02, 0xD7, 0xD9};
        for (std::size_t c = 0; c < codes.size(); ++c) {
            EXPECT_EQ(sent[3 * c], Bytes({1, 0x29, codes[c]})) << "page " << p;
            EXPECT_EQ(sent[3 * c + 1][1], p + 2) << "page " << p << " command " << c;
        }
    }
    EXPECT_EQ(board->station(3).upper[0], 1100); // stations 3 and 4 untouched
    EXPECT_EQ(board->station(4).dataMax, 1500);

    bus.clearLog(id);
    DownloadKelspirePage(kelspire, 64);
    DownloadKelspirePage(kelspire, -1);
    EXPECT_TRUE(bus.log(id).empty());
}

TEST_F(KelspireRoutines, UnplugDuringInitOrDownloadEndsWithoutWaiting)
{
    bus.setFault(id, SimFault::UnplugDuringCommand);
    const auto took = Timed([&] {
        InitKelspire(kelspire, grid);
        DownloadKelspirePage(kelspire, 1);
    });
    EXPECT_FALSE(bus.isPlugged(id));
    EXPECT_LT(took.count(), HID_READ_TIMEOUT_MS);
}

} // namespace
