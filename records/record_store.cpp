#include "record_store.h"

#include <sqlite3.h>

#include <QDir>
#include <QStandardPaths>

#include <cstring>
#include <filesystem>

namespace {
constexpr const char* SCHEMA = R"(
CREATE TABLE IF NOT EXISTS records (
  id INTEGER PRIMARY KEY,
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
);
CREATE INDEX IF NOT EXISTS records_start ON records(start_ms);
)";

constexpr const char* INSERT = "INSERT INTO records (start_ms, end_ms, station, board_kind, board_identity, page, "
                               "col, row, pass, failing, passes, vals, upper, lower, reference, mask, range_high, "
                               "range_low, config_hash) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
constexpr const char* SELECT = "SELECT start_ms, end_ms, station, board_kind, board_identity, page, col, row, pass, "
                               "failing, passes, vals, upper, lower, reference, mask, range_high, range_low, "
                               "config_hash FROM records WHERE start_ms >= ? AND start_ms < ? ORDER BY start_ms, id";

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
    if (!readOnly && !(Exec("PRAGMA journal_mode=WAL", error) && Exec("PRAGMA synchronous=FULL", error) &&
                       Exec(SCHEMA, error))) {
        Close();
        return false;
    }
    return true;
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
    if (sqlite3_prepare_v2(db_, INSERT, -1, &insert_, nullptr) == SQLITE_OK)
        return true;
    Fail(error);
    Rollback();
    return false;
}

bool RecordStore::Add(const TestRecord& r, std::string* error)
{
    if (!insert_)
        return Fail(error);
    sqlite3_stmt* s = insert_;
    const std::string vals = Pack(r.values), upper = Pack(r.upperLimit), lower = Pack(r.lowerLimit),
                      reference = Pack(r.reference);
    sqlite3_reset(s);
    sqlite3_bind_int64(s, 1, r.startMs);
    sqlite3_bind_int64(s, 2, r.endMs);
    sqlite3_bind_text(s, 3, r.stationId.c_str(), static_cast<int>(r.stationId.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 4, r.boardKind.c_str(), static_cast<int>(r.boardKind.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 5, r.boardIdentity.c_str(), static_cast<int>(r.boardIdentity.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(s, 6, r.page);
    sqlite3_bind_int(s, 7, r.column);
    sqlite3_bind_int(s, 8, r.row);
    sqlite3_bind_int(s, 9, r.pass ? 1 : 0);
    sqlite3_bind_int64(s, 10, r.failingChannels);
    sqlite3_bind_int(s, 11, r.passes);
    sqlite3_bind_blob(s, 12, vals.data(), static_cast<int>(vals.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(s, 13, upper.data(), static_cast<int>(upper.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(s, 14, lower.data(), static_cast<int>(lower.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(s, 15, reference.data(), static_cast<int>(reference.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(s, 16, r.mask.data(), static_cast<int>(r.mask.size()), SQLITE_TRANSIENT);
    sqlite3_bind_double(s, 17, r.rangeHigh);
    sqlite3_bind_double(s, 18, r.rangeLow);
    sqlite3_bind_text(s, 19, r.configHash.c_str(), static_cast<int>(r.configHash.size()), SQLITE_TRANSIENT);
    return sqlite3_step(s) == SQLITE_DONE || Fail(error);
}

bool RecordStore::Commit(std::string* error)
{
    sqlite3_finalize(insert_);
    insert_ = nullptr;
    return Exec("COMMIT", error);
}

void RecordStore::Rollback()
{
    sqlite3_finalize(insert_);
    insert_ = nullptr;
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
    Statement st;
    if (!db_ || sqlite3_prepare_v2(db_, SELECT, -1, &st.s, nullptr) != SQLITE_OK) {
        if (error)
            *error = LastError();
        return false;
    }
    sqlite3_bind_int64(st.s, 1, sinceMs);
    sqlite3_bind_int64(st.s, 2, untilMs);
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        TestRecord r;
        r.startMs = sqlite3_column_int64(st.s, 0);
        r.endMs = sqlite3_column_int64(st.s, 1);
        r.stationId = Text(st.s, 2);
        r.boardKind = Text(st.s, 3);
        r.boardIdentity = Text(st.s, 4);
        r.page = sqlite3_column_int(st.s, 5);
        r.column = sqlite3_column_int(st.s, 6);
        r.row = sqlite3_column_int(st.s, 7);
        r.pass = sqlite3_column_int(st.s, 8) != 0;
        r.failingChannels = static_cast<std::uint32_t>(sqlite3_column_int64(st.s, 9));
        r.passes = sqlite3_column_int(st.s, 10);
        Unpack(st.s, 11, r.values);
        Unpack(st.s, 12, r.upperLimit);
        Unpack(st.s, 13, r.lowerLimit);
        Unpack(st.s, 14, r.reference);
        const auto* mask = static_cast<const unsigned char*>(sqlite3_column_blob(st.s, 15));
        const int maskSize = sqlite3_column_bytes(st.s, 15);
        for (int k = 0; mask && k < GRID_CHANNELS && k < maskSize; ++k)
            r.mask[static_cast<std::size_t>(k)] = mask[k];
        r.rangeHigh = sqlite3_column_double(st.s, 16);
        r.rangeLow = sqlite3_column_double(st.s, 17);
        r.configHash = Text(st.s, 18);
        if (!each(r))
            return true;
    }
    if (rc != SQLITE_DONE) {
        if (error)
            *error = LastError();
        return false;
    }
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
