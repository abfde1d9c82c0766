#include "record_spill.h"

#include "record_store.h"
#include "records_csv.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <sstream>

namespace {
std::string Errno(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

bool Failed(std::string* error, const std::string& message)
{
    if (error)
        *error = message;
    return false;
}

// "20261210T221135Z-3f9a0c1e"
std::string UnguessableName()
{
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    std::random_device random;
    char tail[40];
    std::snprintf(tail, sizeof tail, "%08x%08x", random(), random());
    return std::string("spill-") + stamp + "-" + tail + ".csv";
}
} // namespace

std::string StateFolder(std::string* error)
{
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') {
            const passwd* user = getpwuid(geteuid());
            home = user ? user->pw_dir : nullptr;
        }
        if (!home) {
            Failed(error, "no home folder for the state folder");
            return {};
        }
        base = std::string(home) + "/.local/state";
    }
    const std::string folder = base + "/vorlaine";
    // Each missing folder on the way is made private, as the state folder ought to be.
    for (std::size_t slash = 1; slash != std::string::npos;) {
        slash = folder.find('/', slash + 1);
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            Failed(error, Errno(part));
            return {};
        }
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        Failed(error, Errno(folder));
        return {};
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 022) != 0) {
        Failed(error, folder + ": not a folder that only this user can write");
        return {};
    }
    return folder;
}

std::unique_ptr<SpillFile> SpillFile::Create(const std::string& folder, const std::string& name, std::string* error)
{
    const std::string path = folder + "/" + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        Failed(error, Errno(path));
        return nullptr;
    }
    // The new name itself must survive a power cut, not only the rows written to it.
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::unique_ptr<SpillFile>(new SpillFile(fd, path));
}

std::unique_ptr<SpillFile> SpillFile::CreateInStateFolder(std::string* error)
{
    const std::string folder = StateFolder(error);
    if (folder.empty())
        return nullptr;
    std::unique_ptr<SpillFile> file;
    for (int attempt = 0; attempt < 4 && !file; ++attempt)
        file = Create(folder, UnguessableName(), error);
    return file;
}

SpillFile::~SpillFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool SpillFile::Append(std::span<const TestRecord> records, std::string* error)
{
    if (fd_ < 0)
        return Failed(error, path_ + ": removed");
    std::ostringstream out;
    if (size_ == 0)
        WriteCsvHeader(out);
    for (const TestRecord& r : records)
        WriteCsvRow(out, r);
    const std::string text = out.str();
    // A part written is cut off again: the reason it failed is what counts.
    auto undo = [&] {
        const std::string reason = Errno(path_);
        (void)!::ftruncate(fd_, size_);
        return Failed(error, reason);
    };
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return undo();
        done += static_cast<std::size_t>(n);
    }
    if (::fdatasync(fd_) != 0)
        return undo();
    size_ += static_cast<std::int64_t>(text.size());
    rows_ += records.size();
    return true;
}

bool SpillFile::Remove(std::string* error)
{
    if (::unlink(path_.c_str()) != 0)
        return Failed(error, Errno(path_));
    ::close(fd_);
    fd_ = -1;
    rows_ = 0;
    return true;
}

bool ImportRecords(const std::string& csvPath, RecordStore& store, std::int64_t* added, std::string* error,
                   bool* fileBad)
{
    if (fileBad)
        *fileBad = false;
    *added = 0;
    std::ifstream in(csvPath, std::ios::binary);
    if (!in) {
        if (fileBad)
            *fileBad = true;
        return Failed(error, Errno(csvPath));
    }
    if (!store.Begin(error))
        return false;
    std::string storeError, fileError;
    bool storeOk = true;
    const bool read = ReadCsvRecords(
        in,
        [&](const TestRecord& r) {
            bool found = false;
            storeOk = store.Contains(r, &found, &storeError) && (found || store.Add(r, &storeError));
            *added += storeOk && !found;
            return storeOk;
        },
        &fileError);
    if (storeOk && read && store.Commit(error))
        return true;
    store.Rollback();
    *added = 0;
    if (!storeOk)
        return Failed(error, storeError);
    if (!read) {
        if (fileBad)
            *fileBad = true;
        return Failed(error, csvPath + ": " + fileError);
    }
    return false;
}
