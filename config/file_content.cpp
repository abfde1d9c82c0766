#include "file_content.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The rename is only durable once the folder's entry is on disk; a failure here loses nothing that
// is already written, so it is not reported.
void SyncFolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The file a save replaces: `path` itself, or the end of its chain of symbolic links, so that the
// link stays and the linked file gets the content. A dangling link names the file to create.
// Links in the folders above need no care: the temporary file goes into the same folder anyway.
std::optional<std::string> ResolveLinks(const std::string& path, int& err)
{
    std::string target = path;
    std::vector<char> buffer(PATH_MAX);
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return target; // a missing file, or one lstat cannot see, is left to the open to report
        const ssize_t n = ::readlink(target.c_str(), buffer.data(), buffer.size());
        if (n < 0 || static_cast<std::size_t>(n) == buffer.size()) {
            err = n < 0 ? errno : ENAMETOOLONG;
            return std::nullopt;
        }
        const std::string next(buffer.data(), static_cast<std::size_t>(n));
        const std::size_t slash = target.rfind('/');
        const bool absolute = !next.empty() && next.front() == '/';
        target = absolute || slash == std::string::npos ? next : target.substr(0, slash + 1) + next;
    }
    err = ELOOP;
    return std::nullopt;
}
} // namespace

std::string FileFailure::Reason() const
{
    return std::generic_category().message(err);
}

std::optional<FileFailure> ReadFileContent(const std::string& path, std::string& content)
{
    content.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return FileFailure{"Cannot open ", errno};
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        content.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) { // a folder opens but does not read
            const int err = errno;
            ::close(fd);
            content.clear();
            return FileFailure{"Cannot read ", err};
        }
        if (n == 0)
            break;
        content.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return std::nullopt;
}

std::optional<FileFailure> ReplaceFileContent(const std::string& linkOrPath, std::string_view content)
{
    static std::atomic<unsigned> counter{0};
    int linkErr = 0;
    const std::optional<std::string> target = ResolveLinks(linkOrPath, linkErr);
    if (!target)
        return FileFailure{"Cannot follow the link ", linkErr};
    const std::string& path = *target;
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return FileFailure{"Cannot create a temporary file beside ", errno};

    // The owner first: a change of owner clears the set-id bits that the mode then restores.
    struct stat made {};
    const char* step = nullptr;
    if (!WriteAll(fd, content))
        step = "Cannot write ";
    else if (exists && (::fstat(fd, &made) != 0 ||
                        ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
                         ::fchown(fd, old.st_uid, old.st_gid) != 0)))
        step = "Cannot keep the owner of ";
    else if (exists && ::fchmod(fd, old.st_mode & 07777) != 0)
        step = "Cannot keep the permissions of ";
    else if (::fsync(fd) != 0)
        step = "Cannot flush ";
    if (step) {
        const int err = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        return FileFailure{step, err};
    }
    if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return FileFailure{"Cannot replace ", err};
    }
    SyncFolderOf(path);
    return std::nullopt;
}
