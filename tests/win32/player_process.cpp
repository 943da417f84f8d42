#include "tests/win32/player_process.h"

#include <utility>

#include "app/texts.h"
#include "app/win32/utf.h"

namespace sonvale::test {

namespace {

struct Search {
    DWORD processId;  // 0: any process
    std::wstring caption;
    bool hiddenToo = false;
    HWND found = nullptr;
    int count = 0;
};

BOOL CALLBACK VisitWindow(HWND hwnd, LPARAM context)
{
    auto* search = reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if ((search->processId != 0 && owner != search->processId) || (!search->hiddenToo && !IsWindowVisible(hwnd)))
        return TRUE;
    wchar_t text[128] = {};
    GetWindowTextW(hwnd, text, 128);
    if (search->caption == text) {
        search->found = hwnd;
        ++search->count;
    }
    return TRUE;
}

Search FindWindows(DWORD processId, std::string_view caption = texts::kTitle, bool hiddenToo = false)
{
    Search search{processId, win32::Widen(caption), hiddenToo};
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
    return search;
}

}  // namespace

std::wstring BesideThisExecutable(const wchar_t* fileName)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder + fileName;
}

PlayerProcess::PlayerProcess(const std::wstring& executable)
{
    std::wstring command = L"\"" + executable + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_))
        info_ = {};
}

PlayerProcess::~PlayerProcess()
{
    if (!info_.hProcess)
        return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT)
        Kill();
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

HWND PlayerProcess::FindMainWindow() const
{
    return FindWindows(info_.dwProcessId).found;
}

HWND PlayerProcess::WaitForMainWindow(DWORD milliseconds) const
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND hwnd = FindMainWindow())
            return hwnd;
        if (GetTickCount() - start > milliseconds || WaitForExit(0))
            return nullptr;
        Sleep(50);
    }
}

bool PlayerProcess::WaitForExit(DWORD milliseconds, DWORD* code) const
{
    if (WaitForSingleObject(info_.hProcess, milliseconds) != WAIT_OBJECT_0)
        return false;
    if (code)
        GetExitCodeProcess(info_.hProcess, code);
    return true;
}

void PlayerProcess::Kill()
{
    TerminateProcess(info_.hProcess, 9);
    WaitForSingleObject(info_.hProcess, 10000);
}

int CountPlayerWindows()
{
    return FindWindows(0).count;
}

HWND WaitForTopLevel(DWORD processId, std::string_view caption, bool hiddenToo, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND found = FindWindows(processId, caption, hiddenToo).found)
            return found;
        if (GetTickCount() - start >= milliseconds)
            return nullptr;
        Sleep(100);
    }
}

}  // namespace sonvale::test
