// The Linux user interface services: settings under the XDG configuration
// folder, autorun as an XDG autostart entry, addresses from the C library and
// the help page in the default browser.
#ifndef SONVALE_UI_QT_QT_USER_INTERFACE_H
#define SONVALE_UI_QT_QT_USER_INTERFACE_H

#include "ui/linux/autostart_folder.h"
#include "ui/linux/posix_address_source.h"
#include "ui/linux/posix_settings_files.h"
#include "ui/user_interface.h"

namespace sonvale::qt {

class QtUserInterface final : public UserInterfacePlatform {
public:
    explicit QtUserInterface(std::string systemAutostartFolder = linux_shell::kSystemAutostartFolder);

    SettingsFileSystem& Files() override { return files_; }
    SettingsLocation SettingsPlace() override { return linux_shell::XdgSettingsLocation(); }
    std::vector<AutorunPlace*> AutorunPlaces() override { return {&machine_, &user_}; }
    std::string AutorunEntry() override;
    AddressSource& Addresses() override { return addresses_; }
    // Beside the executable in a build tree, else where the install put it.
    std::string HelpPagePath() override;
    // Needs a display: without one there is no browser to show it in.
    bool OpenHelpPage(const std::string& path) override;

private:
    linux_shell::PosixSettingsFiles files_;
    linux_shell::AutostartFolder machine_;
    linux_shell::AutostartFolder user_;
    linux_shell::PosixAddressSource addresses_;
};

}  // namespace sonvale::qt

#endif
