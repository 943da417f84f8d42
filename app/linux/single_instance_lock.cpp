#include "app/linux/single_instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace sonvale::linux_shell {

SingleInstanceLock::~SingleInstanceLock()
{
    if (fd_ >= 0)
        close(fd_);
}

bool SingleInstanceLock::TryAcquire()
{
    if (fd_ >= 0)
        return true;
    // In a folder others can write (the /tmp fallback), whoever creates the
    // file first could hold it to keep the player from starting, or point it
    // elsewhere: only a regular file of our own counts. Without one the player
    // runs unguarded rather than not at all.
    const int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        std::fprintf(stderr, "sonvale: cannot use the lock file %s (%s); not guarding against a second start\n",
                     path_.c_str(), std::strerror(errno));
        return true;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid()) {
        std::fprintf(stderr, "sonvale: the lock file %s is not this user's own; not guarding against a second start\n",
                     path_.c_str());
        close(fd);
        return true;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        close(fd);
        return !held;
    }
    fd_ = fd;
    return true;
}

std::string DefaultLockPath(const std::string& executableName)
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/" + executableName + ".lock";
    std::error_code error;
    std::filesystem::path tmp = std::filesystem::temp_directory_path(error);
    if (error)
        tmp = "/tmp";
    return (tmp / (executableName + "-" + std::to_string(getuid()) + ".lock")).string();
}

std::string ExecutableName()
{
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("sonvale") : self.filename().string();
}

}  // namespace sonvale::linux_shell
