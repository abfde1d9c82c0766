#pragma once
// A store as the program wrote it before records had an identity and an outbox: the same table,
// the same statements, no schema version.
#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

inline bool WriteOldStore(const std::string& path, const std::vector<std::int64_t>& startsMs)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    std::string sql = R"(
PRAGMA journal_mode=WAL;
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
    // Channel k reads 100 + k, limits 900 and 50, reference 80, mask on.
    static constexpr char HEX[] = "0123456789abcdef";
    auto le16 = [](int v) {
        return std::string{HEX[(v >> 4) & 15], HEX[v & 15], HEX[(v >> 12) & 15], HEX[(v >> 8) & 15]};
    };
    std::string vals, upper, lower, reference, mask;
    for (int k = 0; k < 32; ++k) {
        vals += le16(100 + k);
        upper += le16(900);
        lower += le16(50);
        reference += le16(80);
        mask += "01";
    }
    sql += "BEGIN;";
    for (std::int64_t start : startsMs)
        sql += "INSERT INTO records (start_ms, end_ms, station, board_kind, board_identity, page, col, row, pass, "
               "failing, passes, vals, upper, lower, reference, mask, range_high, range_low, config_hash) VALUES (" +
               std::to_string(start) + "," + std::to_string(start + 700) + ",'old-st','Classic','id-7',1,2,3,1,0,4,x'" +
               vals + "',x'" + upper + "',x'" + lower + "',x'" + reference + "',x'" + mask + "',1.5,0.5,'cfg');";
    sql += "COMMIT;";
    const bool ok = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}
