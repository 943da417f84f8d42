// The native main window as the portable window object sees it. The shell that
// owns the real window implements it and hands it over at initialisation.
// Without a window (headless) every step that only shows something does
// nothing.
#ifndef SONVALE_APP_WINDOW_HOST_H
#define SONVALE_APP_WINDOW_HOST_H

#include <optional>
#include <string>

#include "ui/user_interface.h"

namespace sonvale {

class MeterSurface;

inline constexpr int kDialogOk = 1;
inline constexpr int kDialogCancel = 2;

class WindowHost {
public:
    virtual ~WindowHost() = default;
    // Ends the modal run; the shell destroys the window afterwards.
    virtual void EndModal(int result) = 0;
    // The spectrum meter control; null where nothing is shown (headless).
    virtual MeterSurface* Meter() { return nullptr; }

    // The system menu's About entry (string 101, none when it is empty) and
    // the window's big and small icons.
    virtual void AddSystemMenuAndIcons() {}
    virtual void SetCaption(const std::string&) {}
    virtual void SetMenuLabels(const MenuLabels&) {}
    virtual void SetInfoText(const std::string&) {}
    // Calls the window object's OnRefreshTimer every `ms` milliseconds.
    virtual void StartRefreshTimer(int) {}
    virtual void RunAboutBox() {}
    // The settings dialog, modal; the values chosen, or nothing on Cancel.
    virtual std::optional<SettingsChoice> RunSettingsDialog(const SettingsChoice&) { return std::nullopt; }

    // The notification-area icon. Adding may fail while there is no tray (the
    // desktop not up yet); the shell adds it again when a tray appears.
    virtual void AddTrayIcon() {}
    virtual void RemoveTrayIcon() {}
    // Whether an icon is there now to bring a hidden window back.
    virtual bool TrayIconShown() { return false; }
    // The placement a window brought back from the tray returns to.
    virtual void SavePlacement() {}
    // Out of sight and off the task bar from the start, also once the modal
    // run begins.
    virtual void StartHidden() {}
    virtual void Hide() {}
    virtual void Minimize() {}
    // To the top, back on the task bar, the saved placement, centred on the
    // work area of its screen, shown.
    virtual void RestoreFromTray() {}
};

}  // namespace sonvale

#endif
