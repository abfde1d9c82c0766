#pragma once
// The station's test records in one SQLite file (WAL mode, so an export reads while the writer
// writes; every commit synced, so a record counted as written survives a power cut). One
// connection per object, used by one thread at a time.
//
// The store is also the outbox of the line: every record is marked unsent in the transaction that
// stores it, and the mark goes only when the line has committed it (or it is quarantined, refused
// by the line for its data, with the reason). A store written before the outbox existed is
// brought up to date in place when it is first opened for writing.
#include "test_record.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
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

    // The uuid made once for this database file; empty for a read-only store of the old format.
    const std::string& StationDb() const { return stationDb_; }
    int SchemaVersion() const { return version_; }
    static constexpr int SCHEMA_VERSION = 1;

    // Commits of this connection no longer wait for the disk: for the forwarder's marks, where a
    // mark lost in a power cut only means a resend that adds nothing.
    bool RelaxSync(std::string* error) { return Exec("PRAGMA synchronous=NORMAL", error); }
    // The oldest unsent records (not quarantined), at most `limit`, by local_seq.
    bool Unsent(int limit, std::vector<TestRecord>* records, std::string* error);
    // In one transaction: `sent` leave the outbox, `refused` (local_seq, reason) leave it for the
    // quarantine.
    bool MarkForwarded(const std::vector<std::int64_t>& sent,
                       const std::vector<std::pair<std::int64_t, std::string>>& refused, std::string* error);
    struct Backlog {
        std::int64_t unsent = 0;
        std::int64_t oldestStartMs = 0; // of the unsent ones; 0 when there is none
        std::int64_t quarantined = 0;
    };
    bool GetBacklog(Backlog* backlog, std::string* error);
    // The reason a quarantined record was refused; empty when it is not quarantined.
    bool QuarantineReason(std::int64_t localSeq, std::string* reason, std::string* error);
    // Removes sent records that ended before `endedBeforeMs`; unsent and quarantined ones stay.
    bool PruneSent(std::int64_t endedBeforeMs, std::int64_t* removed, std::string* error);

    // "$XDG_DATA_HOME/vorlaine/records.sqlite", else "~/.local/share/vorlaine/records.sqlite".
    static std::string DefaultPath();

private:
    bool Migrate(std::string* error);
    bool Prepare(sqlite3_stmt** statement, const char* sql, std::string* error);
    bool Exec(const char* sql, std::string* error);
    std::string LastError() const;
    bool Fail(std::string* error) const;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr; // between Begin and Commit or Rollback
    sqlite3_stmt* outbox_ = nullptr; // the same
    std::string stationDb_;
    int version_ = 0;
};
