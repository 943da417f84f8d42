#include "app/win32/win32_main_window.h"

#include "app/main_window.h"
#include "app/win32/utf.h"
#include "res/resource.h"
#include "ui/win32/about_dialog.h"
#include "app/texts.h"
#include "ui/tray_rules.h"
#include "ui/win32/setting_dialog.h"

namespace sonvale::win32 {

namespace {

constexpr UINT_PTR kRefreshTimer = 1;

HINSTANCE Instance()
{
    return GetModuleHandleW(nullptr);
}

void SetMenuText(HMENU menu, UINT item, BOOL byPosition, const std::string& text)
{
    std::wstring label = Widen(text);
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = label.data();
    SetMenuItemInfoW(menu, item, byPosition, &info);
}

}  // namespace

const Win32MainWindow::MessageEntry Win32MainWindow::kMessageTable[11] = {
    {kTrayNotifyMessage, &Win32MainWindow::OnTrayNotify},
    {WM_WINDOWPOSCHANGING, &Win32MainWindow::OnWindowPosChanging},
    {WM_INITDIALOG, &Win32MainWindow::OnInitDialog},
    {WM_COMMAND, &Win32MainWindow::OnCommand},
    {WM_SYSCOMMAND, &Win32MainWindow::OnSysCommand},
    {WM_PAINT, &Win32MainWindow::OnPaint},
    {WM_QUERYDRAGICON, &Win32MainWindow::OnQueryDragIcon},
    {WM_TIMER, &Win32MainWindow::OnTimer},
    {WM_HELP, &Win32MainWindow::OnHelp},
    {WM_DESTROY, &Win32MainWindow::OnDestroy},
    {WM_NCDESTROY, &Win32MainWindow::OnNcDestroy},
};

void Win32MainWindow::EndModal(int result)
{
    EndDialog(Handle(), result);
}

MeterSurface* Win32MainWindow::Meter()
{
    if (!meter_)
        meter_.emplace(GetDlgItem(Handle(), IDC_METER));
    return &*meter_;
}

void Win32MainWindow::AddSystemMenuAndIcons()
{
    if (HMENU system = GetSystemMenu(Handle(), FALSE)) {
        wchar_t label[128] = {};
        if (LoadStringW(Instance(), IDS_ABOUTBOX, label, 128) > 0) {
            AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(system, MF_STRING, IDM_ABOUTBOX, label);
        }
    }
    // Each size from the images of icon 128, so neither is scaled from another.
    icon_ = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                          GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
}

void Win32MainWindow::SetCaption(const std::string& text)
{
    SetWindowTextW(Handle(), Widen(text).c_str());
}

void Win32MainWindow::SetMenuLabels(const MenuLabels& labels)
{
    HMENU menu = GetMenu(Handle());
    if (!menu)
        return;
    SetMenuText(menu, 0, TRUE, labels.file);
    SetMenuText(menu, ID_FILE_SETTING, FALSE, labels.setting);
    SetMenuText(menu, ID_FILE_EXIT, FALSE, labels.exit);
    SetMenuText(menu, 1, TRUE, labels.help);
    SetMenuText(menu, ID_HELP_ONLINE, FALSE, labels.onlineHelp);
    SetMenuText(menu, ID_HELP_ABOUT, FALSE, labels.about);
    DrawMenuBar(Handle());
}

void Win32MainWindow::SetInfoText(const std::string& text)
{
    SetDlgItemTextW(Handle(), IDC_INFO, Widen(text).c_str());
}

void Win32MainWindow::StartRefreshTimer(int milliseconds)
{
    SetTimer(Handle(), kRefreshTimer, static_cast<UINT>(milliseconds), nullptr);
}

void Win32MainWindow::RunAboutBox()
{
    CAboutDlg about;
    about.RunModal(Instance(), IDD_ABOUTBOX, Handle());
}

std::optional<SettingsChoice> Win32MainWindow::RunSettingsDialog(const SettingsChoice& shown)
{
    CDlgSetting setting(shown);
    if (setting.RunModal(Instance(), IDD_SETTING, Handle()) != IDOK)
        return std::nullopt;
    return setting.Choice();
}

INT_PTR Win32MainWindow::OnInitDialog(WPARAM, LPARAM)
{
    return dialog_.OnInitDialog(*this) ? TRUE : FALSE;
}

INT_PTR Win32MainWindow::OnCommand(WPARAM wParam, LPARAM)
{
    return dialog_.OnCommand(LOWORD(wParam)) ? TRUE : FALSE;
}

INT_PTR Win32MainWindow::OnSysCommand(WPARAM wParam, LPARAM)
{
    return dialog_.OnSysCommand(static_cast<unsigned>(wParam)) ? TRUE : FALSE;
}

// Minimized, the window shows its icon centred in the client area.
INT_PTR Win32MainWindow::OnPaint(WPARAM, LPARAM)
{
    if (!IsIconic(Handle()))
        return FALSE;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(Handle(), &paint);
    SendMessageW(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(Handle(), &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon_);
    EndPaint(Handle(), &paint);
    return TRUE;
}

INT_PTR Win32MainWindow::OnQueryDragIcon(WPARAM, LPARAM)
{
    return reinterpret_cast<INT_PTR>(icon_);
}

INT_PTR Win32MainWindow::OnTimer(WPARAM wParam, LPARAM)
{
    if (wParam != kRefreshTimer)
        return FALSE;
    dialog_.OnRefreshTimer();
    return TRUE;
}

// F1 in a dialog arrives as WM_HELP.
INT_PTR Win32MainWindow::OnHelp(WPARAM, LPARAM)
{
    dialog_.OnCommand(ID_HELP_ONLINE);
    return TRUE;
}

INT_PTR Win32MainWindow::OnDestroy(WPARAM, LPARAM)
{
    KillTimer(Handle(), kRefreshTimer);
    dialog_.OnDestroy();
    return TRUE;
}

INT_PTR Win32MainWindow::OnNcDestroy(WPARAM, LPARAM)
{
    if (tray_.hIcon)
        DestroyIcon(tray_.hIcon);
    tray_.hIcon = nullptr;
    DestroyIcon(icon_);
    DestroyIcon(smallIcon_);
    icon_ = smallIcon_ = nullptr;
    return FALSE;
}

void Win32MainWindow::AddTrayIcon()
{
    tray_.cbSize = sizeof tray_;
    tray_.hWnd = Handle();
    tray_.uID = kTrayIconId;
    tray_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray_.uCallbackMessage = kTrayNotifyMessage;
    if (!tray_.hIcon)
        tray_.hIcon = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    lstrcpynW(tray_.szTip, Widen(texts::kTitle).c_str(), ARRAYSIZE(tray_.szTip));
    trayShown_ = Shell_NotifyIconW(NIM_ADD, &tray_) != FALSE;
}

void Win32MainWindow::RemoveTrayIcon()
{
    Shell_NotifyIconW(NIM_DELETE, &tray_);
    trayShown_ = false;
}

void Win32MainWindow::SavePlacement()
{
    saved_.length = sizeof saved_;
    GetWindowPlacement(Handle(), &saved_);
}

void Win32MainWindow::StartHidden()
{
    keepHidden_ = true;
    SwapExtendedStyle(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW, SWP_HIDEWINDOW);
    WINDOWPLACEMENT hidden = saved_;
    hidden.showCmd = SW_HIDE;
    SetWindowPlacement(Handle(), &hidden);
}

void Win32MainWindow::Hide()
{
    ShowWindow(Handle(), SW_HIDE);
}

void Win32MainWindow::Minimize()
{
    ShowWindow(Handle(), SW_MINIMIZE);
}

void Win32MainWindow::RestoreFromTray()
{
    HWND window = Handle();
    keepHidden_ = false;
    BringWindowToTop(window);
    SwapExtendedStyle(WS_EX_TOOLWINDOW, WS_EX_APPWINDOW, SWP_SHOWWINDOW);
    SetWindowPlacement(window, &saved_);

    RECT rect;
    GetWindowRect(window, &rect);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const ScreenRect centred = CentreOnWorkArea({rect.left, rect.top, rect.right, rect.bottom},
                                                {work.left, work.top, work.right, work.bottom});
    SetWindowPos(window, nullptr, centred.left, centred.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    ShowWindow(window, SW_HIDE);
    ShowWindow(window, SW_SHOW);
}

void Win32MainWindow::SwapExtendedStyle(LONG_PTR remove, LONG_PTR add, UINT showOrHide)
{
    const LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_EXSTYLE);
    const LONG_PTR changed = (style & ~remove) | add;
    if (changed == style)
        return;
    SetWindowLongPtrW(Handle(), GWL_EXSTYLE, changed);
    SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED | showOrHide);
}

// The mouse event is in the second parameter; the icon id is not looked at.
INT_PTR Win32MainWindow::OnTrayNotify(WPARAM, LPARAM lParam)
{
    dialog_.OnTrayNotify(static_cast<unsigned>(lParam));
    return 0;
}

INT_PTR Win32MainWindow::OnWindowPosChanging(WPARAM, LPARAM lParam)
{
    if (keepHidden_)
        reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
    return FALSE;
}

std::optional<INT_PTR> Win32MainWindow::OnUnlistedMessage(UINT message, WPARAM, LPARAM)
{
    if (message != taskbarCreated_ || taskbarCreated_ == 0)
        return std::nullopt;
    AddTrayIcon();
    return 0;
}

}  // namespace sonvale::win32
