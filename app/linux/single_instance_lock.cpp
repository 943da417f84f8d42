#include "app/linux/single_instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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
    const int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true;
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
