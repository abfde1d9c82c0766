#include "configuration_file.h"

#include "colorbar.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// Every field of every page different from every other one, so a swapped field or page shows.
Configuration Distinct(int fpcTest, int columns, int rows)
{
    Configuration c;
    c.fpcTest = fpcTest;
    c.columns = columns;
    c.rows = rows;
    for (int p = 0; p < c.PageCount(); ++p) {
        PageConfiguration& page = c.pages[static_cast<std::size_t>(p)];
        for (int k = 0; k < PAGE_CHANNELS; ++k) {
            const auto i = static_cast<std::size_t>(k);
            page.refData[i] = static_cast<std::uint16_t>(1000 * p + k);
            page.thresholdHigh[i] = static_cast<std::uint16_t>(60000 + 100 * p + k);
            page.thresholdLow[i] = static_cast<std::uint16_t>(30000 + 100 * p + k);
            page.mask[i] = static_cast<std::uint8_t>((k + p) % 3);
        }
        page.dataMax = 1500 + p;
        page.dataMin = -10 - p;
        page.offsetType = static_cast<std::uint8_t>(p % 2);
        page.percentage = 10.5f + static_cast<float>(p);
        page.offsetUpper = 100 + p;
        page.offsetLower = -200 - p;
        page.similarityOn = p % 2 == 0;
        page.similarityThreshold = 0.5 + 0.0625 * p; // exact in "%g"
    }
    return c;
}

Configuration Read(const std::string& text)
{
    const ConfigurationRead read = ReadConfiguration(Profile::FromText(text));
    EXPECT_TRUE(read.configuration.has_value());
    return read.configuration.value_or(Configuration{});
}

PageConfiguration PageOf(const PageRecord& record)
{
    return PageFromRecord(record);
}

std::vector<PageRecord> TableCopy()
{
    std::lock_guard lock(pageTableLock());
    return {std::begin(pageTable), std::end(pageTable)};
}

bool SameTable(const std::vector<PageRecord>& before, int from = 0)
{
    std::lock_guard lock(pageTableLock());
    for (int p = from; p < PAGE_COUNT; ++p)
        if (std::memcmp(&before[static_cast<std::size_t>(p)], &pageTable[p], sizeof(PageRecord)) != 0)
            return false;
    return true;
}

class ConfigurationFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitPageTableDefaults();
        ASSERT_TRUE(dir_.isValid());
    }
    std::string Path(const char* name) const { return dir_.filePath(name).toStdString(); }

    QTemporaryDir dir_;
};

TEST_F(ConfigurationFileTest, SavedConfigurationLoadsBackThroughTableAndGrid)
{
    const Configuration saved = Distinct(1, 3, 2);
    CColorBar source;
    ApplyConfiguration(saved, source);
    ASSERT_TRUE(SaveConfigurationFile(Path("a.ini"), source));

    InitPageTableDefaults();
    CColorBar target;
    std::optional<ConfigurationRefusal> refusal;
    ASSERT_TRUE(LoadConfigurationFile(Path("a.ini"), target, refusal));
    EXPECT_FALSE(refusal);

    EXPECT_EQ(target.GetFpcTestMode(), 1);
    EXPECT_EQ(target.GetColumns(), 3);
    EXPECT_EQ(target.GetRows(), 2);
    // PAGE04 is row 1, column 1 of a 3-column grid.
    EXPECT_EQ(target.GetSimilarityOn(1, 1), saved.pages[4].similarityOn);
    EXPECT_DOUBLE_EQ(target.GetSimilarityThreshold(1, 1), saved.pages[4].similarityThreshold);
    const Configuration loaded = CaptureConfiguration(target);
    for (int p = 0; p < 6; ++p) {
        SCOPED_TRACE(p);
        EXPECT_EQ(loaded.pages[static_cast<std::size_t>(p)], saved.pages[static_cast<std::size_t>(p)]);
    }
}

TEST_F(ConfigurationFileTest, WritesNamesValuesAndOrderOfTheFile)
{
    Configuration c;
    c.columns = 1;
    c.rows = 1;
    PageConfiguration& page = c.pages[0];
    page.offsetType = 1;
    page.percentage = 10.0f;
    page.offsetUpper = 100;
    page.offsetLower = 100;
    page.refData.fill(700);
    page.dataMax = 1500;
    page.dataMin = 10;
    page.similarityThreshold = 0.9;
    Profile profile;
    WriteConfiguration(c, profile);
    const std::string text = profile.Text();

    const std::string head = "[GLOBAL]\r\nFPCTEST=0\r\nCOL=1\r\nROW=1\r\n[PAGE00_OFFSET]\r\n"
                             "PAGE00_OFFSETTYPE=1\r\nPAGE00_PERCENTAGE=10.000000\r\n"
                             "PAGE00_OFFSETUPPER=100\r\nPAGE00_OFFSETLOWER=100\r\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    const std::vector<std::string> order = {
        "[PAGE00_REFDATA]\r\nCH00=700\r\n", "CH31=700\r\n[PAGE00_THRESHOLDHIGH]",
        "[PAGE00_THRESHOLDLOW]", "[PAGE00_DATARANG]\r\nMAX=1500\r\n[PAGE00_DATARANGE]\r\nMIN=10\r\n[PAGE00_MASK]",
        "[PAGE00_PEARSON]\r\nEN=0\r\nVAL=0.9\r\n"};
    std::size_t at = 0;
    for (const std::string& piece : order) {
        const std::size_t found = text.find(piece, at);
        ASSERT_NE(found, std::string::npos) << piece;
        at = found;
    }
}

TEST_F(ConfigurationFileTest, MaskRuleFollowsFpcTestBothWays)
{
    struct Case {
        int fpcTest;
        std::uint8_t byte;
        const char* written;
        std::uint8_t loaded;
    };
    const Case cases[] = {
        {0, 0, "1", 0}, {0, 1, "0", 1}, {0, 2, "0", 1}, // 1 and 2 both mean "excluded" here
        {1, 0, "0", 0}, {1, 1, "1", 1}, {1, 2, "2", 2}, {3, 2, "2", 2},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message() << "FPCTEST " << t.fpcTest << " mask " << int(t.byte));
        Configuration c;
        c.fpcTest = t.fpcTest;
        c.columns = 1;
        c.rows = 1;
        c.pages[0].mask.fill(t.byte);
        Profile profile;
        WriteConfiguration(c, profile);
        EXPECT_EQ(profile.GetString("PAGE00_MASK", "CH00"), t.written);
        EXPECT_EQ(profile.GetString("PAGE00_MASK", "CH31"), t.written);
        const Configuration back = Read(profile.Text());
        EXPECT_EQ(back.pages[0].mask[0], t.loaded);
        EXPECT_EQ(back.pages[0].mask[31], t.loaded);
    }

    // A missing mask section of a described page reads as all zeros: "not tested" in the first
    // case, the byte 0 otherwise.
    for (const auto& [fpcTest, expected] : {std::pair{0, 1}, std::pair{2, 0}}) {
        const Configuration back = Read("[GLOBAL]\nFPCTEST=" + std::to_string(fpcTest) +
                                        "\nCOL=2\nROW=1\n[PAGE00_REFDATA]\n[PAGE01_PEARSON]\n");
        for (int p = 0; p < 2; ++p)
            for (std::uint8_t byte : back.pages[static_cast<std::size_t>(p)].mask)
                EXPECT_EQ(byte, expected) << "FPCTEST " << fpcTest;
    }
}

TEST_F(ConfigurationFileTest, ValueSyntaxOfEveryKind)
{
    // 77 zeros, then "12", then digits beyond the 79-character cut.
    const std::string longValue = std::string(77, '0') + "12" + std::string(21, '9');
    ASSERT_EQ(longValue.size(), 100u);
    struct Case {
        std::string value;
        std::uint16_t channel;
    };
    const Case cases[] = {
        {"70000", 4464}, {"-1", 65535}, {" 12abc", 12}, {"", 0}, {"abc", 0}, {"+7", 7}, {longValue, 12},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE("value \"" + t.value + "\"");
        const Configuration c = Read("[GLOBAL]\nCOL=1\nROW=1\n[PAGE00_REFDATA]\nCH00=" + t.value +
                                     "\n[PAGE00_THRESHOLDLOW]\nCH07=" + t.value + "\n");
        EXPECT_EQ(c.pages[0].refData[0], t.channel);
        EXPECT_EQ(c.pages[0].thresholdLow[7], t.channel);
        EXPECT_EQ(c.pages[0].refData[1], 0); // missing key
    }

    const Configuration c = Read("[global]\ncol=1\nrow=1\n"
                                 "[PAGE00_OFFSET]\nPAGE00_OFFSETTYPE=5\nPAGE00_PERCENTAGE= 12.5abc\n"
                                 "PAGE00_OFFSETUPPER=4294967297\nPAGE00_OFFSETLOWER=-7x\n"
                                 "[PAGE00_DATARANG]\nMAX=-3\nMIN=99\n[PAGE00_DATARANGE]\nMAX=98\nMIN=4\n"
                                 "[PAGE00_PEARSON]\nEN=-2\nVAL=2.5e-1\n");
    const PageConfiguration& page = c.pages[0];
    EXPECT_EQ(page.offsetType, 1);
    EXPECT_FLOAT_EQ(page.percentage, 12.5f);
    EXPECT_EQ(page.offsetUpper, 1); // low 32 bits
    EXPECT_EQ(page.offsetLower, -7);
    EXPECT_EQ(page.dataMax, -3); // MAX from DATARANG, MIN from DATARANGE
    EXPECT_EQ(page.dataMin, 4);
    EXPECT_TRUE(page.similarityOn);
    EXPECT_DOUBLE_EQ(page.similarityThreshold, 0.25);
}

// A file of the wrong kind, or none at all, must not reach the table or the grid through either
// loader: an empty grid, or page 0 with every channel masked, would test nothing.
TEST_F(ConfigurationFileTest, FilesOfTheWrongKindAreRefusedAndChangeNothing)
{
    const std::string current = "[GLOBAL]\nFPCTEST=0\nCOL=2\nROW=1\n[PAGE00_REFDATA]\nCH00=5\n";
    const std::string old = "[upperlimit]\nch0=900\n[lowerlimit]\nch0=100\n[channelenable]\nch_en0=1\n";
    struct Case {
        const char* name;
        std::string text; // none: the file is missing
        bool oldLoader;
        std::vector<std::string> missing;
        bool otherFormat;
        const char* unreadable;
    };
    const Case cases[] = {
        {"pages only", "[PAGE00_REFDATA]\nCH00=5\n", false, {"[GLOBAL]"}, false, ""},
        {"empty", "", false, {"[GLOBAL]"}, false, ""},
        {"no COL", "[GLOBAL]\nFPCTEST=0\nROW=2\n", false, {"[GLOBAL] COL"}, false, ""},
        {"old through the current loader", old, false, {"[GLOBAL]"}, true, ""},
        {"current through the old loader", current, true, {"[upperlimit]", "[lowerlimit]", "[channelenable]"}, true, ""},
        {"old without its mask", "[upperlimit]\n[lowerlimit]\n", true, {"[channelenable]"}, false, ""},
        {"missing", "", false, {}, false, "No such file or directory"},
        {"missing, old loader", "", true, {}, false, "No such file or directory"},
    };
    CColorBar grid;
    ApplyConfiguration(Distinct(2, 3, 2), grid);
    const std::vector<PageRecord> before = TableCopy();
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        const std::string path = Path("wrong.ini");
        std::remove(path.c_str());
        if (*t.unreadable == '\0')
            std::ofstream(path, std::ios::binary) << t.text;
        ConfigurationRefusal refusal;
        if (t.oldLoader) {
            EXPECT_FALSE(LoadOldConfigurationFile(path, &refusal));
        } else {
            std::optional<ConfigurationRefusal> refused;
            EXPECT_FALSE(LoadConfigurationFile(path, grid, refused));
            ASSERT_TRUE(refused);
            refusal = *refused;
        }
        EXPECT_EQ(refusal.missing, t.missing);
        EXPECT_EQ(refusal.otherFormat, t.otherFormat);
        EXPECT_EQ(refusal.unreadable, t.unreadable);
        EXPECT_TRUE(SameTable(before));
        EXPECT_EQ(grid.GetFpcTestMode(), 2);
        EXPECT_EQ(grid.GetColumns(), 3);
        EXPECT_EQ(grid.GetRows(), 2);
    }
    // A folder opens but does not read.
    std::optional<ConfigurationRefusal> refused;
    EXPECT_FALSE(LoadConfigurationFile(dir_.path().toStdString(), grid, refused));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->unreadable, "Is a directory");
    EXPECT_TRUE(SameTable(before));
}

// Pages of the grid that the file does not describe at all keep the start-up page, not zero
// limits; a page with some of its sections reads them.
TEST_F(ConfigurationFileTest, PagesWithoutSectionsTakeTheStartUpPage)
{
    {
        std::lock_guard lock(pageTableLock());
        EXPECT_EQ(PageOf(pageTable[63]), DefaultPage()) << "the defaults the table starts with";
    }
    CColorBar grid;
    ApplyConfiguration(Distinct(0, 8, 2), grid);
    std::string text = "[GLOBAL]\nFPCTEST=0\nCOL=3\nROW=4\n";
    for (int p = 0; p < 4; ++p)
        text += "[PAGE0" + std::to_string(p) + "_THRESHOLDHIGH]\nCH00=" + std::to_string(2000 + p) + "\n";
    std::ofstream(Path("partial.ini"), std::ios::binary) << text;

    const ConfigurationRead read = ReadConfigurationFile(Path("partial.ini"));
    ASSERT_TRUE(read.configuration);
    EXPECT_EQ(read.defaultedPages, (std::vector<int>{4, 5, 6, 7, 8, 9, 10, 11}));
    std::optional<ConfigurationRefusal> refusal;
    ASSERT_TRUE(LoadConfigurationFile(Path("partial.ini"), grid, refusal));

    std::lock_guard lock(pageTableLock());
    for (int p = 0; p < 12; ++p) {
        SCOPED_TRACE(p);
        const PageConfiguration page = PageOf(pageTable[p]);
        if (p < 4) {
            EXPECT_EQ(page.thresholdHigh[0], 2000 + p);
            EXPECT_EQ(page.thresholdLow[0], 0) << "a missing key of a described page";
        } else {
            EXPECT_EQ(page, DefaultPage());
            EXPECT_FALSE(grid.GetSimilarityOn(p % 3, p / 3));
        }
    }
}

TEST_F(ConfigurationFileTest, SavingASmallerGridKeepsTheLargerOnesPages)
{
    CColorBar grid;
    ApplyConfiguration(Distinct(0, 2, 2), grid);
    ASSERT_TRUE(SaveConfigurationFile(Path("b.ini"), grid));

    Configuration small = Distinct(0, 1, 1);
    small.pages[0].refData.fill(42);
    ApplyConfiguration(small, grid);
    ASSERT_TRUE(SaveConfigurationFile(Path("b.ini"), grid));

    Profile profile;
    ASSERT_TRUE(profile.Load(Path("b.ini")));
    EXPECT_EQ(profile.GetString("GLOBAL", "ROW"), "1");
    EXPECT_EQ(profile.GetString("GLOBAL", "COL"), "1");
    EXPECT_EQ(profile.GetString("PAGE00_REFDATA", "CH31"), "42");
    for (int p = 1; p < 4; ++p) {
        const std::string section = "PAGE0" + std::to_string(p) + "_REFDATA";
        EXPECT_EQ(profile.GetString(section, "CH31"), std::to_string(1000 * p + 31)) << section;
        EXPECT_NE(profile.GetString("PAGE0" + std::to_string(p) + "_PEARSON", "VAL"), "") << p;
    }
    const ConfigurationRead read = ReadConfiguration(profile);
    ASSERT_TRUE(read.configuration);
    EXPECT_EQ(read.configuration->PageCount(), 1);
}

TEST_F(ConfigurationFileTest, OldFormatChangesPageZeroAlone)
{
    CColorBar grid;
    ApplyConfiguration(Distinct(1, 3, 2), grid);
    const std::vector<PageRecord> before = TableCopy();

    std::string text = "[offset]\noffsetfunction1=1\noffsetfunction2=0\noffsetvalue1=7.25\n"
                       "offsetvalue_up=30\noffsetvalue_down=-40\n[datarange]\nmaxvalue=900\nminvalue=-5\n";
    for (const char* section : {"baseline", "upperlimit", "lowerlimit", "channelenable"}) {
        text += std::string("[") + section + "]\n";
        for (int k = 0; k < PAGE_CHANNELS; ++k) {
            const std::string key = std::strcmp(section, "channelenable") == 0 ? "ch_en" : "ch";
            text += key + std::to_string(k) + "=" + std::to_string(section[0] == 'c' ? k % 2 : 5 * k + section[0]) + "\n";
        }
    }
    {
        std::ofstream(Path("old.ini"), std::ios::binary) << text;
    }
    ASSERT_TRUE(LoadOldConfigurationFile(Path("old.ini")));

    EXPECT_TRUE(SameTable(before, 1));
    PageConfiguration page0;
    {
        std::lock_guard lock(pageTableLock());
        page0 = PageOf(pageTable[0]);
    }
    EXPECT_EQ(page0.offsetType, 1);
    EXPECT_FLOAT_EQ(page0.percentage, 7.25f);
    EXPECT_EQ(page0.offsetUpper, 30);
    EXPECT_EQ(page0.offsetLower, -40);
    EXPECT_EQ(page0.dataMax, 900);
    EXPECT_EQ(page0.dataMin, -5);
    for (int k = 0; k < PAGE_CHANNELS; ++k) {
        const auto i = static_cast<std::size_t>(k);
        EXPECT_EQ(page0.refData[i], 5 * k + 'b');
        EXPECT_EQ(page0.thresholdHigh[i], 5 * k + 'u');
        EXPECT_EQ(page0.thresholdLow[i], 5 * k + 'l');
        EXPECT_EQ(page0.mask[i], k % 2 == 0 ? 1 : 0) << k;
    }
    EXPECT_EQ(grid.GetFpcTestMode(), 1);
    EXPECT_EQ(grid.GetColumns(), 3);
    EXPECT_EQ(grid.GetRows(), 2);

    // The pair of offset flags: percentage only for the first flag alone.
    const std::pair<const char*, int> flags[] = {{"1\noffsetfunction2=0", 1}, {"0\noffsetfunction2=1", 0},
                                                 {"1\noffsetfunction2=1", 0}, {"0\noffsetfunction2=0", 0}};
    for (const auto& [values, type] : flags)
        EXPECT_EQ(ReadOldConfiguration(Profile::FromText(std::string("[offset]\noffsetfunction1=") + values))
                      .offsetType,
                  type)
            << values;
}

TEST_F(ConfigurationFileTest, OversizeFilesAreRefusedAndChangeNothing)
{
    struct Case {
        const char* row;
        const char* col;
        bool held;
    };
    const Case cases[] = {
        {"11", "1", false}, {"1", "-1", false}, {"9", "8", false}, {"4294967297", "1", false},
        {"10", "6", true},  {"8", "8", true},   {"0", "10", true},
    };
    CColorBar grid;
    ApplyConfiguration(Distinct(2, 3, 2), grid);
    const std::vector<PageRecord> before = TableCopy();
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message() << "ROW " << t.row << " COL " << t.col);
        const std::string text = std::string("[GLOBAL]\nFPCTEST=0\nROW=") + t.row + "\nCOL=" + t.col + "\n";
        const ConfigurationRead read = ReadConfiguration(Profile::FromText(text));
        EXPECT_EQ(read.configuration.has_value(), t.held);
        if (t.held)
            continue;
        EXPECT_EQ(read.refusal.rows, static_cast<int>(std::strtol(t.row, nullptr, 10)));
        EXPECT_EQ(read.refusal.columns, static_cast<int>(std::strtol(t.col, nullptr, 10)));

        std::ofstream(Path("big.ini"), std::ios::binary) << text;
        std::optional<ConfigurationRefusal> refusal;
        EXPECT_FALSE(LoadConfigurationFile(Path("big.ini"), grid, refusal));
        EXPECT_TRUE(refusal);
        EXPECT_TRUE(SameTable(before));
        EXPECT_EQ(grid.GetFpcTestMode(), 2);
        EXPECT_EQ(grid.GetColumns(), 3);
        EXPECT_EQ(grid.GetRows(), 2);
    }
}

TEST_F(ConfigurationFileTest, FloatsIgnoreACommaLocale)
{
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8",
                             "nl_NL.UTF-8", "es_ES.UTF-8", "it_IT.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) && std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
            comma = true;
            break;
        }
    }
    if (!comma) {
        std::setlocale(LC_NUMERIC, previous.c_str());
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }

    Configuration c = Distinct(0, 1, 1);
    c.pages[0].percentage = 12.5f;
    c.pages[0].similarityThreshold = 0.875;
    Profile profile;
    WriteConfiguration(c, profile);
    const std::string percentage = profile.GetString("PAGE00_OFFSET", "PAGE00_PERCENTAGE");
    const std::string val = profile.GetString("PAGE00_PEARSON", "VAL");
    const ConfigurationRead back = ReadConfiguration(Profile::FromText("[GLOBAL]\nCOL=1\nROW=1\n"
                                                                       "[PAGE00_OFFSET]\nPAGE00_PERCENTAGE=3.75\n"
                                                                       "[PAGE00_PEARSON]\nVAL=0.5\n"));
    std::setlocale(LC_NUMERIC, previous.c_str());

    EXPECT_EQ(percentage, "12.500000");
    EXPECT_EQ(val, "0.875");
    ASSERT_TRUE(back.configuration);
    EXPECT_FLOAT_EQ(back.configuration->pages[0].percentage, 3.75f);
    EXPECT_DOUBLE_EQ(back.configuration->pages[0].similarityThreshold, 0.5);
}

} // namespace
