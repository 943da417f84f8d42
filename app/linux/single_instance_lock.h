// One player per user and executable name: an exclusive lock on a file in the
// user's runtime folder. The kernel drops the lock with the process, so a
// crashed instance never blocks the next start.
#ifndef SONVALE_APP_LINUX_SINGLE_INSTANCE_LOCK_H
#define SONVALE_APP_LINUX_SINGLE_INSTANCE_LOCK_H

#include <string>

namespace sonvale::linux_shell {

class SingleInstanceLock {
public:
    explicit SingleInstanceLock(std::string path) : path_(std::move(path)) {}
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // False only when another holder has the lock. A lock file that cannot be
    // opened at all does not keep the player from starting.
    bool TryAcquire();

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

// $XDG_RUNTIME_DIR/<name>.lock, else <tmp>/<name>-<uid>.lock.
std::string DefaultLockPath(const std::string& executableName);
// The running executable's file name.
std::string ExecutableName();

}  // namespace sonvale::linux_shell

#endif
