// The demo runs for a shift: USB timing on every transfer and no report log growing behind it.
#include "cvorlaine_dlg.h"
#include "demo_mode.h"
#include "hiddata_masterHID.h"
#include "sim_bus.h"
#include "wait_until.h"

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

// A one-to-one variant connects at start, with the device type its probe chain needs selected
// before the first connection pass.
TEST(Demo, OneToOneVariantConnectsWithoutTheMenu)
{
    const struct {
        const char* simulate;
        int deviceType;
    } rows[] = {
        {"runoff", 0},
        {"runoff:VASKARO_DEV2", 2},
        {"runoff:TELURAN_DEV5", 5},
        {"runoff:VERSION3-4", 4},
        {"runoff:VASKARO", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.simulate);
        QString error;
        auto demo = DemoBench::Create(QString::fromLatin1(row.simulate), &error);
        ASSERT_TRUE(demo) << error.toStdString();
        EXPECT_EQ(demo->deviceType(), row.deviceType);
        CVorlaineDlg dlg(demo->backend(), {}, nullptr, demo->deviceType());
        EXPECT_EQ(dlg.engine.SelectedDeviceType(), row.deviceType);
        EXPECT_TRUE(waitUntil([&] { return dlg.windowTitle() == title::RUNOFF; }, std::chrono::seconds(10)));
        dlg.close();
    }
}
