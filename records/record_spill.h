#pragma once
// Test records the store cannot take go to a spill file rather than grow memory without end or
// be lost: CSV as an export writes it, appended and synced, in the user's state folder
// ($XDG_STATE_HOME/vorlaine, else ~/.local/state/vorlaine, made 0700) under a name nobody can
// guess, created 0600 and never through anything already there under that name.
#include "test_record.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

class RecordStore;

// The state folder, made when missing; empty (with the reason) when it cannot be made or is not
// this user's alone to write.
std::string StateFolder(std::string* error);

class SpillFile {
public:
    // A new file `name` in `folder`; fails when the name is taken, by a link too.
    static std::unique_ptr<SpillFile> Create(const std::string& folder, const std::string& name, std::string* error);
    // A new file with an unguessable name in the state folder.
    static std::unique_ptr<SpillFile> CreateInStateFolder(std::string* error);
    ~SpillFile();
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    // Appends the rows (the header before the first) and syncs them to the disk. On failure the
    // file is cut back to what it held, so it only ever holds whole rows.
    bool Append(std::span<const TestRecord> records, std::string* error);
    bool Remove(std::string* error);
    const std::string& Path() const { return path_; }
    std::uint64_t Rows() const { return rows_; }

private:
    SpillFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    std::string path_;
    std::uint64_t rows_ = 0;
    std::int64_t size_ = 0;
};

// Brings a CSV file of test records (a spill file or an export) into the store in one
// transaction. Records the store already holds are skipped, so a file brought in twice adds
// nothing the second time. `added` gets the number of new ones; `fileBad` tells a file that
// cannot be read apart from a store that cannot be written.
bool ImportRecords(const std::string& csvPath, RecordStore& store, std::int64_t* added, std::string* error,
                   bool* fileBad = nullptr);
