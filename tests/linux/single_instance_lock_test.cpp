#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "app/linux/single_instance_lock.h"

namespace sonvale::linux_shell {
namespace {

class LockFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/sonvale-lock-XXXXXX";
        folder_ = mkdtemp(pattern);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::string PathOf(const char* name) const { return (folder_ / name).string(); }

    std::filesystem::path folder_;
};

TEST_F(LockFolder, OneHolderAtATimeAndFreeAgainWhenReleased)
{
    const std::string path = PathOf("sonvale.lock");
    {
        SingleInstanceLock first(path);
        ASSERT_TRUE(first.TryAcquire());
        SingleInstanceLock second(path);
        EXPECT_FALSE(second.TryAcquire());
        // Another executable name is another instance.
        SingleInstanceLock other(PathOf("other.lock"));
        EXPECT_TRUE(other.TryAcquire());
    }
    SingleInstanceLock after(path);
    EXPECT_TRUE(after.TryAcquire());
}

TEST_F(LockFolder, AKilledHolderDoesNotBlockTheNextStart)
{
    const std::string path = PathOf("sonvale.lock");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SingleInstanceLock held(path);
        const char ok = held.TryAcquire() ? 1 : 0;
        [[maybe_unused]] ssize_t n = write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 1);
    SingleInstanceLock blocked(path);
    EXPECT_FALSE(blocked.TryAcquire());

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    SingleInstanceLock next(path);
    EXPECT_TRUE(next.TryAcquire());
    close(ready[0]);
    close(ready[1]);
}

// Someone else's file, or a link planted at the lock path, held by its owner:
// the player starts anyway and the link's target is left alone.
TEST_F(LockFolder, AnotherUsersFileOrALinkCannotKeepThePlayerFromStarting)
{
    const std::string target = PathOf("target");
    const int held = open(target.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(symlink(target.c_str(), PathOf("linked.lock").c_str()), 0);
    SingleInstanceLock linked(PathOf("linked.lock"));
    EXPECT_TRUE(linked.TryAcquire());

    close(held);
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a file to another user needs root";
    const std::string foreign = PathOf("foreign.lock");
    const int other = open(foreign.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(fchown(other, 65534, static_cast<gid_t>(-1)), 0);
    SingleInstanceLock refused(foreign);
    EXPECT_TRUE(refused.TryAcquire());
    close(other);
}

TEST_F(LockFolder, AnUnusableLockFolderDoesNotStopThePlayer)
{
    SingleInstanceLock lock(PathOf("missing/sonvale.lock"));
    EXPECT_TRUE(lock.TryAcquire());
}

TEST(LockPath, UsesTheRuntimeFolderElseTheTemporaryOneWithTheUserId)
{
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string restore = saved ? saved : "";

    setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(DefaultLockPath("sonvale"), "/run/user/4242/sonvale.lock");

    unsetenv("XDG_RUNTIME_DIR");
    const std::string fallback = DefaultLockPath("sonvale");
    EXPECT_EQ(std::filesystem::path(fallback).filename().string(),
              "sonvale-" + std::to_string(getuid()) + ".lock");

    if (saved)
        setenv("XDG_RUNTIME_DIR", restore.c_str(), 1);
}

}  // namespace
}  // namespace sonvale::linux_shell
