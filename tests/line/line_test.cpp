#include "line_forwarder.h"
#include "line_schema.h"
#include "line_settings.h"
#include "pg_cluster.h"
#include "pq.h"

#include "old_store.h"
#include "wait_until.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

namespace {
PgCluster* cluster = nullptr;

class ClusterEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        cluster = new PgCluster;
        std::string error;
        if (!cluster->Create(&error))
            FAIL() << "the test cluster cannot be started: " << error;
    }
    void TearDown() override
    {
        delete cluster;
        cluster = nullptr;
    }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new ClusterEnvironment);

constexpr std::chrono::seconds DEADLINE{30};

TestRecord MakeRecord(int i, const std::string& kind = "classic")
{
    TestRecord r;
    r.startMs = 1'796'000'000'000 + i * 1000LL; // December 2026
    r.endMs = r.startMs + 700;
    r.stationId = "线体-1";
    r.boardKind = kind;
    r.boardIdentity = "id-" + std::to_string(i % 3);
    r.page = 1 + i % 4;
    r.column = i % 8;
    r.row = i % 5;
    r.pass = i % 7 != 0;
    r.failingChannels = r.pass ? 0 : 0x80000001u;
    r.passes = i % 9;
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        const auto c = static_cast<std::size_t>(k);
        r.values[c] = static_cast<std::uint16_t>(1000 + i + k);
        r.upperLimit[c] = 2000;
        r.lowerLimit[c] = static_cast<std::uint16_t>(500 + i % 2); // two limit sets between them
        r.reference[c] = 900;
        r.mask[c] = k % 5 != 0;
    }
    r.rangeHigh = 1.1;
    r.rangeLow = 0.1;
    r.configHash = "cfg-" + std::to_string(i % 2);
    return r;
}

void Store(const std::string& path, const std::vector<TestRecord>& records)
{
    RecordStore store;
    std::string error;
    ASSERT_TRUE(store.Open(path, false, &error, 30000)) << error; // a loaded machine may keep the forwarder long
    ASSERT_TRUE(store.Insert(records, &error)) << error;
}

std::vector<TestRecord> Stored(const std::string& path)
{
    RecordStore store;
    std::vector<TestRecord> records;
    EXPECT_TRUE(store.Open(path, true, nullptr));
    store.Query(0, INT64_MAX, [&](const TestRecord& r) { records.push_back(r); return true; }, nullptr);
    return records;
}

std::string StationDb(const std::string& path)
{
    RecordStore store;
    EXPECT_TRUE(store.Open(path, false, nullptr, 30000));
    return store.StationDb();
}

class LineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(cluster, nullptr);
        static int counter = 0;
        db = "line_" + std::to_string(++counter);
        std::string error;
        ASSERT_TRUE(cluster->CreateLineDatabase(db, &error)) << error;
        ASSERT_TRUE(admin.Open(cluster->ConnInfo(db), 10, &error)) << error;
    }

    // A station with a store of its own, forwarding as `role`.
    struct Station {
        QTemporaryDir dir;
        std::string path = dir.filePath("records.sqlite").toStdString();
        std::unique_ptr<LineForwarder> forwarder;
    };
    std::unique_ptr<Station> MakeStation(const std::string& role = "station_a", bool tcp = false)
    {
        auto s = std::make_unique<Station>();
        s->forwarder = std::make_unique<LineForwarder>(Options(s->path, role, tcp));
        return s;
    }
    LineOptions Options(const std::string& path, const std::string& role = "station_a", bool tcp = false)
    {
        LineOptions o;
        o.conninfo = tcp ? cluster->TcpConnInfo(db, role) : cluster->ConnInfo(db, role);
        o.storePath = path;
        o.station = role;
        o.programVersion = "test";
        o.poll = std::chrono::milliseconds(20);
        o.heartbeat = std::chrono::milliseconds(200);
        o.firstRetry = std::chrono::milliseconds(100);
        o.maxRetry = std::chrono::milliseconds(400);
        o.connectTimeoutS = 2;
        return o;
    }

    std::int64_t Scalar(const char* sql, const std::vector<pq::Param>& params = {})
    {
        pq::Result r = admin.Exec(sql, params);
        EXPECT_TRUE(r.Ok()) << r.Error();
        return r.Ok() && r.Rows() == 1 && !r.IsNull(0, 0) ? std::stoll(r.Text(0, 0)) : -1;
    }
    // Each record of the station exactly once and its local_seq 1..n without a gap.
    void ExpectExactlyOnce(const std::string& stationDb, std::int64_t n)
    {
        const auto p = std::vector<pq::Param>{stationDb};
        EXPECT_EQ(Scalar("SELECT count(*) FROM test_record WHERE station_db = $1", p), n);
        EXPECT_EQ(Scalar("SELECT count(DISTINCT local_seq) FROM test_record WHERE station_db = $1", p), n);
        EXPECT_EQ(Scalar("SELECT count(DISTINCT record_uuid) FROM test_record WHERE station_db = $1", p), n);
        EXPECT_EQ(Scalar("SELECT min(local_seq) FROM test_record WHERE station_db = $1", p), 1);
        EXPECT_EQ(Scalar("SELECT max(local_seq) FROM test_record WHERE station_db = $1", p), n);
    }
    // Synced after sending at least `sent` records: a status from before the last records were
    // stored says Synced too.
    static bool Synced(const LineForwarder& f, std::int64_t sent)
    {
        const LineStatus s = f.Status();
        return s.state == LineStatus::State::Synced && s.backlog == 0 && s.forwarded >= sent;
    }

    std::string db;
    pq::Connection admin;
};
} // namespace

TEST_F(LineTest, RecordsOfEveryBoardKindArriveFieldByField)
{
    auto station = MakeStation();
    std::vector<TestRecord> records;
    int i = 0;
    for (const char* kind : {"one-to-one", "smart-master", "offline-master", "classic"})
        for (int k = 0; k < 3; ++k)
            records.push_back(MakeRecord(i++, kind));
    records[1].boardIdentity = "it's \"quoted\", {braced} \\ and 中文";
    records[2].values.fill(65535);
    records[2].failingChannels = 0xFFFFFFFFu;
    records[3].rangeHigh = 1e300;
    records[3].rangeLow = -0.30000000000000004;
    Store(station->path, records);
    station->forwarder->SetBoard("classic", "id-0");
    station->forwarder->SetConfigHash("cfg-0");
    station->forwarder->Start();
    ASSERT_TRUE(waitUntil([&] { return Synced(*station->forwarder, 12); }, DEADLINE));

    const std::string stationDb = StationDb(station->path);
    pq::Result rows = admin.Exec(
        "SELECT record_uuid, (extract(epoch FROM started_at) * 1000)::bigint, "
        "(extract(epoch FROM ended_at) * 1000)::bigint, station_db, local_seq, station, board_kind, board_identity, "
        "page, cell_column, cell_row, pass, failing_channels, passes, vals, upper_limit, lower_limit, reference, mask, "
        "range_high, range_low, config_hash FROM test_record JOIN limit_set ON limit_set.hash = test_record.limit_set "
        "ORDER BY local_seq");
    ASSERT_TRUE(rows.Ok()) << rows.Error();
    const auto stored = Stored(station->path);
    ASSERT_EQ(rows.Rows(), static_cast<int>(stored.size()));
    auto array = [](const auto& values) {
        std::string text = "{";
        for (std::size_t k = 0; k < values.size(); ++k)
            text += (k ? "," : "") + std::to_string(values[k]);
        return text + "}";
    };
    for (int n = 0; n < rows.Rows(); ++n) {
        const TestRecord& r = stored[static_cast<std::size_t>(n)];
        SCOPED_TRACE(r.localSeq);
        EXPECT_EQ(rows.Text(n, 0), r.recordUuid);
        EXPECT_EQ(rows.Text(n, 1), std::to_string(r.startMs));
        EXPECT_EQ(rows.Text(n, 2), std::to_string(r.endMs));
        EXPECT_EQ(rows.Text(n, 3), stationDb);
        EXPECT_EQ(rows.Text(n, 4), std::to_string(r.localSeq));
        EXPECT_EQ(rows.Text(n, 5), r.stationId);
        EXPECT_EQ(rows.Text(n, 6), r.boardKind);
        EXPECT_EQ(rows.Text(n, 7), r.boardIdentity);
        EXPECT_EQ(rows.Text(n, 8), std::to_string(r.page));
        EXPECT_EQ(rows.Text(n, 9), std::to_string(r.column));
        EXPECT_EQ(rows.Text(n, 10), std::to_string(r.row));
        EXPECT_EQ(rows.Text(n, 11), r.pass ? "t" : "f");
        EXPECT_EQ(rows.Text(n, 12), std::to_string(r.failingChannels));
        EXPECT_EQ(rows.Text(n, 13), std::to_string(r.passes));
        EXPECT_EQ(rows.Text(n, 14), array(r.values));
        EXPECT_EQ(rows.Text(n, 15), array(r.upperLimit));
        EXPECT_EQ(rows.Text(n, 16), array(r.lowerLimit));
        EXPECT_EQ(rows.Text(n, 17), array(r.reference));
        EXPECT_EQ(rows.Text(n, 18), array(r.mask));
        EXPECT_EQ(std::stod(rows.Text(n, 19)), r.rangeHigh);
        EXPECT_EQ(std::stod(rows.Text(n, 20)), r.rangeLow);
        EXPECT_EQ(rows.Text(n, 21), r.configHash);
    }
    // Limits repeated across records are stored once: two sets, and the one with its own range.
    EXPECT_EQ(Scalar("SELECT count(*) FROM limit_set"), 3);
    // The heartbeat names the board, the configuration and the backlog.
    ASSERT_TRUE(waitUntil([&] {
        return Scalar("SELECT count(*) FROM station_status WHERE station_db = $1 AND board_identity = 'id-0' AND "
                      "config_hash = 'cfg-0' AND backlog = 0 AND state = 'synced'",
                      {stationDb}) == 1;
    }, DEADLINE));
    station->forwarder->Stop();
    EXPECT_EQ(Scalar("SELECT count(*) FROM station_status WHERE state = 'stopped'"), 1);
}

TEST_F(LineTest, RolesLetStationsOnlyInsertAndWriteTheirOwnStatusAndReadersOnlySelect)
{
    auto station = MakeStation();
    Store(station->path, {MakeRecord(1)});
    station->forwarder->Start();
    ASSERT_TRUE(waitUntil([&] { return Synced(*station->forwarder, 1); }, DEADLINE));
    ASSERT_TRUE(waitUntil([&] { return Scalar("SELECT count(*) FROM station_status") == 1; }, DEADLINE));
    station->forwarder->Stop();
    const std::string stationDb = StationDb(station->path);

    pq::Connection stationB, reader;
    std::string error;
    ASSERT_TRUE(stationB.Open(cluster->ConnInfo(db, "station_b"), 10, &error)) << error;
    ASSERT_TRUE(reader.Open(cluster->ConnInfo(db, "line_reader"), 10, &error)) << error;
    struct Case {
        pq::Connection* as;
        const char* sql;
        bool allowed;
    };
    const Case cases[] = {
        {&stationB, "SELECT count(*) FROM test_record", false},
        {&stationB, "DELETE FROM test_record", false},
        {&stationB, "UPDATE test_record SET pass = false", false},
        {&stationB, "UPDATE station_status SET state = 'x'", false},
        {&stationB, "CREATE TABLE test_record_2030_01 PARTITION OF test_record FOR VALUES FROM ('2030-01-01') TO "
                    "('2030-02-01')", false},
        {&reader, "SELECT count(*) FROM test_record JOIN limit_set ON hash = limit_set", true},
        {&reader, "SELECT count(*) FROM station_status", true},
        {&reader, "DELETE FROM limit_set", false},
        {&reader, "SELECT line_ensure_partition(now())", false},
    };
    for (const Case& c : cases) {
        pq::Result r = c.as->Exec(c.sql);
        EXPECT_EQ(r.Ok(), c.allowed) << c.sql << ": " << r.Error();
    }
    // Another station's status row stays as it is.
    pq::Result r = stationB.Exec("SELECT line_heartbeat($1::uuid, 'x', 'synced', '', '', '', '', 0, NULL, 0)",
                                 {stationDb});
    ASSERT_TRUE(r.Ok()) << r.Error();
    EXPECT_EQ(r.Text(0, 0), "f");
    EXPECT_EQ(Scalar("SELECT count(*) FROM station_status WHERE station = 'station_a'"), 1);
}

TEST_F(LineTest, AnAbruptStopOfTheServerLosesNothingAndDuplicatesNothing)
{
    auto station = MakeStation("station_a", true);
    station->forwarder->Start();
    constexpr int BATCHES = 40, PER_BATCH = 25;
    std::atomic<bool> fed{false};
    std::thread feeder([&] {
        for (int b = 0; b < BATCHES; ++b) {
            std::vector<TestRecord> records;
            for (int k = 0; k < PER_BATCH; ++k)
                records.push_back(MakeRecord(b * PER_BATCH + k));
            Store(station->path, records);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        fed = true;
    });
    ASSERT_TRUE(waitUntil([&] { return station->forwarder->Status().forwarded > 100; }, DEADLINE));
    std::string error;
    admin.Close();
    ASSERT_TRUE(cluster->Stop("immediate", &error)) << error;
    ASSERT_TRUE(waitUntil([&] { return station->forwarder->Status().state == LineStatus::State::Unreachable; },
                          DEADLINE));
    ASSERT_TRUE(cluster->Start(&error)) << error;
    feeder.join();
    ASSERT_TRUE(fed);
    ASSERT_TRUE(waitUntil([&] { return Synced(*station->forwarder, BATCHES * PER_BATCH); }, DEADLINE));
    ASSERT_TRUE(admin.Open(cluster->ConnInfo(db), 10, &error)) << error;
    ExpectExactlyOnce(StationDb(station->path), BATCHES * PER_BATCH);
}

TEST_F(LineTest, AStationKilledBetweenTheLinesCommitAndItsMarkResendsWithoutDuplicates)
{
    Station station;
    std::vector<TestRecord> records;
    for (int i = 0; i < 50; ++i)
        records.push_back(MakeRecord(i));
    Store(station.path, records);
    std::atomic<bool> killed{false};
    LineOptions options = Options(station.path);
    options.afterLineCommit = [&] {
        killed = true;
        return false;
    };
    {
        LineForwarder dying(options);
        dying.Start();
        ASSERT_TRUE(waitUntil([&] { return killed.load(); }, DEADLINE));
    }
    const std::string stationDb = StationDb(station.path);
    EXPECT_EQ(Scalar("SELECT count(*) FROM test_record"), 50);
    {
        RecordStore store;
        RecordStore::Backlog backlog;
        ASSERT_TRUE(store.Open(station.path, true, nullptr) && store.GetBacklog(&backlog, nullptr));
        EXPECT_EQ(backlog.unsent, 50);
    }
    LineForwarder again(Options(station.path));
    again.Start();
    ASSERT_TRUE(waitUntil([&] { return Synced(again, 50); }, DEADLINE));
    ExpectExactlyOnce(stationDb, 50);
}

TEST_F(LineTest, ARecordTheLineRefusesIsQuarantinedWithItsReasonAndTheOthersArrive)
{
    struct Case {
        const char* name;
        void (*spoil)(TestRecord&);
        const char* reason;
    };
    const Case cases[] = {
        {"ends before it starts", [](TestRecord& r) { r.endMs = r.startMs - 1; }, "test_record_ends_after_start"},
        {"negative passes", [](TestRecord& r) { r.passes = -1; }, "test_record_passes_check"},
    };
    auto station = MakeStation();
    std::vector<TestRecord> records;
    for (int i = 0; i < 30; ++i)
        records.push_back(MakeRecord(i));
    cases[0].spoil(records[7]);
    cases[1].spoil(records[21]);
    Store(station->path, records);
    station->forwarder->Start();
    ASSERT_TRUE(waitUntil([&] { return Synced(*station->forwarder, 28); }, DEADLINE));
    EXPECT_EQ(station->forwarder->Status().quarantined, 2);
    EXPECT_EQ(Scalar("SELECT count(*) FROM test_record"), 28);
    RecordStore store;
    ASSERT_TRUE(store.Open(station->path, true, nullptr));
    for (const auto& [seq, c] : {std::pair{8, cases[0]}, std::pair{22, cases[1]}}) {
        std::string reason;
        ASSERT_TRUE(store.QuarantineReason(seq, &reason, nullptr));
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.name << ": " << reason;
        EXPECT_EQ(Scalar("SELECT count(*) FROM test_record WHERE local_seq = $1", {std::to_string(seq)}), 0);
    }
}

TEST_F(LineTest, ThreeStationsForwardIntoOneLineAtOnce)
{
    const char* roles[] = {"station_a", "station_b", "station_c"};
    std::vector<std::unique_ptr<Station>> stations;
    for (const char* role : roles)
        stations.push_back(MakeStation(role));
    for (auto& s : stations)
        s->forwarder->Start();
    std::vector<std::thread> feeders;
    for (auto& s : stations)
        feeders.emplace_back([&s] {
            for (int b = 0; b < 10; ++b) {
                std::vector<TestRecord> records;
                for (int k = 0; k < 60; ++k)
                    records.push_back(MakeRecord(b * 60 + k));
                Store(s->path, records);
            }
        });
    for (auto& t : feeders)
        t.join();
    for (auto& s : stations)
        ASSERT_TRUE(waitUntil([&] { return Synced(*s->forwarder, 600); }, DEADLINE));
    for (auto& s : stations)
        ExpectExactlyOnce(StationDb(s->path), 600);
    ASSERT_TRUE(waitUntil([&] { return Scalar("SELECT count(DISTINCT station_role) FROM station_status") == 3; },
                          DEADLINE));
}

TEST_F(LineTest, AnUnreachableLineLetsRecordsPileUpSaysSoAndDrainsWhenItIsBack)
{
    std::string error;
    admin.Close();
    ASSERT_TRUE(cluster->Stop("fast", &error)) << error;
    auto station = MakeStation("station_a", true);
    std::vector<TestRecord> records;
    for (int i = 0; i < 300; ++i)
        records.push_back(MakeRecord(i));
    Store(station->path, records);
    station->forwarder->Start();
    ASSERT_TRUE(waitUntil([&] { return station->forwarder->Status().state == LineStatus::State::Unreachable; },
                          DEADLINE));
    Store(station->path, {MakeRecord(300)});
    EXPECT_FALSE(station->forwarder->Flush(std::chrono::seconds(10))) << "a flush waits in vain on a line that is down";
    ASSERT_TRUE(waitUntil([&] { return station->forwarder->Status().backlog == 301; }, DEADLINE));
    const LineStatus status = station->forwarder->Status();
    EXPECT_EQ(status.state, LineStatus::State::Unreachable);
    EXPECT_FALSE(status.reason.empty());
    EXPECT_EQ(status.oldestUnsentMs, records[0].startMs);

    ASSERT_TRUE(cluster->Start(&error)) << error;
    ASSERT_TRUE(waitUntil([&] { return Synced(*station->forwarder, 301); }, DEADLINE));
    // A station closing right after a record: the flush sends it before the forwarder stops.
    Store(station->path, {MakeRecord(301)});
    EXPECT_TRUE(station->forwarder->Flush(DEADLINE));
    station->forwarder->Stop();
    ASSERT_TRUE(admin.Open(cluster->ConnInfo(db), 10, &error)) << error;
    ExpectExactlyOnce(StationDb(station->path), 302);
}

TEST_F(LineTest, AStoreWrittenBeforeTheOutboxIsMigratedAndForwarded)
{
    auto station = MakeStation();
    ASSERT_TRUE(WriteOldStore(station->path, {1'796'000'000'000, 1'796'000'001'000, 1'796'000'002'000}));
    station->forwarder->Start();
    ASSERT_TRUE(waitUntil([&] { return Synced(*station->forwarder, 3); }, DEADLINE));
    ExpectExactlyOnce(StationDb(station->path), 3);
    EXPECT_EQ(Scalar("SELECT count(*) FROM test_record WHERE station = 'old-st' AND vals[6] = 105"), 3);
}

TEST_F(LineTest, TheMigrateCommandIsIdempotentAndRefusesAPassword)
{
    std::string message;
    EXPECT_EQ(LineMigrateCommand(cluster->ConnInfo(db), &message), 0) << message;
    EXPECT_NE(message.find("0 applied"), std::string::npos) << message;
    EXPECT_EQ(Scalar("SELECT count(*) FROM schema_migrations"), static_cast<std::int64_t>(LineMigrations().size()));
    EXPECT_EQ(LineMigrateCommand(cluster->ConnInfo(db) + " password=secret", &message), 2);
    EXPECT_NE(LineMigrateCommand("host=127.0.0.1 port=" + PgCluster::FreePort() + " dbname=x", &message), 0);
}

TEST(LineSettings, TheLineIsReadFromTheStationFile)
{
    struct Case {
        const char* text;
        const char* conninfo;
        bool ok;
    };
    const Case cases[] = {
        {"", "", true},
        {"line = host=db1 dbname=line\r\n", "host=db1 dbname=line", true},
        {"; line=host=x\n[Station]\nLINE=host=db2\n", "host=db2", true},
        {"[other]\nline=host=x\n", "", true},
        {"line=host=db password=secret\n", "", false},
    };
    QTemporaryDir dir;
    const std::string path = dir.filePath("station.ini").toStdString();
    for (const Case& c : cases) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.text;
        std::string conninfo, error;
        EXPECT_EQ(ReadLineSetting(path, &conninfo, &error), c.ok) << c.text;
        EXPECT_EQ(conninfo, c.conninfo) << c.text;
    }
}
