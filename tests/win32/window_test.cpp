// The real Sonvale.exe under Wine: its window as Win32 reads it back, the single
// instance, and the way out through the menu.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/string_table.h"
#include "app/texts.h"
#include "app/win32/utf.h"
#include "res/resource.h"
#include "tests/win32/player_process.h"

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
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
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

}  // namespace
}  // namespace sonvale::test
