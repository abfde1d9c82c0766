#include "record_store.h"
#include "record_writer.h"

#include "wait_until.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>

namespace {
TestRecord Record(std::int64_t start, bool pass = true)
{
    TestRecord r;
    r.startMs = start;
    r.endMs = start + 500;
    r.stationId = "st";
    r.pass = pass;
    r.values.fill(1000);
    return r;
}

std::int64_t CountIn(const std::string& path)
{
    RecordStore store;
    std::int64_t n = -1;
    std::string error;
    if (!store.Open(path, true, &error) || !store.Count(0, INT64_MAX, &n, &error))
        ADD_FAILURE() << error;
    return n;
}

TEST(RecordWriter, RecordsSubmittedRightBeforeClosingAreStored)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("sub/records.sqlite").toStdString();
    {
        RecordWriter writer(path);
        writer.Submit({Record(1), Record(2, false)});
        writer.Submit({Record(3)});
    }
    EXPECT_EQ(CountIn(path), 3);

    std::vector<TestRecord> back;
    RecordStore store;
    ASSERT_TRUE(store.Open(path, true, nullptr));
    store.Query(0, INT64_MAX, [&](const TestRecord& r) { back.push_back(r); return true; }, nullptr);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_FALSE(back[1].pass);
    EXPECT_EQ(back[2].values[31], 1000);
}

TEST(RecordWriter, ALockedDatabaseIsReportedOnceAndWrittenOnceFree)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("records.sqlite").toStdString();
    {
        RecordStore create;
        ASSERT_TRUE(create.Open(path, false, nullptr));
    }
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    std::atomic<int> problems{0}, recoveries{0};
    std::mutex mutex;
    std::string message;
    RecordWriter writer(
        path,
        [&](const std::string& m) {
            std::lock_guard lock(mutex);
            message = m;
            ++problems;
        },
        [&] { ++recoveries; });
    writer.Submit({Record(1)});
    ASSERT_TRUE(waitUntil([&] { return problems == 1; }));
    writer.Submit({Record(2)});
    EXPECT_FALSE(writer.Flush(std::chrono::seconds(3))); // two more attempts, still locked
    EXPECT_EQ(problems, 1);
    EXPECT_EQ(writer.Unwritten(), 2u);
    {
        std::lock_guard lock(mutex);
        EXPECT_NE(message.find("locked"), std::string::npos) << message;
    }

    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(writer.Flush(std::chrono::seconds(5)));
    EXPECT_EQ(recoveries, 1);
    EXPECT_EQ(writer.Written(), 2u);
    EXPECT_EQ(CountIn(path), 2);
}

TEST(RecordWriter, AnUnwritableDatabaseAtCloseLeavesTheRecordsInACsvFile)
{
    const std::string path = "/proc/vorlaine-none/records.sqlite";
    auto spilled = [] {
        std::set<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator("/tmp"))
            if (entry.path().filename().string().rfind("vorlaine-records.unsaved-", 0) == 0)
                files.insert(entry.path());
        return files;
    };
    const auto before = spilled();
    {
        RecordWriter writer(path);
        writer.Submit({Record(1), Record(2)});
    }
    int files = 0;
    for (const auto& file : spilled()) {
        if (before.count(file))
            continue;
        std::ifstream in(file);
        int lines = 0;
        for (std::string line; std::getline(in, line);)
            ++lines;
        EXPECT_EQ(lines, 3); // header and two records
        std::filesystem::remove(file);
        ++files;
    }
    EXPECT_EQ(files, 1);
}
} // namespace
