// Starts Sonvale.exe, from beside the test executable unless told where, and
// finds its window.
#ifndef SONVALE_TESTS_WIN32_PLAYER_PROCESS_H
#define SONVALE_TESTS_WIN32_PLAYER_PROCESS_H

#include <windows.h>

#include <string>
#include <string_view>

namespace sonvale::test {

std::wstring BesideThisExecutable(const wchar_t* fileName);

class PlayerProcess {
public:
    explicit PlayerProcess(const std::wstring& executable = BesideThisExecutable(L"Sonvale.exe"));
    ~PlayerProcess();
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    bool Started() const { return info_.hProcess != nullptr; }
    // The process's visible top-level window with the player's caption, or null.
    HWND FindMainWindow() const;
    HWND WaitForMainWindow(DWORD milliseconds) const;
    // True when the process ended within the time; its exit code goes to code.
    bool WaitForExit(DWORD milliseconds, DWORD* code = nullptr) const;
    void Kill();
    DWORD Id() const { return info_.dwProcessId; }

private:
    PROCESS_INFORMATION info_{};
};

// Visible top-level windows with the player's caption, across all processes.
int CountPlayerWindows();
// A top-level window of the process with that caption (visible only, unless
// hiddenToo), waited for up to the time given; null when none came.
HWND WaitForTopLevel(DWORD processId, std::string_view caption, bool hiddenToo, DWORD milliseconds);

}  // namespace sonvale::test

#endif
