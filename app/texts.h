// The player's own texts. Sources are UTF-8; each shell converts at its edge.
#ifndef SONVALE_APP_TEXTS_H
#define SONVALE_APP_TEXTS_H

#include <string_view>

namespace sonvale::texts {

// Window caption and tray tip.
inline constexpr std::string_view kTitle = "Sonvale(播放端)";

}  // namespace sonvale::texts

#endif
