// The main window on Win32: dialog template 102 run modally, its messages
// forwarded to the portable window object.
#ifndef SONVALE_APP_WIN32_WIN32_MAIN_WINDOW_H
#define SONVALE_APP_WIN32_WIN32_MAIN_WINDOW_H

#include <windows.h>

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

    static const MessageEntry kMessageTable[9];

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

    CSonvaleDlg& dialog_;
    std::optional<Win32MeterSurface> meter_;
    HICON icon_ = nullptr;
    HICON smallIcon_ = nullptr;
};

}  // namespace sonvale::win32

#endif
