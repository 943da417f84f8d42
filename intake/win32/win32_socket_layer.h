// Winsock with asynchronous selection: notifications arrive as messages to a
// hidden window of the UI thread, and are dispatched to their socket there.
#ifndef SONVALE_INTAKE_WIN32_WIN32_SOCKET_LAYER_H
#define SONVALE_INTAKE_WIN32_WIN32_SOCKET_LAYER_H

#include <winsock2.h>
#include <windows.h>

#include <map>
#include <set>

#include "intake/socket_layer.h"

namespace sonvale::win32 {

class Win32SocketLayer final : public SocketLayer {
public:
    Win32SocketLayer();
    ~Win32SocketLayer() override;
    Win32SocketLayer(const Win32SocketLayer&) = delete;
    Win32SocketLayer& operator=(const Win32SocketLayer&) = delete;

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
    static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Dispatch(SOCKET socket, unsigned event);
    // Registers the socket's interests again after a pause.
    void ResumeNotices(SOCKET socket);

    HWND window_ = nullptr;
    std::map<SOCKET, SocketEvents*> sinks_;
    std::map<SOCKET, unsigned> events_;
    std::set<SOCKET> readAgain_;  // sockets with a read-again notice waiting
};

}  // namespace sonvale::win32

#endif
