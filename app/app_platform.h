// What start-up needs from the operating system. Each shell implements it once.
#ifndef SONVALE_APP_APP_PLATFORM_H
#define SONVALE_APP_APP_PLATFORM_H

#include <string>

namespace sonvale {

class CSonvaleDlg;
struct PlayerServices;

class AppPlatform {
public:
    virtual ~AppPlatform() = default;

    virtual void InitCommonControls() = 0;
    // Claims the one instance allowed per log-on and executable name, for the
    // life of the process. False when another process already holds it.
    virtual bool ClaimSingleInstance() = 0;
    virtual bool StartSocketLayer() = 0;
    virtual std::string LoadText(int id) = 0;
    virtual PlayerServices& Services() = 0;
    // Shows the main window and returns when its modal run has ended.
    virtual void RunModal(CSonvaleDlg& dialog) = 0;
};

}  // namespace sonvale

#endif
