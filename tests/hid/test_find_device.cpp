// Device search over simulated devices: order, unreadable strings, narrowing, ids only.
#include "hiddata.h"
#include "sim_bus.h"
#include "sim_runoff_board.h"

#include <gtest/gtest.h>

namespace {

struct Dev {
    std::uint16_t vid = 0x16A0, pid = 0x05DF;
    std::optional<std::wstring> manufacturer, product;
};

struct FindCase {
    const char* name;
    std::vector<Dev> devices;
    const char* wantManufacturer;
    const char* wantProduct;
    int expectResult;
    int expectIndex; // which plugged device was opened, -1 for none
};

void PrintTo(const FindCase& c, std::ostream* os)
{
    *os << c.name;
}

class FindDeviceTable : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindDeviceTable, FindsTheFirstMatchOrExplainsWhy)
{
    const FindCase& c = GetParam();
    SimBus bus;
    auto board = std::make_shared<SimRunoffBoard>();
    std::vector<int> ids;
    for (const Dev& d : c.devices)
        ids.push_back(bus.plug({d.vid, d.pid, d.manufacturer, d.product}, board));

    hiddata hid(bus);
    std::unique_ptr<HidDevice> handle;
    EXPECT_EQ(hid.FindDevice(handle, 0x16A0, c.wantManufacturer, 0x05DF, c.wantProduct), c.expectResult);
    EXPECT_EQ(handle != nullptr, c.expectIndex >= 0);

    // Which device was opened: send a report through the handle and see whose log has it.
    if (handle) {
        std::uint8_t out[HID_REPORT_SIZE] = {0, 0x01, 0x29, 0x60};
        ASSERT_EQ(handle->write(out), 65);
        for (std::size_t i = 0; i < ids.size(); ++i)
            EXPECT_EQ(bus.log(ids[i]).size(), static_cast<int>(i) == c.expectIndex ? 1u : 0u) << "device " << i;
    }

    // OpenDevice folds the same search into 0 / 1 and keeps the handle.
    hiddata opener(bus);
    EXPECT_EQ(opener.OpenDevice(0x05DF, 0x16A0, c.wantManufacturer, c.wantProduct), c.expectResult == 0 ? 0 : 1);
    EXPECT_EQ(opener.deviceHandle != nullptr, c.expectResult == 0);
}

const std::wstring Q = L"Quarnel";

INSTANTIATE_TEST_SUITE_P(
    Search, FindDeviceTable,
    ::testing::Values(
        FindCase{"two_identical_first_wins", {{0x16A0, 0x05DF, L"VASKARO", Q}, {0x16A0, 0x05DF, L"VASKARO", Q}},
                 "VASKARO", "Quarnel", 0, 0},
        FindCase{"other_ids_ignored", {{0x1234, 0x05DF, L"VASKARO", Q}, {0x16A0, 0x05DF, L"VASKARO", Q}},
                 "VASKARO", "Quarnel", 0, 1},
        FindCase{"unreadable_manufacturer_alone_gives_2", {{0x16A0, 0x05DF, std::nullopt, Q}}, "VASKARO", "Quarnel", 2, -1},
        FindCase{"unreadable_manufacturer_skipped", {{0x16A0, 0x05DF, std::nullopt, Q}, {0x16A0, 0x05DF, L"VASKARO", Q}},
                 "VASKARO", "Quarnel", 0, 1},
        FindCase{"unreadable_product_gives_2", {{0x16A0, 0x05DF, L"VASKARO", std::nullopt}}, "VASKARO", "Quarnel", 2, -1},
        FindCase{"wrong_string_gives_3", {{0x16A0, 0x05DF, L"TELURAN", Q}}, "VASKARO", "Quarnel", 3, -1},
        FindCase{"nothing_plugged_gives_3", {}, "VASKARO", "Quarnel", 3, -1},
        FindCase{"wide_char_never_equals_plain_text", {{0x16A0, 0x05DF, L"VASK\u0100RO", Q}}, "VASKARO", "Quarnel", 3, -1},
        FindCase{"wide_char_matches_question_mark", {{0x16A0, 0x05DF, L"VASK\u0100RO", Q}}, "VASK?RO", "Quarnel", 0, 0},
        FindCase{"latin1_char_matches_its_byte", {{0x16A0, 0x05DF, L"VASK\u00C4RO", Q}}, "VASK\xC4RO", "Quarnel", 0, 0},
        FindCase{"null_texts_take_first_id_match", {{0x16A0, 0x05DF, std::nullopt, std::nullopt}, {0x16A0, 0x05DF, L"VASKARO", Q}},
                 nullptr, nullptr, 0, 0},
        FindCase{"case_matters", {{0x16A0, 0x05DF, L"vaskaro", Q}}, "VASKARO", "Quarnel", 3, -1}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(NarrowString, StopsAtZeroAndCountsSurrogatePairsTwice)
{
    EXPECT_EQ(hiddata::NarrowString(std::wstring(L"AB\0CD", 5)), "AB");
    EXPECT_EQ(hiddata::NarrowString(L"x\U0001F600y"), "x??y");
    EXPECT_EQ(hiddata::NarrowString(L"\u4E2D"), "?");
}

TEST(UsbErrorText, KnownCodesAndTheRest)
{
    EXPECT_EQ(hiddata::UsbErrorText(1), "Access to device denied");
    EXPECT_EQ(hiddata::UsbErrorText(2), "Communication error with device");
    EXPECT_EQ(hiddata::UsbErrorText(3), "The specified device was not found");
    EXPECT_EQ(hiddata::UsbErrorText(1167), "Unknown USB error 1167");
    EXPECT_EQ(hiddata::UsbErrorText(-5), "Unknown USB error -5");
}

} // namespace

// A known board whose node may not be opened is not found, and its node is told once, so that
// the user learns why instead of seeing "no board".
TEST(FindDevice, ANodeWithoutAccessIsReportedOnce)
{
    SimBus bus;
    auto board = std::make_shared<SimRunoffBoard>();
    const int denied = bus.plug(SimRunoffBoard::Identity("VASKARO"), board);
    bus.plug(SimRunoffBoard::Identity("TELURAN"), board);
    bus.setAccessDenied(denied, true);
    (void)hiddata::TakeAccessDenied();

    hiddata hid(bus);
    EXPECT_EQ(hid.OpenDevice(0x05DF, 0x16A0, "VASKARO", "Quarnel"), 1);
    EXPECT_EQ(hid.OpenDevice(0x05DF, 0x16A0, "VASKARO", "Quarnel"), 1);
    EXPECT_EQ(hid.OpenDevice(0x05DF, 0x16A0, "TELURAN", "Quarnel"), 0) << "the search goes on past it";
    EXPECT_EQ(hiddata::TakeAccessDenied(), std::vector<std::string>{SimBus::pathOf(denied)});
    EXPECT_TRUE(hiddata::TakeAccessDenied().empty());
}
