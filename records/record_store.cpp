#include "record_store.h"

#include "record_uuid.h"

#include <sqlite3.h>

#include <QDir>
#include <QStandardPaths>

#include <cstring>
#include <filesystem>

namespace {
// Version 0, the format before the outbox: no schema version, `id` reusable after a delete.
constexpr const char* COLUMNS = R"(
  start_ms INTEGER NOT NULL,
  end_ms INTEGER NOT NULL,
  station TEXT NOT NULL,
  board_kind TEXT NOT NULL,
  board_identity TEXT NOT NULL,
  page INTEGER NOT NULL,
  col INTEGER NOT NULL,
  row INTEGER NOT NULL,
  pass INTEGER NOT NULL,
  failing INTEGER NOT NULL,
  passes INTEGER NOT NULL,
  vals BLOB NOT NULL,
  upper BLOB NOT NULL,
  lower BLOB NOT NULL,
  reference BLOB NOT NULL,
  mask BLOB NOT NULL,
  range_high REAL NOT NULL,
  range_low REAL NOT NULL,
  config_hash TEXT NOT NULL
)";
constexpr const char* FIELDS = "start_ms, end_ms, station, board_kind, board_identity, page, col, row, pass, failing, "
                               "passes, vals, upper, lower, reference, mask, range_high, range_low, config_hash";

// Version 1. AUTOINCREMENT: a local_seq once given is never given again, even after pruning.
std::string SchemaV1()
{
    return std::string("CREATE TABLE records (\n  id INTEGER PRIMARY KEY AUTOINCREMENT,\n  record_uuid TEXT NOT NULL UNIQUE,") +
           COLUMNS + R"();
CREATE INDEX records_start ON records(start_ms);
CREATE TABLE outbox (local_seq INTEGER PRIMARY KEY);
CREATE TABLE quarantine (local_seq INTEGER PRIMARY KEY, reason TEXT NOT NULL, at_ms INTEGER NOT NULL);
CREATE TABLE store_info (key TEXT PRIMARY KEY, value TEXT NOT NULL);
)";
}

constexpr const char* INSERT = "INSERT INTO records (record_uuid, start_ms, end_ms, station, board_kind, board_identity, "
                               "page, col, row, pass, failing, passes, vals, upper, lower, reference, mask, range_high, "
                               "range_low, config_hash) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

// Channel arrays are stored little-endian, whatever the host.
std::string Pack(const ChannelArray& values)
{
    std::string bytes(values.size() * 2, '\0');
    for (std::size_t k = 0; k < values.size(); ++k) {
        bytes[2 * k] = static_cast<char>(values[k] & 0xFF);
        bytes[2 * k + 1] = static_cast<char>(values[k] >> 8);
    }
    return bytes;
}

// A short or missing blob leaves the rest 0.
void Unpack(sqlite3_stmt* s, int column, ChannelArray& values)
{
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(s, column));
    const int size = sqlite3_column_bytes(s, column);
    values.fill(0);
    for (int k = 0; bytes && k < GRID_CHANNELS && 2 * k + 1 < size; ++k)
        values[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>(bytes[2 * k] | bytes[2 * k + 1] << 8);
}

std::string Text(sqlite3_stmt* s, int column)
{
    const auto* text = sqlite3_column_text(s, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(s, column)))
                : std::string();
}

struct Statement {
    sqlite3_stmt* s = nullptr;
    ~Statement() { sqlite3_finalize(s); }
};

// Reads the columns of FIELDS from `first` on; then id and record_uuid when the store has them.
void ReadRecord(sqlite3_stmt* s, int first, bool identity, TestRecord& r)
{
    const int c = first;
    r.startMs = sqlite3_column_int64(s, c);
    r.endMs = sqlite3_column_int64(s, c + 1);
    r.stationId = Text(s, c + 2);
    r.boardKind = Text(s, c + 3);
    r.boardIdentity = Text(s, c + 4);
    r.page = sqlite3_column_int(s, c + 5);
    r.column = sqlite3_column_int(s, c + 6);
    r.row = sqlite3_column_int(s, c + 7);
    r.pass = sqlite3_column_int(s, c + 8) != 0;
    r.failingChannels = static_cast<std::uint32_t>(sqlite3_column_int64(s, c + 9));
    r.passes = sqlite3_column_int(s, c + 10);
    Unpack(s, c + 11, r.values);
    Unpack(s, c + 12, r.upperLimit);
    Unpack(s, c + 13, r.lowerLimit);
    Unpack(s, c + 14, r.reference);
    r.mask.fill(0);
    const auto* mask = static_cast<const unsigned char*>(sqlite3_column_blob(s, c + 15));
    const int maskSize = sqlite3_column_bytes(s, c + 15);
    for (int k = 0; mask && k < GRID_CHANNELS && k < maskSize; ++k)
        r.mask[static_cast<std::size_t>(k)] = mask[k];
    r.rangeHigh = sqlite3_column_double(s, c + 16);
    r.rangeLow = sqlite3_column_double(s, c + 17);
    r.configHash = Text(s, c + 18);
    if (identity) {
        r.localSeq = sqlite3_column_int64(s, c + 19);
        r.recordUuid = Text(s, c + 20);
    }
}

// uuid7(ms) in SQL, for the migration of old records.
void Uuid7Function(sqlite3_context* context, int, sqlite3_value** argv)
{
    const std::string uuid = NewUuid7(sqlite3_value_int64(argv[0]));
    sqlite3_result_text(context, uuid.c_str(), static_cast<int>(uuid.size()), SQLITE_TRANSIENT);
}
} // namespace

RecordStore::~RecordStore()
{
    Close();
}

void RecordStore::Close()
{
    Rollback();
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
    stationDb_.clear();
    version_ = 0;
}

std::string RecordStore::LastError() const
{
    return db_ ? sqlite3_errmsg(db_) : "not open";
}

bool RecordStore::Exec(const char* sql, std::string* error)
{
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    if (error)
        *error = message ? message : LastError();
    sqlite3_free(message);
    return false;
}

bool RecordStore::Open(const std::string& path, bool readOnly, std::string* error, int busyMs)
{
    Close();
    if (!readOnly) {
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        if (!folder.empty())
            std::filesystem::create_directories(folder, ec);
    }
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
        if (error)
            *error = LastError();
        Close();
        return false;
    }
    sqlite3_busy_timeout(db_, busyMs);
    sqlite3_create_function(db_, "uuid7", 1, SQLITE_UTF8, nullptr, Uuid7Function, nullptr, nullptr);
    if (!readOnly && !(Exec("PRAGMA journal_mode=WAL", error) && Exec("PRAGMA synchronous=FULL", error))) {
        Close();
        return false;
    }
    if (!Migrate(error)) {
        Close();
        return false;
    }
    return true;
}

bool RecordStore::Prepare(sqlite3_stmt** statement, const char* sql, std::string* error)
{
    if (db_ && sqlite3_prepare_v2(db_, sql, -1, statement, nullptr) == SQLITE_OK)
        return true;
    return Fail(error);
}

// Reads the schema version and, when writable, brings the file to the current one: under a write
// lock, so that the writer and the forwarder opening the same new file do it once.
bool RecordStore::Migrate(std::string* error)
{
    const bool readOnly = sqlite3_db_readonly(db_, "main") == 1;
    auto readVersion = [&](int* version) {
        Statement st;
        if (!Prepare(&st.s, "PRAGMA user_version", error) || sqlite3_step(st.s) != SQLITE_ROW)
            return Fail(error);
        *version = sqlite3_column_int(st.s, 0);
        return true;
    };
    auto readStationDb = [&] {
        Statement st;
        if (!Prepare(&st.s, "SELECT value FROM store_info WHERE key = 'station_db'", error))
            return false;
        if (sqlite3_step(st.s) != SQLITE_ROW)
            return Fail(error);
        stationDb_ = Text(st.s, 0);
        return !stationDb_.empty();
    };
    if (!readVersion(&version_))
        return false;
    if (version_ == SCHEMA_VERSION)
        return readStationDb();
    // Only a store that needs it takes the write lock, so opening one never waits for a writer.
    if (readOnly) {
        if (version_ > SCHEMA_VERSION) {
            if (error)
                *error = "the store was written by a newer program (schema " + std::to_string(version_) + ")";
            return false;
        }
        return version_ == 0 || readStationDb();
    }
    if (!Exec("BEGIN IMMEDIATE", error))
        return false;
    auto fail = [&] {
        Exec("ROLLBACK", nullptr);
        return false;
    };
    int version = 0;
    if (!readVersion(&version))
        return fail();
    if (version > SCHEMA_VERSION) {
        if (error)
            *error = "the store was written by a newer program (schema " + std::to_string(version) + ")";
        return fail();
    }
    if (version == 0) {
        bool old = false;
        {
            Statement st;
            if (!Prepare(&st.s, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'records'", error))
                return fail();
            old = sqlite3_step(st.s) == SQLITE_ROW;
        }
        // Old records get their identity now, in the order they were stored, and all are unsent.
        const std::string stationDb = NewUuid7(NowUtcMs());
        const std::string sql =
            std::string(old ? "ALTER TABLE records RENAME TO records_v0; DROP INDEX IF EXISTS records_start;" : "") +
            SchemaV1() +
            (old ? std::string("INSERT INTO records (id, record_uuid, ") + FIELDS + ") SELECT id, uuid7(end_ms), " +
                       FIELDS + " FROM records_v0 ORDER BY id; INSERT INTO outbox SELECT id FROM records; "
                                "DROP TABLE records_v0;"
                 : std::string()) +
            "INSERT INTO store_info VALUES ('station_db', '" + stationDb + "'); PRAGMA user_version = 1;";
        if (!Exec(sql.c_str(), error))
            return fail();
    }
    if (!Exec("COMMIT", error))
        return fail();
    version_ = SCHEMA_VERSION;
    return readStationDb();
}

bool RecordStore::Fail(std::string* error) const
{
    if (error)
        *error = LastError();
    return false;
}

bool RecordStore::Insert(const std::vector<TestRecord>& records, std::string* error)
{
    if (!Begin(error))
        return false;
    for (const TestRecord& r : records) {
        if (!Add(r, error)) {
            Rollback();
            return false;
        }
    }
    if (Commit(error))
        return true;
    Rollback();
    return false;
}

bool RecordStore::Begin(std::string* error)
{
    if (!db_)
        return Fail(error);
    if (!Exec("BEGIN IMMEDIATE", error))
        return false;
    if (sqlite3_prepare_v2(db_, INSERT, -1, &insert_, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db_, "INSERT INTO outbox (local_seq) VALUES (last_insert_rowid())", -1, &outbox_,
                           nullptr) == SQLITE_OK)
        return true;
    Fail(error);
    Rollback();
    return false;
}

bool RecordStore::Add(const TestRecord& r, std::string* error)
{
    if (!insert_ || !outbox_)
        return Fail(error);
    sqlite3_stmt* s = insert_;
    const std::string vals = Pack(r.values), upper = Pack(r.upperLimit), lower = Pack(r.lowerLimit),
                      reference = Pack(r.reference);
    const std::string uuid = r.recordUuid.empty() ? NewUuid7(NowUtcMs()) : r.recordUuid;
    sqlite3_reset(s);
    sqlite3_bind_text(s, 1, uuid.c_str(), static_cast<int>(uuid.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(s, 2, r.startMs);
    sqlite3_bind_int64(s, 3, r.endMs);
    sqlite3_bind_text(s, 4, r.stationId.c_str(), static_cast<int>(r.stationId.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 5, r.boardKind.c_str(), static_cast<int>(r.boardKind.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 6, r.boardIdentity.c_str(), static_cast<int>(r.boardIdentity.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(s, 7, r.page);
    sqlite3_bind_int(s, 8, r.column);
    sqlite3_bind_int(s, 9, r.row);
    sqlite3_bind_int(s, 10, r.pass ? 1 : 0);
    sqlite3_bind_int64(s, 11, r.failingChannels);
    sqlite3_bind_int(s, 12, r.passes);
    sqlite3_bind_blob(s, 13, vals.data(), static_cast<int>(vals.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(s, 14, upper.data(), static_cast<int>(upper.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(s, 15, lower.data(), static_cast<int>(lower.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(s, 16, reference.data(), static_cast<int>(reference.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(s, 17, r.mask.data(), static_cast<int>(r.mask.size()), SQLITE_TRANSIENT);
    sqlite3_bind_double(s, 18, r.rangeHigh);
    sqlite3_bind_double(s, 19, r.rangeLow);
    sqlite3_bind_text(s, 20, r.configHash.c_str(), static_cast<int>(r.configHash.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(s) != SQLITE_DONE)
        return Fail(error);
    sqlite3_reset(outbox_);
    return sqlite3_step(outbox_) == SQLITE_DONE || Fail(error);
}

bool RecordStore::Commit(std::string* error)
{
    sqlite3_finalize(insert_);
    sqlite3_finalize(outbox_);
    insert_ = outbox_ = nullptr;
    return Exec("COMMIT", error);
}

void RecordStore::Rollback()
{
    sqlite3_finalize(insert_);
    sqlite3_finalize(outbox_);
    insert_ = outbox_ = nullptr;
    if (db_ && !sqlite3_get_autocommit(db_))
        Exec("ROLLBACK", nullptr);
}

bool RecordStore::Contains(const TestRecord& r, bool* found, std::string* error)
{
    Statement st;
    if (!db_ || sqlite3_prepare_v2(db_,
                                   "SELECT 1 FROM records WHERE start_ms = ? AND end_ms = ? AND station = ? AND "
                                   "page = ? AND col = ? AND row = ? LIMIT 1",
                                   -1, &st.s, nullptr) != SQLITE_OK)
        return Fail(error);
    sqlite3_bind_int64(st.s, 1, r.startMs);
    sqlite3_bind_int64(st.s, 2, r.endMs);
    sqlite3_bind_text(st.s, 3, r.stationId.c_str(), static_cast<int>(r.stationId.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(st.s, 4, r.page);
    sqlite3_bind_int(st.s, 5, r.column);
    sqlite3_bind_int(st.s, 6, r.row);
    const int rc = sqlite3_step(st.s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return Fail(error);
    *found = rc == SQLITE_ROW;
    return true;
}

bool RecordStore::BeginRead(std::string* error)
{
    return db_ ? Exec("BEGIN", error) : Fail(error);
}

void RecordStore::EndRead()
{
    if (db_ && !sqlite3_get_autocommit(db_))
        Exec("COMMIT", nullptr);
}

bool RecordStore::Query(std::int64_t sinceMs, std::int64_t untilMs,
                        const std::function<bool(const TestRecord&)>& each, std::string* error)
{
    const bool identity = version_ >= 1;
    const std::string sql = std::string("SELECT ") + FIELDS + (identity ? ", id, record_uuid" : "") +
                            " FROM records WHERE start_ms >= ? AND start_ms < ? ORDER BY start_ms, id";
    Statement st;
    if (!Prepare(&st.s, sql.c_str(), error))
        return false;
    sqlite3_bind_int64(st.s, 1, sinceMs);
    sqlite3_bind_int64(st.s, 2, untilMs);
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        TestRecord r;
        ReadRecord(st.s, 0, identity, r);
        if (!each(r))
            return true;
    }
    return rc == SQLITE_DONE || Fail(error);
}

bool RecordStore::Unsent(int limit, std::vector<TestRecord>* records, std::string* error)
{
    const std::string sql = std::string("SELECT ") + FIELDS +
                            ", id, record_uuid FROM outbox JOIN records ON records.id = outbox.local_seq "
                            "ORDER BY outbox.local_seq LIMIT ?";
    Statement st;
    if (!Prepare(&st.s, sql.c_str(), error))
        return false;
    sqlite3_bind_int(st.s, 1, limit);
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        TestRecord r;
        ReadRecord(st.s, 0, true, r);
        records->push_back(std::move(r));
    }
    return rc == SQLITE_DONE || Fail(error);
}

bool RecordStore::MarkForwarded(const std::vector<std::int64_t>& sent,
                                const std::vector<std::pair<std::int64_t, std::string>>& refused,
                                std::string* error)
{
    if (!db_ || !Exec("BEGIN IMMEDIATE", error))
        return db_ ? false : Fail(error);
    Statement remove, quarantine;
    bool ok = Prepare(&remove.s, "DELETE FROM outbox WHERE local_seq = ?", error) &&
              Prepare(&quarantine.s, "INSERT OR REPLACE INTO quarantine (local_seq, reason, at_ms) VALUES (?,?,?)",
                      error);
    auto drop = [&](std::int64_t seq) {
        sqlite3_reset(remove.s);
        sqlite3_bind_int64(remove.s, 1, seq);
        return sqlite3_step(remove.s) == SQLITE_DONE || Fail(error);
    };
    for (std::size_t k = 0; ok && k < sent.size(); ++k)
        ok = drop(sent[k]);
    const std::int64_t now = NowUtcMs();
    for (std::size_t k = 0; ok && k < refused.size(); ++k) {
        const auto& [seq, reason] = refused[k];
        ok = drop(seq);
        sqlite3_reset(quarantine.s);
        sqlite3_bind_int64(quarantine.s, 1, seq);
        sqlite3_bind_text(quarantine.s, 2, reason.c_str(), static_cast<int>(reason.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(quarantine.s, 3, now);
        ok = ok && (sqlite3_step(quarantine.s) == SQLITE_DONE || Fail(error));
    }
    if (ok && Exec("COMMIT", error))
        return true;
    Exec("ROLLBACK", nullptr);
    return false;
}

bool RecordStore::GetBacklog(Backlog* backlog, std::string* error)
{
    Statement st;
    if (!Prepare(&st.s,
                 "SELECT (SELECT COUNT(*) FROM outbox), (SELECT MIN(start_ms) FROM outbox JOIN records ON "
                 "records.id = outbox.local_seq), (SELECT COUNT(*) FROM quarantine)",
                 error) ||
        sqlite3_step(st.s) != SQLITE_ROW)
        return Fail(error);
    backlog->unsent = sqlite3_column_int64(st.s, 0);
    backlog->oldestStartMs = sqlite3_column_int64(st.s, 1);
    backlog->quarantined = sqlite3_column_int64(st.s, 2);
    return true;
}

bool RecordStore::QuarantineReason(std::int64_t localSeq, std::string* reason, std::string* error)
{
    Statement st;
    if (!Prepare(&st.s, "SELECT reason FROM quarantine WHERE local_seq = ?", error))
        return false;
    sqlite3_bind_int64(st.s, 1, localSeq);
    const int rc = sqlite3_step(st.s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return Fail(error);
    *reason = rc == SQLITE_ROW ? Text(st.s, 0) : std::string();
    return true;
}

bool RecordStore::PruneSent(std::int64_t endedBeforeMs, std::int64_t* removed, std::string* error)
{
    Statement st;
    if (!Prepare(&st.s,
                 "DELETE FROM records WHERE end_ms < ? AND id NOT IN (SELECT local_seq FROM outbox) AND "
                 "id NOT IN (SELECT local_seq FROM quarantine)",
                 error))
        return false;
    sqlite3_bind_int64(st.s, 1, endedBeforeMs);
    if (sqlite3_step(st.s) != SQLITE_DONE)
        return Fail(error);
    *removed = sqlite3_changes64(db_);
    return true;
}

bool RecordStore::Count(std::int64_t sinceMs, std::int64_t untilMs, std::int64_t* count, std::string* error)
{
    Statement st;
    if (!db_ ||
        sqlite3_prepare_v2(db_, "SELECT COUNT(*) FROM records WHERE start_ms >= ? AND start_ms < ?", -1, &st.s,
                           nullptr) != SQLITE_OK) {
        if (error)
            *error = LastError();
        return false;
    }
    sqlite3_bind_int64(st.s, 1, sinceMs);
    sqlite3_bind_int64(st.s, 2, untilMs);
    if (sqlite3_step(st.s) != SQLITE_ROW) {
        if (error)
            *error = LastError();
        return false;
    }
    *count = sqlite3_column_int64(st.s, 0);
    return true;
}

std::string RecordStore::DefaultPath()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return (base + QStringLiteral("/vorlaine/records.sqlite")).toStdString();
}
