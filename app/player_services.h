// The platform services the main window object works through; each shell
// provides one set for the life of the process.
#ifndef SONVALE_APP_PLAYER_SERVICES_H
#define SONVALE_APP_PLAYER_SERVICES_H

namespace sonvale {

class AudioDevice;
class DecoderLibrary;
class MessageBoxes;
class SocketLayer;
class UserInterfacePlatform;

struct PlayerServices {
    MessageBoxes& boxes;
    SocketLayer& sockets;
    DecoderLibrary& decoder;
    AudioDevice& audio;
    UserInterfacePlatform& ui;
};

}  // namespace sonvale

#endif
