#include "tests/intake/loopback.h"

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>

#include "intake/win32/win32_socket_layer.h"
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>


#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "intake/qt/qt_socket_layer.h"
#endif

namespace sonvale::test {

#ifdef _WIN32
std::unique_ptr<SocketLayer> MakePlatformSocketLayer()
{
    static WSADATA data;
    static const bool started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    (void)started;
    return std::make_unique<win32::Win32SocketLayer>();
}

bool RunEventLoop(std::chrono::milliseconds timeout, const std::function<bool()>& done,
                  const std::function<void()>& afterEach)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done() && std::chrono::steady_clock::now() < end) {
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
            afterEach();
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
    }
    return done();
}

static void CloseSocket(std::intptr_t socket)
{
    closesocket(static_cast<SOCKET>(socket));
}

#else
std::unique_ptr<SocketLayer> MakePlatformSocketLayer()
{
    return std::make_unique<qt::QtSocketLayer>();
}

bool RunEventLoop(std::chrono::milliseconds timeout, const std::function<bool()>& done,
                  const std::function<void()>& afterEach)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    // Wakes the loop when nothing else does.
    QTimer tick;
    tick.start(5);
    while (!done() && std::chrono::steady_clock::now() < end) {
        // One pass handles each ready notifier once, as playback would run
        // between two reads.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        afterEach();
    }
    return done();
}

static void CloseSocket(std::intptr_t socket)
{
    ::close(static_cast<int>(socket));
}

#endif

LoopbackSender::LoopbackSender(bool stream, std::uint16_t port) : stream_(stream)
{
    MakePlatformSocketLayer();  // makes sure the socket layer is up on Windows
    const auto socket = ::socket(AF_INET, stream ? SOCK_STREAM : SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        CloseSocket(static_cast<std::intptr_t>(socket));
        return;
    }
    socket_ = static_cast<std::intptr_t>(socket);
}

LoopbackSender::~LoopbackSender()
{
    Close();
}

bool LoopbackSender::Send(const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const auto sent = ::send(socket_, reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
        if (sent <= 0)
            return false;
        if (!stream_)
            return static_cast<std::size_t>(sent) == size;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

void LoopbackSender::Close()
{
    if (socket_ >= 0)
        CloseSocket(socket_);
    socket_ = -1;
}

}  // namespace sonvale::test
