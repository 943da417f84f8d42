// The installer that scripts/package.sh built (SONVALE_SETUP names it), run
// silently as a deployment tool runs it: what it puts in place, the player it
// installed starting, and the quiet uninstall of its Add/Remove Programs entry
// taking all of it away again. Run by scripts/test.sh after packaging, not by
// ctest, which runs before there is a package.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <cstdlib>
#include <string>

#include "app/version.h"
#include "app/win32/utf.h"
#include "tests/win32/player_process.h"

namespace sonvale::test {
namespace {

constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sonvale";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring KnownFolder(REFKNOWNFOLDERID id)
{
    wchar_t* path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)))
        folder = path;
    CoTaskMemFree(path);
    return folder;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The exit code of a command line run to its end, or -1 when it cannot start.
long RunToEnd(std::wstring command)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, 120000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<long>(code);
}

std::wstring UninstallText(const wchar_t* name)
{
    wchar_t text[1024] = {};
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return L"(none)";
    return text;
}

bool HasRunValue(HKEY hive)
{
    return RegGetValueW(hive, kRunKey, L"svls", RRF_RT_REG_SZ, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool UninstallEntryExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

TEST(Installer, SilentInstallStartsThePlayerAndQuietUninstallTakesAllAway)
{
    const char* setup = std::getenv("SONVALE_SETUP");
    ASSERT_NE(setup, nullptr) << "SONVALE_SETUP names the installer";
    ASSERT_EQ(RunToEnd(L"\"" + win32::Widen(setup) + L"\" /S"), 0);

    // The installer's 32-bit Program Files folder is the one a program of its
    // own kind sees; this test is built for the same kind.
    const std::wstring folder = KnownFolder(FOLDERID_ProgramFiles) + L"\\Sonvale\\";
    const std::wstring shortcut = KnownFolder(FOLDERID_CommonPrograms) + L"\\Sonvale.lnk";
    for (const wchar_t* file : {L"Sonvale.exe", L"lame_enc.dll", L"libsoxr.dll", L"sonvale-help.html", L"licenses.txt",
                               L"uninstall.exe"})
        EXPECT_TRUE(Exists(folder + file)) << win32::Narrow(folder + file);
    EXPECT_TRUE(Exists(shortcut)) << win32::Narrow(shortcut);
    EXPECT_EQ(UninstallText(L"DisplayName"), L"Sonvale");
    EXPECT_EQ(UninstallText(L"DisplayVersion"), win32::Widen(SONVALE_VERSION));
    EXPECT_EQ(UninstallText(L"Publisher"), L"Sonvale");
    EXPECT_EQ(UninstallText(L"DisplayIcon"), folder + L"Sonvale.exe,0");
    EXPECT_EQ(UninstallText(L"UninstallString"), L"\"" + folder + L"uninstall.exe\"");
    const std::wstring quiet = UninstallText(L"QuietUninstallString");
    EXPECT_EQ(quiet, L"\"" + folder + L"uninstall.exe\" /S");
    DWORD kilobytes = 0;
    DWORD size = sizeof kilobytes;
    RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, L"EstimatedSize", RRF_RT_REG_DWORD, nullptr, &kilobytes, &size);
    EXPECT_GT(kilobytes, 500u) << "the three files take more than half a megabyte";

    PlayerProcess player(folder + L"Sonvale.exe");
    ASSERT_NE(player.WaitForMainWindow(30000), nullptr) << "the installed player shows no window";
    // What the player itself leaves behind: its settings, made at start, and
    // autorun in either Run key.
    const std::wstring settings = KnownFolder(FOLDERID_ProgramData) + L"\\svl\\playeroption.svp";
    EXPECT_TRUE(Exists(settings));
    const std::wstring entry = L"\"" + folder + L"Sonvale.exe\"";
    for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        RegSetKeyValueW(hive, kRunKey, L"svls", REG_SZ, entry.c_str(),
                        static_cast<DWORD>((entry.size() + 1) * sizeof(wchar_t)));

    // As Add/Remove Programs runs it. The uninstaller hands over to a copy of
    // itself in the temporary folder and returns at once, so the work is
    // waited for: the entry goes last but for the question about settings.
    ASSERT_EQ(RunToEnd(quiet), 0);
    EXPECT_TRUE(player.WaitForExit(15000)) << "the uninstaller left the player running";
    const DWORD start = GetTickCount();
    while ((UninstallEntryExists() || Exists(folder)) && GetTickCount() - start < 30000)
        Sleep(100);
    Sleep(1000);
    EXPECT_FALSE(UninstallEntryExists());
    EXPECT_FALSE(Exists(folder)) << win32::Narrow(folder);
    EXPECT_FALSE(Exists(shortcut));
    EXPECT_FALSE(HasRunValue(HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(HasRunValue(HKEY_CURRENT_USER));
    EXPECT_TRUE(Exists(settings)) << "a silent uninstall keeps the settings";
}

}  // namespace
}  // namespace sonvale::test
