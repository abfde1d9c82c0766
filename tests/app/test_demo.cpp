// The demo runs for a shift: USB timing on every transfer and no report log growing behind it.
#include "demo_mode.h"
#include "hiddata_masterHID.h"
#include "sim_bus.h"

#include <gtest/gtest.h>

#include <chrono>

TEST(Demo, BusKeepsNoLogAndTakesUsbTimePerTransfer)
{
    QString error;
    auto demo = DemoBench::Create(QStringLiteral("master:4x4"), &error);
    ASSERT_TRUE(demo) << error.toStdString();
    auto& bus = dynamic_cast<SimBus&>(demo->backend());
    hiddata_masterHID master(bus);
    ASSERT_EQ(master.Connect(), 0);

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i)
        (void)master.ReadRows(); // a request and its reply: two transfers
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
    EXPECT_EQ(master.ReadRows(), 4);
    EXPECT_TRUE(bus.log(1).empty());
}
