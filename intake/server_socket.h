// One class for the three endpoints: the TCP listener, the current TCP
// connection and the UDP socket. Each knows its owner, which decides what its
// notifications mean.
#ifndef SONVALE_INTAKE_SERVER_SOCKET_H
#define SONVALE_INTAKE_SERVER_SOCKET_H

#include <cstdint>

#include "intake/socket_layer.h"

namespace sonvale {

enum class SocketKind : std::int32_t { Listener = 0, Connection = 1, Datagram = 2 };

class StreamIntake;

class CServerSocket final : public SocketEvents {
public:
    CServerSocket(SocketLayer& layer, SocketKind kind, StreamIntake* owner)
        : layer_(layer), kind_(kind), owner_(owner)
    {
    }
    // Closes the socket if it is still open.
    ~CServerSocket() override;
    CServerSocket(const CServerSocket&) = delete;
    CServerSocket& operator=(const CServerSocket&) = delete;

    // Opens, registers the interests, binds to the wildcard address; a socket
    // that cannot be bound is closed again.
    bool Create(bool stream, unsigned events, std::uint16_t port);
    bool Listen(int backlog) { return layer_.Listen(handle_, backlog); }
    // Takes the pending connection on this listener into target.
    bool Accept(CServerSocket& target);
    void AsyncSelect(unsigned events) { layer_.Select(handle_, events, this); }
    int Receive(std::uint8_t* buffer, int capacity) { return layer_.Receive(handle_, buffer, capacity); }
    void Close();

    SocketKind Kind() const { return kind_; }
    bool IsOpen() const { return handle_ != kNoSocket; }
    SocketHandle Handle() const { return handle_; }

    void OnSocketEvent(SocketEvent event) override;

private:
    SocketLayer& layer_;
    SocketHandle handle_ = kNoSocket;
    SocketKind kind_;
    StreamIntake* owner_;
};

}  // namespace sonvale

#endif
