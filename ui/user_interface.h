// What the main window's menus, dialogs, settings and address hint need from a
// shell beyond the window itself; each shell provides one for the process.
#ifndef SONVALE_UI_USER_INTERFACE_H
#define SONVALE_UI_USER_INTERFACE_H

#include <string>
#include <vector>

#include "ui/autorun.h"
#include "ui/local_address.h"
#include "ui/player_settings.h"

namespace sonvale {

class UserInterfacePlatform {
public:
    virtual ~UserInterfacePlatform() = default;

    virtual SettingsFileSystem& Files() = 0;
    virtual SettingsLocation SettingsPlace() = 0;
    // In order of preference: the machine-wide place first.
    virtual std::vector<AutorunPlace*> AutorunPlaces() = 0;
    // What is stored to start the running executable.
    virtual std::string AutorunEntry() = 0;
    virtual AddressSource& Addresses() = 0;
    // The offline help page shipped with the program, and opening it in the
    // default browser; false when that could not be done.
    virtual std::string HelpPagePath() = 0;
    virtual bool OpenHelpPage(const std::string& path) = 0;
};

// The two values the settings dialog edits.
struct SettingsChoice {
    std::int32_t autorun = 0;
    std::int32_t minimizeAtStart = 0;
};

// The six labels set over the menu template's, in menu order.
struct MenuLabels {
    std::string file, setting, exit, help, onlineHelp, about;
};

}  // namespace sonvale

#endif
