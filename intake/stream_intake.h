// The owner of the three endpoints: creates them, keeps the one connection
// slot, and routes every read to the packet handler.
#ifndef SONVALE_INTAKE_STREAM_INTAKE_H
#define SONVALE_INTAKE_STREAM_INTAKE_H

#include <cstdint>
#include <memory>

#include "intake/packet_handler.h"
#include "intake/server_socket.h"

namespace sonvale {

class DecoderBinding;
class PcmQueue;
class SocketLayer;

inline constexpr std::uint16_t kStreamPort = 52166;
inline constexpr std::uint16_t kDatagramPort = 52168;
// A connection that has brought nothing for this long gives up its slot to
// the next sender that asks.
inline constexpr std::int64_t kSilentConnectionMs = 5000;
// Data after this long a pause is taken for a new stream: without a fresh
// decoder its first frames would be blended with the end of the last one,
// and its tag frame played as sound.
inline constexpr std::int64_t kPauseBetweenStreamsMs = 1000;
// At most this many reads of the current connection when another asks to
// connect, to see whether the current one has closed.
inline constexpr int kReadsBeforeAccept = 32;

class StreamIntake {
public:
    StreamIntake(SocketLayer& layer, DecoderBinding& decoder, PcmQueue& queue);
    ~StreamIntake();
    StreamIntake(const StreamIntake&) = delete;
    StreamIntake& operator=(const StreamIntake&) = delete;

    // The TCP listener and the UDP socket.
    void CreateEndpoints(std::uint16_t streamPort = kStreamPort, std::uint16_t datagramPort = kDatagramPort);
    // At window destruction: the UDP socket is closed and the connection
    // deleted; the listener stays until the process ends.
    void CloseEndpoints();

    void OnAccept(CServerSocket& listener);
    void OnReceive(CServerSocket& socket);
    void OnClose(CServerSocket& socket);

    CServerSocket* Listener() const { return listener_.get(); }
    CServerSocket* Connection() const { return connection_.get(); }
    CServerSocket* Datagram() const { return datagram_.get(); }
    PacketHandler& Handler() { return handler_; }

private:
    // Hands what one read brought to the packet handler.
    void Consume(CServerSocket& socket, int count);
    // Reads what the current connection still holds; frees the slot if that
    // ends in its close.
    void ReadToEndIfClosed();

    SocketLayer& layer_;
    PacketHandler handler_;
    std::unique_ptr<CServerSocket> listener_;
    std::unique_ptr<CServerSocket> connection_;
    std::unique_ptr<CServerSocket> datagram_;
    std::int64_t connectionHeardMs_ = 0;
    std::int64_t anythingHeardMs_ = -1;
};

}  // namespace sonvale

#endif
