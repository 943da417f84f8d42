#include "app/win32/win32_app_platform.h"

#include <winsock2.h>
#include <commctrl.h>

#include "app/main_window.h"
#include "app/win32/utf.h"
#include "app/win32/win32_main_window.h"
#include "res/resource.h"

namespace sonvale::win32 {

std::wstring ApplicationName()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path);
    if (const size_t slash = name.find_last_of(L"\\/"); slash != std::wstring::npos)
        name.erase(0, slash + 1);
    if (const size_t dot = name.find_last_of(L'.'); dot != std::wstring::npos)
        name.erase(dot);
    return name;
}

Win32AppPlatform::Win32AppPlatform(HINSTANCE instance) : instance_(instance), appName_(ApplicationName()) {}

void Win32AppPlatform::InitCommonControls()
{
    INITCOMMONCONTROLSEX controls{sizeof(controls), 0xFF};
    InitCommonControlsEx(&controls);
}

bool Win32AppPlatform::ClaimSingleInstance()
{
    // Owned until the process ends: never released, never closed. Without a
    // namespace prefix the name holds within the current log-on.
    CreateMutexW(nullptr, TRUE, appName_.c_str());
    return GetLastError() != ERROR_ALREADY_EXISTS;
}

bool Win32AppPlatform::StartSocketLayer()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0)
        return false;
    if (data.wVersion != MAKEWORD(1, 1)) {
        WSACleanup();
        return false;
    }
    return true;
}

void Win32AppPlatform::ShowAppMessage(const std::string& text)
{
    HWND owner = window_ ? window_->Handle() : nullptr;
    MessageBoxW(owner, Widen(text).c_str(), appName_.c_str(), MB_OK | MB_ICONWARNING);
}

void Win32AppPlatform::ShowPlainMessage(const std::string& text, const std::string& caption)
{
    MessageBoxW(nullptr, Widen(text).c_str(), Widen(caption).c_str(), MB_OK);
}

PlayerServices& Win32AppPlatform::Services()
{
    if (!services_) {
        sockets_ = std::make_unique<Win32SocketLayer>();
        audio_ = std::make_unique<WaveOutDevice>();
        services_.reset(new PlayerServices{*this, *sockets_, decoder_, *audio_, ui_});
    }
    return *services_;
}

std::string Win32AppPlatform::LoadText(int id)
{
    const wchar_t* text = nullptr;
    const int length = LoadStringW(instance_, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? Narrow(std::wstring_view(text, static_cast<size_t>(length))) : std::string();
}

void Win32AppPlatform::RunModal(CSonvaleDlg& dialog)
{
    Win32MainWindow window(dialog);
    // Messages shown while the window exists are owned by it.
    window_ = &window;
    window.RunModal(instance_, IDD_SONVALE_DIALOG, nullptr);
    window_ = nullptr;
}

}  // namespace sonvale::win32
