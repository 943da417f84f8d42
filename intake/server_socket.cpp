#include "intake/server_socket.h"

#include "intake/stream_intake.h"

namespace sonvale {

CServerSocket::~CServerSocket()
{
    Close();
}

bool CServerSocket::Create(bool stream, unsigned events, std::uint16_t port)
{
    handle_ = layer_.Open(stream);
    if (handle_ == kNoSocket)
        return false;
    layer_.Select(handle_, events, this);
    if (!layer_.Bind(handle_, port)) {
        Close();
        return false;
    }
    return true;
}

bool CServerSocket::Accept(CServerSocket& target)
{
    target.handle_ = layer_.Accept(handle_);
    return target.handle_ != kNoSocket;
}

void CServerSocket::Close()
{
    if (handle_ == kNoSocket)
        return;
    layer_.Close(handle_);
    handle_ = kNoSocket;
}

void CServerSocket::OnSocketEvent(SocketEvent event)
{
    switch (event) {
    case kEventRead: owner_->OnReceive(*this); break;
    case kEventAccept: owner_->OnAccept(*this); break;
    case kEventClose: owner_->OnClose(*this); break;
    default: break;
    }
}

}  // namespace sonvale
