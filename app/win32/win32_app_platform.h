#ifndef SONVALE_APP_WIN32_WIN32_APP_PLATFORM_H
#define SONVALE_APP_WIN32_WIN32_APP_PLATFORM_H

#include <windows.h>

#include <memory>
#include <string>

#include "app/app_platform.h"
#include "app/message_boxes.h"
#include "app/player_services.h"
#include "intake/win32/win32_decoder_library.h"
#include "intake/win32/win32_socket_layer.h"
#include "playback/win32/wave_out_device.h"
#include "ui/win32/win32_user_interface.h"

namespace sonvale::win32 {

class Win32MainWindow;

class Win32AppPlatform final : public AppPlatform, public MessageBoxes {
public:
    explicit Win32AppPlatform(HINSTANCE instance);

    void InitCommonControls() override;
    bool ClaimSingleInstance() override;
    bool StartSocketLayer() override;
    std::string LoadText(int id) override;
    PlayerServices& Services() override;
    void RunModal(CSonvaleDlg& dialog) override;

    void ShowAppMessage(const std::string& text) override;
    void ShowPlainMessage(const std::string& text, const std::string& caption) override;

private:
    HINSTANCE instance_;
    std::wstring appName_;
    const Win32MainWindow* window_ = nullptr;
    Win32DecoderLibrary decoder_;
    Win32UserInterface ui_;
    // Made on first use, on the UI thread that its hidden window belongs to.
    std::unique_ptr<Win32SocketLayer> sockets_;
    std::unique_ptr<WaveOutDevice> audio_;
    std::unique_ptr<PlayerServices> services_;
};

// The executable's file name without its extension.
std::wstring ApplicationName();

}  // namespace sonvale::win32

#endif
