// Runs the Linux player as a child process with its own runtime folder, and
// looks for its window on the X display with xdotool.
#ifndef SONVALE_TESTS_LINUX_PLAYER_PROCESS_H
#define SONVALE_TESTS_LINUX_PLAYER_PROCESS_H

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sonvale::test {

using namespace std::chrono_literals;

class PlayerProcess {
public:
    // Variables to set; an empty value removes the variable.
    // The Linux player, or another command line (the Windows one under Wine).
    explicit PlayerProcess(const std::map<std::string, std::string>& environment,
                           std::vector<std::string> command = {SONVALE_PLAYER});
    ~PlayerProcess();
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running();
    // The exit status once the process has ended by itself within the time.
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
    void Signal(int number);
    const std::string& StandardError() const;
    std::string StandardOutput() const;

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::string stderrPath_;
    std::string stdoutPath_;
    mutable std::string stderr_;
};

// Output of a shell command, or nullopt when it failed.
std::optional<std::string> Capture(const std::string& command);
// Visible windows named exactly like the player, optionally of one process.
int CountPlayerWindows(pid_t pid = 0);
std::string FirstPlayerWindow(pid_t pid);
// Whether some process listens on the player's TCP port and has its UDP port
// bound, read from the kernel's tables without connecting (a connection would
// count as a sender). Wine's sockets are the host's, so this sees either player.
bool PlayerPortsOpen();
// Whether the player holds a connection on its TCP port.
bool PlayerConnectionOpen();
bool WaitFor(std::chrono::milliseconds timeout, const auto& condition)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        Capture("sleep 0.1");
    }
    return condition();
}

}  // namespace sonvale::test

#endif
