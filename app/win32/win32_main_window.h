// The main window on Win32: dialog template 102 run modally, its messages
// forwarded to the portable window object.
#ifndef SONVALE_APP_WIN32_WIN32_MAIN_WINDOW_H
#define SONVALE_APP_WIN32_WIN32_MAIN_WINDOW_H

#include <windows.h>
#include <shellapi.h>

#include <optional>

#include "app/win32/dialog_window.h"
#include "app/window_host.h"
#include "spectrum/win32/win32_meter_surface.h"

namespace sonvale {
class CSonvaleDlg;
}

namespace sonvale::win32 {

class Win32MainWindow final : public DialogWindow<Win32MainWindow>, public WindowHost {
public:
    explicit Win32MainWindow(CSonvaleDlg& dialog) : dialog_(dialog) {}

    void EndModal(int result) override;
    MeterSurface* Meter() override;
    void AddSystemMenuAndIcons() override;
    void SetCaption(const std::string& text) override;
    void SetMenuLabels(const MenuLabels& labels) override;
    void SetInfoText(const std::string& text) override;
    void StartRefreshTimer(int milliseconds) override;
    void RunAboutBox() override;
    std::optional<SettingsChoice> RunSettingsDialog(const SettingsChoice& shown) override;
    void AddTrayIcon() override;
    void RemoveTrayIcon() override;
    bool TrayIconShown() override { return trayShown_; }
    void SavePlacement() override;
    void StartHidden() override;
    void Hide() override;
    void Minimize() override;
    void RestoreFromTray() override;

    static const MessageEntry kMessageTable[11];
    std::optional<INT_PTR> OnUnlistedMessage(UINT message, WPARAM, LPARAM);

private:
    INT_PTR OnInitDialog(WPARAM, LPARAM);
    INT_PTR OnCommand(WPARAM, LPARAM);
    INT_PTR OnSysCommand(WPARAM, LPARAM);
    INT_PTR OnPaint(WPARAM, LPARAM);
    INT_PTR OnQueryDragIcon(WPARAM, LPARAM);
    INT_PTR OnTimer(WPARAM, LPARAM);
    INT_PTR OnHelp(WPARAM, LPARAM);
    INT_PTR OnDestroy(WPARAM, LPARAM);
    INT_PTR OnNcDestroy(WPARAM, LPARAM);
    INT_PTR OnTrayNotify(WPARAM, LPARAM);
    INT_PTR OnWindowPosChanging(WPARAM, LPARAM);
    // Changes the extended style only when that alters it, then updates the
    // frame in place with the show or hide flag given.
    void SwapExtendedStyle(LONG_PTR remove, LONG_PTR add, UINT showOrHide);

    CSonvaleDlg& dialog_;
    std::optional<Win32MeterSurface> meter_;
    HICON icon_ = nullptr;
    HICON smallIcon_ = nullptr;
    NOTIFYICONDATAW tray_{};
    bool trayShown_ = false;
    // Sent to every top-level window when the desktop shell (re)creates the
    // notification area: the icon must be added again then.
    const UINT taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    WINDOWPLACEMENT saved_{};
    // Until the first restore from the tray, nothing may show the window: the
    // dialog's modal run shows a dialog that is hidden when it begins.
    bool keepHidden_ = false;
};

}  // namespace sonvale::win32

#endif
