// The real Sonvale.exe under Wine: its window as Win32 reads it back, the single
// instance, and the way out through the menu.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/string_table.h"
#include "app/win32/win32_main_window.h"
#include "app/texts.h"
#include "app/win32/utf.h"
#include "res/resource.h"
#include "tests/support/fakes.h"
#include "tests/win32/player_process.h"
#include "ui/player_settings.h"
#include "ui/tray_rules.h"

namespace sonvale::test {
namespace {

constexpr DWORD kStartTimeout = 30000;

// MapDialogRect works only inside the dialog's own process, so the base units
// are recovered from the client area: exactly one pair must fit the template.
struct BaseUnits {
    int x = 0, y = 0;
};

BaseUnits BaseUnitsFromClient(const RECT& client)
{
    BaseUnits found;
    int matches = 0;
    for (int x = 1; x < 64; ++x)
        for (int y = 1; y < 64; ++y)
            if (MulDiv(MAIN_DLG_WIDTH, x, 4) == client.right && MulDiv(MAIN_DLG_HEIGHT, y, 8) == client.bottom) {
                found = {x, y};
                ++matches;
            }
    return matches == 1 ? found : BaseUnits{};
}

// Windows scales position and size separately, as CreateWindow receives them.
RECT DialogRect(BaseUnits base, int x, int y, int width, int height)
{
    const int left = MulDiv(x, base.x, 4);
    const int top = MulDiv(y, base.y, 8);
    return {left, top, left + MulDiv(width, base.x, 4), top + MulDiv(height, base.y, 8)};
}

RECT ClientRectOf(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void ExpectSameRect(const RECT& actual, const RECT& expected)
{
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right, expected.right);
    EXPECT_EQ(actual.bottom, expected.bottom);
}

std::wstring ClassOf(HWND hwnd)
{
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

void ExpectMenuItem(HMENU menu, int position, UINT id, const wchar_t* label)
{
    EXPECT_EQ(GetMenuItemID(menu, position), id);
    wchar_t text[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, label);
}

TEST(PlayerWindow, IsTheTemplateWithItsControlsAndMenu)
{
    PlayerProcess player;
    ASSERT_TRUE(player.Started());
    HWND window = player.WaitForMainWindow(kStartTimeout);
    ASSERT_NE(window, nullptr);

    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    EXPECT_EQ(win32::Narrow(caption), texts::kTitle);
    EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_TRUE(IsWindowVisible(window));

    RECT client{};
    GetClientRect(window, &client);
    const BaseUnits base = BaseUnitsFromClient(client);
    ASSERT_GT(base.x, 0) << "client area " << client.right << " x " << client.bottom
                         << " is not 207 x 83 dialog units";

    HWND meter = GetDlgItem(window, IDC_METER);
    ASSERT_NE(meter, nullptr);
    EXPECT_EQ(ClassOf(meter), L"Static");
    EXPECT_EQ(GetWindowLongPtrW(meter, GWL_STYLE) & SS_TYPEMASK, SS_BLACKRECT);
    ExpectSameRect(ClientRectOf(window, IDC_METER), DialogRect(base, METER_X, METER_Y, METER_WIDTH, METER_HEIGHT));

    HWND info = GetDlgItem(window, IDC_INFO);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(ClassOf(info), L"Edit");
    const LONG_PTR infoStyle = GetWindowLongPtrW(info, GWL_STYLE);
    EXPECT_TRUE(infoStyle & ES_MULTILINE);
    EXPECT_TRUE(infoStyle & ES_READONLY);
    ExpectSameRect(ClientRectOf(window, IDC_INFO), DialogRect(base, INFO_X, INFO_Y, INFO_WIDTH, INFO_HEIGHT));

    // Menus cannot be read across processes under Wine: check that the window
    // has one here, and read its entries from the executable's resources.
    EXPECT_NE(GetMenu(window), nullptr);
    HMODULE module = LoadLibraryExW(BesideThisExecutable(L"Sonvale.exe").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    HMENU menu = LoadMenuW(module, MAKEINTRESOURCEW(IDR_MENU_MAIN));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 2);
    HMENU file = GetSubMenu(menu, 0);
    HMENU help = GetSubMenu(menu, 1);
    ASSERT_EQ(GetMenuItemCount(file), 2);
    ASSERT_EQ(GetMenuItemCount(help), 2);
    ExpectMenuItem(file, 0, ID_FILE_SETTING, L"Setting(&S)");
    ExpectMenuItem(file, 1, ID_FILE_EXIT, L"Exit(&X)");
    ExpectMenuItem(help, 0, ID_HELP_ONLINE, L"Online Help(&O)");
    ExpectMenuItem(help, 1, ID_HELP_ABOUT, L"About(&A)");
    DestroyMenu(menu);
    FreeLibrary(module);

    // Enter leaves the window open; Exit ends the process.
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(player.WaitForExit(1000));
    PostMessageW(window, WM_COMMAND, ID_FILE_EXIT, 0);
    DWORD code = 1;
    ASSERT_TRUE(player.WaitForExit(10000, &code));
    EXPECT_EQ(code, 0u);
}

TEST(PlayerWindow, SecondInstanceEndsSilentlyWhileTheFirstRuns)
{
    PlayerProcess first;
    ASSERT_NE(first.WaitForMainWindow(kStartTimeout), nullptr);

    PlayerProcess second;
    ASSERT_TRUE(second.Started());
    DWORD code = 1;
    ASSERT_TRUE(second.WaitForExit(kStartTimeout, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(CountPlayerWindows(), 1);
    EXPECT_FALSE(first.WaitForExit(0));
    EXPECT_NE(first.FindMainWindow(), nullptr);

    // A killed instance leaves nothing behind that blocks the next start.
    first.Kill();
    PlayerProcess next;
    HWND window = next.WaitForMainWindow(kStartTimeout);
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_COMMAND, ID_FILE_EXIT, 0);
    EXPECT_TRUE(next.WaitForExit(10000));
}

TEST(PlayerResources, StringTableAndVersionRecordMatch)
{
    const std::wstring exe = BesideThisExecutable(L"Sonvale.exe");
    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    for (int id : {IDS_ABOUTBOX, IDP_SOCKETS_INIT_FAILED}) {
        const wchar_t* text = nullptr;
        const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
        ASSERT_GT(length, 0) << id;
        EXPECT_EQ(win32::Narrow(std::wstring_view(text, length)), StringResource(id)) << id;
    }
    FreeLibrary(module);

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::string data(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(SONVALE_VERSION_MINOR, SONVALE_VERSION_MAJOR));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(SONVALE_VERSION_TWEAK, SONVALE_VERSION_PATCH));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    WORD* translation = nullptr;
    UINT translationSize = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &translationSize));
    EXPECT_EQ(translation[0], 0x0804);
    wchar_t* name = nullptr;
    UINT nameSize = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\080404b0\\OriginalFilename",
                               reinterpret_cast<void**>(&name), &nameSize));
    EXPECT_STREQ(name, L"Sonvale.exe");
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\080404b0\\FileDescription",
                               reinterpret_cast<void**>(&name), &nameSize));
    EXPECT_STREQ(name, L"Sonvale");
}

HWND WaitForDialog(DWORD process, std::string_view caption)
{
    return WaitForTopLevel(process, caption, false, 10000);
}

std::string TextOf(HWND dialog, int id)
{
    wchar_t text[256] = {};
    SendMessageW(GetDlgItem(dialog, id), WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
    return win32::Narrow(text);
}

std::wstring SettingsFile()
{
    wchar_t folder[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    return std::wstring(folder) + L"\\svl\\playeroption.svp";
}

std::vector<char> ReadAll(const std::wstring& path)
{
    std::ifstream file(win32::Narrow(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

bool WaitUntil(const auto& condition)
{
    for (int i = 0; i < 100; ++i) {
        if (condition())
            return true;
        Sleep(50);
    }
    return condition();
}

// Ends a dialog of the player with a button and waits until it is gone.
void Press(HWND dialog, int button)
{
    PostMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(button), 0);
    EXPECT_TRUE(WaitUntil([dialog] { return !IsWindow(dialog); }));
}

std::wstring RunValue()
{
    wchar_t value[512] = {};
    DWORD bytes = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", L"svls",
                     RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS)
        return L"<none>";
    return value;
}

// The About box from the Help menu and from the system menu, its texts, the
// address hint, and a settings round trip down to the file and the Run key.
TEST(PlayerWindow, AboutBoxInfoTextAndSettingsRoundTrip)
{
    DeleteFileW(SettingsFile().c_str());
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", L"svls");
    PlayerProcess player;
    HWND window = player.WaitForMainWindow(kStartTimeout);
    ASSERT_NE(window, nullptr);

    const std::string info = TextOf(window, IDC_INFO);
    EXPECT_TRUE(info.rfind(std::string(texts::kAddressLead), 0) == 0 || info == texts::kNoAddress) << info;
    EXPECT_EQ(info.find("127."), std::string::npos) << info;

    for (auto [message, command] : {std::pair<UINT, WPARAM>{WM_COMMAND, ID_HELP_ABOUT}, {WM_SYSCOMMAND, IDM_ABOUTBOX}}) {
        PostMessageW(window, message, command, 0);
        HWND about = WaitForDialog(player.Id(), texts::kAboutCaption);
        ASSERT_NE(about, nullptr) << "no About box for message " << message;
        EXPECT_EQ(TextOf(about, IDC_ABOUT_VERSION), texts::kAboutVersion);
        EXPECT_EQ(TextOf(about, IDC_ABOUT_COPYRIGHT), texts::kAboutCopyright);
        EXPECT_EQ(TextOf(about, IDOK), texts::kOk);
        Press(about, IDOK);
    }

    // First start made an empty file; Cancel leaves it and the registry alone.
    EXPECT_EQ(ReadAll(SettingsFile()).size(), 0u);
    PostMessageW(window, WM_COMMAND, ID_FILE_SETTING, 0);
    HWND setting = WaitForDialog(player.Id(), texts::kSettingCaption);
    ASSERT_NE(setting, nullptr);
    EXPECT_EQ(TextOf(setting, IDC_AUTORUN), texts::kSettingAutorun);
    EXPECT_EQ(TextOf(setting, IDC_MINIMIZE_START), texts::kSettingMinimize);
    EXPECT_EQ(TextOf(setting, IDCANCEL), texts::kCancel);
    SendMessageW(GetDlgItem(setting, IDC_AUTORUN), BM_CLICK, 0, 0);
    Press(setting, IDCANCEL);
    Sleep(300);
    EXPECT_EQ(ReadAll(SettingsFile()).size(), 0u);
    EXPECT_EQ(RunValue(), L"<none>");

    PostMessageW(window, WM_COMMAND, ID_FILE_SETTING, 0);
    setting = WaitForDialog(player.Id(), texts::kSettingCaption);
    ASSERT_NE(setting, nullptr);
    SendMessageW(GetDlgItem(setting, IDC_AUTORUN), BM_CLICK, 0, 0);
    SendMessageW(GetDlgItem(setting, IDC_MINIMIZE_START), BM_CLICK, 0, 0);
    Press(setting, IDOK);
    std::vector<char> expected(kSettingsFileBytes, 0);
    expected[50] = 1;
    expected[54] = 1;
    EXPECT_TRUE(WaitUntil([&] { return ReadAll(SettingsFile()) == expected; }));
    EXPECT_EQ(RunValue(), BesideThisExecutable(L"Sonvale.exe"));

    // Switched off again: the value goes.
    PostMessageW(window, WM_COMMAND, ID_FILE_SETTING, 0);
    setting = WaitForDialog(player.Id(), texts::kSettingCaption);
    ASSERT_NE(setting, nullptr);
    EXPECT_EQ(SendMessageW(GetDlgItem(setting, IDC_AUTORUN), BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageW(GetDlgItem(setting, IDC_AUTORUN), BM_CLICK, 0, 0);
    Press(setting, IDOK);
    EXPECT_TRUE(WaitUntil([] { return RunValue() == L"<none>"; }));
    EXPECT_EQ(ReadAll(SettingsFile())[54], 1);

    PostMessageW(window, WM_COMMAND, ID_FILE_EXIT, 0);
    EXPECT_TRUE(player.WaitForExit(10000));
}

// Menus are kept per process under Wine, so their labels are read from a main
// window run in this process, over stand-in services.
TEST(PlayerWindow, MenuAndSystemMenuCarryTheChineseLabels)
{
    sonvale::test::FakeServices fakes;
    CSonvaleDlg dialog(fakes.services);
    win32::Win32MainWindow window(dialog);
    std::vector<std::wstring> labels;
    std::wstring systemEntry;
    std::thread reader([&] {
        HWND hwnd = nullptr;
        for (int i = 0; i < 100 && !hwnd; ++i) {
            hwnd = FindWindowW(nullptr, win32::Widen(texts::kTitle).c_str());
            Sleep(50);
        }
        if (!hwnd)
            return;
        HMENU menu = GetMenu(hwnd);
        auto read = [&labels](HMENU from, UINT item, UINT flags) {
            wchar_t text[64] = {};
            GetMenuStringW(from, item, text, 64, flags);
            labels.push_back(text);
        };
        read(menu, 0, MF_BYPOSITION);
        read(menu, ID_FILE_SETTING, MF_BYCOMMAND);
        read(menu, ID_FILE_EXIT, MF_BYCOMMAND);
        read(menu, 1, MF_BYPOSITION);
        read(menu, ID_HELP_ONLINE, MF_BYCOMMAND);
        read(menu, ID_HELP_ABOUT, MF_BYCOMMAND);
        HMENU system = GetSystemMenu(hwnd, FALSE);
        const int count = GetMenuItemCount(system);
        if (count >= 2 && GetMenuItemID(system, count - 1) == IDM_ABOUTBOX &&
            (GetMenuState(system, count - 2, MF_BYPOSITION) & MF_SEPARATOR)) {
            wchar_t text[64] = {};
            GetMenuStringW(system, count - 1, text, 64, MF_BYPOSITION);
            systemEntry = text;
        }
        PostMessageW(hwnd, WM_COMMAND, ID_FILE_EXIT, 0);
    });
    window.RunModal(GetModuleHandleW(nullptr), IDD_SONVALE_DIALOG, nullptr);
    reader.join();
    std::vector<std::wstring> expected;
    for (auto label : {texts::kMenuFile, texts::kMenuSetting, texts::kMenuExit, texts::kMenuHelp,
                       texts::kMenuOnlineHelp, texts::kMenuAbout})
        expected.push_back(win32::Widen(label));
    EXPECT_EQ(labels, expected);
    EXPECT_EQ(systemEntry, L"About Sonvale(&A)...");
}

void WriteSettings(std::int32_t minimizeAtStart)
{
    const std::wstring path = SettingsFile();
    CreateDirectoryW(path.substr(0, path.find_last_of(L'\\')).c_str(), nullptr);
    std::vector<std::uint8_t> bytes(kSettingsFileBytes, 0);
    bytes[54] = static_cast<std::uint8_t>(minimizeAtStart);
    std::ofstream(win32::Narrow(path), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 58);
}

LONG_PTR ExtendedStyle(HWND window)
{
    return GetWindowLongPtrW(window, GWL_EXSTYLE);
}

void Click(HWND window, unsigned mouseEvent)
{
    SendMessageW(window, kTrayNotifyMessage, kTrayIconId, mouseEvent);
}

void ExpectCentred(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const ScreenRect expected = CentreOnWorkArea({rect.left, rect.top, rect.right, rect.bottom},
                                                 {work.left, work.top, work.right, work.bottom});
    EXPECT_EQ(rect.left, expected.left);
    EXPECT_EQ(rect.top, expected.top);
}

// Esc hides without leaving the task-bar style; releases and moves over the
// icon do nothing; presses, double-clicks and right presses bring it back
// centred on the work area; Enter changes nothing.
TEST(PlayerTray, ClosingHidesAndTheIconBringsTheWindowBackCentred)
{
    WriteSettings(0);
    PlayerProcess player;
    HWND window = player.WaitForMainWindow(kStartTimeout);
    ASSERT_NE(window, nullptr);
    SetWindowPos(window, nullptr, 3, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    SendMessageW(window, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(IsWindowVisible(window));
    for (unsigned restoring : {kLeftButtonDown, kLeftButtonDoubleClick, kRightButtonDown}) {
        SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
        EXPECT_FALSE(IsWindowVisible(window));
        EXPECT_TRUE(ExtendedStyle(window) & WS_EX_APPWINDOW);
        Click(window, kLeftButtonUp);
        Click(window, kMouseMove);
        EXPECT_FALSE(IsWindowVisible(window)) << "a release or a move showed the window";
        Click(window, restoring);
        EXPECT_TRUE(IsWindowVisible(window)) << restoring;
        ExpectCentred(window);
    }
    EXPECT_FALSE(player.WaitForExit(0)) << "closing ended the player";
    PostMessageW(window, WM_COMMAND, ID_FILE_EXIT, 0);
    EXPECT_TRUE(player.WaitForExit(10000));
}

// A saved minimize-at-start flag, even one out of range, starts the window out
// of sight and off the task bar until the icon is clicked; the icon comes back
// when the notification area is created again.
TEST(PlayerTray, MinimizedStartStaysHiddenAndTheIconSurvivesATrayRestart)
{
    WriteSettings(5);
    PlayerProcess player;
    HWND window = WaitForTopLevel(player.Id(), texts::kTitle, true, kStartTimeout);
    ASSERT_NE(window, nullptr);
    Sleep(2000);  // well into the modal run
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(ExtendedStyle(window) & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(ExtendedStyle(window) & WS_EX_APPWINDOW);

    // The shell loses its icons, then announces a new notification area.
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = window;
    icon.uID = kTrayIconId;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &icon));
    EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &icon));
    SendMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &icon)) << "the icon was not added again";

    Click(window, kLeftButtonDown);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(ExtendedStyle(window) & WS_EX_APPWINDOW);
    EXPECT_FALSE(ExtendedStyle(window) & WS_EX_TOOLWINDOW);
    ExpectCentred(window);
    PostMessageW(window, WM_COMMAND, ID_FILE_EXIT, 0);
    EXPECT_TRUE(player.WaitForExit(10000));
    WriteSettings(0);
}

}  // namespace
}  // namespace sonvale::test
