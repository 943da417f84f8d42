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
    pid_ = fork();
    if (pid_ == 0) {
        dup2(fd, STDERR_FILENO);
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
}

PlayerProcess::~PlayerProcess()
{
    if (Running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    unlink(stderrPath_.c_str());
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

const std::string& PlayerProcess::StandardError() const
{
    std::ifstream file(stderrPath_);
    std::stringstream text;
    text << file.rdbuf();
    stderr_ = text.str();
    return stderr_;
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

}  // namespace

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
