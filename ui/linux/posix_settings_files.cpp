#include "ui/linux/posix_settings_files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace sonvale::linux_shell {

namespace {

class PosixSettingsFile final : public OpenSettingsFile {
public:
    explicit PosixSettingsFile(int fd) : fd_(fd) {}
    ~PosixSettingsFile() override { close(fd_); }
    PosixSettingsFile(const PosixSettingsFile&) = delete;
    PosixSettingsFile& operator=(const PosixSettingsFile&) = delete;

    int Read(std::uint8_t* buffer, int count) override
    {
        ssize_t got;
        do
            got = read(fd_, buffer, static_cast<size_t>(count));
        while (got < 0 && errno == EINTR);
        return static_cast<int>(got);
    }

    bool Write(const std::uint8_t* bytes, int count) override
    {
        while (count > 0) {
            const ssize_t put = write(fd_, bytes, static_cast<size_t>(count));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return false;
            bytes += put;
            count -= static_cast<int>(put);
        }
        return true;
    }

private:
    int fd_;
};

}  // namespace

std::unique_ptr<OpenSettingsFile> PosixSettingsFiles::OpenFile(const std::string& path, Open how)
{
    int flags = O_CLOEXEC;
    switch (how) {
    case Open::kReadExisting: flags |= O_RDONLY; break;
    case Open::kWriteExisting: flags |= O_WRONLY; break;
    case Open::kCreateForRead:
    case Open::kCreateForWrite: flags |= O_RDWR | O_CREAT; break;
    }
    const int fd = open(path.c_str(), flags, 0666);
    if (fd < 0)
        return nullptr;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return nullptr;
    }
    // Emptied only once the lock is ours: O_TRUNC would have cut the file
    // from under whoever holds it.
    if ((flags & O_CREAT) && ftruncate(fd, 0) != 0) {
        close(fd);
        return nullptr;
    }
    return std::make_unique<PosixSettingsFile>(fd);
}

bool PosixSettingsFiles::Exists(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0;
}

void PosixSettingsFiles::CreateFolder(const std::string& path)
{
    mkdir(path.c_str(), 0755);
}

std::string ConfigHome()
{
    // The XDG rules ignore a relative value.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return config;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config";
    if (const passwd* user = getpwuid(getuid()); user && user->pw_dir && *user->pw_dir)
        return std::string(user->pw_dir) + "/.config";
    return {};
}

SettingsLocation XdgSettingsLocation()
{
    const std::string folder = ConfigHome() + "/svl/";
    return {folder, folder + "playeroption.svp", '/'};
}

}  // namespace sonvale::linux_shell
