#include "app/sonvale_app.h"

#include <memory>

#include "app/app_platform.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/player_services.h"
#include "res/resource.h"

namespace sonvale {

bool CSonvaleApp::InitInstance()
{
    platform_.InitCommonControls();

    // A second instance leaves silently: no message, no window.
    if (!platform_.ClaimSingleInstance())
        return false;

    if (!platform_.StartSocketLayer()) {
        platform_.Services().boxes.ShowAppMessage(platform_.LoadText(IDP_SOCKETS_INIT_FAILED));
        return false;
    }

    // The window object is large (its audio buffers); keep it off the stack.
    auto dialog = std::make_unique<CSonvaleDlg>(platform_.Services());
    platform_.RunModal(*dialog);
    dialog.reset();
    return false;
}

}  // namespace sonvale
