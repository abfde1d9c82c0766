#include "single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

std::string SingleInstanceLockPath(const std::string& name)
{
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    std::string base = dir && *dir ? dir : "/tmp";
    return base + "/" + name + ".lock";
}

bool AcquireSingleInstance(const std::string& name)
{
    const std::string path = SingleInstanceLockPath(name);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return false;
        }
    }
    // The descriptor stays open on purpose: the lock lives as long as the process.
    return true;
}
