#include "app/win32/win32_main_window.h"

#include "app/main_window.h"
#include "app/win32/utf.h"
#include "res/resource.h"
#include "ui/win32/about_dialog.h"
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

const Win32MainWindow::MessageEntry Win32MainWindow::kMessageTable[9] = {
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
    DestroyIcon(icon_);
    DestroyIcon(smallIcon_);
    icon_ = smallIcon_ = nullptr;
    return FALSE;
}

}  // namespace sonvale::win32
