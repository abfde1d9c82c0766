// Reads and writes against boards that misbehave: silence, late and garbage replies, unplugging.
#include "hiddata.h"
#include "hiddata_simple_runoff.h"
#include "sim_bus.h"
#include "sim_runoff_board.h"
#include "wait_until.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct Fixture : ::testing::Test {
    SimBus bus;
    std::shared_ptr<SimRunoffBoard> board = std::make_shared<SimRunoffBoard>();
    int id = bus.plug(SimRunoffBoard::Identity("VASKARO"), board);
    hiddata_simple_runoff runoff{bus};

    void SetUp() override { ASSERT_EQ(runoff.ConnectVaskaro(), 0); }

    static ChannelValues ramp(std::uint16_t base)
    {
        ChannelValues v{};
        for (std::size_t k = 0; k < v.size(); ++k)
            v[k] = static_cast<std::uint16_t>(base + k);
        return v;
    }
};

using Transport = Fixture;

TEST_F(Transport, SilentBoardLeavesThePreviousReplyAndReturns)
{
    board->sensor().setFixed(ramp(300));
    runoff.ReadChannels();
    const std::vector<std::uint8_t> before(runoff.report, runoff.report + HID_REPORT_SIZE);

    bus.setFault(id, SimFault::NoReply);
    const auto start = std::chrono::steady_clock::now();
    const std::uint16_t* values = runoff.ReadChannels();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s); // bounded, not a speed figure
    EXPECT_EQ(std::vector<std::uint8_t>(runoff.report, runoff.report + HID_REPORT_SIZE), before);
    EXPECT_EQ(runoff.lastReport, runoff.report);
    EXPECT_EQ(values[31], 331);
}

TEST_F(Transport, LateReplyIsNeverTakenForTheNextCommand)
{
    board->sensor().setFixed(ramp(400));
    bus.setFault(id, SimFault::LateReply, std::chrono::milliseconds(HID_READ_TIMEOUT_MS + 50));
    runoff.ReadFirmwareVersion(); // times out; its reply arrives afterwards
    bus.setFault(id, SimFault::None);
    ASSERT_TRUE(waitUntil([&] { return bus.readyInput(id) == 1; }));

    const std::uint16_t* values = runoff.ReadChannels();
    EXPECT_EQ(values[0], 400);
    EXPECT_EQ(values[31], 431);
    EXPECT_EQ(bus.readyInput(id), 0u);
}

// A read that gets nothing must not parse the reply to another command: what was last in the
// buffer then is the board's version record, not channel values.
TEST_F(Transport, UnansweredReadNeverTakesAnotherCommandsReply)
{
    board->sensor().setFixed(ramp(300));
    struct Case {
        bool answeredBefore; // this very request got a reply earlier
        std::uint16_t expected31;
    };
    for (const Case c : {Case{true, 331}, Case{false, 0}}) {
        ASSERT_EQ(runoff.ConnectVaskaro(), 0); // a fresh connection remembers no replies
        if (c.answeredBefore)
            runoff.ReadChannels();
        ASSERT_EQ(runoff.ReadFirmwareVersion(), 0x0131);
        board->sensor().setFixed(ramp(500));
        bus.setFault(id, SimFault::NoReply);
        const ReplyWatch watch;
        EXPECT_EQ(runoff.ReadChannels()[31], c.expected31) << c.answeredBefore;
        EXPECT_FALSE(watch.AllAnswered());
        bus.setFault(id, SimFault::None);
        board->sensor().setFixed(ramp(300));
    }
}

// Replies later than the read's bound, arriving after the next request has gone out, and one
// that never comes: no later command may take them, and the board is in step again afterwards.
TEST_F(Transport, LateOrLostReplyAfterTheNextRequestIsNotItsAnswer)
{
    board->sensor().setFixed(ramp(400));
    for (const int late : {30, 60, -1}) {
        if (late < 0)
            bus.setFault(id, SimFault::NoReply);
        else
            bus.setFault(id, SimFault::LateReply, std::chrono::milliseconds(HID_READ_TIMEOUT_MS + late));
        (void)runoff.ReadFirmwareVersion(); // times out
        bus.setFault(id, SimFault::None);   // the next request is answered at once, behind the late reply

        const ReplyWatch watch;
        const std::uint16_t* values = runoff.ReadChannels();
        if (watch.AllAnswered())
            EXPECT_EQ(values[0], 400) << late;
        else
            EXPECT_EQ(late, -1) << "a late reply that came within the grace must not cost the next read";
        EXPECT_TRUE(values[0] == 400 || values[0] == 0) << "never the version record: " << late;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(runoff.ReadFirmwareVersion(), 0x0131) << late;
        EXPECT_EQ(runoff.ReadChannels()[31], 431) << late;
    }
}

TEST_F(Transport, GarbageRepliesAreParsedWithinBounds)
{
    bus.setFault(id, SimFault::Garbage);
    for (int i = 0; i < 20; ++i) {
        runoff.ReadChannels();
        runoff.ReadReference();
        runoff.ReadMask();
        EXPECT_LE(std::strlen(runoff.ReadSerialNumber()), 16u);
        EXPECT_LE(std::strlen(runoff.ReadAuthorName()), 8u);
        EXPECT_LE(std::strlen(runoff.ReadLogoText()), 16u);
        EXPECT_LE(std::strlen(runoff.ReadAuthorTag()), 16u);
        runoff.ReadOutputs();
        runoff.SetBuzzerOutput(1);
        EXPECT_EQ(runoff.report[0], 0); // the report id stays 0 whatever came in
    }
}

TEST_F(Transport, UnplugInTheMiddleOfACommandEndsCleanly)
{
    std::atomic<int> removals{0};
    bus.setListener([&](SimBusEvent e, const std::string&) { removals += e == SimBusEvent::Removal; });
    bus.setFault(id, SimFault::UnplugDuringCommand);
    const ChannelValues refs = ramp(700);
    runoff.WriteReference(refs.data(), 32); // command report arrives, then the board is gone
    EXPECT_FALSE(bus.isPlugged(id));
    EXPECT_EQ(removals.load(), 1);
    ASSERT_EQ(bus.log(id).size(), 1u);

    const auto start = std::chrono::steady_clock::now();
    runoff.ReadChannels();
    runoff.WriteOutputs(1, 0, 0, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(runoff.ConnectVaskaro(), 1);
    EXPECT_EQ(runoff.deviceHandle, nullptr);
    runoff.ReadChannels(); // no device at all: still no crash
}

TEST_F(Transport, TwoThreadsNeverInterleaveTheirReports)
{
    ChannelValues limits{};
    limits.fill(0x0203);
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        while (!stop)
            runoff.ReadChannels();
    });
    for (int i = 0; i < 200; ++i)
        runoff.WriteUpperLimits(limits.data(), 32);
    stop = true;
    worker.join();

    const auto log = bus.log(id);
    int sets = 0;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const auto& r = log[i].bytes;
        if (r[1] == 0x01 && r[2] == 0x29 && r[3] == 0x11) {
            ++sets;
            ASSERT_LT(i + 1, log.size());
            EXPECT_EQ(log[i + 1].bytes[1], 0x02) << "data report of set " << sets << " was not next";
            EXPECT_EQ(log[i + 1].bytes[64], 0x03);
        }
    }
    EXPECT_EQ(sets, 200);
    EXPECT_EQ(board->tables().upper[31], 0x0203);
}

TEST(TransportNoDevice, WritesFailAndReadsYieldNoData)
{
    SimBus bus;
    hiddata hid(bus);
    hid.report[5] = 42;
    const std::uint8_t out[HID_REPORT_SIZE] = {0, 1, 0x29, 0xF0};
    EXPECT_TRUE(hid.WriteReport(out));
    const ReplyWatch watch;
    EXPECT_EQ(hid.ReadReport()[5], 0) << "no earlier reply to this request: zeros, not the old buffer";
    EXPECT_TRUE(hid.LastReadFailed());
    EXPECT_EQ(hid.SetFeatureReport(out), 2);
    EXPECT_EQ(hid.report[3], 0xF0); // staged even when nothing takes it
    EXPECT_EQ(hid.GetFeatureReport()[3], 0) << "a failed fetch is not the request's own bytes";
    EXPECT_FALSE(watch.AllAnswered());
}

} // namespace
