// The two kinds of message box the player shows. Without a display, each shell
// writes them to standard error instead.
#ifndef SONVALE_APP_MESSAGE_BOXES_H
#define SONVALE_APP_MESSAGE_BOXES_H

#include <string>

namespace sonvale {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Captioned with the application name, warning icon, owned by the main
    // window once it exists.
    virtual void ShowAppMessage(const std::string& text) = 0;
    // No owner, no icon, the caption given.
    virtual void ShowPlainMessage(const std::string& text, const std::string& caption) = 0;
};

}  // namespace sonvale

#endif
