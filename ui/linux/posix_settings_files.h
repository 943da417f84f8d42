// The settings file on a POSIX file system, in the user's XDG configuration
// folder: a Linux user has no machine-wide folder of their own to write to.
#ifndef SONVALE_UI_LINUX_POSIX_SETTINGS_FILES_H
#define SONVALE_UI_LINUX_POSIX_SETTINGS_FILES_H

#include <memory>
#include <string>

#include "ui/player_settings.h"

namespace sonvale::linux_shell {

// Each open holds an exclusive flock while the file is open: the single
// instance is per executable name, so a copy of the player under another name
// may be saving the same file.
class PosixSettingsFiles final : public SettingsFileSystem {
public:
    std::unique_ptr<OpenSettingsFile> OpenFile(const std::string& path, Open how) override;
    bool Exists(const std::string& path) override;
    void CreateFolder(const std::string& path) override;
};

// $XDG_CONFIG_HOME, else ~/.config; empty when neither can be had.
std::string ConfigHome();

// <config home>/svl/playeroption.svp.
SettingsLocation XdgSettingsLocation();

}  // namespace sonvale::linux_shell

#endif
