#ifndef SONVALE_APP_QT_QT_APP_PLATFORM_H
#define SONVALE_APP_QT_QT_APP_PLATFORM_H

#include <memory>
#include <string>

#include "app/app_platform.h"
#include "app/linux/single_instance_lock.h"
#include "app/message_boxes.h"
#include "app/player_services.h"
#include "intake/linux/linux_decoder_library.h"
#include "intake/qt/qt_socket_layer.h"
#include "playback/qt/alsa_audio_device.h"
#include "ui/qt/qt_user_interface.h"

class QWidget;

namespace sonvale::qt {

// Start-up services for Linux. Without a display there is no window: the
// player runs the same way, messages go to standard error, the address hint
// to standard output, and SIGINT or SIGTERM end the run as Exit would.
class QtAppPlatform final : public AppPlatform, public MessageBoxes {
public:
    explicit QtAppPlatform(bool headless);

    void InitCommonControls() override {}
    bool ClaimSingleInstance() override;
    bool StartSocketLayer() override { return true; }
    std::string LoadText(int id) override;
    PlayerServices& Services() override { return services_; }
    void RunModal(CSonvaleDlg& dialog) override;

    void ShowAppMessage(const std::string& text) override;
    void ShowPlainMessage(const std::string& text, const std::string& caption) override;

    const std::string& AppName() const { return appName_; }

private:
    bool headless_;
    std::string appName_;
    linux_shell::SingleInstanceLock lock_;
    QWidget* window_ = nullptr;
    QtSocketLayer sockets_;
    linux_shell::LinuxDecoderLibrary decoder_;
    AlsaAudioDevice audio_;
    QtUserInterface ui_;
    PlayerServices services_{*this, sockets_, decoder_, audio_, ui_};
};

// True when neither an X nor a Wayland display (nor an explicit Qt platform)
// is given.
bool NoDisplay();

}  // namespace sonvale::qt

#endif
