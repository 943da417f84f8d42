#include "ui/linux/autostart_folder.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ui/linux/posix_settings_files.h"

namespace sonvale::linux_shell {

bool AutostartFolder::Open()
{
    if (folder_.empty())
        return false;
    return reach_ == Reach::kCreatingFolder || access(folder_.c_str(), W_OK) == 0;
}

std::optional<std::string> AutostartFolder::Read()
{
    std::ifstream file(EntryPath(), std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void AutostartFolder::Write(const std::string& entry)
{
    if (reach_ == Reach::kCreatingFolder) {
        std::error_code ignored;
        std::filesystem::create_directories(folder_, ignored);
    }
    std::string temporary = folder_ + "/." + kAutostartFileName + "-XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return;
    // mkstemp makes it private; sessions of other users read the system one.
    fchmod(fd, 0644);
    const char* bytes = entry.data();
    std::size_t left = entry.size();
    while (left > 0) {
        const ssize_t put = write(fd, bytes, left);
        if (put <= 0)
            break;
        bytes += put;
        left -= static_cast<std::size_t>(put);
    }
    const bool written = left == 0 && fsync(fd) == 0;
    close(fd);
    if (!written || rename(temporary.c_str(), EntryPath().c_str()) != 0)
        unlink(temporary.c_str());
}

void AutostartFolder::Remove()
{
    unlink(EntryPath().c_str());
}

std::string UserAutostartFolder()
{
    const std::string config = ConfigHome();
    return config.empty() ? std::string() : config + "/autostart";
}

std::string ExecutablePath()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

}  // namespace sonvale::linux_shell
