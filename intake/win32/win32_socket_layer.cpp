#include "intake/win32/win32_socket_layer.h"

#include <mstcpip.h>

#include "app/win32/message_window.h"

namespace sonvale::win32 {

namespace {

constexpr UINT kSocketMessage = WM_APP + 1;
// Our own second look at a socket with data left; kept apart from Winsock's
// notices so that no more than one per socket is ever waiting.
constexpr UINT kReadAgainMessage = WM_APP + 2;
constexpr UINT kAcceptRetryMs = 1000;
constexpr wchar_t kWindowClass[] = L"SonvaleSocketWindow";

// A read notice can be stale by the time it is handled; only a socket that is
// readable now, or has an error, is worth a read.
bool ReadableNow(SOCKET socket)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(socket, &failed);
    timeval zero{0, 0};
    return select(0, &readable, nullptr, &failed, &zero) > 0;
}

}  // namespace

Win32SocketLayer::Win32SocketLayer()
    : window_(CreateMessageWindow(kWindowClass, &Win32SocketLayer::WindowProcedure, this))
{
}

Win32SocketLayer::~Win32SocketLayer()
{
    if (window_)
        DestroyWindow(window_);
}

SocketHandle Win32SocketLayer::Open(bool stream)
{
    const SOCKET socket = ::socket(AF_INET, stream ? SOCK_STREAM : SOCK_DGRAM, stream ? IPPROTO_TCP : IPPROTO_UDP);
    return socket == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(socket);
}

void Win32SocketLayer::Select(SocketHandle socket, unsigned events, SocketEvents* sink)
{
    sinks_[static_cast<SOCKET>(socket)] = sink;
    events_[static_cast<SOCKET>(socket)] = events;
    WSAAsyncSelect(static_cast<SOCKET>(socket), window_, kSocketMessage, static_cast<long>(events));
}

bool Win32SocketLayer::Bind(SocketHandle socket, std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    return bind(static_cast<SOCKET>(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool Win32SocketLayer::Listen(SocketHandle socket, int backlog)
{
    return listen(static_cast<SOCKET>(socket), backlog) == 0;
}

SocketHandle Win32SocketLayer::Accept(SocketHandle listener)
{
    const SOCKET socket = accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    if (socket != INVALID_SOCKET)
        return static_cast<SocketHandle>(socket);
    // Out of sockets: the request stays pending and Winsock would post the
    // accept notice again at once, for as long as the shortage lasts. No
    // notices for a while, then look again.
    if (const int error = WSAGetLastError(); error == WSAEMFILE || error == WSAENOBUFS) {
        WSAAsyncSelect(static_cast<SOCKET>(listener), window_, 0, 0);
        SetTimer(window_, static_cast<UINT_PTR>(listener), kAcceptRetryMs, nullptr);
    }
    return kNoSocket;
}

void Win32SocketLayer::EnableKeepAlive(SocketHandle socket)
{
    // Probes after 10 s of silence, every 5 s: a vanished sender is noticed in
    // well under a minute instead of hours.
    tcp_keepalive settings{1, 10000, 5000};
    DWORD returned = 0;
    WSAIoctl(static_cast<SOCKET>(socket), SIO_KEEPALIVE_VALS, &settings, sizeof settings, nullptr, 0, &returned,
             nullptr, nullptr);
}

int Win32SocketLayer::Receive(SocketHandle socket, std::uint8_t* buffer, int capacity)
{
    const int count = recv(static_cast<SOCKET>(socket), reinterpret_cast<char*>(buffer), capacity, 0);
    if (count != SOCKET_ERROR)
        return count;
    return WSAGetLastError() == WSAEWOULDBLOCK ? kNothingWaiting : -1;
}

void Win32SocketLayer::Close(SocketHandle socket)
{
    sinks_.erase(static_cast<SOCKET>(socket));
    events_.erase(static_cast<SOCKET>(socket));
    KillTimer(window_, static_cast<UINT_PTR>(socket));
    readAgain_.erase(static_cast<SOCKET>(socket));
    closesocket(static_cast<SOCKET>(socket));
}

std::int64_t Win32SocketLayer::NowMs()
{
    return static_cast<std::int64_t>(GetTickCount64());
}

void Win32SocketLayer::Dispatch(SOCKET socket, unsigned event)
{
    // Notices for a socket closed meanwhile find no sink and are dropped.
    const auto found = sinks_.find(socket);
    if (found == sinks_.end())
        return;
    if (event == FD_READ && !ReadableNow(socket))
        return;
    found->second->OnSocketEvent(static_cast<SocketEvent>(event));
    // Seen under Wine: datagrams that arrive in a burst can leave data waiting
    // without a further notice, until the next datagram comes. Ask again
    // while anything is left, so the end of a stream is not held back; but
    // once only, or a sender faster than the reader would fill the queue with
    // our own notices and leave the output's behind them.
    if (event == FD_READ && sinks_.count(socket) && !readAgain_.count(socket) && ReadableNow(socket) &&
        PostMessageW(window_, kReadAgainMessage, static_cast<WPARAM>(socket), 0))
        readAgain_.insert(socket);
}

void Win32SocketLayer::ResumeNotices(SOCKET socket)
{
    if (const auto found = events_.find(socket); found != events_.end())
        WSAAsyncSelect(socket, window_, kSocketMessage, static_cast<long>(found->second));
}

LRESULT CALLBACK Win32SocketLayer::WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kSocketMessage) {
        if (auto* layer = MessageWindowOwner<Win32SocketLayer>(hwnd))
            layer->Dispatch(static_cast<SOCKET>(wParam), WSAGETSELECTEVENT(lParam));
        return 0;
    }
    if (message == kReadAgainMessage) {
        if (auto* layer = MessageWindowOwner<Win32SocketLayer>(hwnd)) {
            const auto socket = static_cast<SOCKET>(wParam);
            // A socket closed meanwhile has no entry, and its number may be
            // another's by now: only a notice still on record is ours.
            if (layer->readAgain_.erase(socket))
                layer->Dispatch(socket, FD_READ);
        }
        return 0;
    }
    if (message == WM_TIMER) {
        KillTimer(hwnd, wParam);
        if (auto* layer = MessageWindowOwner<Win32SocketLayer>(hwnd))
            layer->ResumeNotices(static_cast<SOCKET>(wParam));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace sonvale::win32
