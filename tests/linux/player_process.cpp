#include "tests/linux/player_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/texts.h"
#include "intake/stream_intake.h"

namespace sonvale::test {

PlayerProcess::PlayerProcess(const std::map<std::string, std::string>& environment, std::vector<std::string> command)
{
    std::vector<char*> argv;
    for (std::string& arg : command)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    char pattern[] = "/tmp/sonvale-stderr-XXXXXX";
    const int fd = mkstemp(pattern);
    stderrPath_ = pattern;
    char outPattern[] = "/tmp/sonvale-stdout-XXXXXX";
    const int out = mkstemp(outPattern);
    stdoutPath_ = outPattern;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(fd, STDERR_FILENO);
        dup2(out, STDOUT_FILENO);
        for (const auto& [name, value] : environment) {
            if (value.empty())
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fd);
    close(out);
}

PlayerProcess::~PlayerProcess()
{
    if (Running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    unlink(stderrPath_.c_str());
    unlink(stdoutPath_.c_str());
}

bool PlayerProcess::Running()
{
    if (status_ || pid_ <= 0)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

std::optional<int> PlayerProcess::WaitForExit(std::chrono::milliseconds timeout)
{
    WaitFor(timeout, [this] { return !Running(); });
    return status_;
}

void PlayerProcess::Signal(int number)
{
    if (Running())
        kill(pid_, number);
}

namespace {

std::string Contents(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

const std::string& PlayerProcess::StandardError() const
{
    stderr_ = Contents(stderrPath_);
    return stderr_;
}

std::string PlayerProcess::StandardOutput() const
{
    return Contents(stdoutPath_);
}

std::optional<std::string> Capture(const std::string& command)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return std::nullopt;
    std::string output;
    std::array<char, 256> buffer;
    while (size_t n = fread(buffer.data(), 1, buffer.size(), pipe))
        output.append(buffer.data(), n);
    return pclose(pipe) == 0 ? std::optional(output) : std::nullopt;
}

namespace {

std::string SearchCommand(pid_t pid)
{
    std::string command = "xdotool search --all --onlyvisible";
    if (pid > 0)
        command += " --pid " + std::to_string(pid);
    std::string pattern;
    for (char c : texts::kTitle) {
        if (c == '(' || c == ')')
            pattern += '\\';
        pattern += c;
    }
    return command + " --name '^" + pattern + "$' 2>/dev/null";
}

// A line of /proc/net/tcp or udp whose local port is `port` in `state`
// (0A is LISTEN; 07 is a bound, unconnected UDP socket).
bool KernelTableHas(const char* table, std::uint16_t port, const std::string& state)
{
    std::ifstream file(table);
    std::string line;
    char local[8];
    std::snprintf(local, sizeof local, ":%04X", port);
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string slot, localAddress, remoteAddress, lineState;
        fields >> slot >> localAddress >> remoteAddress >> lineState;
        if (localAddress.ends_with(local) && lineState == state)
            return true;
    }
    return false;
}

}  // namespace

bool PlayerPortsOpen()
{
    return KernelTableHas("/proc/net/tcp", kStreamPort, "0A") &&
           KernelTableHas("/proc/net/udp", kDatagramPort, "07");
}

bool PlayerConnectionOpen()
{
    // Established, or closed by the sender and not yet by the player.
    return KernelTableHas("/proc/net/tcp", kStreamPort, "01") || KernelTableHas("/proc/net/tcp", kStreamPort, "08");
}

int CountPlayerWindows(pid_t pid)
{
    const std::string output = Capture(SearchCommand(pid)).value_or("");
    int lines = 0;
    for (char c : output)
        lines += c == '\n';
    return lines;
}

std::string FirstPlayerWindow(pid_t pid)
{
    std::string output = Capture(SearchCommand(pid)).value_or("");
    return output.substr(0, output.find('\n'));
}

}  // namespace sonvale::test
