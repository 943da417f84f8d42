#ifndef SONVALE_APP_WIN32_WIN32_APP_PLATFORM_H
#define SONVALE_APP_WIN32_WIN32_APP_PLATFORM_H

#include <windows.h>

#include <string>

#include "app/app_platform.h"

namespace sonvale::win32 {

class Win32MainWindow;

class Win32AppPlatform final : public AppPlatform {
public:
    explicit Win32AppPlatform(HINSTANCE instance);

    void InitCommonControls() override;
    bool ClaimSingleInstance() override;
    bool StartSocketLayer() override;
    void ShowAppMessage(const std::string& text) override;
    std::string LoadText(int id) override;
    void RunModal(CSonvaleDlg& dialog) override;

private:
    HINSTANCE instance_;
    std::wstring appName_;
    const Win32MainWindow* window_ = nullptr;
};

// The executable's file name without its extension.
std::wstring ApplicationName();

}  // namespace sonvale::win32

#endif
