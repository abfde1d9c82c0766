#pragma once
// The station's test records in one SQLite file (WAL mode, so an export reads while the writer
// writes; every commit synced, so a record counted as written survives a power cut). One
// connection per object, used by one thread at a time.
#include "test_record.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class RecordStore {
public:
    RecordStore() = default;
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // Opens the file, creating it and its table when writable. A busy database is waited for up
    // to busyMs before an operation fails.
    bool Open(const std::string& path, bool readOnly, std::string* error, int busyMs = 200);
    bool IsOpen() const { return db_ != nullptr; }
    void Close();
    // All records or none, in one transaction.
    bool Insert(const std::vector<TestRecord>& records, std::string* error);
    // The same in steps, for records that come one by one: Begin, Add each, then Commit, or
    // Rollback after a failure.
    bool Begin(std::string* error);
    bool Add(const TestRecord& record, std::string* error);
    bool Commit(std::string* error);
    void Rollback();
    // Whether the store holds a record of the same placement: same start and end, station, page
    // and cell.
    bool Contains(const TestRecord& record, bool* found, std::string* error);
    // Queries between these two see the store as it was at the first of them.
    bool BeginRead(std::string* error);
    void EndRead();
    // Records whose start lies in [sinceMs, untilMs), oldest first; `each` returns false to stop.
    bool Query(std::int64_t sinceMs, std::int64_t untilMs, const std::function<bool(const TestRecord&)>& each,
               std::string* error);
    bool Count(std::int64_t sinceMs, std::int64_t untilMs, std::int64_t* count, std::string* error);

    // "$XDG_DATA_HOME/vorlaine/records.sqlite", else "~/.local/share/vorlaine/records.sqlite".
    static std::string DefaultPath();

private:
    bool Exec(const char* sql, std::string* error);
    std::string LastError() const;
    bool Fail(std::string* error) const;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr; // between Begin and Commit or Rollback
};
