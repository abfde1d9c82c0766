// The production backend on a machine without tester boards.
#include "hidapi_backend.h"
#include "hiddata_simple_runoff.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(HidapiBackend, NoBoardsMeansEveryProbeFails)
{
    HidapiBackend backend;
    for (const HidDeviceInfo& d : backend.enumerate()) {
        EXPECT_FALSE(d.vendorId == 0x16A0 && d.productId == 0x05DF) << d.path;
    }

    bool anyHidraw = false;
    for (int i = 0; i < 64; ++i)
        anyHidraw |= std::filesystem::exists("/dev/hidraw" + std::to_string(i));
    if (!anyHidraw) {
        EXPECT_TRUE(backend.enumerate().empty());
    }

    hiddata_simple_runoff runoff(backend);
    EXPECT_EQ(runoff.ConnectBasic(), 1);
    EXPECT_EQ(runoff.ConnectVaskaro(), 1);
    EXPECT_EQ(runoff.ConnectTeluran(), 1);
    EXPECT_EQ(runoff.ConnectDanver(), 1);
    EXPECT_EQ(runoff.ConnectMakerDomain(), 1);
    for (int n = 0; n <= 6; ++n) {
        EXPECT_EQ(runoff.ConnectVaskaroMachine(n), 1);
        EXPECT_EQ(runoff.ConnectTeluranMachine(n), 1);
        EXPECT_EQ(runoff.ConnectDanverMachine(n), 1);
        EXPECT_EQ(runoff.ConnectVersion2(n), 1);
        EXPECT_EQ(runoff.ConnectVersion3(n), 1);
        EXPECT_EQ(runoff.ConnectVersion6(n), 1);
    }
    EXPECT_EQ(runoff.deviceHandle, nullptr);
}

TEST(HidapiBackend, OpensOnlyHidrawNodes)
{
    HidapiBackend backend;
    EXPECT_EQ(backend.open("/dev/null"), nullptr);
    EXPECT_EQ(backend.open("/dev/hidraw-missing"), nullptr);
    EXPECT_EQ(backend.open("/tmp"), nullptr);
    // Only an existing hidraw node can be one this user lacks the rights for.
    for (const char* path : {"/dev/null", "/dev/hidraw-missing", "/tmp"})
        EXPECT_FALSE(backend.accessDenied(path)) << path;
}
