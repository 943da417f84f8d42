// POSIX sockets whose notifications come from socket notifiers in the Qt event
// loop, translated to the notices the intake expects: accept on a listener,
// read while data waits, close once the peer has closed and nothing is left.
#ifndef SONVALE_INTAKE_QT_QT_SOCKET_LAYER_H
#define SONVALE_INTAKE_QT_QT_SOCKET_LAYER_H

#include <map>
#include <memory>

#include "intake/socket_layer.h"

class QSocketNotifier;

namespace sonvale::qt {

class QtSocketLayer final : public SocketLayer {
public:
    QtSocketLayer() = default;
    ~QtSocketLayer() override;
    QtSocketLayer(const QtSocketLayer&) = delete;
    QtSocketLayer& operator=(const QtSocketLayer&) = delete;

    SocketHandle Open(bool stream) override;
    void Select(SocketHandle socket, unsigned events, SocketEvents* sink) override;
    bool Bind(SocketHandle socket, std::uint16_t port) override;
    bool Listen(SocketHandle socket, int backlog) override;
    SocketHandle Accept(SocketHandle listener) override;
    void EnableKeepAlive(SocketHandle socket) override;
    int Receive(SocketHandle socket, std::uint8_t* buffer, int capacity) override;
    void Close(SocketHandle socket) override;
    std::int64_t NowMs() override;

private:
    struct Watch {
        SocketEvents* sink = nullptr;
        unsigned events = 0;
        bool stream = false;
        bool listening = false;
        QSocketNotifier* notifier = nullptr;
    };

    void OnReadable(int fd);
    // Out of descriptors: no accept notices for a while.
    void PauseAccepting(int listener);
    void Unwatch(Watch& watch);

    std::map<int, Watch> watches_;
};

}  // namespace sonvale::qt

#endif
