#ifndef SONVALE_APP_QT_QT_APP_PLATFORM_H
#define SONVALE_APP_QT_QT_APP_PLATFORM_H

#include <string>

#include "app/app_platform.h"
#include "app/linux/single_instance_lock.h"

class QWidget;

namespace sonvale::qt {

// Start-up services for Linux. Without a display there is no window: the
// player runs the same way, messages go to standard error, and SIGINT or
// SIGTERM end the run as Exit would.
class QtAppPlatform final : public AppPlatform {
public:
    explicit QtAppPlatform(bool headless);

    void InitCommonControls() override {}
    bool ClaimSingleInstance() override;
    bool StartSocketLayer() override { return true; }
    void ShowAppMessage(const std::string& text) override;
    std::string LoadText(int id) override;
    void RunModal(CSonvaleDlg& dialog) override;

    const std::string& AppName() const { return appName_; }

private:
    bool headless_;
    std::string appName_;
    linux_shell::SingleInstanceLock lock_;
    QWidget* window_ = nullptr;
};

// True when neither an X nor a Wayland display (nor an explicit Qt platform)
// is given.
bool NoDisplay();

}  // namespace sonvale::qt

#endif
