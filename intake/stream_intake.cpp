#include "intake/stream_intake.h"

#include "intake/socket_layer.h"

namespace sonvale {

StreamIntake::StreamIntake(SocketLayer& layer, DecoderBinding& decoder, PcmQueue& queue)
    : layer_(layer), handler_(decoder, queue)
{
}

StreamIntake::~StreamIntake() = default;

void StreamIntake::CreateEndpoints(std::uint16_t streamPort, std::uint16_t datagramPort)
{
    listener_ = std::make_unique<CServerSocket>(layer_, SocketKind::Listener, this);
    if (listener_->Create(true, kEventAccept, streamPort))
        listener_->Listen(1);
    datagram_ = std::make_unique<CServerSocket>(layer_, SocketKind::Datagram, this);
    datagram_->Create(false, kEventAll, datagramPort);
}

void StreamIntake::CloseEndpoints()
{
    if (datagram_)
        datagram_->Close();
    connection_.reset();
}

void StreamIntake::OnAccept(CServerSocket& listener)
{
    // Every request is accepted, even while the slot is taken: a request left
    // waiting would never be signalled again, and intake would stall for good.
    auto incoming = std::make_unique<CServerSocket>(layer_, SocketKind::Connection, this);
    if (!listener.Accept(*incoming))
        return;
    // A sender that closes and at once reconnects (the next song) may have
    // its close still waiting behind this request: notices of different
    // sockets come in no fixed order on every platform. Take what it left
    // and see whether it has ended before turning the newcomer away.
    if (connection_)
        ReadToEndIfClosed();
    const std::int64_t now = layer_.NowMs();
    if (connection_) {
        // A sender that vanished without closing would otherwise hold the slot
        // for the rest of the run.
        if (now - connectionHeardMs_ < kSilentConnectionMs)
            return;  // the newcomer is closed as it goes out of scope
        connection_.reset();
    }
    layer_.EnableKeepAlive(incoming->Handle());
    incoming->AsyncSelect(kEventRead | kEventClose);
    connection_ = std::move(incoming);
    connectionHeardMs_ = now;
    handler_.StartNewStream();
}

void StreamIntake::OnReceive(CServerSocket& socket)
{
    if (&socket != connection_.get() && &socket != datagram_.get())
        return;
    Consume(socket, socket.Receive(handler_.ReceiveBuffer(), kReceiveChunk));
}

void StreamIntake::Consume(CServerSocket& socket, int count)
{
    if (count < 0)
        return;
    if (count > 0) {
        const std::int64_t now = layer_.NowMs();
        if (anythingHeardMs_ >= 0 && now - anythingHeardMs_ >= kPauseBetweenStreamsMs)
            handler_.StartNewStream();
        anythingHeardMs_ = now;
        if (socket.Kind() == SocketKind::Connection)
            connectionHeardMs_ = now;
    }
    handler_.HandleReceived(count);
}

void StreamIntake::ReadToEndIfClosed()
{
    // Bounded, so that a sender still streaming fast cannot hold the loop here.
    for (int reads = 0; connection_ && reads < kReadsBeforeAccept; ++reads) {
        const int count = connection_->Receive(handler_.ReceiveBuffer(), kReceiveChunk);
        if (count == kNothingWaiting)
            return;  // still open: a second sender after all
        if (count <= 0) {
            connection_.reset();  // ended, or failed
            return;
        }
        Consume(*connection_, count);
    }
}

void StreamIntake::OnClose(CServerSocket& socket)
{
    // Whatever the peer sent last and is still unread goes with the socket.
    if (&socket == connection_.get())
        connection_.reset();
}

}  // namespace sonvale
