#include "intake/qt/qt_socket_layer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include <QSocketNotifier>
#include <QTimer>

namespace sonvale::qt {

namespace {

constexpr int kAcceptRetryMs = 1000;

}  // namespace

QtSocketLayer::~QtSocketLayer()
{
    for (auto& [fd, watch] : watches_) {
        Unwatch(watch);
        ::close(fd);
    }
}

SocketHandle QtSocketLayer::Open(bool stream)
{
    const int fd = ::socket(AF_INET, (stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return kNoSocket;
    if (stream) {
        // A restart within TIME_WAIT must still get the port back.
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    watches_[fd].stream = stream;
    return fd;
}

void QtSocketLayer::Select(SocketHandle socket, unsigned events, SocketEvents* sink)
{
    const int fd = static_cast<int>(socket);
    Watch& watch = watches_[fd];
    watch.sink = sink;
    watch.events = events;
    if (!(events & (kEventRead | kEventAccept | kEventClose))) {
        Unwatch(watch);
        return;
    }
    if (!watch.notifier) {
        watch.notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
        QObject::connect(watch.notifier, &QSocketNotifier::activated, watch.notifier,
                         [this, fd] { OnReadable(fd); });
    }
    watch.notifier->setEnabled(true);
}

bool QtSocketLayer::Bind(SocketHandle socket, std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    return ::bind(static_cast<int>(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool QtSocketLayer::Listen(SocketHandle socket, int backlog)
{
    if (::listen(static_cast<int>(socket), backlog) != 0)
        return false;
    watches_[static_cast<int>(socket)].listening = true;
    return true;
}

SocketHandle QtSocketLayer::Accept(SocketHandle listener)
{
    const int fd = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            PauseAccepting(static_cast<int>(listener));
        return kNoSocket;
    }
    watches_[fd].stream = true;
    return fd;
}

void QtSocketLayer::EnableKeepAlive(SocketHandle socket)
{
    // Probes after 10 s of silence, every 5 s, three times: a vanished sender
    // is noticed in well under a minute instead of hours.
    const int fd = static_cast<int>(socket);
    const int on = 1, idle = 10, interval = 5, count = 3;
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

int QtSocketLayer::Receive(SocketHandle socket, std::uint8_t* buffer, int capacity)
{
    const int fd = static_cast<int>(socket);
    const auto found = watches_.find(fd);
    const bool stream = found != watches_.end() && found->second.stream;
    // A datagram longer than the buffer is an error, as Winsock reports it,
    // not a silently shortened packet.
    const ssize_t count = ::recv(fd, buffer, static_cast<size_t>(capacity), stream ? 0 : MSG_TRUNC);
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return kNothingWaiting;
    if (count < 0 || count > capacity)
        return -1;
    return static_cast<int>(count);
}

void QtSocketLayer::Close(SocketHandle socket)
{
    const int fd = static_cast<int>(socket);
    if (const auto found = watches_.find(fd); found != watches_.end()) {
        Unwatch(found->second);
        watches_.erase(found);
    }
    ::close(fd);
}

std::int64_t QtSocketLayer::NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void QtSocketLayer::PauseAccepting(int listener)
{
    // The request stays pending and the notifier, level-triggered, would fire
    // again at once, for as long as the shortage lasts: look again in a while.
    const auto found = watches_.find(listener);
    if (found == watches_.end() || !found->second.notifier)
        return;
    QSocketNotifier* notifier = found->second.notifier;
    notifier->setEnabled(false);
    // Tied to the notifier: closing the listener meanwhile cancels it.
    QTimer::singleShot(kAcceptRetryMs, notifier, [notifier] { notifier->setEnabled(true); });
}

void QtSocketLayer::Unwatch(Watch& watch)
{
    if (!watch.notifier)
        return;
    // The notifier may be the one whose signal is being handled right now.
    watch.notifier->setEnabled(false);
    watch.notifier->deleteLater();
    watch.notifier = nullptr;
}

void QtSocketLayer::OnReadable(int fd)
{
    const auto found = watches_.find(fd);
    if (found == watches_.end() || !found->second.sink)
        return;
    Watch& watch = found->second;
    SocketEvents* sink = watch.sink;
    // Readable means a pending connection on a listener, data elsewhere.
    if (watch.listening) {
        if (watch.events & kEventAccept)
            sink->OnSocketEvent(kEventAccept);
        return;
    }
    if (watch.stream) {
        std::uint8_t probe;
        const ssize_t peeked = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        if (peeked <= 0) {
            if (watch.events & kEventClose) {
                sink->OnSocketEvent(kEventClose);
            } else {
                // Nobody wants to hear of the close: stop watching, or the
                // level-triggered notifier would spin.
                Unwatch(watch);
            }
            return;
        }
    }
    if (watch.events & kEventRead)
        sink->OnSocketEvent(kEventRead);
}

}  // namespace sonvale::qt
