#include "record_store.h"

#include "old_store.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

namespace {
TestRecord Record(std::int64_t start)
{
    TestRecord r;
    r.startMs = start;
    r.endMs = start + 500;
    r.stationId = "st";
    r.values.fill(1000);
    return r;
}

std::vector<TestRecord> Unsent(RecordStore& store)
{
    std::vector<TestRecord> records;
    std::string error;
    EXPECT_TRUE(store.Unsent(1000, &records, &error)) << error;
    return records;
}

// xxxxxxxx-xxxx-7xxx-[89ab]xxx-xxxxxxxxxxxx, lower-case hex.
bool IsUuid7(const std::string& s)
{
    if (s.size() != 36 || s[14] != '7' || std::string("89ab").find(s[19]) == std::string::npos)
        return false;
    for (std::size_t k = 0; k < s.size(); ++k) {
        const bool dash = k == 8 || k == 13 || k == 18 || k == 23;
        if (dash != (s[k] == '-') || (!dash && std::string("0123456789abcdef").find(s[k]) == std::string::npos))
            return false;
    }
    return true;
}
} // namespace

TEST(RecordStore, OldStoreIsMigratedInPlaceWithEveryRecordUnsent)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("records.sqlite").toStdString();
    ASSERT_TRUE(WriteOldStore(path, {1000, 2000, 3000}));

    std::string stationDb;
    {
        RecordStore store;
        std::string error;
        ASSERT_TRUE(store.Open(path, false, &error)) << error;
        EXPECT_EQ(store.SchemaVersion(), RecordStore::SCHEMA_VERSION);
        stationDb = store.StationDb();
        EXPECT_TRUE(IsUuid7(stationDb)) << stationDb;
        const auto records = Unsent(store);
        ASSERT_EQ(records.size(), 3u);
        std::set<std::string> uuids;
        for (std::size_t k = 0; k < records.size(); ++k) {
            EXPECT_EQ(records[k].localSeq, static_cast<std::int64_t>(k + 1));
            EXPECT_EQ(records[k].startMs, 1000 * static_cast<std::int64_t>(k + 1));
            EXPECT_EQ(records[k].values[5], 105);
            EXPECT_EQ(records[k].upperLimit[31], 900);
            EXPECT_EQ(records[k].mask[0], 1);
            EXPECT_EQ(records[k].boardIdentity, "id-7");
            EXPECT_TRUE(IsUuid7(records[k].recordUuid)) << records[k].recordUuid;
            uuids.insert(records[k].recordUuid);
        }
        EXPECT_EQ(uuids.size(), 3u);
        ASSERT_TRUE(store.Insert({Record(4000)}, &error)) << error;
    }
    // Opened again: the same identity, nothing migrated twice, the new record after the old ones.
    RecordStore store;
    ASSERT_TRUE(store.Open(path, true, nullptr));
    EXPECT_EQ(store.StationDb(), stationDb);
    const auto records = Unsent(store);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[3].localSeq, 4);
}

TEST(RecordStore, LocalSeqIsNeverReusedAndOnlySentRecordsArePruned)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("records.sqlite").toStdString();
    RecordStore store;
    std::string error;
    ASSERT_TRUE(store.Open(path, false, &error)) << error;
    ASSERT_TRUE(store.Insert({Record(1000), Record(2000), Record(3000), Record(4000)}, &error)) << error;
    // 1 and 2 sent, 3 refused, 4 still unsent.
    ASSERT_TRUE(store.MarkForwarded({1, 2}, {{3, "bad data"}}, &error)) << error;
    RecordStore::Backlog backlog;
    ASSERT_TRUE(store.GetBacklog(&backlog, &error));
    EXPECT_EQ(backlog.unsent, 1);
    EXPECT_EQ(backlog.oldestStartMs, 4000);
    EXPECT_EQ(backlog.quarantined, 1);
    std::string reason;
    ASSERT_TRUE(store.QuarantineReason(3, &reason, &error));
    EXPECT_EQ(reason, "bad data");

    std::int64_t removed = 0;
    ASSERT_TRUE(store.PruneSent(INT64_MAX, &removed, &error)) << error;
    EXPECT_EQ(removed, 2);
    std::int64_t count = 0;
    ASSERT_TRUE(store.Count(0, INT64_MAX, &count, &error));
    EXPECT_EQ(count, 2);

    // The row ids of the pruned records (the highest among them included) are not given again.
    ASSERT_TRUE(store.MarkForwarded({4}, {}, &error));
    ASSERT_TRUE(store.PruneSent(INT64_MAX, &removed, &error));
    ASSERT_TRUE(store.Insert({Record(5000)}, &error)) << error;
    const auto records = Unsent(store);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].localSeq, 5);
}

TEST(RecordStore, ARecordKeepsTheIdentityItWasGiven)
{
    QTemporaryDir dir;
    RecordStore store;
    std::string error;
    ASSERT_TRUE(store.Open(dir.filePath("records.sqlite").toStdString(), false, &error)) << error;
    TestRecord r = Record(1000);
    r.recordUuid = "018f0000-0000-7000-8000-000000000001";
    ASSERT_TRUE(store.Insert({r}, &error)) << error;
    // A record brought in twice under one identity is refused, not stored twice.
    EXPECT_FALSE(store.Insert({r}, &error));
    const auto records = Unsent(store);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].recordUuid, r.recordUuid);
}
