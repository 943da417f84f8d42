#include <gtest/gtest.h>

#include <signal.h>
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
