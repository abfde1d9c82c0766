#include "record_spill.h"
#include "record_store.h"
#include "record_writer.h"
#include "records_csv.h"

#include "wait_until.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
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

// Start times of a CSV file's records; -1 entries never appear.
std::vector<std::int64_t> StartsIn(const std::string& csv)
{
    std::vector<std::int64_t> starts;
    std::ifstream in(csv, std::ios::binary);
    std::string error;
    EXPECT_TRUE(ReadCsvRecords(in, [&](const TestRecord& r) { starts.push_back(r.startMs); return true; }, &error))
        << csv << ": " << error;
    return starts;
}

// Another connection holding the store's write lock, as a second program would.
struct StoreLock {
    explicit StoreLock(const std::string& path)
    {
        RecordStore create;
        EXPECT_TRUE(create.Open(path, false, nullptr));
        create.Close();
        EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ~StoreLock() { Release(); }
    void Release()
    {
        if (!db)
            return;
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        db = nullptr;
    }
    sqlite3* db = nullptr;
};

// Sets, or with nothing unsets, an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name)
    {
        if (const char* v = std::getenv(name))
            old_ = v;
        Set(value);
    }
    ~ScopedEnv() { Set(old_); }

private:
    void Set(const std::optional<std::string>& value)
    {
        if (value)
            setenv(name_, value->c_str(), 1);
        else
            unsetenv(name_);
    }
    const char* name_;
    std::optional<std::string> old_;
};

// The user's state folder for one test.
struct StateHome {
    QTemporaryDir dir;
    ScopedEnv env{"XDG_STATE_HOME", dir.path().toStdString()};
    std::string Folder() const { return dir.filePath("vorlaine").toStdString(); }
};

unsigned Mode(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
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
    StoreLock other(path);

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

    other.Release();
    EXPECT_TRUE(writer.Flush(std::chrono::seconds(5)));
    EXPECT_EQ(recoveries, 1);
    EXPECT_EQ(writer.Written(), 2u);
    EXPECT_EQ(CountIn(path), 2);
}

// What the window counts as unsaved is in its export, in time order with the stored records, and
// once stored it is there once.
TEST(RecordWriter, AnExportWhileTheStoreIsLockedTakesTheRecordsInMemory)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("records.sqlite").toStdString();
    const std::string csv = dir.filePath("out.csv").toStdString();
    {
        RecordStore store;
        ASSERT_TRUE(store.Open(path, false, nullptr));
        ASSERT_TRUE(store.Insert({Record(2000)}, nullptr));
    }
    StoreLock other(path);
    std::atomic<int> problems{0};
    RecordWriter writer(path, [&](const std::string&) { ++problems; });
    writer.Submit({Record(1000), Record(3000), Record(9000)});
    ASSERT_TRUE(waitUntil([&] { return problems == 1; }));

    ExportResult r = ExportRecords(writer, 0, 5000, csv);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.rows, 3);
    EXPECT_EQ(r.unstored, 2);
    EXPECT_EQ(StartsIn(csv), (std::vector<std::int64_t>{1000, 2000, 3000}));

    other.Release();
    ASSERT_TRUE(writer.Flush(std::chrono::seconds(5)));
    r = ExportRecords(writer, 0, 5000, csv);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.unstored, 0);
    EXPECT_EQ(StartsIn(csv), (std::vector<std::int64_t>{1000, 2000, 3000}));
}

// A shift-long outage: memory stays at its bound, the rest goes to a private spill file at once,
// an export sees all of it, and the store gets every record back when it is free again.
TEST(RecordWriter, ALongOutageSpillsBeyondTheBoundAndLosesNothing)
{
    StateHome state;
    QTemporaryDir dir;
    const std::string path = dir.filePath("records.sqlite").toStdString();
    StoreLock other(path);
    std::atomic<int> problems{0};
    RecordWriter writer(path, [&](const std::string&) { ++problems; });
    constexpr int TOTAL = 3 * static_cast<int>(RecordWriter::MEMORY_BOUND) + 250;
    constexpr int STEP = 125;
    for (int submitted = 0; submitted < TOTAL;) {
        std::vector<TestRecord> batch;
        for (int i = 0; i < STEP; ++i)
            batch.push_back(Record(++submitted));
        writer.Submit(std::move(batch));
        if (submitted == STEP) { // the outage is known
            ASSERT_TRUE(waitUntil([&] { return problems == 1; }));
        }
        // At once, not at the next attempt on the store.
        ASSERT_TRUE(waitUntil([&] { return writer.Unwritten() <= RecordWriter::MEMORY_BOUND; },
                              RecordWriter::RETRY_AFTER / 2))
            << submitted;
        ASSERT_TRUE(waitUntil([&] { return writer.Unwritten() + writer.Spilled() == std::size_t(submitted); }));
    }
    EXPECT_EQ(problems, 1);
    const std::string spill = writer.SpillPath();
    ASSERT_EQ(spill.rfind(state.Folder() + "/spill-", 0), 0u) << spill;
    EXPECT_EQ(Mode(state.Folder()), 0700u);
    EXPECT_EQ(Mode(spill), 0600u);
    EXPECT_EQ(StartsIn(spill).size() + writer.Unwritten(), std::size_t(TOTAL));

    const std::string csv = dir.filePath("out.csv").toStdString();
    ExportResult r = ExportRecords(writer, 0, INT64_MAX, csv);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.unstored, TOTAL);
    const auto starts = StartsIn(csv);
    EXPECT_EQ(std::set<std::int64_t>(starts.begin(), starts.end()).size(), std::size_t(TOTAL));
    EXPECT_TRUE(std::is_sorted(starts.begin(), starts.end()));
    r = ExportRecords(writer, 0, INT64_MAX, spill); // an export never lands on the spill file
    EXPECT_FALSE(r.ok);

    other.Release();
    ASSERT_TRUE(writer.Flush(std::chrono::seconds(10)));
    EXPECT_EQ(CountIn(path), TOTAL);
    EXPECT_EQ(writer.Spilled(), 0u);
    EXPECT_EQ(writer.SpillPath(), "");
    EXPECT_FALSE(std::filesystem::exists(spill));
}

// Closing with a store that cannot be written: the records go to a spill file in the state
// folder, never to a name in /tmp, and come into a store from there once, however often brought.
TEST(RecordWriter, AnUnwritableDatabaseAtCloseLeavesTheRecordsInTheStateFolder)
{
    auto oldSpills = [] {
        std::set<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator("/tmp"))
            if (entry.path().filename().string().rfind("vorlaine-records", 0) == 0)
                files.insert(entry.path());
        return files;
    };
    const auto before = oldSpills();
    for (const bool xdg : {true, false}) {
        SCOPED_TRACE(xdg ? "XDG_STATE_HOME" : "HOME");
        QTemporaryDir base;
        const std::string b = base.path().toStdString();
        const ScopedEnv state("XDG_STATE_HOME", xdg ? std::optional(b) : std::nullopt);
        const ScopedEnv home("HOME", b);
        const std::string folder = xdg ? b + "/vorlaine" : b + "/.local/state/vorlaine";
        {
            RecordWriter writer("/proc/vorlaine-none/records.sqlite");
            writer.Submit({Record(1), Record(2)});
            ASSERT_TRUE(waitUntil([&] { return writer.Unwritten() == 2; }));
        }
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            files.push_back(entry.path().string());
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(Mode(folder), 0700u);
        if (!xdg) {
            EXPECT_EQ(Mode(b + "/.local/state"), 0700u);
        }
        EXPECT_EQ(Mode(files[0]), 0600u);
        EXPECT_EQ(StartsIn(files[0]), (std::vector<std::int64_t>{1, 2}));

        RecordStore store;
        ASSERT_TRUE(store.Open(b + "/records.sqlite", false, nullptr));
        for (const std::int64_t expected : {2, 0}) {
            std::int64_t added = -1;
            std::string error;
            EXPECT_TRUE(ImportRecords(files[0], store, &added, &error)) << error;
            EXPECT_EQ(added, expected);
        }
    }
    EXPECT_EQ(oldSpills(), before);
}

// The spill file is made anew, never through a name someone planted, and only in a folder that
// nobody else can write.
TEST(SpillFile, NeverWritesThroughAPlantedNameOrIntoAnOpenFolder)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string victim = folder + "/victim";
    std::ofstream(victim) << "keep";
    std::filesystem::create_symlink(victim, folder + "/link.csv");
    std::ofstream(folder + "/file.csv") << "keep";
    for (const char* name : {"link.csv", "file.csv"}) {
        SCOPED_TRACE(name);
        std::string error;
        EXPECT_EQ(SpillFile::Create(folder, name, &error), nullptr);
        EXPECT_FALSE(error.empty());
    }
    std::ifstream in(victim);
    std::string text;
    in >> text;
    EXPECT_EQ(text, "keep");

    const StateHome state;
    ASSERT_TRUE(std::filesystem::create_directory(state.Folder()));
    std::filesystem::permissions(state.Folder(), std::filesystem::perms::all);
    std::string error;
    EXPECT_EQ(SpillFile::CreateInStateFolder(&error), nullptr);
    EXPECT_NE(error.find("only this user"), std::string::npos) << error;
}
} // namespace
