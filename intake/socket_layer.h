// IPv4 sockets as the intake needs them, with notifications delivered on the
// UI thread: Winsock's asynchronous selection on Windows, socket notifiers in
// the event loop on Linux.
#ifndef SONVALE_INTAKE_SOCKET_LAYER_H
#define SONVALE_INTAKE_SOCKET_LAYER_H

#include <cstdint>

namespace sonvale {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;
// What Receive returns when nothing is waiting on a socket that is still open.
inline constexpr int kNothingWaiting = -2;

// Notification interests, with Winsock's values.
enum SocketEvent : unsigned {
    kEventRead = 1,
    kEventWrite = 2,
    kEventOutOfBand = 4,
    kEventAccept = 8,
    kEventConnect = 16,
    kEventClose = 32,
    kEventAll = 63,
};

class SocketEvents {
public:
    virtual ~SocketEvents() = default;
    // One notification; the next of a kind comes only after the call that
    // consumes it (a read after a read notice, an accept after an accept).
    virtual void OnSocketEvent(SocketEvent event) = 0;
};

class SocketLayer {
public:
    virtual ~SocketLayer() = default;

    virtual SocketHandle Open(bool stream) = 0;
    // Registers the interests; notifications go to sink until the socket is
    // closed or the interests change.
    virtual void Select(SocketHandle socket, unsigned events, SocketEvents* sink) = 0;
    // Binds to the port on every local IPv4 address.
    virtual bool Bind(SocketHandle socket, std::uint16_t port) = 0;
    virtual bool Listen(SocketHandle socket, int backlog) = 0;
    // The pending connection, or kNoSocket.
    virtual SocketHandle Accept(SocketHandle listener) = 0;
    virtual void EnableKeepAlive(SocketHandle socket) = 0;
    // Bytes read (0 on an orderly close), kNothingWaiting when there is
    // nothing to read yet, another negative value on error, including a
    // datagram longer than capacity.
    virtual int Receive(SocketHandle socket, std::uint8_t* buffer, int capacity) = 0;
    // Drops notifications still on their way.
    virtual void Close(SocketHandle socket) = 0;
    // A monotonic clock, in milliseconds.
    virtual std::int64_t NowMs() = 0;
};

}  // namespace sonvale

#endif
